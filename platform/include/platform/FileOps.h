#pragma once
#include <filesystem>
#include <string>
#include "platform/Export.h"

namespace veldan::platform {

// Outcome of a file operation: ok, or the errno of the step that failed with
// a readable message naming the step and the paths.
struct FileOpResult {
    bool ok = false;
    int error = 0;
    std::string message;
    // MoveFile across file systems only: the target is complete, but the
    // source could not be removed afterwards (for example on a write-protected
    // memory card). ok is true and message says why.
    bool sourceKept = false;

    explicit operator bool() const { return ok; }
};

// Copies a regular file. The copy is written to a temporary file beside the
// target, synced and then renamed, so the target name never holds a partial
// copy. Permissions and modification time are copied. An existing target is
// replaced unless failIfExists (then EEXIST). Fails (EBUSY) when the source
// changed while it was copied.
VELDAN_API FileOpResult CopyFile(const std::filesystem::path& source, const std::filesystem::path& target,
                                 bool failIfExists = false);

// Moves a file or folder with "copy allowed" semantics: a rename, or for a
// regular file on another file system a complete copy (as CopyFile) whose
// size is verified before the source is deleted. An existing target is an
// error (EEXIST) unless replaceExisting.
VELDAN_API FileOpResult MoveFile(const std::filesystem::path& source, const std::filesystem::path& target,
                                 bool replaceExisting = false);

// Deletes a file (not a folder).
VELDAN_API FileOpResult DeleteFile(const std::filesystem::path& file);

}  // namespace veldan::platform
