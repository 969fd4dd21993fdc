#include "files/open_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace files {

int OpenForReading(const std::string& name, std::uint64_t& size, std::string* reason) {
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    std::string why;
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0)
        why = std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        why = S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "not a regular file";
    else if (::flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        why = "locked by another program";
    if (!why.empty()) {
        if (descriptor >= 0) ::close(descriptor);
        if (reason) *reason = why;
        return -1;
    }
    size = static_cast<std::uint64_t>(status.st_size);
    return descriptor;
}

}  // namespace files
