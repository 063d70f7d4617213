// Atomic file replacement: the temporary file beside the target, fsyncs,
// rename and RenameNoReplace.
#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace veldan::platform {

namespace fs = std::filesystem;

namespace {

// A symbolic link is replaced through: the link stays and its file gets the
// new contents, as an editor saving through a link does.
fs::path ResolveLinks(fs::path target) {
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(target, ec))) break;
        fs::path next = fs::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : (target.parent_path() / next).lexically_normal();
    }
    return target;
}

// The process's file creation mask without changing it (umask() would race
// with other threads creating files).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
    return 022;
}

bool SyncFolder(const fs::path& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    int rc = fsync(fd);
    // Some file systems do not sync folders; the rename itself is done.
    if (rc != 0 && (errno == EINVAL || errno == EROFS)) rc = 0;
    const int saved = errno;
    close(fd);
    errno = saved;
    return rc == 0;
}

}  // namespace

bool RenameNoReplace(const fs::path& from, const fs::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: link() refuses an existing target too.
    if (link(from.c_str(), to.c_str()) != 0) return false;
    unlink(from.c_str());
    return true;
}

AtomicFileWriter::AtomicFileWriter(fs::path target) : target_(ResolveLinks(std::move(target))) {
    const fs::path folder = target_.parent_path();
    const std::string name = target_.filename().string();
    if (name.empty()) {
        errno = EISDIR;
        failed_ = true;
        return;
    }
    fs::path pattern = (folder.empty() ? fs::path(".") : folder) / ("." + name + ".XXXXXX.tmp");
    std::string buffer = pattern.string();
    std::vector<char> writable(buffer.begin(), buffer.end());
    writable.push_back('\0');
    fd_ = mkostemps(writable.data(), 4, O_CLOEXEC);
    if (fd_ < 0) {
        failed_ = true;
        return;
    }
    temp_ = fs::path(writable.data());
    // The new file gets the old one's permissions, or the usual ones for a new
    // file (mkstemp creates it readable by the owner only).
    struct stat old {};
    const mode_t mode = stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    fchmod(fd_, mode);
}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

bool AtomicFileWriter::Write(const void* data, size_t size) {
    if (fd_ < 0 || failed_) {
        if (!failed_) errno = EBADF;
        failed_ = true;
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd_, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool AtomicFileWriter::Finish(bool replaceExisting) {
    if (fd_ < 0 || failed_) {
        const int saved = fd_ < 0 && !failed_ ? EBADF : errno;
        Abandon();
        errno = saved;
        return false;
    }
    bool ok = fsync(fd_) == 0;
    int saved = errno;
    if (close(fd_) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    fd_ = -1;
    if (ok) {
        if (replaceExisting) {
            ok = rename(temp_.c_str(), target_.c_str()) == 0;
        } else {
            ok = RenameNoReplace(temp_, target_);
        }
        saved = errno;
    }
    if (!ok) {
        Abandon();
        errno = saved;
        return false;
    }
    temp_.clear();
    return SyncFolder(target_.parent_path());
}

bool AtomicFileWriter::Commit() { return Finish(true); }

bool AtomicFileWriter::CommitNoReplace() { return Finish(false); }

void AtomicFileWriter::Abandon() {
    const int saved = errno;
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        temp_.clear();
    }
    failed_ = true;
    errno = saved;
}

bool WriteFileAtomically(const fs::path& target, const void* data, size_t size) {
    AtomicFileWriter writer(target);
    if (!writer.IsOpen()) return false;
    if (!writer.Write(data, size)) return false;
    return writer.Commit();
}

}  // namespace veldan::platform
