// InotifyTree: one inotify watch per folder and the events of the tree turned
// into DirectoryChange records.
#include "InotifyTree.h"

#include <sys/inotify.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "OpenFiles.h"

namespace veldan::platform::detail {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kFolderMask = IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_DELETE_SELF |
                                 IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

std::string Join(const std::string& folder, const char* name) {
    if (!name || !*name) return folder;
    return folder.empty() ? std::string(name) : folder + "/" + name;
}

bool IsUnder(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

}  // namespace

InotifyTree::InotifyTree(int fd, fs::path root, Emit emit, const std::atomic<bool>& stop)
    : fd_(fd), root_(std::move(root)), emit_(std::move(emit)), stop_(stop) {}

fs::path InotifyTree::Absolute(const std::string& relative) const {
    return relative.empty() ? root_ : root_ / relative;
}

bool InotifyTree::Init(std::string* error) {
    // The root itself may be reached through a symbolic link.
    rootWd_ = inotify_add_watch(fd_, root_.c_str(), kFolderMask);
    if (rootWd_ < 0) {
        if (error) *error = "cannot watch " + root_.string() + ": " + std::strerror(errno);
        return false;
    }
    folders_[rootWd_] = "";
    AddTree("", Scan::Silent);
    return true;
}

// Watches the folder and its sub-folders (the watch first, then the scan, so
// that no file slips between the two) and handles the files found.
void InotifyTree::AddTree(const std::string& relative, Scan scan) {
    std::optional<OpenForWriting> writers;  // taken when first needed
    std::vector<std::string> folders{relative};
    while (!folders.empty() && !stop_) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        if (!folder.empty()) {
            const int wd = inotify_add_watch(fd_, Absolute(folder).c_str(), kFolderMask | IN_DONT_FOLLOW);
            if (wd < 0) {
                if (errno == ENOSPC)
                    lastError_ = "cannot watch " + Absolute(folder).string() +
                                 ": the system's limit of watched folders is reached (fs.inotify.max_user_watches)";
                else if (errno != ENOENT && errno != ENOTDIR)
                    lastError_ = "cannot watch " + Absolute(folder).string() + ": " + std::strerror(errno);
                continue;
            }
            folders_[wd] = folder;
        }
        std::error_code ec;
        for (fs::directory_iterator it(Absolute(folder), ec), end; !ec && it != end && !stop_; it.increment(ec)) {
            const std::string child = Join(folder, it->path().filename().c_str());
            const fs::file_status status = it->symlink_status(ec);
            if (ec) continue;
            if (fs::is_directory(status)) {
                folders.push_back(child);
            } else if (fs::is_regular_file(status)) {
                switch (scan) {
                    case Scan::Silent: known_.insert(child); break;
                    case Scan::Complete:
                        if (known_.insert(child).second) emit_({DirectoryChange::Kind::Added, fs::path(child), {}});
                        break;
                    case Scan::MaybeOpen:
                        // Found by the scan, not announced by the kernel: it may still be
                        // written. Then its close comes later through the new watch.
                        if (!known_.count(child) && it->file_size(ec) > 0 && !ec) {
                            if (!writers) writers.emplace();
                            if (!writers->Contains(it->path())) FileAdded(child);
                        }
                        break;
                }
            }
        }
    }
}

void InotifyTree::FileAdded(const std::string& relative) {
    known_.insert(relative);
    emit_({DirectoryChange::Kind::Added, fs::path(relative), {}});
}

void InotifyTree::RemoveTree(const std::string& relative) {
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it->first != rootWd_ && (it->second == relative || IsUnder(it->second, relative))) {
            inotify_rm_watch(fd_, it->first);
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = known_.lower_bound(relative + "/"); it != known_.end() && IsUnder(*it, relative);) {
        emit_({DirectoryChange::Kind::Removed, fs::path(*it), {}});
        it = known_.erase(it);
    }
}

void InotifyTree::RenameTree(const std::string& from, const std::string& to) {
    for (auto& [wd, folder] : folders_) {
        if (folder == from)
            folder = to;
        else if (IsUnder(folder, from))
            folder = to + folder.substr(from.size());
    }
    std::vector<std::string> moved;
    for (auto it = known_.lower_bound(from + "/"); it != known_.end() && IsUnder(*it, from);) {
        moved.push_back(*it);
        it = known_.erase(it);
    }
    for (const std::string& old : moved) {
        const std::string now = to + old.substr(from.size());
        known_.insert(now);
        emit_({DirectoryChange::Kind::Renamed, fs::path(now), fs::path(old)});
    }
}

void InotifyTree::FlushPendingMove() {
    if (!pending_) return;
    const PendingMove move = std::move(*pending_);
    pending_.reset();
    if (move.isDirectory) {
        RemoveTree(move.path);
    } else if (known_.erase(move.path)) {
        emit_({DirectoryChange::Kind::Removed, fs::path(move.path), {}});
    }
}

// Events were lost: scan everything again and report the differences.
void InotifyTree::Rescan() {
    std::set<std::string> before = std::move(known_);
    known_.clear();
    std::unordered_map<int, std::string> oldFolders = std::move(folders_);
    folders_.clear();
    folders_[rootWd_] = "";
    AddTree("", Scan::Silent);
    for (const auto& [wd, folder] : oldFolders) {
        bool stillWatched = folders_.count(wd) != 0;
        if (!stillWatched) inotify_rm_watch(fd_, wd);
    }
    // known_ now holds every file present. New ones are reported when they are
    // complete; the others are left for the close event that will follow.
    std::set<std::string> present = std::move(known_);
    known_.clear();
    std::optional<OpenForWriting> writers;
    for (const std::string& file : present) {
        if (before.count(file)) {
            known_.insert(file);
            continue;
        }
        std::error_code ec;
        const fs::path path = Absolute(file);
        if (fs::file_size(path, ec) == 0 || ec) continue;
        if (!writers) writers.emplace();
        if (!writers->Contains(path)) FileAdded(file);
    }
    for (const std::string& file : before)
        if (!present.count(file)) emit_({DirectoryChange::Kind::Removed, fs::path(file), {}});
}

bool InotifyTree::Handle(const char* buffer, size_t length) {
    size_t offset = 0;
    while (offset + sizeof(inotify_event) <= length) {
        inotify_event event;
        std::memcpy(&event, buffer + offset, sizeof event);
        const char* name = event.len ? buffer + offset + sizeof(inotify_event) : nullptr;
        offset += sizeof(inotify_event) + event.len;
        if (offset > length) break;
        if (!HandleOne(static_cast<uint32_t>(event.wd), event.mask, event.cookie, name)) return false;
    }
    return true;
}

bool InotifyTree::HandleOne(uint32_t wdBits, uint32_t mask, uint32_t cookie, const char* name) {
    const int wd = static_cast<int>(wdBits);
    if (mask & IN_Q_OVERFLOW) {
        FlushPendingMove();
        Rescan();
        return true;
    }
    if (wd == rootWd_ && (mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))) {
        FlushPendingMove();
        emit_({DirectoryChange::Kind::Ended, {}, {}});
        return false;
    }
    if (mask & IN_IGNORED) {
        folders_.erase(wd);
        return true;
    }
    const auto folder = folders_.find(wd);
    if (folder == folders_.end()) return true;
    if (mask & (IN_DELETE_SELF | IN_MOVE_SELF)) return true;  // handled through the parent folder
    const std::string relative = Join(folder->second, name);
    const bool isDirectory = (mask & IN_ISDIR) != 0;

    if (pending_ && !((mask & IN_MOVED_TO) && cookie == pending_->cookie)) FlushPendingMove();

    if (mask & IN_MOVED_FROM) {
        pending_ = PendingMove{cookie, relative, isDirectory};
        return true;
    }
    if (mask & IN_MOVED_TO) {
        if (pending_) {
            const PendingMove from = std::move(*pending_);
            pending_.reset();
            if (isDirectory) {
                RenameTree(from.path, relative);
            } else {
                known_.erase(from.path);
                known_.insert(relative);
                emit_({DirectoryChange::Kind::Renamed, fs::path(relative), fs::path(from.path)});
            }
        } else if (isDirectory) {
            AddTree(relative, Scan::Complete);
        } else {
            FileAdded(relative);
        }
        return true;
    }
    if (mask & IN_CREATE) {
        // A new folder gets its watch at once; files inside it written before the
        // watch existed are found by the scan. Files count only when closed.
        if (isDirectory) AddTree(relative, Scan::MaybeOpen);
        return true;
    }
    if (mask & IN_CLOSE_WRITE) {
        // A known file written again is a change of content, not a new file;
        // an empty file is not finished yet (created first, written later).
        if (isDirectory || known_.count(relative)) return true;
        struct stat st {};
        if (stat(Absolute(relative).c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return true;
        FileAdded(relative);
        return true;
    }
    if (mask & IN_DELETE) {
        if (isDirectory)
            RemoveTree(relative);
        else if (known_.erase(relative))
            emit_({DirectoryChange::Kind::Removed, fs::path(relative), {}});
    }
    return true;
}

}  // namespace veldan::platform::detail
