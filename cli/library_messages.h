// Qt's and the image libraries' own console messages, kept off stderr: lumarq-render
// says what went wrong with each file in one line of its own, and shows a library's
// words inside that line where they help.
#pragma once

#include <string>

// Takes over Qt's messages and C's stderr (where libpng prints "libpng error: ..."
// before giving up on a damaged file); each thread keeps what its own calls printed.
// Call first thing in main(), before any thread starts. Our own lines go through
// std::cerr, which keeps writing to the real stderr.
void CaptureLibraryMessages();

// What the libraries printed on this thread since the last call, as one line
// ("libpng error: Read Error"; several joined by "; "), and forgets it.
std::string TakeLibraryMessages();
