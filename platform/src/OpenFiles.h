#pragma once
// Internal: which files some process holds open for writing.
#include <sys/types.h>

#include <filesystem>
#include <set>
#include <utility>

namespace veldan::platform::detail {

// The files (device and inode) that processes this user may inspect hold
// open for writing, found through /proc/<pid>/fd and fdinfo at one moment.
// Used where a file was found by scanning a folder instead of being announced
// complete by the kernel, so that a file still being written is not taken
// for a finished one. One snapshot serves a whole scan.
class OpenForWriting {
public:
    OpenForWriting();
    bool Contains(const std::filesystem::path& file) const;

private:
    std::set<std::pair<dev_t, ino_t>> files_;
};

}  // namespace veldan::platform::detail
