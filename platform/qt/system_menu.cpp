#include "platform/qt/system_menu.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>
#include <vector>

namespace platform {
namespace {

constexpr const char* kCommandProperty = "CommandNumber";
constexpr const char* kRadioProperty = "RadioItem";
constexpr const char* kBreakProperty = "Break";

constexpr std::uint16_t kFirstCommand = 1;
constexpr std::uint16_t kLastCommand = 0xEFFF;  // the system's commands start at 0xF000

std::vector<bool>& CommandsInUse() {
    static std::vector<bool> used(kLastCommand + 1, false);
    return used;
}
std::uint16_t nextCommand = kFirstCommand;

MessageHook& HookSlot() {
    static MessageHook hook;
    return hook;
}

std::uint32_t reportedVersion = 0;

// Delivers system command messages through the hook and opens a window's system
// menu on Alt+Space. Installed on the application, so it sees every event first.
class SystemMenuDispatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == SystemCommandEvent::EventType()) return Deliver(watched, event);
        if (event->type() == QEvent::KeyPress) return OpenOnAltSpace(watched, static_cast<QKeyEvent*>(event));
        return false;
    }

private:
    static bool Deliver(QObject* watched, QEvent* event) {
        const std::uint32_t command = static_cast<SystemCommandEvent*>(event)->Command();
        Message message{watched, WM_SYSCOMMAND, command, 0};
        bool handled = false;
        QPointer<QObject> alive = watched;
        // A copy: the hook may replace itself while it runs.
        const MessageHook hook = HookSlot();
        if (hook) hook.Handler(message, handled);
        if (handled || !alive) return true;
        if (auto* window = qobject_cast<QWidget*>(watched)) CarryOut(window, command & 0xFFF0);
        // The window sees the message too; a widget ignores what it does not know.
        return !alive;
    }

    // The system's own commands, as far as the window manager lets a program do
    // them; every other number is left to the window.
    static void CarryOut(QWidget* window, std::uint32_t command) {
        const bool fixedSize = window->windowFlags().testFlag(Qt::FramelessWindowHint);
        if (fixedSize && (command == SC_SIZE || command == SC_MAXIMIZE)) return;
        switch (command) {
            case SC_RESTORE: window->showNormal(); break;
            case SC_MINIMIZE: window->showMinimized(); break;
            case SC_MAXIMIZE: window->showMaximized(); break;
            case SC_CLOSE: window->close(); break;
            case SC_MOVE:
                if (window->windowHandle()) window->windowHandle()->startSystemMove();
                break;
            case SC_SIZE:
                if (window->windowHandle()) window->windowHandle()->startSystemResize(Qt::BottomEdge | Qt::RightEdge);
                break;
            default: break;
        }
    }

    static bool OpenOnAltSpace(QObject* watched, QKeyEvent* event) {
        if (event->key() != Qt::Key_Space || event->modifiers() != Qt::AltModifier) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget) return false;
        QWidget* window = widget->window();
        if (window->windowType() == Qt::Popup) return false;
        GetSystemMenu(window, false)->Popup(window->mapToGlobal(QPoint(0, 0)));
        return true;
    }
};

QPointer<SystemMenuDispatcher>& Dispatcher() {
    static QPointer<SystemMenuDispatcher> dispatcher;
    return dispatcher;
}

SystemMenuEntry SystemEntry(const char* text, std::uint16_t command, std::uint32_t state = MFS_ENABLED) {
    SystemMenuEntry entry;
    entry.Text = QString::fromLatin1(text);
    entry.Id = command;
    entry.State = state;
    return entry;
}

SystemMenuEntry Separator() {
    SystemMenuEntry entry;
    entry.Type = MFT_SEPARATOR;
    return entry;
}

// Enabling of the system's entries by the window's state, as the system does when
// the menu opens.
bool SystemEntryAvailable(const QWidget* window, std::uint32_t command) {
    const bool minimized = window->isMinimized();
    const bool maximized = window->isMaximized();
    switch (command) {
        case SC_RESTORE: return minimized || maximized;
        case SC_MOVE:
        case SC_SIZE: return !minimized && !maximized;
        case SC_MINIMIZE: return !minimized;
        case SC_MAXIMIZE: return !maximized;
        default: return true;
    }
}

}  // namespace

// ---- Menu items --------------------------------------------------------------

std::uint16_t CommandNumber(QAction* item) {
    const QVariant known = item->property(kCommandProperty);
    if (known.isValid()) return static_cast<std::uint16_t>(known.toUInt());
    std::vector<bool>& used = CommandsInUse();
    for (int tried = 0; tried <= kLastCommand - kFirstCommand; ++tried) {
        const std::uint16_t number = nextCommand;
        nextCommand = number == kLastCommand ? kFirstCommand : static_cast<std::uint16_t>(number + 1);
        if (used[number]) continue;
        used[number] = true;
        item->setProperty(kCommandProperty, static_cast<unsigned>(number));
        QObject::connect(item, &QObject::destroyed, [number] { CommandsInUse()[number] = false; });
        return number;
    }
    return 0;
}

std::uint16_t KnownCommandNumber(const QAction* item) {
    return static_cast<std::uint16_t>(item->property(kCommandProperty).toUInt());
}

bool IsRadioItem(const QAction* item) {
    if (item->property(kRadioProperty).toBool()) return true;
    const QActionGroup* group = item->actionGroup();
    return group && group->isExclusive();
}

void SetRadioItem(QAction* item, bool radio) { item->setProperty(kRadioProperty, radio); }

TMenuBreak MenuBreak(const QAction* item) {
    const int value = item->property(kBreakProperty).toInt();
    return value == mbBreak || value == mbBarBreak ? static_cast<TMenuBreak>(value) : mbNone;
}

void SetMenuBreak(QAction* item, TMenuBreak value) { item->setProperty(kBreakProperty, static_cast<int>(value)); }

bool IsDefaultItem(QAction* item) {
    for (QObject* holder : item->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(holder); menu && menu->defaultAction() == item) return true;
    return false;
}

// ---- The system menu ---------------------------------------------------------

SystemMenu::SystemMenu(QWidget* window) : QObject(window) { Reset(); }

QWidget* SystemMenu::Window() const { return static_cast<QWidget*>(parent()); }

void SystemMenu::Insert(int Position, const SystemMenuEntry& entry) {
    if (Position < 0 || Position >= entries_.size())
        entries_.append(entry);
    else
        entries_.insert(Position, entry);
}

void SystemMenu::Reset() {
    // A window without a frame keeps its size: it is offered no way to change it.
    const QWidget* window = Window();
    if (window && window->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        entries_ = {SystemEntry("&Move", SC_MOVE), SystemEntry("Mi&nimize", SC_MINIMIZE), Separator(),
                    SystemEntry("&Close\tAlt+F4", SC_CLOSE, MFS_DEFAULT)};
        return;
    }
    entries_ = {SystemEntry("&Restore", SC_RESTORE),   SystemEntry("&Move", SC_MOVE),
                SystemEntry("&Size", SC_SIZE),         SystemEntry("Mi&nimize", SC_MINIMIZE),
                SystemEntry("Ma&ximize", SC_MAXIMIZE), Separator(),
                SystemEntry("&Close\tAlt+F4", SC_CLOSE, MFS_DEFAULT)};
}

QMenu* SystemMenu::Menu() { return menu_ ? menu_.data() : Build(); }

QMenu* SystemMenu::Build() {
    if (menu_ && menu_->isVisible()) return menu_;
    delete menu_;
    menu_ = new QMenu(Window());
    QWidget* window = Window();
    for (const SystemMenuEntry& entry : entries_) {
        if (entry.Type & MFT_SEPARATOR) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = nullptr;
        if (entry.SubMenu) {
            auto* proxy = new QMenu(entry.Text, menu_);
            const QPointer<QMenu> shared = entry.SubMenu;
            connect(proxy, &QMenu::aboutToShow, this, [this, proxy, shared] {
                if (shared) FillSubMenu(proxy, shared);
            });
            action = menu_->addMenu(proxy);
        } else {
            action = menu_->addAction(entry.Text);
            const std::uint32_t id = entry.Id;
            connect(action, &QAction::triggered, this, [this, id] { Choose(id); });
        }
        action->setEnabled(!(entry.State & MFS_GRAYED) && SystemEntryAvailable(window, entry.Id));
        if (entry.State & MFS_CHECKED) {
            action->setCheckable(true);
            action->setChecked(true);
            // The style draws a dot instead of a tick for a member of an
            // exclusive group.
            if (entry.Type & MFT_RADIOCHECK) (new QActionGroup(action))->addAction(action);
        }
        // A menu has one default entry: the first one marked.
        if ((entry.State & MFS_DEFAULT) && !menu_->defaultAction()) menu_->setDefaultAction(action);
    }
    return menu_;
}

void SystemMenu::FillSubMenu(QMenu* target, QMenu* shared) {
    target->clear();
    qDeleteAll(target->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly));
    for (QAction* item : shared->actions()) {
        if (!item->isVisible()) continue;
        if (item->isSeparator()) {
            target->addSeparator();
            continue;
        }
        QAction* action = nullptr;
        if (QMenu* nested = item->menu()) {
            auto* proxy = new QMenu(item->text(), target);
            const QPointer<QMenu> inner = nested;
            connect(proxy, &QMenu::aboutToShow, this, [this, proxy, inner] {
                if (inner) FillSubMenu(proxy, inner);
            });
            action = target->addMenu(proxy);
        } else {
            action = target->addAction(item->text());
            const std::uint32_t id = CommandNumber(item);
            connect(action, &QAction::triggered, this, [this, id] { Choose(id); });
            if (item->isChecked()) {
                action->setCheckable(true);
                action->setChecked(true);
            }
        }
        action->setEnabled(item->isEnabled());
    }
}

void SystemMenu::Popup(const QPoint& Where) { Build()->popup(Where); }

void SystemMenu::Choose(std::uint32_t Id) { PostSystemCommand(Window(), Id); }

SystemMenu* GetSystemMenu(QWidget* Window, bool Revert) {
    if (!Window) return nullptr;
    InstallSystemMenuHandling();
    auto* menu = Window->findChild<SystemMenu*>(QString(), Qt::FindDirectChildrenOnly);
    if (!menu) menu = new SystemMenu(Window);
    if (Revert) menu->Reset();
    return menu;
}

bool InsertMenuItem(SystemMenu* Menu, int Item, bool ByPosition, const MenuItemInfo& Info) {
    if (!Menu || !ByPosition) return false;
    SystemMenuEntry entry;
    if (Info.Mask & MIIM_TYPE) {
        entry.Type = Info.Type;
        if (!(Info.Type & MFT_SEPARATOR)) entry.Text = Info.Text;
    }
    if (Info.Mask & MIIM_STATE) entry.State = Info.State;
    if (Info.Mask & MIIM_ID) entry.Id = Info.Id;
    if (Info.Mask & MIIM_SUBMENU) entry.SubMenu = Info.SubMenu;
    if (Info.Mask & MIIM_DATA) entry.ItemData = Info.ItemData;
    Menu->Insert(Item, entry);
    return true;
}

bool InsertMenu(SystemMenu* Menu, int Position, std::uint32_t Flags, std::uint32_t NewItem, QMenu* SubMenu,
                const QString& Text) {
    if (!Menu || !(Flags & MF_BYPOSITION)) return false;
    SystemMenuEntry entry;
    entry.Type = Flags & (MF_SEPARATOR | MF_MENUBREAK | MF_MENUBARBREAK);
    entry.State = Flags & (MF_CHECKED | MF_GRAYED);
    if (Flags & MF_POPUP)
        entry.SubMenu = SubMenu;
    else
        entry.Id = NewItem;
    if (!(Flags & MF_SEPARATOR)) entry.Text = Text;
    Menu->Insert(Position, entry);
    return true;
}

std::uint32_t GetVersion() {
    // Reported as a current system: major version 10, minor 0.
    return reportedVersion ? reportedVersion : 10u;
}

void SetReportedVersion(std::uint32_t version) { reportedVersion = version; }

// ---- Messages and the application's message hook ------------------------------

SystemCommandEvent::SystemCommandEvent(std::uint32_t command) : QEvent(EventType()), command_(command) {}

QEvent::Type SystemCommandEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostSystemCommand(QWidget* Window, std::uint32_t Command) {
    if (!Window) return;
    InstallSystemMenuHandling();
    QCoreApplication::postEvent(Window, new SystemCommandEvent(Command));
}

MessageHook ApplicationMessageHook() { return HookSlot(); }

void SetApplicationMessageHook(MessageHook hook) {
    InstallSystemMenuHandling();
    HookSlot() = std::move(hook);
}

void InstallSystemMenuHandling() {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || Dispatcher()) return;
    Dispatcher() = new SystemMenuDispatcher(application);
    application->installEventFilter(Dispatcher());
}

}  // namespace platform

static void StartSystemMenuHandling() { platform::InstallSystemMenuHandling(); }
Q_COREAPP_STARTUP_FUNCTION(StartSystemMenuHandling)
