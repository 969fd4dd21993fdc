// The window's system menu and its command messages, which no Linux window
// manager lets a program extend, built with Qt:
//
// - Every top-level window has its own system menu, made on first request: the
//   system's entries Restore, Move, Size, Minimize, Maximize and Close, to which
//   a program may add entries of its own. Alt+Space on a window opens its menu.
// - Choosing an entry posts a system command message carrying the entry's
//   identifier to the window through the application's event queue.
// - The application has one message hook slot that sees every system command
//   message before it reaches its window and may mark it handled. A message not
//   handled goes on to the window; the system's own commands are then carried
//   out where the window manager allows it.
// - Menu items (QActions) get command numbers: 16-bit numbers unique in the
//   process, which a menu reports back when the item is chosen.
#pragma once

#include <QAction>
#include <QEvent>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

namespace platform {

// ---- Menu items --------------------------------------------------------------

// The item's command number, given on first request and kept while the item
// lives; numbers of destroyed items are given out again. Numbers lie in
// 1..0xEFFF, below the system's own commands; 0 only if all are taken.
std::uint16_t CommandNumber(QAction* item);
// The number the item has been given, 0 if none yet.
std::uint16_t KnownCommandNumber(const QAction* item);

// How a menu item starts a new column in a menu that can show columns.
enum TMenuBreak { mbNone, mbBreak, mbBarBreak };

// Item attributes that QAction does not carry itself, kept as its properties
// "RadioItem" (bool) and "Break" (int, a TMenuBreak), so that a form file can set
// them. An item of an exclusive action group is a radio item too. An item is the
// default item of a menu when that menu's defaultAction() is the item.
bool IsRadioItem(const QAction* item);
void SetRadioItem(QAction* item, bool radio);
TMenuBreak MenuBreak(const QAction* item);
void SetMenuBreak(QAction* item, TMenuBreak value);
bool IsDefaultItem(QAction* item);

// ---- The system menu ---------------------------------------------------------

// Item types, states and description masks, with the system's values.
inline constexpr std::uint32_t MFT_STRING = 0x0;
inline constexpr std::uint32_t MFT_MENUBARBREAK = 0x20;
inline constexpr std::uint32_t MFT_MENUBREAK = 0x40;
inline constexpr std::uint32_t MFT_RADIOCHECK = 0x200;
inline constexpr std::uint32_t MFT_SEPARATOR = 0x800;

inline constexpr std::uint32_t MFS_ENABLED = 0x0;
inline constexpr std::uint32_t MFS_GRAYED = 0x3;  // disabled and drawn grey
inline constexpr std::uint32_t MFS_CHECKED = 0x8;
inline constexpr std::uint32_t MFS_DEFAULT = 0x1000;

inline constexpr std::uint32_t MIIM_STATE = 0x1;
inline constexpr std::uint32_t MIIM_ID = 0x2;
inline constexpr std::uint32_t MIIM_SUBMENU = 0x4;
inline constexpr std::uint32_t MIIM_CHECKMARKS = 0x8;
inline constexpr std::uint32_t MIIM_TYPE = 0x10;
inline constexpr std::uint32_t MIIM_DATA = 0x20;

// Flags of the older insertion call.
inline constexpr std::uint32_t MF_STRING = 0x0;
inline constexpr std::uint32_t MF_GRAYED = 0x3;
inline constexpr std::uint32_t MF_CHECKED = 0x8;
inline constexpr std::uint32_t MF_POPUP = 0x10;
inline constexpr std::uint32_t MF_MENUBARBREAK = 0x20;
inline constexpr std::uint32_t MF_MENUBREAK = 0x40;
inline constexpr std::uint32_t MF_BYPOSITION = 0x400;
inline constexpr std::uint32_t MF_SEPARATOR = 0x800;

// The system's own commands.
enum : std::uint16_t {
    SC_SIZE = 0xF000,
    SC_MOVE = 0xF010,
    SC_MINIMIZE = 0xF020,
    SC_MAXIMIZE = 0xF030,
    SC_CLOSE = 0xF060,
    SC_RESTORE = 0xF120,
};

// An item description: the members named by Mask are used. Check-mark bitmaps
// are not supported; asking for them sets none.
struct MenuItemInfo {
    std::uint32_t Mask = 0;
    std::uint32_t Type = 0;   // MFT_*
    std::uint32_t State = 0;  // MFS_*
    std::uint32_t Id = 0;
    QMenu* SubMenu = nullptr;  // shared, not owned
    std::uintptr_t ItemData = 0;
    QString Text;
};

// One entry of a system menu, as inserted.
struct SystemMenuEntry {
    std::uint32_t Type = 0;
    std::uint32_t State = 0;
    std::uint32_t Id = 0;
    QPointer<QMenu> SubMenu;
    std::uintptr_t ItemData = 0;
    QString Text;
};

// A window's system menu. The entries are the menu's content; the QMenu that
// shows them is built from them each time the menu opens. Column breaks are kept
// in the entries' types, but a QMenu cannot show them: such entries appear in
// the one column. A submenu entry shows the shared submenu's current items.
class SystemMenu : public QObject {
    Q_OBJECT
public:
    explicit SystemMenu(QWidget* window);

    QWidget* Window() const;
    const QList<SystemMenuEntry>& Entries() const { return entries_; }

    // Inserts before the entry at Position; a position outside the menu appends.
    void Insert(int Position, const SystemMenuEntry& entry);
    // Back to the system's own entries only.
    void Reset();

    // Builds the QMenu from the entries and opens it at Where (global position).
    void Popup(const QPoint& Where);
    // The QMenu as last built (built now if it never was).
    QMenu* Menu();
    QMenu* Build();

private:
    void FillSubMenu(QMenu* target, QMenu* shared);
    void Choose(std::uint32_t Id);

    QList<SystemMenuEntry> entries_;
    QPointer<QMenu> menu_;
};

// The window's system menu, made with the system's entries on first request.
// Revert puts the menu back to those entries.
SystemMenu* GetSystemMenu(QWidget* Window, bool Revert);

// Inserts an entry described by Info; ByPosition must be true (entries are
// addressed by position only). Returns false if nothing was inserted.
bool InsertMenuItem(SystemMenu* Menu, int Item, bool ByPosition, const MenuItemInfo& Info);
// The older insertion call: Flags are MF_*; with MF_POPUP, SubMenu is the
// entry's submenu and NewItem is ignored.
bool InsertMenu(SystemMenu* Menu, int Position, std::uint32_t Flags, std::uint32_t NewItem, QMenu* SubMenu,
                const QString& Text);

// The system's version, major version in the low byte, minor in the next. A
// test can make it report another value; 0 restores the real one.
std::uint32_t GetVersion();
void SetReportedVersion(std::uint32_t version);

// ---- Messages and the application's message hook ------------------------------

inline constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;

// A message as the hook sees it.
struct Message {
    QObject* Window = nullptr;
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
};

// The event that carries a system command to its window.
class SystemCommandEvent : public QEvent {
public:
    explicit SystemCommandEvent(std::uint32_t command);
    static QEvent::Type EventType();
    std::uint32_t Command() const { return command_; }

private:
    std::uint32_t command_;
};

// Posts a system command message to the window; it is delivered from the event
// queue.
void PostSystemCommand(QWidget* Window, std::uint32_t Command);

// The hook: a handler and the object it belongs to, which tells one installed
// hook from another. Setting Handled stops the message.
struct MessageHook {
    const void* Object = nullptr;
    std::function<void(Message& Msg, bool& Handled)> Handler;
    explicit operator bool() const { return static_cast<bool>(Handler); }
};
MessageHook ApplicationMessageHook();
void SetApplicationMessageHook(MessageHook hook);

// Makes sure the application delivers system commands through the hook and opens
// system menus on Alt+Space. Done on every request for a system menu and when the
// application starts; calling it again does nothing.
void InstallSystemMenuHandling();

}  // namespace platform
