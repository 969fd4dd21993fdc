// A file filled over time that takes the place of another only when complete: the
// common ground of the atomic save and of the writers that stream their output
// (animations, videos) over many calls.
#pragma once

#include <sys/types.h>

#include <string>

#include "files/atomic_file.h"

namespace files {

// A private temporary beside FileName (beside the target of a symbolic link,
// dangling or not, so that the link survives). Commit gives it the final
// permission bits (the replaced file's, or 0666 less the umask for a new one),
// makes it durable and renames it over the target; destroyed uncommitted, it is
// removed and the existing file stays as it was.
class ReplacementFile {
public:
    explicit ReplacementFile(const std::string& FileName);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Success, or "Cannot create file FileName" and the reason.
    const SaveResult& Created() const { return created_; }
    // Open until Commit; -1 when the file could not be created.
    int Descriptor() const { return descriptor_; }
    // For a library that opens the file itself by name.
    const std::string& TemporaryName() const { return temporary_; }

    // "Stream write error" when the data cannot be made durable, "Cannot create
    // file FileName" when it cannot be put in place; each with errno's reason.
    SaveResult Commit();

private:
    std::string name_;     // as the caller gave it, for the messages
    std::string target_;   // the file that will be replaced, links followed
    std::string temporary_;
    mode_t mode_ = 0644;
    int descriptor_ = -1;
    bool exists_ = false;  // the temporary is on disk and not yet renamed
    SaveResult created_;
};

// "Stream write error" with the reason errno gives, as every writer reports a
// write that failed.
SaveResult StreamWriteError();

}  // namespace files
