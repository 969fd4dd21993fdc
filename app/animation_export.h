// Motion in the windows: File > Export Animation... renders the sweep from the look
// kept by Memory A<>B to the current one into an animation, with a progress dialog
// that can be cancelled; Play Animation previews the same sweep in the image window
// at the chosen frame rate, round and round, until it is stopped or a slider moves.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "settings/sweep.h"
#include "ui_ExportAnimation.h"

class QAction;
class Picture;
class TForm1;
class TForm4;

namespace lumarq {

// What the user asked of an animation, kept from one export to the next.
struct AnimationChoice {
    int frames = 50;
    int fps = 25;
    int loop = 0;  // plays; 0: forever
    int scale = 1;
    QString file;  // empty: beside the picture's file
};

class ExportAnimationDialog : public QDialog, public Ui::ExportAnimationDialog {
    Q_OBJECT
public:
    ExportAnimationDialog(const AnimationChoice& start, QWidget* parent);
    AnimationChoice Choice() const;

signals:
    // "Copy as Command" was pressed: the choice as it stands.
    void CopyCommandChosen(const lumarq::AnimationChoice& choice);

private:
    void Browse();
};

// Renders the sweep from the picture's source into choice.file, showing progress
// with a Cancel button, and reports a failure. True when the file was written;
// after a Cancel or a failure nothing of it is left.
bool ExportAnimation(const Picture& picture, const Sweep& sweep, const AnimationChoice& choice, QWidget* owner);

// Renders every frame of the video `input` with `settings` into `output` (a video,
// an animated WebP or GIF, or numbered stills), with its timing and sound, showing
// progress with a Cancel button. True when the file was written.
bool ExportVideo(const QString& input, const RenderSettings& settings, const QString& output, QWidget* owner);

class AnimationCommands : public QObject {
    Q_OBJECT
public:
    AnimationCommands(Picture& picture, TForm1* imageWindow, TForm4* panel);
    ~AnimationCommands() override;

    QAction* ExportAnimationAction = nullptr;
    QAction* PlayAction = nullptr;
    QAction* ExportVideoAction = nullptr;  // enabled while the picture is a video's frame

    void ExportAnimationClick();
    // The whole video the picture came from, through the current look.
    void ExportVideoClick();
    // Starts the preview, or stops it when it runs.
    void PlayClick();
    bool Playing() const { return timer_.isActive(); }
    // Stops the preview; the image window shows the current look again.
    void Stop();

    // From the look in Memory A<>B to the sliders' one, over the chosen frames.
    Sweep CurrentSweep() const;
    AnimationChoice Choice;
    // The lumarq-render command that makes the same export.
    QString Command(const AnimationChoice& choice) const;

private:
    void NextFrame();
    void RenderFrame();
    void Halt();

    Picture& picture_;
    QPointer<TForm1> imageWindow_;
    QPointer<TForm4> panel_;
    QTimer timer_;
    Sweep playing_;
    int frame_ = 0;
    bool renderingFrame_ = false;
};

}  // namespace lumarq
