// TForm4: the control panel. Its eight sliders are the whole of the render
// settings; every change of one hands them to the picture, which renders and tells
// the image window to repaint. Also Reset, Memory A<>B and the menu bar with the
// file commands. What belongs to the image window (sound cues, Help, About, the
// Open that reloads it) the panel asks for through its signals.
#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>

#include "app/picture.h"
#include "ui_Unit4.h"

class QScrollBar;

class TForm4 : public QMainWindow, public Ui::TForm4 {
    Q_OBJECT
public:
    explicit TForm4(Picture& picture, QWidget* parent = nullptr);
    ~TForm4() override;

    // A second set of the eight slider positions, exchanged by Memory A<>B.
    std::array<std::int32_t, 8> MemoryBank{};

    std::array<QScrollBar*, 8> ScrollBars() const;
    RenderSettings Settings() const;
    // The window the file dialogs belong to (the image window's). Set by the start-up.
    void SetDialogOwner(QWidget* owner) { dialogOwner_ = owner; }
    // Writes "Lumarq " and the pattern slider's position into the pattern label.
    void ShowPatternLabel();

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
    // A sound cue of the image window's is due.
    void Cue(unsigned code);
    // Menu items that act on the image window.
    void OpenChosen();
    void HelpChosen();
    void AboutChosen();
    void SilenceChosen();
    void NoiseChosen();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Picture& picture_;
    QWidget* dialogOwner_ = nullptr;
};
