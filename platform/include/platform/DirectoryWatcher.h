#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "platform/Event.h"
#include "platform/Export.h"

namespace veldan::platform {

// One change in a watched folder tree. Paths are relative to the watched
// folder and may contain sub-folders ("2026-12-09/IMG_0042.CR2"). Only files
// are reported, never the folders themselves.
struct DirectoryChange {
    enum class Kind {
        // A complete file appeared: it was created and then closed after
        // writing, or it was moved into the tree (also every file inside a
        // folder moved in). A file that is still open for writing is not
        // reported until it is closed.
        Added,
        // A file was deleted or moved out of the tree (also every file of a
        // folder deleted or moved out).
        Removed,
        // A file was renamed within the tree, from oldPath to path (also every
        // file of a folder renamed within the tree). A file written under a
        // temporary name and then renamed is first Added under the temporary
        // name, then Renamed.
        Renamed,
        // The watch ended on its own: the watched folder was deleted, moved
        // or unmounted. Nothing follows.
        Ended,
    };
    Kind kind = Kind::Added;
    std::filesystem::path path;
    std::filesystem::path oldPath;  // Renamed only

    // True for a file that is now present under "path" and was not before
    // (Added, or the new name of Renamed).
    bool IsNewName() const { return kind == Kind::Added || kind == Kind::Renamed; }
};

// Watches a folder and every sub-folder, including sub-folders created or
// moved in later, with inotify on a thread of its own. Changes are delivered
// either to a callback on that thread or into a queue that the owner drains
// (for example in a loop that also waits for its own stop event).
// When the kernel's event queue overflows, the tree is scanned again and the
// differences are reported as Added and Removed.
class VELDAN_API DirectoryWatcher {
public:
    using Callback = std::function<void(const DirectoryChange&)>;

    DirectoryWatcher();
    // Stops the watcher (see Stop).
    ~DirectoryWatcher();
    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

    // Starts watching "root" (a folder), queueing the changes. Files already
    // present are not reported. False with an error text when the folder
    // cannot be watched or the watcher already runs.
    bool Start(const std::filesystem::path& root, std::string* error = nullptr);
    // Same, but every change goes to the callback, one at a time, on the
    // watcher's thread. The callback must not call Stop or destroy the
    // watcher.
    bool Start(const std::filesystem::path& root, Callback callback, std::string* error = nullptr);

    // Ends the thread and waits for it (also while it scans a large tree or
    // runs the callback). Queued changes stay available. Safe to call twice.
    void Stop();
    // True from Start until Stop or the end of the watch (Ended).
    bool IsRunning() const;
    // The watched folder as an absolute path.
    std::filesystem::path Root() const;
    // The last problem met while watching (a sub-folder that could not be
    // watched, for example because of the system's watch limit); empty when
    // none.
    std::string LastError() const;

    // Queue interface (Start without callback). The manual-reset event is set
    // while changes are queued, so that a thread can wait for it together
    // with other events (Event::WaitAny).
    Event& ChangesPending();
    // Takes the oldest queued change; false when none arrives in time.
    bool NextChange(DirectoryChange& out, uint32_t timeoutMs);
    // Takes every queued change, oldest first.
    std::vector<DirectoryChange> TakeChanges();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace veldan::platform
