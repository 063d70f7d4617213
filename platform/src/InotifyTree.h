#pragma once
// Internal: the bookkeeping of a recursive inotify watch. It keeps one watch
// per folder, the set of complete files it knows, and turns the kernel's
// events into DirectoryChange records.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/DirectoryWatcher.h"

namespace veldan::platform::detail {

class InotifyTree {
public:
    using Emit = std::function<void(DirectoryChange)>;

    // "fd" is an inotify descriptor owned by the caller; "stop" is checked
    // between the entries of long scans.
    InotifyTree(int fd, std::filesystem::path root, Emit emit, const std::atomic<bool>& stop);

    // Watches the root and its sub-folders and records the files present
    // without reporting them. False with an error when the root cannot be
    // watched.
    bool Init(std::string* error);

    // Handles a buffer read from the descriptor. False when the watch of the
    // root has ended (Ended is then emitted).
    bool Handle(const char* buffer, size_t length);

    // A move out of a folder whose partner (the move into a folder) has not
    // been read yet.
    bool HasPendingMove() const { return pending_.has_value(); }
    // The partner did not come: the file or folder left the tree.
    void FlushPendingMove();

    const std::string& LastError() const { return lastError_; }

private:
    struct PendingMove {
        uint32_t cookie;
        std::string path;
        bool isDirectory;
    };
    enum class Scan { Silent, Complete, MaybeOpen };

    bool HandleOne(uint32_t wd, uint32_t mask, uint32_t cookie, const char* name);
    void AddTree(const std::string& relative, Scan scan);
    void RemoveTree(const std::string& relative);
    void RenameTree(const std::string& from, const std::string& to);
    void Rescan();
    void FileAdded(const std::string& relative);
    std::filesystem::path Absolute(const std::string& relative) const;

    int fd_;
    std::filesystem::path root_;
    Emit emit_;
    const std::atomic<bool>& stop_;
    int rootWd_ = -1;
    std::unordered_map<int, std::string> folders_;  // watch -> folder ("" = root)
    std::set<std::string> known_;                   // complete files
    std::optional<PendingMove> pending_;
    std::string lastError_;
};

}  // namespace veldan::platform::detail
