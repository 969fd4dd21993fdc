#include "platform/qt/file_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

namespace platform {
namespace {

FileDialogHandler& Handler() {
    static FileDialogHandler handler;
    return handler;
}

FolderMemory& Memory() {
    static FolderMemory memory;
    return memory;
}

// "Bitmap Files|*.bmp" becomes "Bitmap Files (*.bmp)"; pairs are separated by bars.
QString QtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
    return filters.join(QStringLiteral(";;"));
}

// "JPEG Files (*.jpg *.jpeg)" gives "jpg"; a filter without a plain "*.ext" first
// pattern (all files) gives nothing.
QString FirstSuffix(const QString& qtFilter) {
    const qsizetype open = qtFilter.lastIndexOf(QLatin1String("(*."));
    if (open < 0) return {};
    const QString rest = qtFilter.mid(open + 3);
    const qsizetype end = rest.indexOf(QRegularExpression(QStringLiteral("[ )]")));
    const QString suffix = rest.left(end);
    return suffix.contains(QLatin1Char('*')) ? QString() : suffix;
}

}  // namespace

void SetFileDialogHandler(FileDialogHandler handler) { Handler() = std::move(handler); }

void SetFolderMemory(FolderMemory memory) { Memory() = std::move(memory); }

namespace {

std::optional<QString> RunDialog(QWidget* parent, const FileDialogRequest& request) {
    if (Handler()) return Handler()(request);
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    const QString folder = request.fileName.isEmpty() ? request.folder : QFileInfo(request.fileName).path();
    QFileDialog dialog(parent, request.title, folder, QtFilter(request.filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // A name typed without an extension takes the chosen type's.
    if (save)
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &request](const QString& filter) {
            const QString suffix = FirstSuffix(filter);
            dialog.setDefaultSuffix(suffix.isEmpty() ? request.defaultSuffix : suffix);
        });
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    if (!request.startFilter.isEmpty())
        for (const QString& filter : dialog.nameFilters())
            if (filter.startsWith(request.startFilter + QStringLiteral(" ("))) dialog.selectNameFilter(filter);
    // Above the stay-on-top control panel, which would otherwise hide it.
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    return chosen.first();
}

}  // namespace

std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogRequest& original) {
    FileDialogRequest request = original;
    const QString kind = !request.rememberAs.isEmpty() ? request.rememberAs
                         : request.kind == FileDialogRequest::Kind::Save ? QStringLiteral("Save")
                                                                          : QStringLiteral("Open");
    if (request.folder.isEmpty() && Memory().recall) request.folder = Memory().recall(kind);
    std::optional<QString> chosen = RunDialog(parent, request);
    // Looked up again: the program may have ended while the dialog was up.
    if (chosen && !chosen->isEmpty() && Memory().remember) Memory().remember(kind, QFileInfo(*chosen).absolutePath());
    return chosen;
}

}  // namespace platform
