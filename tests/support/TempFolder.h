#pragma once
// Files on disk for tests: a fresh temporary folder removed with everything
// in it, a folder made to refuse new entries, and reading a whole file.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace veldan::test {

// A fresh folder below the system's temporary folder, named after `prefix`.
// Removed at the end, also after a test took away its permissions.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "veldan-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Makes a folder refuse new entries: without write permission, or for the
// super-user (whom permissions do not stop) with the immutable attribute.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
        if (geteuid() != 0) {
            std::filesystem::permissions(folder_,
                                         std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
            active_ = true;
            return;
        }
        fd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            active_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
        }
    }
    ~ReadOnlyFolder() {
        if (geteuid() != 0) {
            std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
        } else if (fd_ >= 0) {
            int flags = 0;
            if (ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ioctl(fd_, FS_IOC_SETFLAGS, &flags);
            }
            close(fd_);
        }
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool Active() const { return active_; }

private:
    std::filesystem::path folder_;
    int fd_ = -1;
    bool active_ = false;
};

inline std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace veldan::test
