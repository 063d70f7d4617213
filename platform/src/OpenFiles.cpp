// OpenForWriting: the files some process holds open for writing, read from
// /proc.
#include "OpenFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace veldan::platform::detail {

namespace {

bool AllDigits(const char* s) {
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

// The access mode of one descriptor from /proc/<pid>/fdinfo/<fd>.
bool DescriptorWrites(const std::string& pid, const char* fd) {
    std::ifstream info("/proc/" + pid + "/fdinfo/" + fd);
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("flags:", 0) == 0) {
            const unsigned long flags = std::strtoul(line.c_str() + 6, nullptr, 8);
            return (flags & O_ACCMODE) != O_RDONLY;
        }
    }
    return false;
}

}  // namespace

OpenForWriting::OpenForWriting() {
    DIR* proc = opendir("/proc");
    if (!proc) return;
    while (dirent* process = readdir(proc)) {
        if (!AllDigits(process->d_name)) continue;
        const std::string pid = process->d_name;
        const std::string fdFolder = "/proc/" + pid + "/fd";
        DIR* fds = opendir(fdFolder.c_str());
        if (!fds) continue;  // another user's process, or it has ended
        while (dirent* fd = readdir(fds)) {
            if (!AllDigits(fd->d_name)) continue;
            struct stat st {};
            const std::string link = fdFolder + "/" + fd->d_name;
            if (stat(link.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            if (DescriptorWrites(pid, fd->d_name)) files_.emplace(st.st_dev, st.st_ino);
        }
        closedir(fds);
    }
    closedir(proc);
}

bool OpenForWriting::Contains(const std::filesystem::path& file) const {
    if (files_.empty()) return false;
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return false;
    return files_.count({st.st_dev, st.st_ino}) != 0;
}

}  // namespace veldan::platform::detail
