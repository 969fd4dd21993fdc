// TTavixSystemMenu: a non-visual component of a form that copies the top-level
// items of a popup menu into the form's system menu, and makes a choice of such
// an entry run the popup item's click action, as if it had been picked in the
// popup menu itself.
#pragma once

#include <QAction>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <memory>

#include "platform/qt/system_menu.h"

class TTavixSystemMenu : public QObject {
    Q_OBJECT
    Q_PROPERTY(QMenu* PopupMenu READ PopupMenu WRITE setPopupMenu)
    Q_PROPERTY(int Position READ Position WRITE setPosition)
public:
    // Owner: the form the component sits on. Position starts at -1; neither the
    // system menu nor the message hook is touched yet.
    explicit TTavixSystemMenu(QObject* owner);
    // Puts back the message hook that was in place before Loaded, if this
    // component's hook is still the one installed. Entries stay in the menu.
    ~TTavixSystemMenu() override;

    // The step after the form's stored properties have all been applied and its
    // references resolved: installs the component's hook, keeping the previous one
    // to call first.
    void Loaded();

    QMenu* PopupMenu() const { return popupMenu; }
    void setPopupMenu(QMenu* value);
    // Position in the system menu of the first copied item; -1 appends each one.
    int Position() const { return position; }
    void setPosition(int value);

    // While set, the component sits on a form being designed and leaves the
    // system menu alone.
    bool Designing = false;

    // Inserts every top-level item of PopupMenu into the owner's system menu at
    // Position, Position + 1, ... (an invisible item keeps its number unused), or
    // appended for -1. Copies from earlier rebuilds stay. Throws std::bad_cast
    // when the owner is not a form.
    void RebuildSystemMenu();

    // Copies one item into the menu at Position (-1: at the end); nothing for an
    // invisible item.
    static void InsertSystemMenuEntry(QAction* item, platform::SystemMenu* menu, int position);

    // The message hook: calls the previous hook, then, for a system command not
    // yet handled, clicks the popup item whose command number is the message's.
    // It never marks the message handled, so the window sees it afterwards.
    void SystemCommandHook(platform::Message& message, bool& handled);

    // Clicks the first item, searched depth first through items and their
    // sub-items, whose command number is Number.
    static void ClickItemByCommand(const QList<QAction*>& items, std::uint16_t number);

private:
    QPointer<QMenu> popupMenu;  // not owned
    int position = -1;
    // Shared with the installed hook, so that a hook installed later on top of
    // this one still reaches the earlier hooks after this component is gone.
    std::shared_ptr<platform::MessageHook> savedHook = std::make_shared<platform::MessageHook>();
    bool hookInstalled = false;
};
