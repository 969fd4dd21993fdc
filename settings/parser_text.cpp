#include "settings/parser_text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <string>

namespace settings_text {

std::string ForTheParser(std::string_view text) {
    std::string parsed;
    auto change = [&](std::size_t at, std::string_view with) {
        if (parsed.empty()) parsed = text;
        std::copy(with.begin(), with.end(), parsed.begin() + static_cast<std::ptrdiff_t>(at));
    };
    bool inString = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (inString) {
            if (static_cast<unsigned char>(c) >= 0x80) change(at, "?");
            auto hex = [&](std::size_t i) { return std::isxdigit(static_cast<unsigned char>(text[i])) != 0; };
            if (c == '\\' && at + 5 < text.size() && text[at + 1] == 'u' && (text[at + 2] | 0x20) == 'd' &&
                std::string_view("89abcdefABCDEF").find(text[at + 3]) != std::string_view::npos && hex(at + 4) && hex(at + 5))
                change(at + 2, "003f");
            if (c == '\\') ++at;
            inString = c != '"';
            continue;
        }
        if (c == '"') inString = true;
        // A number starts after a space or what a value follows.
        if ((c != '-' && (c < '0' || c > '9')) ||
            (at > 0 && std::string_view(" \t\r\n:,[").find(text[at - 1]) == std::string_view::npos))
            continue;
        // One number as JSON writes it: no digits after a leading 0, at least one
        // after a point and in an exponent.
        const std::size_t start = at;
        auto digits = [&] {
            const std::size_t from = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
            return at > from;
        };
        if (text[at] == '-') ++at;
        bool valid = at < text.size() && text[at] == '0' ? (++at, true) : digits();
        if (at < text.size() && text[at] == '.') ++at, valid = digits() && valid;
        bool exponent = false;
        if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
            exponent = true;
            ++at;
            if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
            valid = digits() && valid;
        }
        if (valid && exponent && std::isinf(std::strtod(std::string(text.substr(start, at - start)).c_str(), nullptr)))
            change(start, std::string("0").append(at - start - 1, ' '));
        --at;
    }
    return parsed;
}

}  // namespace settings_text
