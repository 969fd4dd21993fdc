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
    QString startFilter;    // the description of the filter the dialog starts on;
                            // empty: the first
    // Where the dialog starts when no name is preset. Left empty, the dialog starts
    // in the folder of the last file chosen in a dialog of the same kind, or of the
    // same rememberAs name when one is given, as far as the folder memory knows.
    QString folder;
    QString rememberAs;
};

// The chosen path, or nothing when the user cancels.
std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogRequest& request);

// Keeps the folder of the last file chosen, per dialog kind ("Open", "Save") or
// rememberAs name, for as long as the memory is set. An empty memory remembers
// nothing.
struct FolderMemory {
    std::function<QString(const QString& kind)> recall;
    std::function<void(const QString& kind, const QString& folder)> remember;
};
void SetFolderMemory(FolderMemory memory);

// While a handler is set, RunFileDialog calls it instead of showing a dialog, so
// that a test can answer. An empty handler restores the real dialogs.
using FileDialogHandler = std::function<std::optional<QString>(const FileDialogRequest&)>;
void SetFileDialogHandler(FileDialogHandler handler);

}  // namespace platform
