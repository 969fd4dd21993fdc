// The two questions a desktop program answers on its command line without
// opening a window: --help and --version.
#pragma once

#include <optional>
#include <ostream>

namespace lumarq {

extern const char* const kUsage;

// When the first argument is "--help" or "--version", prints the answer on `out`
// and returns the exit status. A first argument that starts with "-" and names no
// existing file is an option the program does not know: the usage goes to `err`
// and the status is 2. Otherwise returns nothing and the first argument stays the
// image to open. Needs no display: nothing of the windowing system has been
// started when this runs.
std::optional<int> AnswerCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace lumarq
