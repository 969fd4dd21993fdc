// The system menu merger: where the popup items land in a window's system menu,
// what each copied entry says about its item, and how a chosen entry comes back
// through the application's message hook to click the item. Also the system
// menu itself: its own entries, Alt+Space, and the command messages it posts.
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>
#include <memory>
#include <set>
#include <typeinfo>
#include <vector>

#include "controls/SysMenu.h"
#include "platform/qt/system_menu.h"

using namespace platform;

namespace {

constexpr int kSystemEntries = 7;  // Restore, Move, Size, Minimize, Maximize, separator, Close

QStringList Texts(const SystemMenu* menu) {
    QStringList texts;
    for (const SystemMenuEntry& entry : menu->Entries())
        texts << ((entry.Type & MFT_SEPARATOR) ? QStringLiteral("|") : entry.Text);
    return texts;
}

SystemMenu* MenuOf(QWidget* window) { return window->findChild<SystemMenu*>(QString(), Qt::FindDirectChildrenOnly); }

// Counts the system command messages that reach a window, in order.
struct CommandWatch : QObject {
    std::vector<std::uint32_t> seen;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == SystemCommandEvent::EventType())
            seen.push_back(static_cast<SystemCommandEvent*>(event)->Command());
        return false;
    }
};

// Installs a recording hook as somebody else's; takes it out again at the end.
struct RecordingHook {
    int token = 0;
    std::vector<Message> messages;
    bool markHandled = false;
    std::vector<QString>* order = nullptr;
    RecordingHook() {
        SetApplicationMessageHook({&token, [this](Message& message, bool& handled) {
                                       messages.push_back(message);
                                       if (order) order->push_back(QStringLiteral("earlier hook"));
                                       if (markHandled) handled = true;
                                   }});
    }
    ~RecordingHook() {
        if (ApplicationMessageHook().Object == &token) SetApplicationMessageHook({});
    }
};

QAction* EntryAction(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    return nullptr;
}

}  // namespace

class SysMenuTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { SetApplicationMessageHook({}); }

    void insertsAtPositionOrAppends() {
        // Position -1: appended below the system's entries, in popup order.
        {
            QWidget form;
            QMenu popup;
            popup.addAction("One");
            popup.addAction("Two");
            auto* merger = new TTavixSystemMenu(&form);
            QCOMPARE(merger->Position(), -1);
            QVERIFY(!MenuOf(&form));  // the constructor leaves the system menu alone
            merger->setPopupMenu(&popup);
            QCOMPARE(Texts(MenuOf(&form)), (QStringList{"&Restore", "&Move", "&Size", "Mi&nimize", "Ma&ximize", "|",
                                                         "&Close\tAlt+F4", "One", "Two"}));
            QCOMPARE(MenuOf(&form)->Entries()[7].Id, CommandNumber(popup.actions()[0]));
        }
        // Position 0 set before the popup menu, as a form file applies them: the
        // first rebuild inserts nothing, the second inserts every item once.
        {
            QWidget form;
            QMenu popup;
            for (const char* text : {"Help", "About"}) popup.addAction(text);
            popup.addSeparator();
            for (const char* text : {"Be Silent", "Make Noise"}) popup.addAction(text);
            popup.addSeparator();
            auto* merger = new TTavixSystemMenu(&form);
            merger->setPosition(0);
            QCOMPARE(MenuOf(&form)->Entries().size(), kSystemEntries);
            merger->setPopupMenu(&popup);
            QCOMPARE(Texts(MenuOf(&form)).mid(0, 7),
                     (QStringList{"Help", "About", "|", "Be Silent", "Make Noise", "|", "&Restore"}));
            QCOMPARE(MenuOf(&form)->Entries().size(), kSystemEntries + 6);
        }
        // An invisible second item keeps its position number unused.
        {
            QWidget form;
            QMenu popup;
            popup.addAction("A");
            popup.addAction("B")->setVisible(false);
            popup.addAction("C");
            auto* merger = new TTavixSystemMenu(&form);
            merger->setPosition(2);
            merger->setPopupMenu(&popup);
            QCOMPARE(Texts(MenuOf(&form)), (QStringList{"&Restore", "&Move", "A", "&Size", "C", "Mi&nimize",
                                                         "Ma&ximize", "|", "&Close\tAlt+F4"}));
        }
        // A position far past the end appends, without overflowing.
        {
            QWidget form;
            QMenu popup;
            popup.addAction("X");
            popup.addAction("Y");
            auto* merger = new TTavixSystemMenu(&form);
            merger->setPosition(INT_MAX);
            merger->setPopupMenu(&popup);
            QCOMPARE(Texts(MenuOf(&form)).mid(kSystemEntries), (QStringList{"X", "Y"}));
        }
    }

    void everyChangedPropertyInsertsAgain() {
        QWidget form;
        QMenu popup;
        popup.addAction("One");
        popup.addAction("Two");
        auto* merger = new TTavixSystemMenu(&form);
        merger->setPosition(0);
        merger->setPopupMenu(&popup);
        QCOMPARE(MenuOf(&form)->Entries().size(), kSystemEntries + 2);

        // Equal values change nothing.
        merger->setPosition(0);
        merger->setPopupMenu(&popup);
        QCOMPARE(MenuOf(&form)->Entries().size(), kSystemEntries + 2);

        // A new position inserts a second copy; the first copies stay.
        merger->setPosition(1);
        QCOMPARE(Texts(MenuOf(&form)).mid(0, 5), (QStringList{"One", "One", "Two", "Two", "&Restore"}));

        // The entries are copies: a later change of the item does not reach them.
        popup.actions()[0]->setText("Changed");
        QCOMPARE(MenuOf(&form)->Entries()[0].Text, QStringLiteral("One"));
    }

    void designingOrWrongOwnerLeavesTheMenuAlone() {
        QWidget form;
        QMenu popup;
        popup.addAction("One");
        auto* designed = new TTavixSystemMenu(&form);
        designed->Designing = true;
        designed->setPosition(0);
        designed->setPopupMenu(&popup);
        QVERIFY(!MenuOf(&form));

        // The owner must be a window: a child widget or a plain object is refused.
        QWidget child(&form);
        auto* onChild = new TTavixSystemMenu(&child);
        QVERIFY_THROWS_EXCEPTION(std::bad_cast, onChild->setPopupMenu(&popup));
        QVERIFY(!MenuOf(&form) && !MenuOf(&child));
        QObject plain;
        auto* onObject = new TTavixSystemMenu(&plain);
        QVERIFY_THROWS_EXCEPTION(std::bad_cast, onObject->setPosition(3));
    }

    void entriesCarryTheItemsStates() {
        QWidget form;
        QMenu popup;
        QMenu shared("Sub");
        QAction* subItem = shared.addAction("Inner");

        QAction* separator = popup.addSeparator();
        QAction* dash = popup.addAction("-");
        QAction* radio = popup.addAction("Radio");
        SetRadioItem(radio, true);
        radio->setCheckable(true);
        radio->setChecked(true);
        QActionGroup group(&popup);
        QAction* grouped = popup.addAction("Grouped");
        group.addAction(grouped);  // exclusive by default: a radio item too
        QAction* checked = popup.addAction("Checked");
        checked->setCheckable(true);
        checked->setChecked(true);
        QAction* disabled = popup.addAction("Disabled");
        disabled->setEnabled(false);
        QAction* chosen = popup.addAction("Default");
        popup.setDefaultAction(chosen);
        QAction* column = popup.addAction("Column");
        SetMenuBreak(column, mbBreak);
        QAction* bar = popup.addAction("Bar");
        SetMenuBreak(bar, mbBarBreak);
        QAction* open = popup.addAction("Open");
        open->setShortcut(QKeySequence("Ctrl+O"));
        QAction* sub = popup.addMenu(&shared);
        sub->setShortcut(QKeySequence("Ctrl+S"));  // an item with sub-items shows none

        auto* merger = new TTavixSystemMenu(&form);
        merger->setPopupMenu(&popup);
        const QList<SystemMenuEntry>& entries = MenuOf(&form)->Entries();
        QCOMPARE(entries.size(), kSystemEntries + 11);
        auto entry = [&](int i) { return entries[kSystemEntries + i]; };

        QCOMPARE(entry(0).Type, MFT_SEPARATOR);
        QCOMPARE(entry(1).Type, MFT_SEPARATOR);
        QCOMPARE(entry(2).Type, MFT_RADIOCHECK);
        QCOMPARE(entry(2).State, MFS_CHECKED);
        QCOMPARE(entry(3).Type, MFT_RADIOCHECK);
        QCOMPARE(entry(3).State, 0u);
        QCOMPARE(entry(4).Type, MFT_STRING);
        QCOMPARE(entry(4).State, MFS_CHECKED);
        QCOMPARE(entry(5).State, MFS_GRAYED);
        QCOMPARE(entry(6).State, MFS_DEFAULT);
        QCOMPARE(entry(7).Type, MFT_MENUBREAK);
        QCOMPARE(entry(8).Type, MFT_MENUBARBREAK);
        QCOMPARE(entry(9).Text, QStringLiteral("Open\tCtrl+O"));
        QCOMPARE(entry(10).Text, QStringLiteral("Sub"));
        QCOMPARE(entry(10).SubMenu.data(), &shared);
        QVERIFY(!entry(9).SubMenu);
        for (int i = 0; i < 11; ++i) QCOMPARE(entry(i).Id, std::uint32_t{CommandNumber(popup.actions()[i])});
        Q_UNUSED(separator);
        Q_UNUSED(dash);

        // Shown: the radio entry in an exclusive group (a dot, not a tick), the
        // check mark, the greyed entry, the default entry; the shared submenu shows
        // its current items.
        QMenu* shown = MenuOf(&form)->Build();
        QAction* shownRadio = EntryAction(shown, "Radio");
        QVERIFY(shownRadio->isChecked() && shownRadio->actionGroup() && shownRadio->actionGroup()->isExclusive());
        QVERIFY(EntryAction(shown, "Checked")->isChecked() && !EntryAction(shown, "Checked")->actionGroup());
        QVERIFY(!EntryAction(shown, "Disabled")->isEnabled());
        // One default entry per menu, the first marked: here the system's Close.
        QCOMPARE(shown->defaultAction(), EntryAction(shown, "&Close\tAlt+F4"));
        QMenu* shownSub = EntryAction(shown, "Sub")->menu();
        QVERIFY(shownSub);
        shared.addAction("Added later");
        emit shownSub->aboutToShow();
        QCOMPARE(shownSub->actions().size(), 2);
        QCOMPARE(shownSub->actions()[1]->text(), QStringLiteral("Added later"));
        Q_UNUSED(subItem);

        // The older insertion call loses the radio and default marks, and a
        // submenu entry carries no command number.
        SetReportedVersion(3);
        QWidget old;
        auto* oldMerger = new TTavixSystemMenu(&old);
        oldMerger->setPopupMenu(&popup);
        SetReportedVersion(0);
        const QList<SystemMenuEntry>& oldEntries = MenuOf(&old)->Entries();
        QCOMPARE(oldEntries[kSystemEntries + 2].Type, 0u);
        QCOMPARE(oldEntries[kSystemEntries + 2].State, MFS_CHECKED);
        QCOMPARE(oldEntries[kSystemEntries + 6].State, 0u);
        QCOMPARE(oldEntries[kSystemEntries + 5].State, MFS_GRAYED);
        QCOMPARE(oldEntries[kSystemEntries + 8].Type, MFT_MENUBARBREAK);
        QCOMPARE(oldEntries[kSystemEntries + 10].SubMenu.data(), &shared);
        QCOMPARE(oldEntries[kSystemEntries + 10].Id, 0u);

        // Inserted above the system's entries, a default item is the one shown.
        QWidget top;
        QMenu small;
        small.setDefaultAction(small.addAction("Preferred"));
        auto* atTop = new TTavixSystemMenu(&top);
        atTop->setPosition(0);
        atTop->setPopupMenu(&small);
        QCOMPARE(MenuOf(&top)->Build()->defaultAction()->text(), QStringLiteral("Preferred"));
    }

    void chosenEntryClicksItsItemThroughTheHook() {
        QWidget form;
        CommandWatch watch;
        form.installEventFilter(&watch);
        QMenu popup;
        QAction* first = popup.addAction("First");
        QMenu shared("Sub");
        QAction* inner = shared.addAction("Inner");
        popup.addMenu(&shared);
        QAction* last = popup.addAction("Last");
        QSignalSpy firstSpy(first, &QAction::triggered), innerSpy(inner, &QAction::triggered),
            lastSpy(last, &QAction::triggered);

        std::vector<QString> order;
        RecordingHook earlier;
        earlier.order = &order;
        auto* merger = new TTavixSystemMenu(&form);
        merger->setPopupMenu(&popup);
        merger->Loaded();
        connect(inner, &QAction::triggered, [&] { order.push_back(QStringLiteral("clicked")); });

        // Choosing the copied entry of a submenu item: the earlier hook first, then
        // the one click, and the window still receives the message.
        QMenu* shown = MenuOf(&form)->Build();
        QMenu* shownSub = EntryAction(shown, "Sub")->menu();
        emit shownSub->aboutToShow();
        shownSub->actions()[0]->trigger();
        QVERIFY(order.empty());  // posted, not sent
        QCoreApplication::processEvents();
        QCOMPARE(innerSpy.count(), 1);
        QCOMPARE(firstSpy.count() + lastSpy.count(), 0);
        QCOMPARE(order, (std::vector<QString>{"earlier hook", "clicked"}));
        QCOMPARE(earlier.messages.size(), size_t{1});
        QCOMPARE(earlier.messages[0].Msg, WM_SYSCOMMAND);
        QCOMPARE(earlier.messages[0].Window, &form);
        QCOMPARE(earlier.messages[0].WParam, std::uintptr_t{CommandNumber(inner)});
        QCOMPARE(watch.seen, (std::vector<std::uint32_t>{CommandNumber(inner)}));

        // Only the low word of the command selects the item.
        PostSystemCommand(&form, 0x10000u | CommandNumber(last));
        QCoreApplication::processEvents();
        QCOMPARE(lastSpy.count(), 1);

        // A number that matches no item clicks nothing; the chain and the window
        // still see it.
        QAction unrelated("Elsewhere");
        PostSystemCommand(&form, CommandNumber(&unrelated));
        QCoreApplication::processEvents();
        QCOMPARE(firstSpy.count() + innerSpy.count() + lastSpy.count(), 2);
        QCOMPARE(earlier.messages.size(), size_t{3});
        QCOMPARE(watch.seen.size(), size_t{3});

        // An earlier hook that handles the message stops it: no click, and the
        // window never sees it.
        earlier.markHandled = true;
        PostSystemCommand(&form, CommandNumber(first));
        QCoreApplication::processEvents();
        QCOMPARE(firstSpy.count(), 0);
        QCOMPARE(watch.seen.size(), size_t{3});
    }

    void destructionPutsBackOnlyItsOwnHook() {
        RecordingHook earlier;
        auto form = std::make_unique<QWidget>();
        auto* merger = new TTavixSystemMenu(form.get());
        merger->Loaded();
        QCOMPARE(ApplicationMessageHook().Object, merger);
        form.reset();
        QCOMPARE(ApplicationMessageHook().Object, &earlier.token);

        // Created in code and never loaded: it installed nothing and must not
        // clear the hook someone else installed.
        form = std::make_unique<QWidget>();
        QMenu popup;
        popup.addAction("One");
        (new TTavixSystemMenu(form.get()))->setPopupMenu(&popup);
        form.reset();
        QCOMPARE(ApplicationMessageHook().Object, &earlier.token);

        // Installed, then covered by a later hook: destroying it leaves the later
        // hook in place, and that hook's chain still reaches the earliest one.
        form = std::make_unique<QWidget>();
        QAction* item = nullptr;
        {
            QMenu* own = new QMenu(form.get());
            item = own->addAction("Item");
            auto* covered = new TTavixSystemMenu(form.get());
            covered->setPopupMenu(own);
            covered->Loaded();
        }
        const MessageHook beneath = ApplicationMessageHook();
        int laterToken = 0;
        int laterCalls = 0;
        SetApplicationMessageHook({&laterToken, [&, beneath](Message& message, bool& handled) {
                                       ++laterCalls;
                                       beneath.Handler(message, handled);
                                   }});
        QWidget target;
        const std::uint16_t command = CommandNumber(item);
        form.reset();
        QCOMPARE(ApplicationMessageHook().Object, &laterToken);
        PostSystemCommand(&target, command);
        QCoreApplication::processEvents();
        QCOMPARE(laterCalls, 1);
        QCOMPARE(earlier.messages.size(), size_t{1});
        SetApplicationMessageHook({});
    }

    void systemMenuOpensOnAltSpaceAndCarriesOutItsCommands() {
        QWidget form;
        form.resize(200, 100);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QWidget* field = new QWidget(&form);  // the keys go to whichever widget has them
        field->show();
        QTest::keyClick(field, Qt::Key_Space, Qt::AltModifier);
        SystemMenu* menu = MenuOf(&form);
        QVERIFY(menu);
        QTRY_VERIFY(menu->Menu()->isVisible());
        QVERIFY(!EntryAction(menu->Menu(), "&Restore")->isEnabled());
        QVERIFY(EntryAction(menu->Menu(), "Ma&ximize")->isEnabled());
        menu->Menu()->close();

        // A plain Space opens nothing.
        QWidget other;
        QTest::keyClick(&other, Qt::Key_Space);
        QVERIFY(!MenuOf(&other));

        EntryAction(menu->Build(), "Ma&ximize")->trigger();
        QCoreApplication::processEvents();
        QTRY_VERIFY(form.isMaximized());
        QVERIFY(EntryAction(menu->Build(), "&Restore")->isEnabled());
        EntryAction(menu->Menu(), "&Restore")->trigger();
        QCoreApplication::processEvents();
        QTRY_VERIFY(!form.isMaximized());

        EntryAction(menu->Build(), "&Close\tAlt+F4")->trigger();
        QCoreApplication::processEvents();
        QVERIFY(!form.isVisible());
    }

    void commandNumbersAreUniqueAndReused() {
        std::vector<std::unique_ptr<QAction>> actions;
        std::set<std::uint16_t> numbers;
        for (int i = 0; i < 300; ++i) {
            actions.push_back(std::make_unique<QAction>());
            const std::uint16_t number = CommandNumber(actions.back().get());
            QVERIFY(number >= 1 && number < 0xF000);
            QCOMPARE(CommandNumber(actions.back().get()), number);  // kept
            numbers.insert(number);
        }
        QCOMPARE(numbers.size(), size_t{300});
        QCOMPARE(KnownCommandNumber(actions[0].get()), CommandNumber(actions[0].get()));
        QAction fresh;
        QCOMPARE(KnownCommandNumber(&fresh), std::uint16_t{0});
    }
};

QTEST_MAIN(SysMenuTest)
#include "sysmenu_test.moc"
