#include "app/dialogs.h"

#include <QFileInfo>

#include "controls/message_box.h"
#include "image_io/image_file.h"
#include "platform/qt/file_dialog.h"

void ReportError(const QString& text) {
    QString answer;
    // OK button, stop icon, application-modal, above the stay-on-top panel.
    ShowMessageBox(QStringLiteral("Lumarq"), text, 4, 1, 1, 0, answer);
}

namespace lumarq {

std::optional<QString> RunOpenDialog1(QWidget* owner) {
    platform::FileDialogRequest request;
    request.kind = platform::FileDialogRequest::Kind::Open;
    request.title = QStringLiteral("Please Choose a Bitmap to Load and Edit");
    request.filter = QString::fromStdString(image_io::OpenDialogFilter());
    // Bitmaps stay the first filter, but the dialog starts on every readable image
    // (the second): starting on bitmaps alone hides the photos the program opens.
    request.startFilter = request.filter.section(QLatin1Char('|'), 2, 2);
    std::optional<QString> chosen = platform::RunFileDialog(owner, request);
    if (chosen && chosen->isEmpty()) return std::nullopt;
    if (chosen) return QFileInfo(*chosen).absoluteFilePath();
    return chosen;
}

std::optional<QString> RunSaveDialog1(QWidget* owner, const QString& preset) {
    platform::FileDialogRequest request;
    request.kind = platform::FileDialogRequest::Kind::Save;
    request.title = QStringLiteral("Save New Bitmap");
    request.filter = QString::fromStdString(image_io::SaveDialogFilter());
    request.defaultSuffix = QStringLiteral("bmp");
    request.fileName = preset;
    std::optional<QString> chosen = platform::RunFileDialog(owner, request);
    if (!chosen || chosen->isEmpty()) return std::nullopt;
    QString name = *chosen;
    if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".bmp");
    return QFileInfo(name).absoluteFilePath();
}

}  // namespace lumarq
