// The system's modal message box, shown with Qt: button sets, icons, default
// button, modality, Help button, top-most and right-aligned text are chosen by
// the same flag values a Windows message box takes, and the answer is the same
// button number.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

namespace platform {

// Flag values.
enum : std::uint32_t {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON1 = 0x0,
    MB_DEFBUTTON2 = 0x100,
    MB_DEFBUTTON3 = 0x200,
    MB_DEFBUTTON4 = 0x300,
    MB_APPLMODAL = 0x0,
    MB_SYSTEMMODAL = 0x1000,
    MB_TASKMODAL = 0x2000,
    MB_HELP = 0x4000,
    MB_TOPMOST = 0x40000,
    MB_RIGHT = 0x80000,
};

// Answers; 0 means the box could not be shown.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Shows the box and waits for the answer.
int MessageBox(const QString& Text, const QString& Caption, std::uint32_t Flags);

// The desktop's question before work would be lost: Save, Don't Save and Cancel
// (answered IDYES, IDNO and IDCANCEL; Escape and the close button cancel), above
// every window of the program. It goes through the same handler as MessageBox,
// with the flags MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_TOPMOST.
int AskToSaveChanges(const QString& Text, const QString& Caption);

// While a handler is set, MessageBox calls it instead of showing anything, so
// that a test can read the request and answer it. An empty handler restores the
// real box.
using MessageBoxHandler = std::function<int(const QString& Text, const QString& Caption, std::uint32_t Flags)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace platform
