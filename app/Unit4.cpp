#include "app/Unit4.h"

#include <QCloseEvent>
#include <QFile>
#include <QLayout>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>

#include "app/Application.h"
#include "app/Unit1.h"
#include "image_io/image_file.h"

namespace {
constexpr std::array<std::int32_t, 8> kInitialPositions = {13, 160, 255, 0, 0, 0, 0, 0};

std::function<void()>& RenderObserver() {
    static std::function<void()> observer;
    return observer;
}
}  // namespace

void SetRenderObserverForTesting(std::function<void()> observer) { RenderObserver() = std::move(observer); }

TForm4::TForm4(QWidget* parent) : QMainWindow(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    lumarq::ApplyFormFont(this);
    setMenuBar(MainMenu1);
    // The client area is fixed; the window is as large as it and the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    Form4 = this;

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

TForm4::~TForm4() { Form4 = nullptr; }

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
    if (!Form1 || !Form1->WorkRaster || !Form1->SourceRaster) return;
    RenderPipeline(*Form1->WorkRaster, *Form1->SourceRaster, Settings());
    if (RenderObserver()) RenderObserver()();
    Form1->FormPaint();
}

void TForm4::Button1Click() {
    if (Form1) Form1->Beeper(3);
    const std::array<QScrollBar*, 8> bars = ScrollBars();
    for (std::size_t i = 0; i < bars.size(); ++i) bars[i]->setValue(kInitialPositions[i]);
    for (std::size_t i = 0; i < bars.size(); ++i) MemoryBank[i] = bars[i]->value();
}

void TForm4::Button2Click() {
    if (Form1) Form1->Beeper(3);
    const std::array<QScrollBar*, 8> bars = ScrollBars();
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const std::int32_t remembered = bars[i]->value();
        bars[i]->setValue(MemoryBank[i]);
        MemoryBank[i] = remembered;
    }
}

void TForm4::Open1Click() {
    if (Form1) Form1->OpenAnotherFile();
}

bool TForm4::SaveWorkRaster() {
    // The name's extension chooses the format: saving over an opened JPEG writes a JPEG.
    const SaveResult result =
        image_io::SaveImageFile(*Form1->WorkRaster, QFile::encodeName(Form1->CurrentFileName).toStdString());
    if (!result) ReportError(QString::fromLocal8Bit(result.error.c_str()));
    return result.ok;
}

void TForm4::Save1Click() {
    if (!Form1) return;
    // A pasted image has no file yet: Save asks for one.
    if (Form1->CurrentFileName.isEmpty()) return SaveAs1Click();
    if (SaveWorkRaster()) emit FileSaved(Form1->CurrentFileName);
}

void TForm4::SaveAs1Click() {
    if (!Form1) return;
    std::optional<QString> chosen = Form1->RunSaveDialog1(Form1->CurrentFileName);
    if (!chosen) return;
    Form1->CurrentFileName = *chosen;
    if (SaveWorkRaster()) emit FileSaved(Form1->CurrentFileName);
}

void TForm4::File1Click() {
    if (Form1) Form1->Beeper(1);
}

void TForm4::Exit1Click() { lumarq::Terminate(); }

void TForm4::Help1Click() {
    if (Form1) Form1->Help1Click();
}

void TForm4::About1Click() {
    if (Form1) Form1->About1Click();
}

void TForm4::BeSilent1Click() {
    if (Form1) Form1->BeSilent1Click();
}

void TForm4::MakeNoise1Click() {
    if (Form1) Form1->NoSounds1Click();
}

void TForm4::Min1Click() {
    if (Form1) Form1->Beeper(5);
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
    // FormClose: closing the panel ends the program.
    event->accept();
    lumarq::Terminate();
}

void TForm4::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange &&
        (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized) && !isMinimized())
        lumarq::RestoreApplication();
}
