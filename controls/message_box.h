// ShowMessageBox: the system's standard message box from a title, a text, a
// button-set-and-icon code, a default-button-and-modality code and two options,
// answered with the pressed button's upper-case word.
#pragma once

#include <QString>
#include <cstdint>

// Style: 4 x set + icon + 1 (1..24). Sets: OK, OK-Cancel, Yes-No, Yes-No-Cancel,
// Retry-Cancel, Abort-Retry-Ignore; icons: information, question, exclamation,
// stop. Anything else: Yes-No-Cancel with the information icon.
// Modality: 4 x mode + default button + 1 (1..24). Modes: application-, task-,
// system-modal, then the same three with a Help button. Anything else:
// task-modal, first button default.
// Answer receives "OK", "CANCEL", "ABORT", "RETRY", "IGNORE", "YES" or "NO" and
// is left as it was for any other result (0 when the box could not be shown).
void ShowMessageBox(const QString& Title, const QString& Text, std::int32_t Style, std::int32_t Modality,
                    std::int32_t TopMost, std::int32_t RightAlign, QString& Answer);

// The flags ShowMessageBox passes to the system box.
std::uint32_t MessageBoxFlags(std::int32_t Style, std::int32_t Modality, std::int32_t TopMost,
                              std::int32_t RightAlign);
