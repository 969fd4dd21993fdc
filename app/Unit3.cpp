#include "app/Unit3.h"

#include <QFontInfo>
#include <QKeyEvent>
#include <QFontMetrics>
#include <QRegularExpression>

#include "app/Application.h"

namespace {

// Whether a word-wrapped caption shows whole in its box: no word wider than the
// box and no more lines than it holds.
bool CaptionFits(const QLabel* label) {
    const QFontMetrics metrics(label->font());
    for (const QString& word : label->text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (metrics.horizontalAdvance(word) > label->width()) return false;
    return label->heightForWidth(label->width()) <= label->height();
}

}  // namespace

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    // The explanations are 13 pixels high whatever the screen's resolution. The
    // layout was made for Arial's widths and line spacing; where neither Arial nor
    // a face with its metrics is installed, DejaVu Sans (whose lines are as close)
    // stands in. Either face is narrowed just enough that every caption fits its
    // box: "Currently Selected lumarq" is 3 pixels wider in Arial than its box.
    for (QLabel* label : findChildren<QLabel*>(QRegularExpression(QStringLiteral("^Label\\d+$")))) {
        QFont font = label->font();
        font.setPixelSize(13);
        const QString family = QFontInfo(font).family();
        if (!family.startsWith(QLatin1String("Arial")) && !family.startsWith(QLatin1String("Liberation Sans")) &&
            !family.startsWith(QLatin1String("Arimo")))
            font.setFamilies({QStringLiteral("DejaVu Sans")});
        for (int stretch = 100; stretch >= 70; stretch -= 2) {
            font.setStretch(stretch);
            label->setFont(font);
            if (CaptionFits(label)) break;
        }
    }
    move(120, 151);
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
}

TForm3::~TForm3() = default;

void TForm3::Button1Click() { hide(); }

void TForm3::keyPressEvent(QKeyEvent* event) {
    // Escape closes the window, as it closes any help window.
    if (event->key() == Qt::Key_Escape) {
        Button1Click();
        return;
    }
    QWidget::keyPressEvent(event);
}
