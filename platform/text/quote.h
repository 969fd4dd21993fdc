// Names and texts made safe to show in a message: on a terminal or in a log, a
// message is one line that no file name can clear, retitle or split. Plain C++, no
// Qt, so that the windows' message boxes and lumarq-render quote names alike.
#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// A file name or an option value as a shell would read it back, in the style of
// `ls --quoting-style=shell-escape`: a plain name as it is (`photo.png`); one with
// spaces or shell characters in single quotes (`'my photo.png'`), or in double
// quotes when a single quote is its only such character (`"it's.png"`); control
// characters and bytes that are not UTF-8 as $'...' escapes between the quoted
// parts (`'a'$'\033''[2Jb.png'`, `'two'$'\n''lines.png'`, `$'\377'`).
std::string ShellQuoted(std::string_view Name);

// Text that is not a name (a library's own words) made printable on one line:
// each control character and each byte that is not part of valid UTF-8 becomes '?'.
std::string Printable(std::string_view Text);

}  // namespace platform::text
