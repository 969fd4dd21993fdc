#include "files/atomic_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "files/replacement_file.h"

namespace files {

bool WriteAll(int descriptor, const void* data, std::size_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        const ssize_t done = ::write(descriptor, bytes, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

SaveResult SaveFileAtomically(const std::string& FileName, const std::function<bool(int descriptor)>& write) {
    ReplacementFile file(FileName);
    if (!file.Created()) return file.Created();
    // A failed write reads errno at once, before the temporary's removal can change it.
    errno = 0;
    if (!write(file.Descriptor())) return StreamWriteError();
    return file.Commit();
}

}  // namespace files
