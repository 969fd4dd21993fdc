// The common Open and Save dialogs.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace platform {

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QString title;
    QString filter;         // "Bitmap Files|*.bmp": description, bar, patterns
    QString defaultSuffix;  // added to a chosen name without one; a Save dialog
                            // adds the chosen type's instead
    QString fileName;       // preset name
};

// The chosen path, or nothing when the user cancels.
std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogRequest& request);

// While a handler is set, RunFileDialog calls it instead of showing a dialog, so
// that a test can answer. An empty handler restores the real dialogs.
using FileDialogHandler = std::function<std::optional<QString>(const FileDialogRequest&)>;
void SetFileDialogHandler(FileDialogHandler handler);

}  // namespace platform
