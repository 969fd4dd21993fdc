#include "cli/report.h"

#include <iostream>

#include "cli/library_messages.h"
#include "platform/text/quote.h"
#include "raster/load_errors.h"

using platform::text::Printable;
using platform::text::ShellQuoted;

// One line on stderr: "lumarq-render: FILE: message (reason)". The loader and the
// writer end their messages with the file's name ("Cannot open file NAME"): it is
// quoted there as in front; anything else a control byte could hide in shows as
// '?'. A message that ends in parentheses of its own takes the reason inside them.
void ReportFailure(const Failure& failure) {
    const std::string& name = failure.file;
    const std::string& message = failure.message;
    const bool endsWithName =
        message.size() > name.size() && message.compare(message.size() - name.size(), name.size(), name) == 0;
    std::string shown = endsWithName ? Printable(message.substr(0, message.size() - name.size())) + ShellQuoted(name)
                                     : Printable(message);
    if (!failure.reason.empty()) {
        if (!endsWithName && shown.ends_with(')'))
            shown.insert(shown.size() - 1, "; " + Printable(failure.reason));
        else
            shown += " (" + Printable(failure.reason) + ")";
    }
    std::cerr << "lumarq-render: " << ShellQuoted(name) << ": " << shown << '\n';
}

// The loader's message, its reason, and what a library printed before it gave up:
// "PNG image is damaged or incomplete (Unable to read image data; libpng error: Read Error)".
Failure LoadFailure(const std::string& input, const std::exception& error) {
    Failure failure{input, error.what()};
    if (const auto* load = dynamic_cast<const LoadError*>(&error)) failure.reason = load->Reason();
    if (const std::string library = TakeLibraryMessages(); !library.empty())
        failure.reason += (failure.reason.empty() ? "" : "; ") + library;
    return failure;
}

