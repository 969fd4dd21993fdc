#include "app/Application.h"

#include <QApplication>
#include <QIcon>
#include <QFont>
#include <QWidget>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "app/Unit4.h"
#include "app/animation_export.h"
#include "app/desktop_habits.h"
#include "app/picture.h"
#include "platform/qt/file_names.h"

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;

// The resources live in this library; a static library's resources must be
// registered by name from outside any namespace.
static void InitialiseResources() { Q_INIT_RESOURCE(lumarq); }

namespace lumarq {
namespace {
bool terminateRequested = false;
}

void Terminate() {
    terminateRequested = true;
    QCoreApplication::quit();
}

bool TerminateRequested() { return terminateRequested; }

void MinimizeApplication() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && !(window->windowType() == Qt::Popup)) window->showMinimized();
}

void RestoreApplication() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->isMinimized()) window->showNormal();
}

Windows::Windows(const QStringList& arguments) {
    InitialiseResources();
    terminateRequested = false;
    picture_ = std::make_unique<Picture>();
    form1_ = std::make_unique<TForm1>(*picture_, arguments);
    Form1 = form1_.get();
    form2_ = std::make_unique<TForm2>();
    Form2 = form2_.get();
    form3_ = std::make_unique<TForm3>();
    Form3 = form3_.get();
    form4_ = std::make_unique<TForm4>(*picture_);
    Form4 = form4_.get();

    TForm1* image = form1_.get();
    TForm4* panel = form4_.get();
    image->SetCompanions(panel, form2_.get(), form3_.get());
    panel->SetDialogOwner(image);
    QObject::connect(image, &TForm1::RenderRequested, panel, &TForm4::ScrollBar1Change);
    QObject::connect(image, &TForm1::Painting, panel, &TForm4::ShowPatternLabel);
    QObject::connect(panel, &TForm4::Cue, image, &TForm1::Beeper);
    QObject::connect(panel, &TForm4::OpenChosen, image, &TForm1::OpenAnotherFile);
    QObject::connect(panel, &TForm4::HelpChosen, image, &TForm1::Help1Click);
    QObject::connect(panel, &TForm4::AboutChosen, image, &TForm1::About1Click);
    QObject::connect(panel, &TForm4::SilenceChosen, image, &TForm1::BeSilent1Click);
    QObject::connect(panel, &TForm4::NoiseChosen, image, &TForm1::NoSounds1Click);
    habits_ = std::make_unique<DesktopHabits>(*picture_, image, panel);
    animation_ = std::make_unique<AnimationCommands>(*picture_, image, panel);
}

Windows::~Windows() {
    // The end of the program: nothing stays on screen while it winds down, and the
    // last cue (whose wait runs a nested loop) plays while every window still
    // exists to receive what that loop delivers.
    HideAllWindows();
    animation_.reset();
    habits_.reset();
    if (form1_) form1_->FormDestroy();
    Form4 = nullptr;
    form4_.reset();
    Form3 = nullptr;
    form3_.reset();
    Form2 = nullptr;
    form2_.reset();
    Form1 = nullptr;
    form1_.reset();
    picture_.reset();
}

void ApplyFormFont(QWidget* window) {
    QFont font = window->font();
    font.setFamilies({font.family(), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Helvetica")});
    window->setFont(font);
}

void HideAllWindows() {
    for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
}

void ShowMainWindow() { Form1->show(); }

int Run(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumarq"));
    // Lets the desktop match the windows to the installed desktop entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.lumarq.Lumarq"));
    // The program ends only when asked to (Exit, closing the panel, a refused image).
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt has taken its own options out of argv. The rest are read byte for byte:
    // QApplication::arguments() would lose a file name that is not UTF-8.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << platform::FileNameFromNative(argv[i]);
    Windows windows(arguments);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/about_icon.png")));
    ShowMainWindow();
    return QApplication::exec();
}

}  // namespace lumarq
