#include "app/Unit4.h"

#include <QCloseEvent>
#include <QFile>
#include <QLayout>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>

#include "app/Application.h"
#include "app/dialogs.h"
#include "app/unsaved_work.h"

TForm4::TForm4(Picture& picture, QWidget* parent)
    : QMainWindow(parent, Qt::Tool | Qt::WindowStaysOnTopHint), picture_(picture) {
    setupUi(this);
    lumarq::ApplyFormFont(this);
    setMenuBar(MainMenu1);
    // The client area is fixed; the window is as large as it and the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    for (QScrollBar* bar : ScrollBars()) {
        // Qt's scroll bars invert the arrow keys of horizontal bars; Right must
        // move right (up by one), as Down moves a vertical bar down.
        if (bar->orientation() == Qt::Horizontal) bar->setInvertedControls(false);
        connect(bar, &QScrollBar::valueChanged, this, &TForm4::ScrollBar1Change);
    }
    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
    connect(File1, &QMenu::aboutToShow, this, &TForm4::File1Click);
    connect(Open1, &QAction::triggered, this, &TForm4::Open1Click);
    connect(Save1, &QAction::triggered, this, &TForm4::Save1Click);
    connect(SaveAs1, &QAction::triggered, this, &TForm4::SaveAs1Click);
    connect(BeSilent1, &QAction::triggered, this, &TForm4::BeSilent1Click);
    connect(MakeNoise1, &QAction::triggered, this, &TForm4::MakeNoise1Click);
    connect(Exit1, &QAction::triggered, this, &TForm4::Exit1Click);
    connect(Help1, &QAction::triggered, this, &TForm4::Help1Click);
    connect(About1, &QAction::triggered, this, &TForm4::About1Click);
    connect(Min1, &QAction::triggered, this, &TForm4::Min1Click);
}

TForm4::~TForm4() = default;

std::array<QScrollBar*, 8> TForm4::ScrollBars() const {
    return {ScrollBar1, ScrollBar2, ScrollBar3, ScrollBar4, ScrollBar5, ScrollBar6, ScrollBar7, ScrollBar8};
}

RenderSettings TForm4::Settings() const {
    RenderSettings settings;
    settings.Pattern = ScrollBar1->value();
    settings.Detector = ScrollBar2->value();
    settings.Red = ScrollBar3->value();
    settings.Green = ScrollBar4->value();
    settings.Blue = ScrollBar5->value();
    settings.XOffset = ScrollBar6->value();
    settings.YOffset = ScrollBar7->value();
    settings.Angle = ScrollBar8->value();
    return settings;
}

void TForm4::ScrollBar1Change() {
    // The picture renders and its watchers repaint.
    picture_.Render(Settings());
}

void TForm4::ShowPatternLabel() { Label1->setText(QStringLiteral("Lumarq ") + QString::number(ScrollBar1->value())); }

void TForm4::Button1Click() {
    emit Cue(3);
    const std::array<QScrollBar*, 8> bars = ScrollBars();
    for (std::size_t i = 0; i < bars.size(); ++i) bars[i]->setValue(kSettings[i].initial);
    for (std::size_t i = 0; i < bars.size(); ++i) MemoryBank[i] = bars[i]->value();
}

void TForm4::Button2Click() {
    emit Cue(3);
    const std::array<QScrollBar*, 8> bars = ScrollBars();
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const std::int32_t remembered = bars[i]->value();
        bars[i]->setValue(MemoryBank[i]);
        MemoryBank[i] = remembered;
    }
}

void TForm4::Open1Click() { emit OpenChosen(); }

void TForm4::Save1Click() { lumarq::SavePicture(picture_, dialogOwner_, false); }

void TForm4::SaveAs1Click() { lumarq::SavePicture(picture_, dialogOwner_, true); }

void TForm4::File1Click() { emit Cue(1); }

void TForm4::Exit1Click() {
    if (lumarq::MayDropPicture(picture_, dialogOwner_)) lumarq::Terminate();
}

void TForm4::Help1Click() { emit HelpChosen(); }

void TForm4::About1Click() { emit AboutChosen(); }

void TForm4::BeSilent1Click() { emit SilenceChosen(); }

void TForm4::MakeNoise1Click() { emit NoiseChosen(); }

void TForm4::Min1Click() {
    emit Cue(5);
    lumarq::MinimizeApplication();
}

void TForm4::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return;  // a restore after Min keeps place and focus
    if (QScreen* where = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        move(frame.topLeft());
    }
    ScrollBar1->setFocus(Qt::OtherFocusReason);
}

void TForm4::closeEvent(QCloseEvent* event) {
    // FormClose: closing the panel ends the program, unless the user keeps unsaved
    // work. Once the program is ending, every window closes unasked.
    if (!lumarq::TerminateRequested() && !lumarq::MayDropPicture(picture_, dialogOwner_)) {
        event->ignore();
        return;
    }
    event->accept();
    lumarq::Terminate();
}

void TForm4::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange &&
        (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized) && !isMinimized())
        lumarq::RestoreApplication();
}
