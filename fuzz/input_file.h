// The one temporary file a fuzz target hands its inputs through, for the readers
// that open files by name: made at start-up, rewritten for each input, removed at exit.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline std::string& InputPath() {
    static std::string path;
    return path;
}

// `prefix`: the file's name in /tmp before its random part.
inline void MakeInputFile(const std::string& prefix) {
    std::string name = "/tmp/" + prefix + "_XXXXXX";
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) std::abort();
    close(descriptor);
    InputPath() = name;
    std::atexit([] { unlink(InputPath().c_str()); });
}

inline const std::string& WriteInput(const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(InputPath().c_str(), "wb");
    if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) std::abort();
    return InputPath();
}

}  // namespace fuzz
