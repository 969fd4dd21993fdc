#include "controls/SysMenu.h"

#include <QMenuBar>
#include <QWidget>
#include <climits>
#include <typeinfo>

namespace {

bool HasSubItems(const QAction* item) { return item->menu() && !item->menu()->actions().isEmpty(); }

// A top-level item of a menu bar shows no shortcut text.
bool IsMenuBarItem(const QAction* item) {
    for (const QObject* holder : item->associatedObjects())
        if (qobject_cast<const QMenuBar*>(holder)) return true;
    return false;
}

}  // namespace

TTavixSystemMenu::TTavixSystemMenu(QObject* owner) : QObject(owner) { position = -1; }

TTavixSystemMenu::~TTavixSystemMenu() {
    // A component that never installed its hook, or whose hook has since been
    // replaced, must not overwrite the hook someone else put there.
    if (hookInstalled && platform::ApplicationMessageHook().Object == this)
        platform::SetApplicationMessageHook(*savedHook);
}

void TTavixSystemMenu::Loaded() {
    if (hookInstalled) return;
    *savedHook = platform::ApplicationMessageHook();
    const QPointer<TTavixSystemMenu> self = this;
    const std::shared_ptr<platform::MessageHook> saved = savedHook;
    platform::SetApplicationMessageHook(
        {this, [self, saved](platform::Message& message, bool& handled) {
             if (self)
                 self->SystemCommandHook(message, handled);
             else if (*saved)
                 saved->Handler(message, handled);
         }});
    hookInstalled = true;
}

void TTavixSystemMenu::setPopupMenu(QMenu* value) {
    if (value == popupMenu) return;
    popupMenu = value;
    RebuildSystemMenu();
}

void TTavixSystemMenu::setPosition(int value) {
    if (value == position) return;
    position = value;
    RebuildSystemMenu();
}

void TTavixSystemMenu::RebuildSystemMenu() {
    if (Designing) return;
    auto* form = qobject_cast<QWidget*>(parent());
    if (!form || !form->isWindow()) throw std::bad_cast();
    platform::SystemMenu* menu = platform::GetSystemMenu(form, false);
    if (!popupMenu) return;
    const QList<QAction*> items = popupMenu->actions();
    for (qsizetype i = 0; i < items.size(); ++i) {
        // Past the end of the menu means appended, as does -1.
        const long long target = position == -1 ? -1 : static_cast<long long>(position) + i;
        InsertSystemMenuEntry(items[i], menu, target > INT_MAX ? -1 : static_cast<int>(target));
    }
}

void TTavixSystemMenu::InsertSystemMenuEntry(QAction* item, platform::SystemMenu* menu, int position) {
    using namespace platform;
    if (!item->isVisible()) return;

    const bool separator = item->isSeparator() || item->text() == QStringLiteral("-");
    const bool subItems = HasSubItems(item);
    QString text = item->text();
    if (!subItems && !item->shortcut().isEmpty() && !IsMenuBarItem(item))
        text += QLatin1Char('\t') + item->shortcut().toString(QKeySequence::NativeText);

    std::uint32_t breakFlag = 0;
    switch (MenuBreak(item)) {
        case mbBreak: breakFlag = MFT_MENUBREAK; break;
        case mbBarBreak: breakFlag = MFT_MENUBARBREAK; break;
        case mbNone: break;
    }

    if ((GetVersion() & 0xFF) >= 4) {
        MenuItemInfo info;
        info.Mask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA;
        info.Type = (separator ? MFT_SEPARATOR : 0) | (IsRadioItem(item) ? MFT_RADIOCHECK : 0) | breakFlag;
        info.State = (item->isChecked() ? MFS_CHECKED : 0) | (item->isEnabled() ? 0 : MFS_GRAYED) |
                     (IsDefaultItem(item) ? MFS_DEFAULT : 0);
        info.Id = CommandNumber(item);
        info.SubMenu = subItems ? item->menu() : nullptr;
        info.ItemData = 0;
        info.Text = text;
        InsertMenuItem(menu, position, true, info);
    } else {
        // The older call knows no radio or default marks.
        std::uint32_t flags = (separator ? MF_SEPARATOR : 0) | breakFlag | (item->isChecked() ? MF_CHECKED : 0) |
                              (item->isEnabled() ? 0 : MF_GRAYED) | MF_BYPOSITION;
        if (subItems) flags |= MF_POPUP;
        InsertMenu(menu, position, flags, CommandNumber(item), subItems ? item->menu() : nullptr, text);
    }
}

void TTavixSystemMenu::SystemCommandHook(platform::Message& message, bool& handled) {
    if (*savedHook) savedHook->Handler(message, handled);
    if (!handled && message.Msg == platform::WM_SYSCOMMAND && popupMenu)
        ClickItemByCommand(popupMenu->actions(), static_cast<std::uint16_t>(message.WParam & 0xFFFF));
    // Left unhandled: the window receives the message as usual.
}

void TTavixSystemMenu::ClickItemByCommand(const QList<QAction*>& items, std::uint16_t number) {
    if (number == 0) return;  // no item has number 0
    for (QAction* item : items) {
        if (platform::KnownCommandNumber(item) == number) {
            item->trigger();
            return;
        }
        if (item->menu()) ClickItemByCommand(item->menu()->actions(), number);
    }
}
