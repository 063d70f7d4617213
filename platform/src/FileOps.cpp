// CopyFile, MoveFile (copy and delete across file systems) and DeleteFile with
// errno and readable messages.
#include "platform/FileOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/AtomicFile.h"

namespace veldan::platform {

namespace fs = std::filesystem;

namespace {

FileOpResult Ok() {
    FileOpResult result;
    result.ok = true;
    return result;
}

FileOpResult Failure(int error, const std::string& what) {
    FileOpResult result;
    result.error = error;
    result.message = what + ": " + std::strerror(error);
    return result;
}

std::string Quote(const fs::path& path) { return "\"" + path.string() + "\""; }

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

void SyncFolderOf(const fs::path& file) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // best effort: the operation itself has succeeded
    close(fd);
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool SameContentState(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Copies every byte from one descriptor to the other; errno on failure.
bool CopyBytes(int from, int to) {
    bool useCopyRange = true;
    std::vector<char> buffer;
    for (;;) {
        if (useCopyRange) {
            const ssize_t n = copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
            if (n > 0) continue;
            if (n == 0) return true;
            if (errno == EINTR) continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EPERM)
                return false;
            // Not supported between these file systems: plain reads and writes,
            // continuing from where the kernel copy stopped.
            useCopyRange = false;
            buffer.resize(1 << 20);
        }
        const ssize_t n = read(from, buffer.data(), buffer.size());
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(to, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += w;
        }
    }
}

}  // namespace

FileOpResult CopyFile(const fs::path& source, const fs::path& target, bool failIfExists) {
    Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return Failure(errno, "cannot open " + Quote(source));
    struct stat before {};
    if (fstat(in.Get(), &before) != 0) return Failure(errno, "cannot read the attributes of " + Quote(source));
    if (!S_ISREG(before.st_mode))
        return Failure(S_ISDIR(before.st_mode) ? EISDIR : EINVAL, "not a regular file " + Quote(source));
    struct stat existing {};
    if (failIfExists && lstat(target.c_str(), &existing) == 0)
        return Failure(EEXIST, "cannot copy to " + Quote(target));

    AtomicFileWriter writer(target);
    if (!writer.IsOpen()) return Failure(errno, "cannot create a temporary file beside " + Quote(target));
    if (!CopyBytes(in.Get(), writer.Fd()))
        return Failure(errno, "cannot copy " + Quote(source) + " to " + Quote(target));
    // The copy keeps the source's permissions and times, as a copy on the
    // desktop does.
    fchmod(writer.Fd(), before.st_mode & 0777);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    futimens(writer.Fd(), times);

    struct stat after {
    }, copy{};
    if (fstat(in.Get(), &after) != 0 || fstat(writer.Fd(), &copy) != 0)
        return Failure(errno, "cannot verify the copy of " + Quote(source));
    if (!SameContentState(before, after))
        return Failure(EBUSY, "the file changed while it was copied: " + Quote(source));
    if (copy.st_size != before.st_size) return Failure(EIO, "the copy of " + Quote(source) + " is incomplete");
    const bool committed = failIfExists ? writer.CommitNoReplace() : writer.Commit();
    if (!committed) return Failure(errno, "cannot complete the copy " + Quote(target));
    return Ok();
}

FileOpResult MoveFile(const fs::path& source, const fs::path& target, bool replaceExisting) {
    struct stat src {};
    if (lstat(source.c_str(), &src) != 0) return Failure(errno, "cannot move " + Quote(source));
    struct stat dst {};
    if (lstat(target.c_str(), &dst) == 0 && SameFile(src, dst)) {
        if (source.lexically_normal() == target.lexically_normal()) return Ok();
        // Two names of one file: rename() would keep both; the move removes the
        // source name.
        if (unlink(source.c_str()) != 0) return Failure(errno, "cannot remove " + Quote(source));
        return Ok();
    }
    const bool renamed =
        replaceExisting ? rename(source.c_str(), target.c_str()) == 0 : RenameNoReplace(source, target);
    if (renamed) {
        SyncFolderOf(target);
        if (source.parent_path() != target.parent_path()) SyncFolderOf(source);
        return Ok();
    }
    const int renameError = errno;
    if (renameError != EXDEV) return Failure(renameError, "cannot move " + Quote(source) + " to " + Quote(target));
    if (!S_ISREG(src.st_mode)) return Failure(EXDEV, "cannot move " + Quote(source) + " to another file system");

    FileOpResult copied = CopyFile(source, target, !replaceExisting);
    if (!copied) return copied;
    // The copy is complete and synced; only now the source goes.
    if (unlink(source.c_str()) != 0) {
        FileOpResult kept = Ok();
        kept.sourceKept = true;
        kept.error = errno;
        kept.message = "copied, but cannot remove " + Quote(source) + ": " + std::strerror(errno);
        return kept;
    }
    SyncFolderOf(source);
    return Ok();
}

FileOpResult DeleteFile(const fs::path& file) {
    struct stat st {};
    if (lstat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Failure(EISDIR, "cannot delete " + Quote(file));
    if (unlink(file.c_str()) != 0) return Failure(errno, "cannot delete " + Quote(file));
    SyncFolderOf(file);
    return Ok();
}

}  // namespace veldan::platform
