#include "files/open_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace files {

int OpenForReading(const std::string& name, std::uint64_t& size) {
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return -1;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        (::flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
        ::close(descriptor);
        return -1;
    }
    size = static_cast<std::uint64_t>(status.st_size);
    return descriptor;
}

}  // namespace files
