// The About and Help windows: the Help window's stored lines and captions as the
// program loads them, the stacking of its parts, showing from either menu with
// its cue, hiding from each window's button, and resizing without moving anything.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "app/Unit4.h"
#include "app/app_test_util.h"
#include "controls/line.h"
#include "lumarq/version.h"

namespace {

struct StoredLine {
    const char* name;
    QRect geometry;
    TLineDirection direction;
};
const StoredLine kLines[] = {
    {"Line1", {320, 204, 185, 41}, drLeftRight},  {"Line2", {320, 324, 77, 105}, drUpDown},
    {"Line3", {92, 308, 77, 41}, drLeftRight},    {"Line4", {212, 12, 85, 41}, drLeftRight},
    {"Line5", {304, 224, 185, 37}, drLeftRight},  {"Line6", {292, 236, 177, 41}, drLeftRight},
    {"Line7", {272, 256, 189, 41}, drLeftRight},  {"Line8", {308, 152, 185, 41}, drLeftRight},
    {"Line9", {432, 176, 61, 41}, drLeftRight},   {"Line10", {388, 376, 105, 41}, drLeftRight},
    {"Line12", {84, 268, 77, 41}, drLeftRight},
};

struct StoredLabel {
    const char* name;
    QRect geometry;
    const char* caption;
};
const StoredLabel kLabels[] = {
    {"Label1", {296, 4, 261, 80},
     "Look Ma.  No Scrollbars!  The actual-sized image you are editing appears on the screen behind the Lumarq "
     "Control Panel.  It can be dragged around like a piece of cardboard with your mouse."},
    {"Label2", {68, 428, 425, 48},
     "This allows you to temporarily save the settings in two Memory Banks: A and B.  Adjust the sliders then "
     "press it.  The sliders will return to their respective initial states.  Then you can change sliders again "
     "for bank B."},
    {"Label3", {12, 308, 93, 64}, "Resets all knobs to zero state and clears all memories."},
    {"Label4", {492, 212, 147, 16}, "Currently Selected lumarq"},
    {"Label5", {488, 232, 141, 16}, "LED On/Off Electric Eye"},
    {"Label6", {468, 252, 80, 16}, "LED Redness"},
    {"Label7", {460, 272, 56, 32}, "LED Greeness"},
    {"Label8", {496, 164, 97, 16}, "Image Position X"},
    {"Label9", {496, 188, 99, 16}, "Image Position Y"},
    {"Label10", {496, 388, 93, 16}, "Image Tilt Angle"},
    {"Label11", {32, 264, 54, 32}, "LED Blueness"},
};

int VisibleWindowsTitled(const QString& title) {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) ++count;
    return count;
}

}  // namespace

class HelpAboutTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Seams> seams;
    std::unique_ptr<lumarq::Windows> windows;

private slots:
    void init() {
        seams = std::make_unique<Seams>();
        windows = std::make_unique<lumarq::Windows>(QStringList{});
    }
    void cleanup() {
        windows.reset();
        seams.reset();
    }

    void helpLinesAsStored() {
        const QList<TLine*> lines = Form3->findChildren<TLine*>();
        QCOMPARE(lines.size(), 11);
        for (const StoredLine& stored : kLines) {
            auto* line = Form3->findChild<TLine*>(QString::fromLatin1(stored.name));
            QVERIFY2(line, stored.name);
            QCOMPARE(line->geometry(), stored.geometry);
            QCOMPARE(line->Direction(), stored.direction);
            QCOMPARE(line->LineWidth(), 1);
            QCOMPARE(line->LineColor(), TColor(0));
            QCOMPARE(line->ArrowColor(), TColor(0));
            // Not stored, so the control's own values: plain lines without heads.
            QVERIFY(!line->Arrow1() && !line->Arrow2());
            QCOMPARE(line->ArrowFactor(), 3);
        }
    }

    void helpCaptionsAndLayout() {
        QCOMPARE(Form3->windowTitle(), QStringLiteral("Lumarq Help"));
        QCOMPARE(Form3->size(), QSize(653, 495));
        QCOMPARE(Form3->pos(), QPoint(120, 151));
        QVERIFY(Form3->windowFlags() & Qt::WindowStaysOnTopHint);
        const QString arial = QFontInfo(QFont(QStringLiteral("Arial"))).family();
        const bool arialMetrics = arial.startsWith(QLatin1String("Arial")) ||
                                  arial.startsWith(QLatin1String("Liberation Sans")) || arial.startsWith(QLatin1String("Arimo"));
        for (const StoredLabel& stored : kLabels) {
            auto* label = Form3->findChild<QLabel*>(QString::fromLatin1(stored.name));
            QVERIFY2(label, stored.name);
            QCOMPARE(label->text(), QString::fromLatin1(stored.caption));
            QCOMPARE(label->geometry(), stored.geometry);
            QVERIFY(label->wordWrap());
            QCOMPARE(label->font().pixelSize(), 13);
            // A face with Arial's metrics is kept where one is installed (the package
            // recommends one); whatever face stands in, the caption fits its box.
            if (arialMetrics) QCOMPARE(QFontInfo(label->font()).family(), arial);
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(), stored.name);
            for (const QString& word : label->text().split(' ', Qt::SkipEmptyParts))
                QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(word) <= label->width(), stored.name);
        }
        QCOMPARE(Form3->Button1->text(), QStringLiteral("Close Help"));
        QCOMPARE(Form3->Button1->geometry(), QRect(568, 8, 79, 25));
        QCOMPARE(Form3->Image2->geometry(), QRect(0, 0, 256, 192));
        QCOMPARE(Form3->Image1->geometry(), QRect(104, 116, 347, 300));
        QCOMPARE(Form3->Image2->pixmap().size(), QSize(256, 192));
        QCOMPARE(Form3->Image1->pixmap().size(), QSize(347, 300));
    }

    void helpStackingOrder() {
        QStringList order;
        for (QObject* child : Form3->children())
            if (child->isWidgetType()) order << child->objectName();
        QCOMPARE(order, (QStringList{"Image2", "Image1", "Line1", "Line2", "Line3", "Line4", "Label1", "Label2",
                                     "Label3", "Label4", "Label5", "Line5", "Line6", "Label6", "Label7", "Line7",
                                     "Label8", "Line8", "Line9", "Label9", "Line10", "Label10", "Line12", "Label11",
                                     "Button1"}));
    }

    void helpShowsOneWindowAndCuesEachTime() {
        Form1->Help1Click();
        QVERIFY(Form3->isVisible());
        Form4->Help1Click();  // the panel's menu item leads to the same handler
        QVERIFY(Form3->isVisible());
        QCOMPARE(VisibleWindowsTitled(QStringLiteral("Lumarq Help")), 1);
        QCOMPARE(seams->SoundNames(), (QStringList{"REXIT", "REXIT"}));
        QCOMPARE(seams->sounds.back().second, platform::SoundMode::Asynchronous);

        QTest::mouseClick(Form3->Button1, Qt::LeftButton);
        QVERIFY(!Form3->isVisible());
        QVERIFY(Form3 != nullptr);  // hidden, not destroyed
        Form1->Help1Click();
        QVERIFY(Form3->isVisible());
        QTest::keyClick(Form3, Qt::Key_Escape);  // as any help window closes
        QVERIFY(!Form3->isVisible());
    }

    void helpResizesWithoutMovingItsContent() {
        Form1->Help1Click();
        QList<QRect> before;
        for (QWidget* child : Form3->findChildren<QWidget*>()) before << child->geometry();
        Form3->resize(300, 200);
        QCoreApplication::processEvents();
        QCOMPARE(Form3->size(), QSize(300, 200));
        Form3->resize(900, 700);
        QCoreApplication::processEvents();
        QList<QRect> after;
        for (QWidget* child : Form3->findChildren<QWidget*>()) after << child->geometry();
        QCOMPARE(after, before);
    }

    void aboutShowsHidesAndCues() {
        QVERIFY(Form2->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(Form2->windowType(), Qt::Tool);
        QCOMPARE(Form2->size(), QSize(474, 447));
        QVERIFY(Form2->OKButton1->font().bold());
        QVERIFY(Form2->OKButton1->isDefault());
        QCOMPARE(Form2->OKButton1->geometry(), QRect(164, 412, 301, 29));
        QCOMPARE(Form2->Image1->pixmap().size(), QSize(478, 128));
        QCOMPARE(Form2->Image2->pixmap().size(), QSize(64, 64));
        QCOMPARE(Form2->StaticText1->text(), QStringLiteral("Lumarq"));
        QCOMPARE(Form2->StaticText2->text(), QStringLiteral("Version " LUMARQ_VERSION));
        const int tops[5] = {140, 156, 172, 196, 212};
        const QLabel* texts[5] = {Form2->StaticText1, Form2->StaticText2, Form2->StaticText4, Form2->StaticText3,
                                  Form2->StaticText5};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(texts[i]->pos(), QPoint(132, tops[i]));
            QCOMPARE(texts[i]->font().pixelSize(), 13);
            QVERIFY(!texts[i]->text().isEmpty());
        }

        Form4->About1Click();
        QVERIFY(Form2->isVisible());
        Form1->About1Click();
        QCOMPARE(VisibleWindowsTitled(Form2->windowTitle()), 1);
        QCOMPARE(seams->SoundNames(), (QStringList{"RSTRUM", "RSTRUM"}));
        // Centred on its screen.
        const QPoint centre = Form2->screen()->geometry().center();
        QVERIFY(qAbs(Form2->frameGeometry().center().x() - centre.x()) <= 1);
        QVERIFY(qAbs(Form2->frameGeometry().center().y() - centre.y()) <= 1);

        QTest::mouseClick(Form2->OKButton1, Qt::LeftButton);
        QVERIFY(!Form2->isVisible());
        // Enter presses the default button.
        Form1->About1Click();
        QTest::keyClick(Form2, Qt::Key_Return);
        QVERIFY(!Form2->isVisible());
        // Neither window changes what the panel holds.
        QCOMPARE(Form4->Settings(), RenderSettings{});
    }
};

QTEST_MAIN(HelpAboutTest)
#include "help_about_test.moc"
