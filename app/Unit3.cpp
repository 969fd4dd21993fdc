#include "app/Unit3.h"

#include <QRegularExpression>

#include "app/Application.h"

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    // The explanations are 13 pixels high whatever the screen's resolution; where
    // Arial is missing a face of the same build stands in.
    for (QLabel* label : findChildren<QLabel*>(QRegularExpression(QStringLiteral("^Label\\d+$")))) {
        QFont font = label->font();
        font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                          QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
        font.setPixelSize(13);
        label->setFont(font);
    }
    setWindowIcon(QIcon(QStringLiteral(":/pictures/about_icon.png")));
    move(120, 151);
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    Form3 = this;
}

TForm3::~TForm3() { Form3 = nullptr; }

void TForm3::Button1Click() { hide(); }
