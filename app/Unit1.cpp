#include "app/Unit1.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QBackingStore>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "app/Application.h"
#include "app/dialogs.h"
#include "app/image_window_geometry.h"
#include "app/unsaved_work.h"
#include "controls/message_box.h"
#include "image_io/image_file.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/sound.h"

using namespace image_window;


TForm1::TForm1(Picture& picture, const QStringList& arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), picture_(picture) {
    // The paint writes every pixel itself; Qt need not clear the surface first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setupUi(this);
    lumarq::ApplyFormFont(this);
    viewGeometry_ = geometry();
    connect(&picture_, &Picture::Changed, this, &TForm1::FormPaint);
    connect(Help1, &QAction::triggered, this, &TForm1::Help1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(BeSilent1, &QAction::triggered, this, &TForm1::BeSilent1Click);
    connect(NoSounds1, &QAction::triggered, this, &TForm1::NoSounds1Click);
    // Set up as a form file would: plain values first, references once the whole
    // form is read, then the after-loading step.
    TavixSystemMenu1 = new TTavixSystemMenu(this);
    TavixSystemMenu1->setPosition(0);
    TavixSystemMenu1->setPopupMenu(PopupMenu1);
    TavixSystemMenu1->Loaded();
    // A screen that appears or grows may show parts of the window not painted yet.
    const auto watch = [this](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, [this] {
            PlaceView(viewGeometry_);
            PaintNewlyVisible();
        });
    };
    for (QScreen* screen : QGuiApplication::screens()) watch(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, [this, watch](QScreen* screen) {
        watch(screen);
        PaintNewlyVisible();
    });
    // The scale note: on the image for a second after the view changes, as viewers do.
    scaleNote = new QLabel(this);
    scaleNote->setObjectName(QStringLiteral("ScaleNote"));
    scaleNote->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 160); color: white; padding: 4px 8px;"));
    scaleNote->setAttribute(Qt::WA_TransparentForMouseEvents);
    scaleNote->hide();
    scaleNoteTimer.setSingleShot(true);
    scaleNoteTimer.setInterval(1000);
    connect(&scaleNoteTimer, &QTimer::timeout, scaleNote, &QWidget::hide);
    FormCreate(arguments);
}

TForm1::~TForm1() { picture_.View = nullptr; }

void TForm1::SetCompanions(QWidget* panel, QWidget* about, QWidget* help) {
    panel_ = panel;
    about_ = about;
    help_ = help;
}

void TForm1::FormCreate(const QStringList& arguments) {
    SoundsOn = true;
    picture_.Create(arguments.isEmpty() ? QString() : arguments.first());
}

void TForm1::FormDestroy() {
    picture_.Free();
    Beeper(7);
}

bool TForm1::LoadCurrentFile() {
    QString& CurrentFileName = picture_.CurrentFileName;
    for (;;) {
        if (CurrentFileName.isEmpty()) {
            std::optional<QString> chosen = RunOpenDialog1();
            if (!chosen) {
                lumarq::Terminate();
                return false;
            }
            CurrentFileName = *chosen;
        }
        try {
            Picture::Loaded image;
            Picture::Read(CurrentFileName, image);
            // The surface that shows the image is had before anything changes, too.
            if (!SurfaceCanBeHad(image.work.Width(), image.work.Height())) throw LoadError(kOutOfMemoryError);
            picture_.Take(image, CurrentFileName);
            return true;
        } catch (const std::exception& error) {
            ReportError(QString::fromLocal8Bit(error.what()), CurrentFileName);
        }
        if (picture_.HasImage()) {
            // The previous image is still on screen: Save must go where it went
            // before this Open, not to the file that failed.
            CurrentFileName = saveNameBeforeOpen;
            return false;
        }
        // Nothing loaded yet: ask for a file as if none had been given.
        CurrentFileName.clear();
    }
}

void TForm1::FormShow() {
    if (!LoadCurrentFile()) return;
    ShowLoadedImage();
    if (!lumarq::TerminateRequested()) emit FileOpened(picture_.CurrentFileName);
}

void TForm1::ShowLoadedImage() {
    const int width = picture_.WorkRaster->Width();
    const int height = picture_.WorkRaster->Height();
    // Fit follows every image; another scale stays for an image of the same size.
    if (fitChosen_)
        viewScale_ = FitScale();
    else if (shownImageSize != QSize(width, height))
        viewScale_ = {};
    shownImageSize = QSize(width, height);
    const QSize size = WindowSizeFor(platform::gdi::ScaledExtent(width, viewScale_),
                                     platform::gdi::ScaledExtent(height, viewScale_), devicePixelRatioF());
    PlaceView(QRect(fitChosen_ && screen() ? screen()->availableGeometry().topLeft() : QPoint(0, 0), size));
    emit ViewChanged();

    if (panel_) panel_->show();

    if (width <= 128 || height <= 128) {
        QString answer;
        ShowMessageBox(QString::fromLatin1(kTooSmallTitle), QString::fromLatin1(kTooSmallText), 1, 0, 1, 0, answer);
        lumarq::Terminate();
    } else {
        emit RenderRequested();
    }
    Beeper(1);
}

bool TForm1::SurfaceCanBeHad(int width, int height) const {
    const qreal ratio = devicePixelRatioF();
    const QSize real = RealGeometryFor(QRect(QPoint(), WindowSizeFor(width, height, ratio))).size();
    return platform::WindowCanvas::CanBeHad(DeviceSize(real, ratio));
}

void TForm1::Help1Click() {
    if (help_) {
        help_->show();
        help_->raise();
    }
    Beeper(5);
}

void TForm1::About1Click() {
    if (about_) {
        about_->show();
        about_->raise();
    }
    Beeper(4);
}

void TForm1::BeSilent1Click() { SoundsOn = false; }

void TForm1::NoSounds1Click() {
    SoundsOn = true;
    Beeper(0);
}

void TForm1::Beeper(unsigned Code) {
    static const char* const kCues[8] = {"RSTART", "RCLICK", "RTICK", "RPOP", "RSTRUM", "REXIT", "RAIR", "RAIR"};
    if (!SoundsOn || Code > 7) return;
    platform::PlaySoundResource(QString::fromLatin1(kCues[Code]),
                                Code == 7 ? platform::SoundMode::ToEnd : platform::SoundMode::Asynchronous);
}

std::optional<QString> TForm1::RunOpenDialog1() { return lumarq::RunOpenDialog1(this); }

std::optional<QString> TForm1::RunSaveDialog1(const QString& preset) { return lumarq::RunSaveDialog1(this, preset); }

void TForm1::OpenAnotherFile() {
    if (!lumarq::MayDropPicture(picture_, this)) return;
    saveNameBeforeOpen = picture_.CurrentFileName;
    picture_.CurrentFileName.clear();
    hide();
    show();
}

void TForm1::OpenNamedFile(const QString& fileName) {
    if (!lumarq::MayDropPicture(picture_, this)) return;
    saveNameBeforeOpen = picture_.CurrentFileName;
    picture_.CurrentFileName = fileName;
    hide();
    show();
}

bool TForm1::OpenUnnamedImage(TWin& Image) {
    if (Image.Width() <= 128 || Image.Height() <= 128) {
        ReportError(QStringLiteral("Cannot paste an image of %1 by %2 pixels: the minimum size of the bitmap is "
                                   "129 by 129 pixels.")
                        .arg(Image.Width())
                        .arg(Image.Height()));
        return false;
    }
    // As a load does, everything the new image needs is had before anything changes.
    Picture::Loaded image;
    TWin& work = image.work;
    {
        TWin fresh(Image.Width(), Image.Height());
        work.Swap(fresh);
    }
    if (!work.HasPixels() || !Image.HasPixels() || !SurfaceCanBeHad(work.Width(), work.Height())) {
        ReportError(QString::fromLatin1(kOutOfMemoryError));
        return false;
    }
    for (int y = 0; y < work.Height(); ++y)
        std::memcpy(work.PixelAddress(0, y), Image.PixelAddress(0, y), 3 * static_cast<std::size_t>(work.Width()));
    if (!lumarq::MayDropPicture(picture_, this)) return false;
    image.source.Swap(Image);
    picture_.Take(image, QString());
    picture_.CurrentFileName.clear();
    ShowLoadedImage();
    return true;
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Qt also reports a show when a minimised window is restored; only a show made
    // by the program loads a file.
    if (event->spontaneous() || lumarq::TerminateRequested()) return;
    if (shownBefore) {
        FormShow();
        return;
    }
    // The first show's dialogs and messages come from the running loop, once the
    // window is really on screen, not from inside Qt's show.
    shownBefore = true;
    QMetaObject::invokeMethod(this, [this] {
        FormShow();
        if (lumarq::TerminateRequested()) lumarq::HideAllWindows();
    }, Qt::QueuedConnection);
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange &&
        (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized) && !isMinimized())
        lumarq::RestoreApplication();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing the main window (a window manager's close) ends the program, unless
    // the user keeps unsaved work.
    if (!lumarq::TerminateRequested() && !lumarq::MayDropPicture(picture_, this)) {
        event->ignore();
        return;
    }
    event->accept();
    lumarq::Terminate();
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) {
    if (!ViewMenu) {
        PopupMenu1->popup(event->globalPos());
        return;
    }
    // PopupMenu1's own items as they are, then the view's.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(PopupMenu1->actions());
    menu->addMenu(ViewMenu);
    menu->popup(event->globalPos());
}
