// Opening a file to read it whole: every reader of the user's files opens them
// the same way.
#pragma once

#include <cstdint>
#include <string>

namespace files {

// Opens a regular file for reading, without waiting on a pipe or a device, and
// shared-locks it so that cooperating writers wait. Directories, pipes and
// devices count as files that cannot be opened, and so does a file a writer holds
// locked; a file system without locks is no obstacle. Returns the descriptor (the
// caller closes it) and sets `size` to the file's length, or returns -1 and, when
// asked, says why in `reason` ("No such file or directory", "not a regular file",
// "locked by another program").
int OpenForReading(const std::string& name, std::uint64_t& size, std::string* reason = nullptr);

}  // namespace files
