#include "app/CommandLine.h"

#include <sys/stat.h>

#include <string_view>

#include "platform/text/quote.h"

#include "lumarq/version.h"

namespace lumarq {

const char* const kUsage =
    "Usage: lumarq [FILE]\n"
    "Shows the image FILE at its actual size in a borderless window, with a control panel\n"
    "whose eight sliders (pattern, LED detector threshold, red, green, blue, X and Y\n"
    "offset, tilt angle) turn it into grid lines, mosaics and LED panels.\n"
    "Without FILE, an Open dialog asks for one.\n"
    "\n"
    "Options:\n"
    "      --help     show this help and exit\n"
    "      --version  show the version and exit\n";

std::optional<int> AnswerCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) return std::nullopt;
    const std::string_view first = argv[1];
    if (first == "--help") {
        out << kUsage;
    } else if (first == "--version") {
        out << "lumarq " << LUMARQ_VERSION << '\n' << LUMARQ_LICENSE_NOTICE;
    } else if (struct stat st {}; !first.empty() && first[0] == '-' && ::stat(argv[1], &st) != 0) {
        // Quoted as a shell reads it back: a terminal shows the option, never obeys it.
        err << "lumarq: unknown option " << platform::text::ShellQuoted(first) << "\n" << kUsage;
        err.flush();
        return 2;
    } else {
        return std::nullopt;
    }
    out.flush();
    return out ? 0 : 1;
}

}  // namespace lumarq
