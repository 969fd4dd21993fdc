// Reading a BMP file into a TWin and writing a TWin as an uncompressed 24-bit BMP.
//
// Opening and saving follow the file rules every reader and writer shares (files/);
// the reads themselves are POSIX calls on the descriptor.
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "files/atomic_file.h"
#include "files/open_file.h"
#include "raster/bitmap_decoder.h"
#include "raster/win.h"

namespace {

using raster::bitmap::ByteSource;

// A regular file opened for reading, shared-locked so that cooperating writers wait.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::string& name) {
        std::string reason;
        fd_ = files::OpenForReading(name, size_, &reason);
        if (fd_ < 0) throw LoadError(CannotOpenFileError(name), reason);
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
            if (got < 0) throw LoadError(raster::bitmap::kStreamReadError, std::strerror(errno));
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
            if (got < 0) throw LoadError(raster::bitmap::kStreamReadError, std::strerror(errno));
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
    const SaveResult writeError{false, "Stream write error"};
    // A 0 x 0 raster has no picture to save, and a 0 x 0 file would not load again:
    // the target is left alone.
    if (!HasPixels()) return writeError;
    const std::uint32_t width = static_cast<std::uint32_t>(Width());
    const std::uint32_t height = static_cast<std::uint32_t>(Height());
    const std::uint64_t imageBytes = static_cast<std::uint64_t>(Stride) * height;
    if (54 + imageBytes > UINT32_MAX) return writeError;  // cannot be described by the header
    try {
        // Bottom row first; rows are gathered into large writes, padding written as zero.
        const std::size_t rowsPerChunk = std::max<std::size_t>(1, (1u << 20) / Stride);
        std::vector<std::uint8_t> chunk(rowsPerChunk * Stride, 0);
        return files::SaveFileAtomically(FileName, [&](int descriptor) {
            std::uint8_t header[54] = {'B', 'M'};
            Put32(header + 2, static_cast<std::uint32_t>(54 + imageBytes));
            Put32(header + 10, 54);
            Put32(header + 14, 40);
            Put32(header + 18, width);
            Put32(header + 22, height);
            Put16(header + 26, 1);
            Put16(header + 28, 24);
            Put32(header + 34, static_cast<std::uint32_t>(imageBytes));
            if (!files::WriteAll(descriptor, header, sizeof header)) return false;
            const std::size_t pixelBytes = 3 * static_cast<std::size_t>(width);
            for (std::uint32_t done = 0; done < height;) {
                const auto rows = static_cast<std::uint32_t>(std::min<std::size_t>(rowsPerChunk, height - done));
                for (std::uint32_t i = 0; i < rows; ++i)
                    std::memcpy(chunk.data() + static_cast<std::size_t>(i) * Stride,
                                PixelAddress(0, static_cast<std::int32_t>(height - 1 - done - i)), pixelBytes);
                if (!files::WriteAll(descriptor, chunk.data(), static_cast<std::size_t>(rows) * Stride)) return false;
                done += rows;
            }
            return true;
        });
    } catch (const std::bad_alloc&) {
        return writeError;
    }
}
