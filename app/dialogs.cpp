#include "app/dialogs.h"

#include <QFileInfo>

#include "controls/message_box.h"
#include "image_io/image_file.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/file_names.h"
#include "platform/text/quote.h"

namespace {

// Text as a message box may draw it: every control character (but the line
// breaks a message is laid out with) and every byte kept from a file name that is
// not UTF-8 becomes \xNN.
QString Visible(const QString& text) {
    QString shown;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        const bool keptByte = unit >= 0xDC80 && unit <= 0xDCFF;
        const bool control = unit < 0x20 || (unit >= 0x7F && unit < 0xA0);
        if ((control && unit != '\n' && unit != '\r') || keptByte)
            shown += QStringLiteral("\\x") +
                     QStringLiteral("%1").arg(keptByte ? unit - 0xDC00 : unit, 2, 16, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
}

}  // namespace

void ReportError(const QString& text, const QString& file) {
    QString answer;
    QString shown = Visible(text);
    // The name as lumarq-render shows names, quoted as a shell reads it back.
    if (!file.isEmpty())
        shown = QString::fromStdString(platform::text::ShellQuoted(platform::NativePath(file))) + QStringLiteral("\n\n") + shown;
    // OK button, stop icon, application-modal, above the stay-on-top panel.
    ShowMessageBox(QStringLiteral("Lumarq"), shown, 4, 1, 1, 0, answer);
}

namespace lumarq {

std::optional<QString> RunOpenDialog1(QWidget* owner) {
    platform::FileDialogRequest request;
    request.kind = platform::FileDialogRequest::Kind::Open;
    request.title = QStringLiteral("Please Choose a Bitmap to Load and Edit");
    // Videos open as their first frame, to tune the look on before exporting.
    request.filter = QString::fromStdString(image_io::OpenDialogFilter())
                         .replace(QStringLiteral("|All files|*"),
                                  QStringLiteral("|Videos|*.mp4;*.mov;*.m4v;*.mkv;*.webm;*.avi|All files|*"));
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
