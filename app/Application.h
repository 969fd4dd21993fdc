// The program's entry and its application-wide acts: creating the four windows,
// ending the program, minimising and restoring all windows.
#pragma once

#include <QStringList>
#include <memory>

class QWidget;
class Picture;
class TForm1;
class TForm2;
class TForm3;
class TForm4;

// The four windows, for as long as they exist (null otherwise). Only the start-up
// and the tests use these: the windows are handed what they need of each other.
extern TForm1* Form1;
extern TForm2* Form2;
extern TForm3* Form3;
extern TForm4* Form4;

namespace lumarq {

class DesktopHabits;
class AnimationCommands;

// Ends the program: the running handler finishes, then the message loop ends.
void Terminate();
bool TerminateRequested();

// Minimises every visible window of the program; RestoreApplication brings back
// those still minimised when one of them is restored.
void MinimizeApplication();
void RestoreApplication();

// Creates the picture, then the image window (the main window), the About window,
// the Help window and the control panel, in this order, all hidden, and connects
// them. At the end it hides them, lets the image window free the rasters and play
// the last cue, then destroys them in the reverse order.
class Windows {
public:
    explicit Windows(const QStringList& arguments);
    ~Windows();
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

private:
    std::unique_ptr<Picture> picture_;
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TForm4> form4_;
    std::unique_ptr<DesktopHabits> habits_;
    std::unique_ptr<AnimationCommands> animation_;
};

// Shows the main window. The first image is loaded from the message loop once the
// window is on screen; if the program is ended then (no file chosen, image
// refused), every window is hidden again and the loop ends.
void ShowMainWindow();
void HideAllWindows();

// Gives a window the forms' font, "MS Sans Serif" 8 pt as the layouts name it,
// falling back to faces of the same narrow build where it is missing, so that the
// captions fit the fixed layouts.
void ApplyFormFont(QWidget* window);

// The main block: initialises the application, creates the windows, shows the
// main window and runs the message loop until the program is ended.
int Run(int argc, char** argv);

}  // namespace lumarq
