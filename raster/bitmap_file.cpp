// Reading a BMP file into a TWin and writing a TWin as an uncompressed 24-bit BMP.
//
// The file access is POSIX and stays here rather than in a platform unit of its own:
// it is the only file code the raster needs, and it is small.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "raster/bitmap_decoder.h"
#include "raster/win.h"

namespace {

using raster::bitmap::ByteSource;

// A regular file opened for reading, shared-locked so that cooperating writers wait.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::string& name) {
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat st {};
        // Directories, pipes and devices count as files that cannot be opened, and so
        // does a file a writer holds locked; a file system without locks is no obstacle.
        const bool ok = fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) &&
                        (::flock(fd_, LOCK_SH | LOCK_NB) == 0 || errno != EWOULDBLOCK);
        if (!ok) {
            if (fd_ >= 0) ::close(fd_);
            throw LoadError("Cannot open file " + name);
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t Size() const override { return size_; }

    std::size_t ReadAt(std::uint64_t offset, std::uint8_t* target, std::size_t count) override {
        std::size_t total = 0;
        while (total < count) {
            const ssize_t got = ::pread(fd_, target + total, count - total, static_cast<off_t>(offset + total));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw LoadError(raster::bitmap::kStreamReadError);
            if (got == 0) break;
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

    // Scattered reads put each row where it belongs in one system call per batch.
    std::size_t ReadRowsAt(std::uint64_t offset, std::uint8_t* const* rows, std::size_t rowCount,
                           std::size_t rowBytes) override {
        std::vector<iovec> pieces;
        std::size_t total = 0;
        for (std::size_t first = 0; first < rowCount;) {
            const std::size_t batch = std::min<std::size_t>(rowCount - first, IOV_MAX);
            pieces.resize(batch);
            for (std::size_t i = 0; i < batch; ++i) pieces[i] = {rows[first + i], rowBytes};
            const std::size_t want = batch * rowBytes;
            const ssize_t got = ::preadv(fd_, pieces.data(), static_cast<int>(batch), static_cast<off_t>(offset + total));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw LoadError(raster::bitmap::kStreamReadError);
            if (static_cast<std::size_t>(got) < want) {
                // A short read: finish row by row, which also finds the true end of the data.
                const std::size_t done = static_cast<std::size_t>(got) / rowBytes;
                total += done * rowBytes;
                return ByteSource::ReadRowsAt(offset + total, rows + first + done, rowCount - first - done, rowBytes) +
                       total;
            }
            total += want;
            first += batch;
        }
        return total;
    }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t count) {
    while (count > 0) {
        const ssize_t done = ::write(fd, data, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

// A new file is written beside the target and renamed over it only once it is
// complete and on disk, so a failed save never damages the file already there.
class ReplacementFile {
public:
    explicit ReplacementFile(const std::string& name) : target_(name) {
        // Saving through a symbolic link replaces the file it points to, not the link.
        struct stat st {};
        if (::lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            if (char* resolved = ::realpath(name.c_str(), nullptr)) {
                target_ = resolved;
                std::free(resolved);
            }
        }
        if (::stat(target_.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) return;
            mode_ = st.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode_ = 0666 & ~mask;
        }
        const std::size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
        temporary_ = folder + "." + base + ".XXXXXX";
        fd_ = ::mkstemp(temporary_.data());
    }
    ~ReplacementFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_ && fd_ != -1) ::unlink(temporary_.c_str());
    }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool Created() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // Flushes the data to disk, then puts the file in place. Returns false when the
    // data could not be made durable.
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
        const std::size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target_.substr(0, slash));
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

void TWin::LoadFromFile(const std::string& FileName) {
    using namespace raster::bitmap;
    try {
        FileSource source(FileName);
        const Layout layout = ReadLayout(source);
        if (layout.empty) {
            Build(0, 0);
            return;
        }
        Build(layout.width, layout.height);
        if (!HasPixels()) throw LoadError(kOutOfMemory);
        DecodePixels(source, layout, Bits, Stride);
    } catch (const LoadError&) {
        Build(0, 0);
        throw;
    } catch (const std::bad_alloc&) {
        Build(0, 0);
        throw LoadError(kOutOfMemory);
    }
}

SaveResult TWin::SaveToFile(const std::string& FileName) const {
    const SaveResult cannotCreate{false, "Cannot create file " + FileName};
    const SaveResult writeError{false, "Stream write error"};
    // A 0 x 0 raster has no picture to save, and a 0 x 0 file would not load again:
    // the target is left alone.
    if (!HasPixels()) return writeError;
    try {
        ReplacementFile file(FileName);
        if (!file.Created()) return cannotCreate;

        const std::uint32_t width = static_cast<std::uint32_t>(Width());
        const std::uint32_t height = static_cast<std::uint32_t>(Height());
        const std::size_t pixelBytes = 3 * static_cast<std::size_t>(width);
        const std::uint64_t imageBytes = static_cast<std::uint64_t>(Stride) * height;
        if (54 + imageBytes > UINT32_MAX) return writeError;  // cannot be described by the header

        std::uint8_t header[54] = {'B', 'M'};
        Put32(header + 2, static_cast<std::uint32_t>(54 + imageBytes));
        Put32(header + 10, 54);
        Put32(header + 14, 40);
        Put32(header + 18, width);
        Put32(header + 22, height);
        Put16(header + 26, 1);
        Put16(header + 28, 24);
        Put32(header + 34, static_cast<std::uint32_t>(imageBytes));
        if (!WriteAll(file.Descriptor(), header, sizeof header)) return writeError;

        // Bottom row first; rows are gathered into large writes, padding written as zero.
        const std::size_t rowsPerChunk = std::max<std::size_t>(1, (1u << 20) / Stride);
        std::vector<std::uint8_t> chunk(rowsPerChunk * Stride, 0);
        for (std::uint32_t done = 0; done < height;) {
            const std::uint32_t rows = static_cast<std::uint32_t>(std::min<std::size_t>(rowsPerChunk, height - done));
            for (std::uint32_t i = 0; i < rows; ++i)
                std::memcpy(chunk.data() + static_cast<std::size_t>(i) * Stride, PixelAddress(0, static_cast<std::int32_t>(height - 1 - done - i)),
                            pixelBytes);
            if (!WriteAll(file.Descriptor(), chunk.data(), static_cast<std::size_t>(rows) * Stride)) return writeError;
            done += rows;
        }
        if (!file.FlushAndClose()) return writeError;
        if (!file.Rename()) return cannotCreate;
        return {};
    } catch (const std::bad_alloc&) {
        return writeError;
    }
}
