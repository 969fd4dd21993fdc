// Reading a whole number within a range from text: the command line's options,
// thread counts and the settings file all say the same thing about a bad one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// "MIN..MAX"
std::string RangeText(std::int32_t minimum, std::int32_t maximum);

// How the text is written where it comes from.
struct WholeNumberSyntax {
    bool plusSign = false;  // a leading '+' is allowed (the command line's options)
    bool quoted = true;     // a text that is no number is shown in single quotes
};

// The number `text` holds, within minimum..maximum; otherwise nothing, and `error`
// says "'TEXT' is not a whole number (MIN..MAX)" or "TEXT is out of range (MIN..MAX)".
std::optional<std::int32_t> ParseWholeNumber(std::string_view text, std::int32_t minimum, std::int32_t maximum,
                                             std::string& error, WholeNumberSyntax syntax = {});
