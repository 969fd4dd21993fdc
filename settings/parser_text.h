// The settings file's text as the JSON parser is given it: the parser's own
// refusals that this program's files have always been spared are taken out first.
#pragma once

#include <string>
#include <string_view>

namespace settings_text {

// The JSON parser refuses three things this program has always let pass where they
// cannot matter: a number beyond a double's range (1e999), bytes that are not UTF-8
// and escapes of lone surrogate halves (D800..DFFF) in strings. Only keys the
// program knows, all ASCII, and the values under them count, and messages quote
// the text as written; so the parser reads a copy in which each such number is a 0
// and spaces, each byte beyond ASCII in a string a '?' and each surrogate escape
// that of a '?' (003f): every position stays where it was. Empty when the text
// needs no change.
std::string ForTheParser(std::string_view text);

}  // namespace settings_text
