// ShowMessageBox: the flags it builds from its two codes and two options, the
// words it answers with, and the real box it shows.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "controls/message_box.h"
#include "platform/qt/message_box.h"

using namespace platform;

class MessageBoxTest : public QObject {
    Q_OBJECT

    // Runs `act` on the box once it is up.
    static void WhenBoxShows(std::function<void(QMessageBox*)> act) {
        QTimer::singleShot(0, [act] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            act(box);
            if (box->isVisible()) box->done(0);  // a failed check must not leave it waiting
        });
    }

private slots:
    void cleanup() { SetMessageBoxHandler({}); }

    void flagsFromStyleModalityAndOptions_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("modality");
        QTest::addColumn<int>("topMost");
        QTest::addColumn<int>("rightAlign");
        QTest::addColumn<uint>("flags");
        // The image window's too-small message.
        QTest::newRow("OK information, task-modal, top-most") << 1 << 0 << 1 << 0 << 0x42040u;
        QTest::newRow("first of every set") << 5 << 1 << 0 << 0 << 0x41u;
        QTest::newRow("question") << 10 << 1 << 0 << 0 << 0x24u;
        QTest::newRow("exclamation") << 15 << 1 << 0 << 0 << 0x33u;
        QTest::newRow("stop, last set") << 24 << 1 << 0 << 0 << 0x12u;
        QTest::newRow("retry-cancel") << 17 << 1 << 0 << 0 << 0x45u;
        QTest::newRow("style 13") << 13 << 5 << 0 << 0 << 0x2043u;
        QTest::newRow("style 0 is style 13") << 0 << 5 << 0 << 0 << 0x2043u;
        QTest::newRow("style 25 is style 13") << 25 << 5 << 0 << 0 << 0x2043u;
        QTest::newRow("negative style is style 13") << -3 << 5 << 0 << 0 << 0x2043u;
        QTest::newRow("modality 0 is modality 5") << 1 << 0 << 0 << 0 << 0x2040u;
        QTest::newRow("modality 25 is modality 5") << 1 << 25 << 0 << 0 << 0x2040u;
        QTest::newRow("negative modality is modality 5") << 1 << -1 << 0 << 0 << 0x2040u;
        QTest::newRow("second default, application-modal") << 1 << 2 << 0 << 0 << 0x140u;
        QTest::newRow("fourth default, system-modal") << 1 << 12 << 0 << 0 << 0x1340u;
        QTest::newRow("help, application-modal, third default") << 1 << 15 << 0 << 0 << 0x4240u;
        QTest::newRow("help, task-modal") << 1 << 17 << 0 << 0 << 0x6040u;
        QTest::newRow("help, system-modal, fourth default") << 1 << 24 << 0 << 0 << 0x5340u;
        QTest::newRow("right-aligned, any nonzero flag") << 1 << 1 << 0 << -7 << 0x80040u;
        QTest::newRow("both options") << 1 << 1 << 2 << 1 << 0xC0040u;
    }
    void flagsFromStyleModalityAndOptions() {
        QFETCH(int, style);
        QFETCH(int, modality);
        QFETCH(int, topMost);
        QFETCH(int, rightAlign);
        QFETCH(uint, flags);
        QCOMPARE(MessageBoxFlags(style, modality, topMost, rightAlign), flags);

        // The routine hands exactly those flags, the text and the title to the box.
        QString seenText, seenCaption;
        std::uint32_t seenFlags = 0;
        SetMessageBoxHandler([&](const QString& text, const QString& caption, std::uint32_t f) {
            seenText = text;
            seenCaption = caption;
            seenFlags = f;
            return IDOK;
        });
        QString answer;
        ShowMessageBox(QStringLiteral("Title"), QStringLiteral("Text"), style, modality, topMost, rightAlign, answer);
        QCOMPARE(seenFlags, flags);
        QCOMPARE(seenText, QStringLiteral("Text"));
        QCOMPARE(seenCaption, QStringLiteral("Title"));
    }

    void answerWords() {
        const QStringList words = {"OK", "CANCEL", "ABORT", "RETRY", "IGNORE", "YES", "NO"};
        for (int result = 1; result <= 7; ++result) {
            SetMessageBoxHandler([result](const QString&, const QString&, std::uint32_t) { return result; });
            QString answer = QStringLiteral("before");
            ShowMessageBox("t", "x", 13, 5, 0, 0, answer);
            QCOMPARE(answer, words[result - 1]);
        }
        // A box that could not be shown (0) or an unknown result leaves the caller's value.
        for (int result : {0, 8, -1}) {
            SetMessageBoxHandler([result](const QString&, const QString&, std::uint32_t) { return result; });
            QString answer = QStringLiteral("kept");
            ShowMessageBox("t", "x", 13, 5, 0, 0, answer);
            QCOMPARE(answer, QStringLiteral("kept"));
        }
    }

    // The real box: buttons, icon, default button, Help, options, and answers.
    void okBoxAsTheImageWindowShowsIt() {
        WhenBoxShows([](QMessageBox* box) {
            QCOMPARE(box->windowTitle(), QStringLiteral("Sorry"));
            QCOMPARE(box->icon(), QMessageBox::Information);
            QCOMPARE(box->buttons().size(), 1);
            QVERIFY(box->windowFlags() & Qt::WindowStaysOnTopHint);
            QCOMPARE(box->windowModality(), Qt::ApplicationModal);
            QTest::keyClick(box, Qt::Key_Return);
        });
        QString answer;
        ShowMessageBox("Sorry", "Too small", 1, 0, 1, 0, answer);
        QCOMPARE(answer, QStringLiteral("OK"));
    }

    void escapeOnYesNoCancelAnswersCancel() {
        WhenBoxShows([](QMessageBox* box) {
            QCOMPARE(box->buttons().size(), 3);
            QVERIFY(!(box->windowFlags() & Qt::WindowStaysOnTopHint));
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QString answer;
        ShowMessageBox("t", "x", 0, 0, 0, 0, answer);
        QCOMPARE(answer, QStringLiteral("CANCEL"));
    }

    void defaultButtonAnswersReturn() {
        // Yes/No with the stop icon, second button (No) the default.
        WhenBoxShows([](QMessageBox* box) {
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
            QTest::keyClick(box, Qt::Key_Return);
        });
        QString answer;
        ShowMessageBox("t", "x", 12, 2, 0, 0, answer);
        QCOMPARE(answer, QStringLiteral("NO"));
    }

    void helpButtonStaysOpenAndTextAlignsRight() {
        // Abort/Retry/Ignore with a Help button, right-aligned text.
        WhenBoxShows([](QMessageBox* box) {
            QPushButton* help = qobject_cast<QPushButton*>(box->button(QMessageBox::Help));
            QVERIFY(help);
            help->click();
            QVERIFY(box->isVisible());
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            QVERIFY(label);
            QVERIFY(label->alignment() & Qt::AlignRight);
            box->button(QMessageBox::Retry)->click();
        });
        QString answer;
        ShowMessageBox("t", "x", 21, 13, 0, 1, answer);
        QCOMPARE(answer, QStringLiteral("RETRY"));
    }
};

QTEST_MAIN(MessageBoxTest)
#include "message_box_test.moc"
