// The dialogs and messages the windows share: the image window's Open and Save
// dialogs, which the panel's File menu uses too, and the program's error report.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace lumarq {

// "Please Choose a Bitmap to Load and Edit": the chosen file's absolute path, or
// nothing when the user cancels.
std::optional<QString> RunOpenDialog1(QWidget* owner);
// "Save New Bitmap", preset with a name; "bmp" is added to a name without an
// extension. Nothing when the user cancels.
std::optional<QString> RunSaveDialog1(QWidget* owner, const QString& preset);

}  // namespace lumarq

// Shows an error's text the way the program reports every failure to the user;
// when the error is about a file, its name stands above the text. Control
// characters and bytes that are not UTF-8 show as \xNN, never as themselves.
void ReportError(const QString& text, const QString& file = {});
