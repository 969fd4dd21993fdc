#include "platform/text/quote.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace platform::text {
namespace {

// The length of the printable character that starts at `at`: an ASCII graphic
// character or space, or a whole UTF-8 sequence of a printable code point; 0 for
// a control character or a byte that starts no valid sequence. An unprintable but
// valid sequence reports its length negated, so that it is escaped as a whole.
int CharacterAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    // C1 controls, the line and paragraph separators and the noncharacters do not
    // show as themselves. (Unassigned code points pass: that needs Unicode's tables.)
    const bool shows = !(code >= 0x80 && code <= 0x9F) && code != 0x2028 && code != 0x2029 &&
                       !(code >= 0xFDD0 && code <= 0xFDEF) && (code & 0xFFFE) != 0xFFFE;
    return shows ? length : -length;
}

void AppendEscape(std::string& out, std::uint8_t c) {
    static const char kLetters[] = "abtnvfr";  // \a (7) to \r (13)
    out += '\\';
    if (c >= '\a' && c <= '\r') {
        out += kLetters[c - '\a'];
    } else {
        out += static_cast<char>('0' + (c >> 6));
        out += static_cast<char>('0' + ((c >> 3) & 7));
        out += static_cast<char>('0' + (c & 7));
    }
}

}  // namespace

std::string ShellQuoted(std::string_view Name) {
    if (Name.empty()) return "''";
    // First pass: does the name need quotes at all, and would double quotes do?
    bool needsQuotes = false, hasSingleQuote = false, doubleQuotesWill = true;
    for (std::size_t i = 0; i < Name.size();) {
        const int length = CharacterAt(Name, i);
        const char c = Name[i];
        if (length <= 0) {
            needsQuotes = true;
            doubleQuotesWill = false;
        } else if (length == 1 && !std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("%+,-./:]_@", c)) {
            const bool atStart = i == 0;
            const bool lone = Name.size() == 1;
            if (c == '\'') {
                needsQuotes = hasSingleQuote = true;
            } else if (c == ' ' || ((c == '#' || c == '~') && atStart) || ((c == '{' || c == '}') && lone)) {
                needsQuotes = true;
            } else if (std::strchr("!\"$&()*;<=>?[\\^`|", c)) {
                needsQuotes = true;
                doubleQuotesWill = false;
            } else {
                doubleQuotesWill = false;  // '#', '~', '{', '}' further in: harmless, but not for double quotes
            }
        }
        i += length == 0 ? 1 : static_cast<std::size_t>(length < 0 ? -length : length);
    }
    if (!needsQuotes) return std::string(Name);
    std::string out;
    out.reserve(Name.size() + 2);
    if (hasSingleQuote && doubleQuotesWill) return out.append("\"").append(Name).append("\"");

    out += '\'';
    bool inEscapes = false;  // inside a $'...' part
    for (std::size_t i = 0; i < Name.size();) {
        const int length = CharacterAt(Name, i);
        const std::size_t count = length == 0 ? 1 : static_cast<std::size_t>(length < 0 ? -length : length);
        if (length <= 0) {
            if (!inEscapes) out += "'$'";
            inEscapes = true;
            for (std::size_t k = 0; k < count; ++k) AppendEscape(out, static_cast<std::uint8_t>(Name[i + k]));
        } else if (Name[i] == '\'') {
            out += "'\\''";
            inEscapes = false;
        } else {
            if (inEscapes) out += "''";
            inEscapes = false;
            out.append(Name.substr(i, count));
        }
        i += count;
    }
    return out + "'";
}

std::string Printable(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size();) {
        const int length = CharacterAt(Text, i);
        if (length > 0) {
            out.append(Text.substr(i, static_cast<std::size_t>(length)));
            i += static_cast<std::size_t>(length);
        } else {
            out += '?';
            i += length == 0 ? 1 : static_cast<std::size_t>(-length);
        }
    }
    return out;
}

}  // namespace platform::text
