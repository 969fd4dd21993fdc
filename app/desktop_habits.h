// What a desktop user reaches for by habit, added to the image window and the
// control panel without changing what they already do: keyboard shortcuts, Open
// Recent, remembered dialog folders, dropping a file to open it, the clipboard,
// presets and the sliders' values in tool tips.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QMenu;
class QMimeData;
class QScrollBar;
class Picture;
class TForm1;
class TForm4;

namespace lumarq {

class DesktopHabits : public QObject {
    Q_OBJECT
public:
    DesktopHabits(Picture& picture, TForm1* imageWindow, TForm4* panel);
    ~DesktopHabits() override;

    // File menu items of their own; Reset and Memory A<>B by key.
    QPointer<QMenu> OpenRecent;
    QAction* CopyImage = nullptr;
    QAction* PasteImage = nullptr;
    QAction* SaveSettings = nullptr;
    QAction* LoadSettings = nullptr;
    QAction* CopyAsCommand = nullptr;
    QAction* ResetKey = nullptr;
    QAction* MemoryKey = nullptr;

    // The file a drop would open: the first local file among those dragged.
    static QString DroppedFile(const QMimeData* data);
    // "Detector 160", "Angle 30°": what the slider's tool tip says.
    static QString SliderValueText(int slider, int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillOpenRecent();
    void ShowSliderValue(int slider);

    QPointer<TForm1> imageWindow_;
    QPointer<TForm4> panel_;
};

}  // namespace lumarq
