#include "app/Unit1.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QBackingStore>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
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
#include "app/unsaved_work.h"
#include "controls/message_box.h"
#include "image_io/image_file.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/sound.h"

namespace {

// One image pixel per device pixel, also where a logical pixel is several.
QSize WindowSizeFor(int width, int height, qreal ratio) {
    return QSize(static_cast<int>(std::ceil(width / ratio)), static_cast<int>(std::ceil(height / ratio)));
}
QSize DeviceSize(QSize windowSize, qreal ratio) {
    return QSize(qRound(windowSize.width() * ratio), qRound(windowSize.height() * ratio));
}
// The device pixels that a window rectangle covers, partly covered ones included.
QRect DeviceRect(QRect area, qreal ratio) {
    const auto low = [ratio](int at) { return static_cast<int>(std::floor(at * ratio)); };
    const auto high = [ratio](int at) { return static_cast<int>(std::ceil(at * ratio)); };
    return QRect(QPoint(low(area.left()), low(area.top())),
                 QPoint(high(area.right() + 1) - 1, high(area.bottom() + 1) - 1));
}

}  // namespace

TForm1::TForm1(Picture& picture, const QStringList& arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), picture_(picture) {
    // The paint writes every pixel itself; Qt need not clear the surface first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setupUi(this);
    lumarq::ApplyFormFont(this);
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
        connect(screen, &QScreen::geometryChanged, this, &TForm1::PaintNewlyVisible);
    };
    for (QScreen* screen : QGuiApplication::screens()) watch(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, [this, watch](QScreen* screen) {
        watch(screen);
        PaintNewlyVisible();
    });
    FormCreate(arguments);
}

TForm1::~TForm1() = default;

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
            const qreal ratio = devicePixelRatioF();
            const QSize size = WindowSizeFor(image.work.Width(), image.work.Height(), ratio);
            if (!platform::WindowCanvas::CanBeHad(DeviceSize(size, ratio))) throw LoadError(kOutOfMemoryError);
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
    resize(WindowSizeFor(width, height, devicePixelRatioF()));
    move(0, 0);

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

void TForm1::FormPaint() {
    emit Painting();
    const std::unique_ptr<TWin>& WorkRaster = picture_.WorkRaster;
    if (!WorkRaster) return;
    // Qt paints only inside a paint event: outside one, ask for it. Its blit
    // converts to the window's 32 bits as it copies, on the render's threads.
    if (!paintingInto) {
        // The whole picture changed; what is off the screens is painted when it comes on.
        unpainted = rect();
        update(VisiblePart());
        return;
    }
    const platform::gdi::Surface surface = paintingInto->Pixels();
    WorkRaster->Draw(*paintingInto, dmActual, 0, 0, WorkRaster->Width(), WorkRaster->Height(), surface.width,
                     surface.height);
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
    const qreal ratio = devicePixelRatioF();
    if (!work.HasPixels() || !Image.HasPixels() ||
        !platform::WindowCanvas::CanBeHad(DeviceSize(WindowSizeFor(work.Width(), work.Height(), ratio), ratio))) {
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

void TForm1::paintEvent(QPaintEvent* event) {
    // Every paint (after a render, an exposure, a restore, a resize) draws the
    // working raster straight into the window's surface: of a window larger than the
    // screens, only the part on them (a picture taken of the window gets it whole).
    QPainter painter(this);
    QRect area = event->rect();
    if (IntoOwnSurface(painter)) {
        const QRect seen = area & VisiblePart();
        unpainted = (unpainted | area) - seen;
        if (seen.isEmpty()) return;
        area = seen;
    }
    const QColor background = palette().color(QPalette::Window);
    painter.setBackground(background);
    const qreal ratio = devicePixelRatioF();
    platform::WindowCanvas canvas(painter, DeviceSize(size(), ratio), DeviceRect(area, ratio));
    paintingInto = &canvas;
    FormPaint();
    paintingInto = nullptr;
    // Where the window is larger than the raster, its background.
    const platform::gdi::Surface surface = canvas.Pixels();
    const platform::gdi::ClipBox clip = canvas.Clip();
    const TWin* shown = picture_.WorkRaster.get();
    const int drawnWidth = shown ? std::min(shown->Width(), clip.right) : 0;
    const int drawnHeight = shown ? shown->Height() : 0;
    const std::uint32_t fill = background.rgb() | 0xFF000000u;
    for (int y = clip.top; y < clip.bottom; ++y) {
        const int from = y < drawnHeight ? std::max(drawnWidth, clip.left) : clip.left;
        std::fill(reinterpret_cast<std::uint32_t*>(surface.pixel(from, y)),
                  reinterpret_cast<std::uint32_t*>(surface.pixel(clip.right, y)), fill);
    }
}

bool TForm1::IntoOwnSurface(const QPainter& painter) const {
    QBackingStore* store = backingStore();
    const QPaintEngine* engine = painter.paintEngine();
    return store && engine && engine->paintDevice() == store->paintDevice();
}

QRect TForm1::VisiblePart() const {
    QRegion screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens += screen->geometry();
    return (screens.translated(-mapToGlobal(QPoint(0, 0))) & rect()).boundingRect();
}

void TForm1::PaintNewlyVisible() {
    const QRegion due = unpainted & VisiblePart();
    if (!due.isEmpty()) update(due);
}

void TForm1::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    PaintNewlyVisible();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormPaint();
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

void TForm1::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragOffset.reset();
    // The window manager drags the window as by a caption bar where it can;
    // otherwise the window follows the mouse itself.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragOffset = event->globalPosition().toPoint() - pos();
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - *dragOffset);
}

void TForm1::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragOffset.reset();
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) { PopupMenu1->popup(event->globalPos()); }
