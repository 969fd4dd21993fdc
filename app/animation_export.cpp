#include "app/animation_export.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <memory>
#include <cmath>
#include <new>
#include <thread>
#include <vector>

#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/dialogs.h"
#include "app/picture.h"
#include "motion/export.h"
#include "motion/video_export.h"
#include "motion/video_input.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/file_names.h"
#include "settings/command_line.h"

namespace lumarq {
namespace {

QString FromNative(const std::string& text) { return platform::FileNameFromNative(text); }

// Beside the picture's file, named after it; in the home folder for a paste.
QString DefaultFile(const Picture& picture) {
    if (picture.SourceFileName.isEmpty()) return QDir::home().filePath(QStringLiteral("animation.webp"));
    const QFileInfo source(picture.SourceFileName);
    return source.absoluteDir().filePath(source.completeBaseName() + QStringLiteral("-animation.webp"));
}

}  // namespace

ExportAnimationDialog::ExportAnimationDialog(const AnimationChoice& start, QWidget* parent) : QDialog(parent) {
    setupUi(this);
    FramesBox->setValue(start.frames);
    RateBox->setValue(start.fps);
    LoopBox->setValue(start.loop);
    ScaleBox->setValue(start.scale);
    FileEdit->setText(start.file);
    // Frames and duration are one choice seen two ways: each follows the other.
    const auto showDuration = [this] {
        const QSignalBlocker quiet(DurationBox);
        DurationBox->setValue(static_cast<double>(FramesBox->value()) / RateBox->value());
    };
    showDuration();
    connect(FramesBox, &QSpinBox::valueChanged, this, showDuration);
    connect(RateBox, &QSpinBox::valueChanged, this, showDuration);
    connect(DurationBox, &QDoubleSpinBox::valueChanged, this, [this](double seconds) {
        const QSignalBlocker quiet(FramesBox);
        FramesBox->setValue(static_cast<int>(std::lround(seconds * RateBox->value())));
    });
    connect(BrowseButton, &QPushButton::clicked, this, &ExportAnimationDialog::Browse);
    QPushButton* exportButton = ButtonBox->addButton(QStringLiteral("Export"), QDialogButtonBox::AcceptRole);
    exportButton->setDefault(true);
    QPushButton* copyButton = ButtonBox->addButton(QStringLiteral("Copy as Command"), QDialogButtonBox::ActionRole);
    connect(copyButton, &QPushButton::clicked, this, [this] { emit CopyCommandChosen(Choice()); });
    connect(ButtonBox, &QDialogButtonBox::accepted, this, [this] {
        if (!FileEdit->text().trimmed().isEmpty()) accept();
    });
    connect(ButtonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

AnimationChoice ExportAnimationDialog::Choice() const {
    AnimationChoice choice{FramesBox->value(), RateBox->value(), LoopBox->value(), ScaleBox->value(), {}};
    const QString file = FileEdit->text().trimmed();
    choice.file = file.isEmpty() ? QString() : QFileInfo(file).absoluteFilePath();
    return choice;
}

void ExportAnimationDialog::Browse() {
    platform::FileDialogRequest request;
    request.kind = platform::FileDialogRequest::Kind::Save;
    request.title = QStringLiteral("Export Animation");
    request.filter = QStringLiteral(
        "Animated WebP|*.webp|Animated GIF|*.gif|MP4 Video|*.mp4|WebM Video|*.webm|Matroska Video|*.mkv|All Files|*");
    request.defaultSuffix = QStringLiteral("webp");
    request.fileName = FileEdit->text();
    request.rememberAs = QStringLiteral("Animation");
    if (const std::optional<QString> chosen = platform::RunFileDialog(this, request); chosen && !chosen->isEmpty())
        FileEdit->setText(QFileInfo(*chosen).absoluteFilePath());
}

namespace {

// What an export's worker reports: the result, and the file it is about.
struct ExportOutcome {
    SaveResult result;
    QString file;
};

// Runs `work` on another thread while this one keeps the windows painted and the
// Cancel button answering; the dialog is modal, so the picture cannot change under
// the export. `total` frames (0: not known). Reports a failure; true when written.
bool RunExport(QWidget* owner, const QString& title, int total,
               const std::function<ExportOutcome(const motion::ExportProgress&, const std::atomic<bool>*)>& work) {
    QProgressDialog progress(QStringLiteral("Exporting..."), QStringLiteral("Cancel"), 0, total, owner);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(0);
    std::atomic<bool> cancel{false}, finished{false};
    std::atomic<int> written{0};
    ExportOutcome outcome;
    QEventLoop wait;
    QTimer poll;
    poll.setInterval(30);
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (!cancel) {
            const int done = written;
            progress.setValue(total > 0 ? std::min(done, total) : 0);
            progress.setLabelText(total > 0 ? QStringLiteral("Frame %1 of %2").arg(done).arg(total)
                                            : QStringLiteral("Frame %1").arg(done));
        }
        if (finished) wait.quit();
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &wait, [&] {
        cancel = true;
        progress.setLabelText(QStringLiteral("Cancelling..."));
    });
    std::thread worker([&] {
        try {
            outcome = work([&](std::int32_t done, std::int32_t) { written = done; }, &cancel);
        } catch (const std::bad_alloc&) {
            outcome.result = {false, kOutOfMemoryError};
        }
        finished = true;
    });
    progress.show();
    poll.start();
    wait.exec();
    worker.join();
    progress.hide();
    if (cancel) return false;
    if (!outcome.result) {
        ReportError(FromNative(outcome.result.Message()), outcome.file);
        return false;
    }
    return true;
}

}  // namespace

bool ExportAnimation(const Picture& picture, const Sweep& sweep, const AnimationChoice& choice, QWidget* owner) {
    if (!picture.SourceRaster || !picture.SourceRaster->HasPixels() || choice.file.isEmpty()) return false;
    motion::ExportRequest request;
    request.sweep = sweep;
    request.scale = choice.scale;
    request.options.fps = choice.fps;
    request.options.loop = choice.loop;
    request.output = platform::NativePath(choice.file);
    return RunExport(owner, QStringLiteral("Export Animation"), sweep.frames,
                     [&](const motion::ExportProgress& progress, const std::atomic<bool>* cancel) {
                         std::vector<std::string> notes;
                         return ExportOutcome{
                             motion::ExportSweep(*picture.SourceRaster, request, notes, progress, cancel), choice.file};
                     });
}

bool ExportVideo(const QString& input, const RenderSettings& settings, const QString& output, QWidget* owner) {
    // The reader is opened here first, for the frame count the progress shows.
    std::unique_ptr<motion::VideoReader> reader;
    try {
        reader = std::make_unique<motion::VideoReader>(platform::NativePath(input));
    } catch (const std::exception& error) {
        ReportError(FromNative(error.what()), input);
        return false;
    }
    motion::VideoExportRequest request;
    request.sweep.from = request.sweep.to = settings;
    request.output = platform::NativePath(output);
    const auto total = static_cast<int>(std::min<std::int64_t>(motion::ExpectedFrames(reader->Facts()), INT32_MAX));
    return RunExport(owner, QStringLiteral("Export Video"), total,
                     [&](const motion::ExportProgress& progress, const std::atomic<bool>* cancel) {
                         std::vector<std::string> notes;
                         bool inputFailed = false;
                         try {
                             SaveResult result =
                                 motion::ExportVideo(*reader, request, notes, progress, cancel, &inputFailed);
                             return ExportOutcome{result, inputFailed ? input : output};
                         } catch (const std::exception& error) {  // the video's damage
                             return ExportOutcome{{false, error.what()}, input};
                         }
                     });
}

AnimationCommands::AnimationCommands(Picture& picture, TForm1* imageWindow, TForm4* panel)
    : picture_(picture), imageWindow_(imageWindow), panel_(panel) {
    ExportAnimationAction = new QAction(QStringLiteral("Export Animation..."), this);
    connect(ExportAnimationAction, &QAction::triggered, this, &AnimationCommands::ExportAnimationClick);
    PlayAction = new QAction(QStringLiteral("Play Animation"), this);
    PlayAction->setShortcut(QKeySequence(Qt::Key_F5));
    PlayAction->setShortcutContext(Qt::ApplicationShortcut);  // from either window
    connect(PlayAction, &QAction::triggered, this, &AnimationCommands::PlayClick);
    ExportVideoAction = new QAction(QStringLiteral("Export Video..."), this);
    connect(ExportVideoAction, &QAction::triggered, this, &AnimationCommands::ExportVideoClick);
    connect(panel->File1, &QMenu::aboutToShow, this, [this] {
        ExportVideoAction->setEnabled(!picture_.SourceFileName.isEmpty() &&
                                      motion::LooksLikeVideo(platform::NativePath(picture_.SourceFileName)));
    });

    // In the File menu after the presets' group (Copy as Command), before the rest.
    const QList<QAction*> items = panel->File1->actions();
    QAction* before = nullptr;
    for (qsizetype i = 0; i + 1 < items.size(); ++i)
        if (items[i]->text() == QStringLiteral("Copy as Command")) before = items[i + 1];
    panel->File1->insertSeparator(before);
    panel->File1->insertActions(before, {ExportAnimationAction, PlayAction, ExportVideoAction});

    // Any render but the preview's own (a slider, Reset, Memory, a preset, another
    // picture) takes the preview's place.
    connect(&picture, &Picture::Changed, this, [this] {
        if (!renderingFrame_) Halt();
    });
    connect(&timer_, &QTimer::timeout, this, &AnimationCommands::NextFrame);
}

AnimationCommands::~AnimationCommands() { timer_.stop(); }

Sweep AnimationCommands::CurrentSweep() const {
    Sweep sweep;
    sweep.frames = Choice.frames;
    if (!panel_) return sweep;
    for (std::size_t i = 0; i < kSettings.size(); ++i) sweep.from.*kSettings[i].member = panel_->MemoryBank[i];
    sweep.to = panel_->Settings();
    return sweep;
}

QString AnimationCommands::Command(const AnimationChoice& choice) const {
    Sweep sweep = CurrentSweep();
    sweep.frames = choice.frames;
    const std::string input = picture_.SourceFileName.isEmpty()
                                  ? std::string("INPUT.bmp")
                                  : platform::NativePath(QFileInfo(picture_.SourceFileName).absoluteFilePath());
    const QString output = choice.file.isEmpty() ? DefaultFile(picture_) : choice.file;
    return FromNative(SweepCommandLine(sweep, choice.fps, choice.loop, choice.scale, input, platform::NativePath(output)));
}

void AnimationCommands::ExportAnimationClick() {
    Stop();
    if (!picture_.HasImage()) return;
    AnimationChoice start = Choice;
    if (start.file.isEmpty()) start.file = DefaultFile(picture_);
    ExportAnimationDialog dialog(start, panel_);
    connect(&dialog, &ExportAnimationDialog::CopyCommandChosen, this,
            [this](const AnimationChoice& choice) { QGuiApplication::clipboard()->setText(Command(choice)); });
    if (dialog.exec() != QDialog::Accepted) return;
    Choice = dialog.Choice();
    ExportAnimation(picture_, CurrentSweep(), Choice, imageWindow_);
}

void AnimationCommands::ExportVideoClick() {
    Stop();
    if (picture_.SourceFileName.isEmpty() || !panel_) return;
    const QFileInfo source(picture_.SourceFileName);
    platform::FileDialogRequest request;
    request.kind = platform::FileDialogRequest::Kind::Save;
    request.title = QStringLiteral("Export Video");
    request.filter = QStringLiteral("MP4 Video|*.mp4|QuickTime Video|*.mov|Matroska Video|*.mkv|WebM Video|*.webm|"
                                    "Animated WebP|*.webp|Animated GIF|*.gif|All Files|*");
    request.defaultSuffix = QStringLiteral("mp4");
    request.fileName = source.absoluteDir().filePath(source.completeBaseName() + QStringLiteral("-lumarq.mp4"));
    request.rememberAs = QStringLiteral("Animation");
    const std::optional<QString> chosen = platform::RunFileDialog(imageWindow_, request);
    if (!chosen || chosen->isEmpty()) return;
    ExportVideo(picture_.SourceFileName, panel_->Settings(), QFileInfo(*chosen).absoluteFilePath(), imageWindow_);
}

void AnimationCommands::PlayClick() {
    if (Playing()) {
        Stop();
        return;
    }
    if (!picture_.HasImage()) return;
    playing_ = CurrentSweep();
    frame_ = 0;
    PlayAction->setText(QStringLiteral("Stop Animation"));
    RenderFrame();
    timer_.start(std::max(1, static_cast<int>(std::lround(1000.0 / Choice.fps))));
}

void AnimationCommands::NextFrame() {
    frame_ = (frame_ + 1) % playing_.frames;
    RenderFrame();
}

void AnimationCommands::RenderFrame() {
    renderingFrame_ = true;
    picture_.Render(playing_.Frame(frame_));
    renderingFrame_ = false;
}

void AnimationCommands::Halt() {
    timer_.stop();
    PlayAction->setText(QStringLiteral("Play Animation"));
}

void AnimationCommands::Stop() {
    if (!Playing()) return;
    Halt();
    if (panel_) panel_->ScrollBar1Change();  // the current look again
}

}  // namespace lumarq
