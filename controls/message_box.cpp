#include "controls/message_box.h"

#include "platform/qt/message_box.h"

namespace {

using namespace platform;

constexpr std::uint32_t kButtonSets[6] = {MB_OK,          MB_OKCANCEL,    MB_YESNO,
                                          MB_YESNOCANCEL, MB_RETRYCANCEL, MB_ABORTRETRYIGNORE};
constexpr std::uint32_t kIcons[4] = {MB_ICONINFORMATION, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONSTOP};
constexpr std::uint32_t kModes[6] = {MB_APPLMODAL,          MB_TASKMODAL,          MB_SYSTEMMODAL,
                                     MB_HELP | MB_APPLMODAL, MB_HELP | MB_TASKMODAL, MB_HELP | MB_SYSTEMMODAL};
constexpr std::uint32_t kDefaultButtons[4] = {MB_DEFBUTTON1, MB_DEFBUTTON2, MB_DEFBUTTON3, MB_DEFBUTTON4};

}  // namespace

std::uint32_t MessageBoxFlags(std::int32_t Style, std::int32_t Modality, std::int32_t TopMost,
                              std::int32_t RightAlign) {
    std::uint32_t flags = 0;
    if (TopMost != 0) flags |= MB_TOPMOST;
    if (RightAlign != 0) flags |= MB_RIGHT;
    if (Style < 1 || Style > 24) Style = 13;
    flags |= kButtonSets[(Style - 1) / 4] | kIcons[(Style - 1) % 4];
    if (Modality < 1 || Modality > 24) Modality = 5;
    flags |= kModes[(Modality - 1) / 4] | kDefaultButtons[(Modality - 1) % 4];
    return flags;
}

void ShowMessageBox(const QString& Title, const QString& Text, std::int32_t Style, std::int32_t Modality,
                    std::int32_t TopMost, std::int32_t RightAlign, QString& Answer) {
    switch (platform::MessageBox(Text, Title, MessageBoxFlags(Style, Modality, TopMost, RightAlign))) {
        case IDOK: Answer = QStringLiteral("OK"); break;
        case IDCANCEL: Answer = QStringLiteral("CANCEL"); break;
        case IDABORT: Answer = QStringLiteral("ABORT"); break;
        case IDRETRY: Answer = QStringLiteral("RETRY"); break;
        case IDIGNORE: Answer = QStringLiteral("IGNORE"); break;
        case IDYES: Answer = QStringLiteral("YES"); break;
        case IDNO: Answer = QStringLiteral("NO"); break;
        default: break;  // not shown or not a known button: the caller's value stays
    }
}
