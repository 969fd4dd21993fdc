#include "files/replacement_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

// A failure with the reason errno holds now; none when the step set no errno.
SaveResult Failure(std::string error) {
    const int number = errno;
    return SaveResult{false, std::move(error), number ? std::strerror(number) : ""};
}

}  // namespace

namespace files {

ReplacementFile::ReplacementFile(const std::string& FileName) : name_(FileName), target_(FinalTarget(FileName)) {
    errno = 0;
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            created_ = Failure("Cannot create file " + name_);
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
    errno = 0;
    descriptor_ = ::mkostemp(temporary_.data(), O_CLOEXEC);  // created 0600: private until complete
    if (descriptor_ < 0) {
        created_ = Failure("Cannot create file " + name_);
        return;
    }
    exists_ = true;
}

ReplacementFile::~ReplacementFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
    if (exists_) ::unlink(temporary_.c_str());
}

SaveResult ReplacementFile::Commit() {
    if (!created_) return created_;
    // Each step starts with errno clear and a failure reads it at once, before the
    // temporary's removal can change it.
    errno = 0;
    const bool durable = ::fchmod(descriptor_, mode_) == 0 && ::fsync(descriptor_) == 0;
    if (!durable) return Failure("Stream write error");
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0) return Failure("Stream write error");
    errno = 0;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) return Failure("Cannot create file " + name_);
    exists_ = false;
    // Make the rename itself durable; a failure here loses nothing already written.
    const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

SaveResult StreamWriteError() { return Failure("Stream write error"); }

}  // namespace files
