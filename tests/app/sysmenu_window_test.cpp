// The image window's system menu: the popup menu's six items at its top, and a
// choice of one of them running the same handler as the popup menu, by way of
// the posted command message and the application's message hook.
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "app/app_test_util.h"
#include "platform/qt/system_menu.h"

using namespace platform;

namespace {

QAction* ShownEntry(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    return nullptr;
}

}  // namespace

class SysMenuWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString Bitmap() {
        const QString path = dir.filePath("image.bmp");
        WriteTestBitmap(path, 160, 140);
        return path;
    }

private slots:
    void popupItemsStandAtTheTopOfTheSystemMenu() {
        Seams seams;
        lumarq::Windows windows({Bitmap()});
        QVERIFY(StartProgram());

        const QList<SystemMenuEntry>& entries = GetSystemMenu(Form1, false)->Entries();
        QStringList texts;
        for (const SystemMenuEntry& entry : entries) texts << ((entry.Type & MFT_SEPARATOR) ? "-" : entry.Text);
        // Inserted once, separators included, above the system's own entries.
        QCOMPARE(texts, (QStringList{"Help", "About", "-", "Be Silent", "Make Noise", "-", "&Move", "Mi&nimize", "-",
                                     "&Close\tAlt+F4"}));
        QCOMPARE(entries[3].Type, MFT_RADIOCHECK);
        QCOMPARE(entries[4].Type, MFT_RADIOCHECK);
        QCOMPARE(entries[0].Type, MFT_STRING);
        const QList<QAction*> items = Form1->PopupMenu1->actions();
        for (int i = 0; i < 6; ++i) QCOMPARE(entries[i].Id, std::uint32_t{CommandNumber(items[i])});

        // Each one chosen from the shown system menu runs the popup handler once,
        // after its message has come through the event queue.
        QMenu* shown = GetSystemMenu(Form1, false)->Build();
        ShownEntry(shown, "Be Silent")->trigger();
        QVERIFY(Form1->SoundsOn);
        QCoreApplication::processEvents();
        QVERIFY(!Form1->SoundsOn);

        seams.sounds.clear();
        ShownEntry(shown, "Make Noise")->trigger();
        QCoreApplication::processEvents();
        QVERIFY(Form1->SoundsOn);
        QCOMPARE(seams.SoundNames(), QStringList{"RSTART"});

        ShownEntry(shown, "About")->trigger();
        QCoreApplication::processEvents();
        QVERIFY(Form2->isVisible());
        ShownEntry(shown, "Help")->trigger();
        QCoreApplication::processEvents();
        QVERIFY(Form3->isVisible());
        QCOMPARE(seams.SoundNames(), (QStringList{"RSTART", "RSTRUM", "REXIT"}));

        // Alt+Space on the image window opens its system menu.
        QTest::keyClick(Form1, Qt::Key_Space, Qt::AltModifier);
        QTRY_VERIFY(GetSystemMenu(Form1, false)->Menu()->isVisible());
        GetSystemMenu(Form1, false)->Menu()->close();
    }

    void theWindowsEndLeavesTheHookAsItFoundIt() {
        int token = 0;
        int calls = 0;
        SetApplicationMessageHook({&token, [&](Message&, bool&) { ++calls; }});
        {
            Seams seams;
            lumarq::Windows windows({Bitmap()});
            QVERIFY(ApplicationMessageHook().Object != &token);
            // The hook installed before the windows still sees the messages.
            PostSystemCommand(Form1, CommandNumber(Form1->BeSilent1));
            QCoreApplication::processEvents();
            QCOMPARE(calls, 1);
            QVERIFY(!Form1->SoundsOn);
        }
        QCOMPARE(ApplicationMessageHook().Object, &token);
        SetApplicationMessageHook({});
    }
};

QTEST_MAIN(SysMenuWindowTest)
#include "sysmenu_window_test.moc"
