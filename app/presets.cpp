#include "app/presets.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScrollBar>
#include <QSignalBlocker>

#include "app/Unit4.h"
#include "app/dialogs.h"
#include "app/picture.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/file_names.h"
#include "settings/command_line.h"
#include "settings/settings_file.h"

namespace lumarq {
namespace {

using platform::NativePath;
QString FromNative(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

std::optional<QString> AskForSettingsFile(QWidget* owner, bool save) {
    platform::FileDialogRequest request;
    request.kind = save ? platform::FileDialogRequest::Kind::Save : platform::FileDialogRequest::Kind::Open;
    request.title = save ? QStringLiteral("Save Settings") : QStringLiteral("Load Settings");
    request.filter = QStringLiteral("Lumarq Settings|*.json|All Files|*");
    request.defaultSuffix = QStringLiteral("json");
    request.rememberAs = QStringLiteral("Settings");
    std::optional<QString> chosen = platform::RunFileDialog(owner, request);
    if (!chosen || chosen->isEmpty()) return std::nullopt;
    QString name = *chosen;
    if (save && QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".json");
    return QFileInfo(name).absoluteFilePath();
}

}  // namespace

void ApplySettings(TForm4& panel, const RenderSettings& settings) {
    const std::array<QScrollBar*, 8> bars = panel.ScrollBars();
    for (std::size_t i = 0; i < bars.size(); ++i) {
        // One render for the whole set, not one per slider that moves.
        const QSignalBlocker quiet(bars[i]);
        bars[i]->setValue(settings.*kSettings[i].member);
    }
    panel.ScrollBar1Change();
}

void SaveSettingsClick(TForm4& panel) {
    const std::optional<QString> file = AskForSettingsFile(&panel, true);
    if (!file) return;
    const SaveResult saved = WriteSettingsFile(NativePath(*file), panel.Settings());
    if (!saved) ReportError(QStringLiteral("Cannot save settings to %1: %2").arg(*file, FromNative(saved.error)));
}

void LoadSettingsClick(TForm4& panel) {
    const std::optional<QString> file = AskForSettingsFile(&panel, false);
    if (!file) return;
    RenderSettings settings = panel.Settings();
    if (const auto error = ReadSettingsFile(NativePath(*file), settings)) {
        ReportError(QStringLiteral("Cannot load settings from %1: %2").arg(*file, FromNative(*error)));
        return;
    }
    ApplySettings(panel, settings);
}

QString CommandForScreen(const Picture& picture) {
    std::string input = "INPUT.bmp", output = "OUTPUT.bmp";
    if (!picture.SourceFileName.isEmpty()) {
        // Absolute, so that the command runs from any folder.
        const QFileInfo source(picture.SourceFileName);
        input = NativePath(source.absoluteFilePath());
        output = NativePath(source.absoluteDir().filePath(source.completeBaseName() + QStringLiteral("-rendered.bmp")));
    }
    return FromNative(RenderCommandLine(picture.Settings(), input, output));
}

void CopyAsCommandClick(const Picture& picture) {
    const QString command = CommandForScreen(picture);
    if (!command.isEmpty()) QGuiApplication::clipboard()->setText(command);
}

}  // namespace lumarq
