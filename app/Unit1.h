// TForm1: the image window. Shows the picture's working raster in a borderless
// window that drags from any point: at actual size at the screen's top-left corner
// unless the user chooses another view scale (Fit, Zoom In, Zoom Out);
// runs the start-up sequence that loads a bitmap into the picture, and owns the
// sounds-on flag and the sound cues.
#pragma once

#include <QPointF>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

#include "app/dialogs.h"
#include "app/picture.h"
#include "controls/SysMenu.h"
#include "platform/gdi/scale.h"
#include "platform/gdi/scaled_view.h"
#include "platform/qt/window_canvas.h"
#include "ui_Unit1.h"

class QLabel;

class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT
public:
    // arguments: the command line without the program name; the first one, if
    // any, is the bitmap to edit. The window shows `picture` for its whole life.
    TForm1(Picture& picture, const QStringList& arguments, QWidget* parent = nullptr);
    ~TForm1() override;

    // The picture this window shows.
    Picture& Document() const { return picture_; }
    bool SoundsOn = true;

    // The windows this one shows: the control panel after a load, About and Help
    // from the menus. Set once by the start-up.
    void SetCompanions(QWidget* panel, QWidget* about, QWidget* help);

    // Copies PopupMenu1's items to the top of the window's system menu.
    TTavixSystemMenu* TavixSystemMenu1 = nullptr;

    // Runs each time the program shows this window: obtains a file, loads it,
    // sizes the window to it, shows the panel, refuses too-small images, renders.
    void FormShow();
    // Updates the panel's pattern label and copies the working raster into the window.
    void FormPaint();

    // The panel's Open: clears the file name and shows the window again, so that
    // FormShow asks for a file; a failed load leaves Save aimed where it was.
    void OpenAnotherFile();
    // The same Open with the file already chosen (a drop, a recent file).
    void OpenNamedFile(const QString& fileName);
    // Takes Image as the new source, as an opened file with no name (a paste):
    // Save then asks for one. Refused with a message, and nothing changed, when the
    // image is too small or the memory for it cannot be had.
    bool OpenUnnamedImage(TWin& Image);
    // Frees both rasters, then plays the last cue to its end. Run once at program
    // end, after the message loop and while every window still exists.
    void FormDestroy();

    void Help1Click();
    void About1Click();
    void BeSilent1Click();
    void NoSounds1Click();

    // The view. Every scale shows the same full-size render; only the window's
    // picture of it is scaled.
    platform::gdi::ViewScale ViewScale() const { return viewScale_; }
    // Whether the user chose Fit: a newly opened image is fitted too.
    bool FitChosen() const { return fitChosen_; }
    // Zoom In and Zoom Out go through these, from 1/16 to 8.
    static const std::array<platform::gdi::ViewScale, 13>& ZoomSteps();
    // The whole image on the available part of the window's screen, at most actual size.
    void ViewFit();
    // One image pixel on one device pixel, the window at the screen's corner.
    void ViewActualSize();
    // `steps` zoom steps in (positive) or out, keeping the image point under
    // `anchor` (global) where it is; without one, the middle of what is on screen.
    void Zoom(int steps, std::optional<QPointF> anchor = std::nullopt);
    // The same to any scale.
    void ZoomTo(platform::gdi::ViewScale scale, std::optional<QPointF> anchor = std::nullopt);
    // The view is a cardboard of the scaled image's size at this place (global,
    // window units). The real window is all of it where a screen can hold it, else
    // only its part on the screen: one screen's surface at most, at any zoom.
    QRect ViewGeometry() const { return viewGeometry_; }
    // Moves the cardboard's top-left to `at` (global), as dragging it does.
    void MoveView(QPoint at);
    // Shows the source instead of the render, through the same view, while on.
    void ShowSource(bool on);
    bool ShowingSource() const { return showSource_; }
    // Shown in the image's popup menu after PopupMenu1's items; set by the desktop habits.
    QMenu* ViewMenu = nullptr;

    // Plays sound cue Code (0..7); nothing for larger codes or when silenced.
    void Beeper(unsigned Code);

    // The window's two file dialogs, also used by the panel's File menu.
    std::optional<QString> RunOpenDialog1();
    std::optional<QString> RunSaveDialog1(const QString& preset);

signals:
    // A file was loaded, shown and rendered.
    void FileOpened(const QString& fileName);
    // The picture is loaded and shown: the control panel's render is due.
    void RenderRequested();
    // Every paint begins: the panel's pattern label follows it.
    void Painting();
    // The view scale or Fit changed.
    void ViewChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void FormCreate(const QStringList& arguments);
    bool LoadCurrentFile();
    // FormShow's steps after a load: size and place, panel, size test, render, cue.
    void ShowLoadedImage();

    // The scale at which the working raster fits the window's screen's available area.
    platform::gdi::ViewScale FitScale() const;
    // Shows the picture at `scale` with the window's top-left at `at` (global).
    // False, and nothing changed, when the window's surface could not be had.
    bool ApplyView(platform::gdi::ViewScale scale, QPoint at);
    // Puts the cardboard at `view` and the real window where it belongs.
    void PlaceView(QRect view);
    // The real window's geometry for a cardboard at `view`.
    QRect RealGeometryFor(QRect view) const;
    // Whether the surface of the window that shows a width x height image at actual
    // size can be had, before anything changes.
    bool SurfaceCanBeHad(int width, int height) const;
    // Where the real window's top-left lies on the cardboard, in device pixels.
    QPoint ViewOffset() const;
    // Lets the scaled view follow renders for what the window shows; at actual size
    // it follows none and keeps what it holds.
    void AimScaledView();
    // The raster the window shows: the render, or the source while it is asked for.
    TWin* Shown() const;
    // Briefly shows the scale on the image.
    void ShowScaleNote();

    // Whether a paint goes into the window's own surface (not a picture of it).
    bool IntoOwnSurface(const QPainter& painter) const;
    // The part of the window on the screens, in window coordinates.
    QRect VisiblePart() const;
    // Asks for a paint of whatever is on the screens but not painted yet.
    void PaintNewlyVisible();

    Picture& picture_;
    QWidget* panel_ = nullptr;
    QWidget* about_ = nullptr;
    QWidget* help_ = nullptr;
    bool shownBefore = false;      // the first show has been handled
    QString saveNameBeforeOpen;    // CurrentFileName when the panel's Open began
    // The window's surface while a paint is on; FormPaint outside a paint asks for one.
    platform::WindowCanvas* paintingInto = nullptr;
    // The parts of the window's surface that do not show the working raster yet.
    QRegion unpainted;
    std::optional<QPoint> dragOffset;  // set while the window is dragged by hand
    platform::gdi::ViewScale viewScale_;
    QRect viewGeometry_;   // the cardboard
    bool placing_ = false;  // the window is being put on its cardboard
    platform::gdi::ScaledView scaledView_;
    bool fitChosen_ = false;
    bool showSource_ = false;
    QSize shownImageSize;  // the size of the image last opened
    int wheelTurned = 0;   // Ctrl+wheel's turn not yet made a zoom step, in eighths of a degree
    QLabel* scaleNote = nullptr;
    QTimer scaleNoteTimer;
};

// The text of the too-small-image message and its title.
inline constexpr const char* kTooSmallTitle = "Sorry: Bitmap Too Small";
inline constexpr const char* kTooSmallText =
    "Due to the mathematical nature of this program, the minimum size of the bitmap must be: 129 by 129 "
    "pixels.  The program must now exit to prevent it from crashing.";
