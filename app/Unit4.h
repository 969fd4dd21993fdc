// TForm4: the control panel. Its eight sliders are the whole of the render
// settings; every change of one re-renders the working raster and repaints the
// image window. Also Reset, Memory A<>B and the menu bar with the file commands.
#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>

#include "raster/render.h"
#include "ui_Unit4.h"

class QScrollBar;

class TForm4 : public QMainWindow, public Ui::TForm4 {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
    ~TForm4() override;

    // A second set of the eight slider positions, exchanged by Memory A<>B.
    std::array<std::int32_t, 8> MemoryBank{};

    std::array<QScrollBar*, 8> ScrollBars() const;
    RenderSettings Settings() const;

    void ScrollBar1Change();
    void Button1Click();
    void Button2Click();
    void Open1Click();
    void Save1Click();
    void SaveAs1Click();
    void File1Click();
    void Exit1Click();
    void Help1Click();
    void About1Click();
    void BeSilent1Click();
    void MakeNoise1Click();
    void Min1Click();

signals:
    // The working raster was written to this file.
    void FileSaved(const QString& fileName);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool SaveWorkRaster();
};

// The one test seam of the render pipeline: `observer` runs after every render
// the panel makes, so that tests can count them (one per slider change). The
// program itself never sets it; an empty function removes it.
void SetRenderObserverForTesting(std::function<void()> observer);
