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
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "app/Unit4.h"
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

std::string NativePath(const QString& name) { return QFile::encodeName(name).toStdString(); }

}  // namespace

void ReportError(const QString& text) {
    QString answer;
    // OK button, stop icon, application-modal, above the stay-on-top panel.
    ShowMessageBox(QStringLiteral("Lumarq"), text, 4, 1, 1, 0, answer);
}

TForm1::TForm1(const QStringList& arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    // The paint writes every pixel itself; Qt need not clear the surface first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setupUi(this);
    lumarq::ApplyFormFont(this);
    Form1 = this;
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

TForm1::~TForm1() { Form1 = nullptr; }

void TForm1::FormCreate(const QStringList& arguments) {
    CurrentFileName = arguments.isEmpty() ? QString() : arguments.first();
    SoundsOn = true;
    SourceRaster = std::make_unique<TWin>(32, 32);
    WorkRaster = std::make_unique<TWin>(32, 32);
}

void TForm1::FormDestroy() {
    WorkRaster.reset();
    SourceRaster.reset();
    Beeper(7);
}

bool TForm1::LoadCurrentFile() {
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
            // Both images are read before either raster changes: a file that fails
            // to load must not leave the image on screen without its source, or
            // the next render would turn it black and Save would write that.
            const std::string path = NativePath(CurrentFileName);
            TWin source(0, 0), work(0, 0);
            image_io::LoadImageFile(path, source, &work);
            // The surface that shows the image is had before anything changes, too.
            const qreal ratio = devicePixelRatioF();
            if (!platform::WindowCanvas::CanBeHad(DeviceSize(WindowSizeFor(work.Width(), work.Height(), ratio), ratio)))
                throw LoadError(kOutOfMemoryError);
            SourceRaster->Swap(source);
            WorkRaster->Swap(work);
            imageLoaded = true;
            return true;
        } catch (const std::exception& error) {
            ReportError(QString::fromLocal8Bit(error.what()));
        }
        if (imageLoaded) {
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
    SourceFileName = CurrentFileName;
    ShowLoadedImage();
    if (!lumarq::TerminateRequested()) emit FileOpened(CurrentFileName);
}

void TForm1::ShowLoadedImage() {
    const int width = WorkRaster->Width();
    const int height = WorkRaster->Height();
    resize(WindowSizeFor(width, height, devicePixelRatioF()));
    move(0, 0);

    if (Form4) Form4->show();

    if (width <= 128 || height <= 128) {
        QString answer;
        ShowMessageBox(QString::fromLatin1(kTooSmallTitle), QString::fromLatin1(kTooSmallText), 1, 0, 1, 0, answer);
        lumarq::Terminate();
    } else if (Form4) {
        Form4->ScrollBar1Change();
    }
    Beeper(1);
}

void TForm1::FormPaint() {
    if (Form4)
        Form4->Label1->setText(QStringLiteral("Lumarq ") + QString::number(Form4->ScrollBar1->value()));
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
    if (Form3) {
        Form3->show();
        Form3->raise();
    }
    Beeper(5);
}

void TForm1::About1Click() {
    if (Form2) {
        Form2->show();
        Form2->raise();
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

std::optional<QString> TForm1::RunOpenDialog1() {
    platform::FileDialogRequest request;
    request.kind = platform::FileDialogRequest::Kind::Open;
    request.title = QStringLiteral("Please Choose a Bitmap to Load and Edit");
    request.filter = QString::fromStdString(image_io::OpenDialogFilter());
    std::optional<QString> chosen = platform::RunFileDialog(this, request);
    if (chosen && chosen->isEmpty()) return std::nullopt;
    if (chosen) return QFileInfo(*chosen).absoluteFilePath();
    return chosen;
}

std::optional<QString> TForm1::RunSaveDialog1(const QString& preset) {
    platform::FileDialogRequest request;
    request.kind = platform::FileDialogRequest::Kind::Save;
    request.title = QStringLiteral("Save New Bitmap");
    request.filter = QString::fromStdString(image_io::SaveDialogFilter());
    request.defaultSuffix = QStringLiteral("bmp");
    request.fileName = preset;
    std::optional<QString> chosen = platform::RunFileDialog(this, request);
    if (!chosen || chosen->isEmpty()) return std::nullopt;
    QString name = *chosen;
    if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".bmp");
    return QFileInfo(name).absoluteFilePath();
}

void TForm1::OpenAnotherFile() {
    saveNameBeforeOpen = CurrentFileName;
    CurrentFileName.clear();
    hide();
    show();
}

void TForm1::OpenNamedFile(const QString& fileName) {
    saveNameBeforeOpen = CurrentFileName;
    CurrentFileName = fileName;
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
    TWin work(Image.Width(), Image.Height());
    const qreal ratio = devicePixelRatioF();
    if (!work.HasPixels() || !Image.HasPixels() ||
        !platform::WindowCanvas::CanBeHad(DeviceSize(WindowSizeFor(work.Width(), work.Height(), ratio), ratio))) {
        ReportError(QString::fromLatin1(kOutOfMemoryError));
        return false;
    }
    for (int y = 0; y < work.Height(); ++y)
        std::memcpy(work.PixelAddress(0, y), Image.PixelAddress(0, y), 3 * static_cast<std::size_t>(work.Width()));
    SourceRaster->Swap(Image);
    WorkRaster->Swap(work);
    imageLoaded = true;
    CurrentFileName.clear();
    SourceFileName.clear();
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
    const int drawnWidth = WorkRaster ? std::min(WorkRaster->Width(), clip.right) : 0;
    const int drawnHeight = WorkRaster ? WorkRaster->Height() : 0;
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
    // Closing the main window (a window manager's close) ends the program.
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
