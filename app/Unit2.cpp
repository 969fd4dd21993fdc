#include "app/Unit2.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "app/Application.h"
#include "lumarq/version.h"

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    // The text lines are 13 pixels high whatever the screen's resolution; where
    // Verdana is missing a face of the same wide build stands in.
    for (QLabel* text : {StaticText1, StaticText2, StaticText4, StaticText3, StaticText5}) {
        QFont font = text->font();
        font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"), QStringLiteral("Bitstream Vera Sans")});
        font.setPixelSize(13);
        text->setFont(font);
    }
    StaticText2->setText(QStringLiteral("Version " LUMARQ_VERSION));
    setFixedSize(size());
    OKButton1->setFocus();
    connect(OKButton1, &QPushButton::clicked, this, &TForm2::OKButton1Click);
}

TForm2::~TForm2() = default;

void TForm2::OKButton1Click() { hide(); }

void TForm2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    // OK is the window's default button: Enter presses it from anywhere in it.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OKButton1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}
