// Names as messages show them: the forms `ls --quoting-style=shell-escape` gives
// (checked against it), which a shell reads back as the same bytes.
#include <gtest/gtest.h>

#include "platform/text/quote.h"

namespace {

using platform::text::Printable;
using platform::text::ShellQuoted;

TEST(ShellQuoted, QuotesOnlyWhatAShellOrATerminalWouldMisread) {
    const struct {
        std::string name, shown;
    } cases[] = {
        {"photo-1.png", "photo-1.png"},
        {"", "''"},
        {"my photo.png", "'my photo.png'"},
        {"a$b", "'a$b'"},
        {"it's.png", "\"it's.png\""},            // a single quote alone: double quotes
        {"it's $5", "'it'\\''s $5'"},            // with a '$' too: single quotes, the quote escaped
        {"~x", "'~x'"},       {"x~", "x~"},      // '~' and '#' count only at the start
        {"{", "'{'"},         {"a{b", "a{b"},    // '{' only alone
        {"a\x1b[2Jb.png", "'a'$'\\033''[2Jb.png'"},
        {"\x1bx", "''$'\\033''x'"},
        {"two\nlines\t", "'two'$'\\n''lines'$'\\t'"},
        {"\x7f", "''$'\\177'"},
        {"x\xff\xfe", "'x'$'\\377\\376'"},       // not UTF-8
        {"\xc0\xaf", "''$'\\300\\257'"},         // an overlong '/'
        {"\xed\xa0\x80", "''$'\\355\\240\\200'"},  // a surrogate
        {"\xc2\x9b" "31m", "''$'\\302\\233''31m'"},  // C1 control sequence introducer
        {"\xe2\x80\xa8", "''$'\\342\\200\\250'"},    // line separator
        {"caf\xc3\xa9 \xf0\x9f\x98\x80.png", "'caf\xc3\xa9 \xf0\x9f\x98\x80.png'"},
        {"\xe2\x80\x8e.png", "\xe2\x80\x8e.png"},  // printable, if invisible
    };
    for (const auto& c : cases) EXPECT_EQ(ShellQuoted(c.name), c.shown) << c.name;

    EXPECT_EQ(Printable("libpng error: \x1b]0;x\x07 \xff\xc2\x9b ok \xc3\xa9\n"), "libpng error: ?]0;x? ?? ok \xc3\xa9?");
}

}  // namespace
