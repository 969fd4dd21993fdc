// How lumarq-render words a failure: one line naming the file it is about.
#pragma once

#include <exception>
#include <string>

// A failure and the file it is about (the input for reading and rendering, the
// output for writing), the product's message and the reason it has, if any.
struct Failure {
    std::string file, message, reason = {};
};

// One line on stderr: "lumarq-render: FILE: message (reason)".
void ReportFailure(const Failure& failure);

// The loader's message, its reason, and what a library printed before it gave up.
Failure LoadFailure(const std::string& input, const std::exception& error);
