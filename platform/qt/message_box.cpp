#include "platform/qt/message_box.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

namespace platform {
namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

struct ButtonAnswer {
    QMessageBox::StandardButton button;
    int answer;
};

std::vector<ButtonAnswer> ButtonSet(std::uint32_t flags) {
    switch (flags & 0xF) {
        case MB_OKCANCEL:
            return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        case MB_ABORTRETRYIGNORE:
            return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
        case MB_YESNOCANCEL:
            return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        case MB_YESNO:
            return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
        case MB_RETRYCANCEL:
            return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
        default:
            return {{QMessageBox::Ok, IDOK}};
    }
}

QMessageBox::Icon IconOf(std::uint32_t flags) {
    switch (flags & 0xF0) {
        case MB_ICONSTOP:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) { Handler() = std::move(handler); }

int MessageBox(const QString& Text, const QString& Caption, std::uint32_t Flags) {
    if (Handler()) return Handler()(Text, Caption, Flags);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;  // no windows to show it with

    QMessageBox box(IconOf(Flags), Caption, Text);
    const std::vector<ButtonAnswer> buttons = ButtonSet(Flags);
    for (const ButtonAnswer& b : buttons) box.addButton(b.button);
    if (Flags & MB_HELP) {
        // There is no help file to open: the Help button is there and does nothing,
        // as the box stays open when it is pressed.
        QPushButton* help = box.addButton(QMessageBox::Help);
        QObject::disconnect(help, &QAbstractButton::clicked, nullptr, nullptr);
    }
    const std::size_t defaultIndex = (Flags >> 8) & 0x3;
    if (defaultIndex < buttons.size()) box.setDefaultButton(buttons[defaultIndex].button);
    // Cancel answers Escape and the close button when there is one; a lone OK too.
    if (box.button(QMessageBox::Cancel))
        box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons.size() == 1)
        box.setEscapeButton(QMessageBox::Ok);
    if (Flags & MB_RIGHT) {
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    // Qt has no system-wide modality: every mode blocks this program's windows.
    box.setWindowModality(Qt::ApplicationModal);
    // After the modality, which resets the window's hints.
    if (Flags & MB_TOPMOST) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);

    box.exec();
    const QMessageBox::StandardButton pressed = box.standardButton(box.clickedButton());
    for (const ButtonAnswer& b : buttons)
        if (b.button == pressed) return b.answer;
    return 0;
}

int AskToSaveChanges(const QString& Text, const QString& Caption) {
    constexpr std::uint32_t kFlags = MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_TOPMOST;
    if (Handler()) return Handler()(Text, Caption, kFlags);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return IDCANCEL;

    QMessageBox box(QMessageBox::Warning, Caption, Text);
    box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    // The words the question is known by, whatever the platform theme would say.
    box.button(QMessageBox::Discard)->setText(QStringLiteral("Do&n't Save"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Save: return IDYES;
        case QMessageBox::Discard: return IDNO;
        default: return IDCANCEL;
    }
}

}  // namespace platform
