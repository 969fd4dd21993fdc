#include "files/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

// The process's umask, read before any thread can exist: changing it to read it
// later would race with every other thread that creates files.
mode_t ReadUmask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}
const mode_t kUmaskAtStart = ReadUmask();

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links to the file they name, whether it exists yet or not, so
// that saving through a link writes its target and keeps the link.
std::string FinalTarget(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0) return path;
        target.resize(static_cast<std::size_t>(length));
        path = target[0] == '/' ? target : FolderOf(path) + "/" + target;
    }
    return path;  // a loop: creating the file will fail and say so
}

// A new file written beside the target and renamed over it only once complete and
// on disk, so a failed save never damages the file already there.
class ReplacementFile {
public:
    explicit ReplacementFile(const std::string& name) : target_(FinalTarget(name)) {
        struct stat st {};
        if (::stat(target_.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                errno = EISDIR;
                return;
            }
            // Only the permission bits: a saved picture is never setuid, setgid or sticky.
            mode_ = st.st_mode & 0777;
        } else {
            mode_ = 0666 & ~kUmaskAtStart;
        }
        const std::size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
        std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
        // "." + base + ".XXXXXX" must stay a legal name however long the target's is.
        if (base.size() > NAME_MAX - 8) base.resize(NAME_MAX - 8);
        temporary_ = folder + "." + base + ".XXXXXX";
        fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);  // created 0600: private until complete
    }
    ~ReplacementFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_ && fd_ != -1) ::unlink(temporary_.c_str());
    }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool Created() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // Gives the file its final mode and flushes it to disk; false when the data
    // could not be made durable.
    bool FlushAndClose() {
        const bool ok = ::fchmod(fd_, mode_) == 0 && ::fsync(fd_) == 0;
        const bool closed = ::close(fd_) == 0;
        fd_ = -2;  // closed, but the temporary still exists until renamed
        return ok && closed;
    }
    bool Rename() {
        if (::rename(temporary_.c_str(), target_.c_str()) != 0) return false;
        committed_ = true;
        // Make the rename itself durable; a failure here loses nothing already written.
        const int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }

private:
    std::string target_;
    std::string temporary_;
    mode_t mode_ = 0644;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace

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
    // Each step starts with errno clear and a failure reads it at once, before the
    // temporary's removal can change it; a step that fails without it gives no reason.
    const auto failed = [](std::string error) {
        const int number = errno;
        return SaveResult{false, std::move(error), number ? std::strerror(number) : ""};
    };
    errno = 0;
    ReplacementFile file(FileName);
    if (!file.Created()) return failed("Cannot create file " + FileName);
    errno = 0;
    if (!write(file.Descriptor())) return failed("Stream write error");
    errno = 0;
    if (!file.FlushAndClose()) return failed("Stream write error");
    errno = 0;
    if (!file.Rename()) return failed("Cannot create file " + FileName);
    return {};
}

}  // namespace files
