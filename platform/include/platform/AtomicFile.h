#pragma once
#include <cstddef>
#include <filesystem>
#include <string_view>
#include "platform/Export.h"

namespace veldan::platform {

// Replaces a file's contents safely: writes a temporary file in the same
// folder, flushes and fsyncs it, renames it over the target and fsyncs the
// folder. On any failure the previous file is untouched and the temporary is
// removed. Returns false (errno set) on failure.
VELDAN_API bool WriteFileAtomically(const std::filesystem::path& target, const void* data, size_t size);
inline bool WriteFileAtomically(const std::filesystem::path& target, std::string_view data) {
    return WriteFileAtomically(target, data.data(), data.size());
}

// Renames "from" to "to" unless "to" exists (then false, errno EEXIST).
VELDAN_API bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// A temporary file in the target's folder that replaces the target on Commit.
// Destroying it without Commit removes the temporary and leaves the target
// alone. Write through Fd() or Write(). A symbolic link as the target is
// kept: the file it points to is replaced.
class VELDAN_API AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::filesystem::path target);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    bool Write(const void* data, size_t size);
    // fsync, rename over the target, fsync the folder. False when any write
    // failed before or any of these steps fails: then nothing is replaced,
    // except when only the final sync of the folder fails (the new contents
    // are in place but their survival of a power loss is not assured).
    bool Commit();
    // Like Commit, but fails with EEXIST instead of replacing a file that
    // already exists under the target name.
    bool CommitNoReplace();
    void Abandon();
    // The file that is replaced (symbolic links resolved).
    const std::filesystem::path& Target() const { return target_; }

private:
    bool Finish(bool replaceExisting);

    std::filesystem::path target_;
    std::filesystem::path temp_;
    int fd_ = -1;
    bool failed_ = false;
};

}  // namespace veldan::platform
