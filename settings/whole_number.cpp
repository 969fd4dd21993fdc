#include "settings/whole_number.h"

#include <charconv>

std::string RangeText(std::int32_t minimum, std::int32_t maximum) {
    return std::to_string(minimum) + ".." + std::to_string(maximum);
}

std::optional<std::int32_t> ParseWholeNumber(std::string_view text, std::int32_t minimum, std::int32_t maximum,
                                             std::string& error, WholeNumberSyntax syntax) {
    long long number = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (syntax.plusSign && begin != end && *begin == '+') ++begin;
    const auto [stop, failure] = std::from_chars(begin, end, number);
    if (text.empty() || stop != end || failure == std::errc::invalid_argument) {
        std::string shown(text);
        if (syntax.quoted) shown = "'" + shown + "'";
        error = shown + " is not a whole number (" + RangeText(minimum, maximum) + ")";
        return std::nullopt;
    }
    // Too long for any type is out of range all the same.
    if (failure == std::errc::result_out_of_range || number < minimum || number > maximum) {
        error = std::string(text) + " is out of range (" + RangeText(minimum, maximum) + ")";
        return std::nullopt;
    }
    return static_cast<std::int32_t>(number);
}
