// TForm1: the image window. Shows the picture's working raster at actual size in a
// borderless window at the screen's top-left corner that drags from any point;
// runs the start-up sequence that loads a bitmap into the picture, and owns the
// sounds-on flag and the sound cues.
#pragma once

#include <QRegion>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <optional>

#include "app/dialogs.h"
#include "app/picture.h"
#include "controls/SysMenu.h"
#include "platform/qt/window_canvas.h"
#include "ui_Unit1.h"

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

private:
    void FormCreate(const QStringList& arguments);
    bool LoadCurrentFile();
    // FormShow's steps after a load: size and place, panel, size test, render, cue.
    void ShowLoadedImage();

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
};

// The text of the too-small-image message and its title.
inline constexpr const char* kTooSmallTitle = "Sorry: Bitmap Too Small";
inline constexpr const char* kTooSmallText =
    "Due to the mathematical nature of this program, the minimum size of the bitmap must be: 129 by 129 "
    "pixels.  The program must now exit to prevent it from crashing.";
