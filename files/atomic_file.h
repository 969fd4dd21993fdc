// Writing a file so that it is either whole or untouched: the shared save path of
// every image format and of the settings file.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// What a save reports: saving never throws, but the caller may tell the user.
struct SaveResult {
    bool ok = true;
    std::string error;   // "Cannot create file <path>" or "Stream write error"
    std::string reason = {};  // the system's words for why, e.g. "No space left on device"; may be empty
    explicit operator bool() const { return ok; }
    // The error with its reason: "Stream write error (No space left on device)".
    std::string Message() const { return reason.empty() ? error : error + " (" + reason + ")"; }
};

namespace files {

// Fills a private temporary file beside FileName through `write` (given its
// descriptor; it returns false when a write failed), makes it durable, gives it
// the final permission bits and renames it over FileName. A symbolic link is
// written through to its target, dangling or not. On any failure the temporary
// is removed and the existing file stays as it was; the result then carries
// "Cannot create file FileName" (the file cannot be made or put in place) or
// "Stream write error" (the data could not be written), and the reason errno gave
// where the failure happened.
SaveResult SaveFileAtomically(const std::string& FileName, const std::function<bool(int descriptor)>& write);

// Writes count bytes to a descriptor, retrying short and interrupted writes.
bool WriteAll(int descriptor, const void* data, std::size_t count);

}  // namespace files
