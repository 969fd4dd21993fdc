#include "cli/library_messages.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <iostream>

#include "platform/text/quote.h"

namespace {

thread_local std::string captured;

ssize_t KeepWritten(void*, const char* data, std::size_t size) {
    captured.append(data, size);
    return static_cast<ssize_t>(size);
}

void KeepQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    captured += message.toStdString();
    captured += '\n';
    // Qt ends the program after a fatal message: say it, on one line, first.
    if (type == QtFatalMsg) std::cerr << "lumarq-render: " << platform::text::Printable(message.toStdString()) << '\n';
}

}  // namespace

void CaptureLibraryMessages() {
    qInstallMessageHandler(KeepQtMessage);
    // Unbuffered, so that each print reaches KeepWritten on the thread that made it.
    if (FILE* keeper = ::fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, KeepWritten, nullptr, nullptr})) {
        std::setvbuf(keeper, nullptr, _IONBF, 0);
        stderr = keeper;
    }
}

std::string TakeLibraryMessages() {
    constexpr std::size_t kMostShown = 300;  // a library that goes on and on is cut short
    std::string line;
    std::size_t start = 0;
    while (start < captured.size()) {
        std::size_t end = captured.find('\n', start);
        if (end == std::string::npos) end = captured.size();
        if (end > start) line += (line.empty() ? "" : "; ") + captured.substr(start, end - start);
        start = end + 1;
    }
    captured.clear();
    if (line.size() > kMostShown) line = line.substr(0, kMostShown) + "...";
    return platform::text::Printable(line);
}
