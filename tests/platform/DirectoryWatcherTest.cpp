// Tests of DirectoryWatcher: complete files only, moves, renames, sub-folders
// and the end of the watch.
#include "platform/DirectoryWatcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "TestSupport.h"

namespace veldan::test {

using platform::DirectoryChange;
using platform::DirectoryWatcher;
using platform::Event;
using platform::kInfinite;

namespace {

namespace fs = std::filesystem;
using Kind = DirectoryChange::Kind;
using namespace std::chrono_literals;

std::string Describe(const DirectoryChange& c) {
    static const char* names[] = {"Added", "Removed", "Renamed", "Ended"};
    std::string text = std::string(names[static_cast<int>(c.kind)]) + " " + c.path.string();
    if (c.kind == Kind::Renamed) text += " from " + c.oldPath.string();
    return text;
}

// Drains the watcher's queue into a list and waits for expected changes.
class WatchedFolder : public ::testing::Test {
protected:
    TempDir dir;
    fs::path root = dir / "capture";
    DirectoryWatcher watcher;
    std::vector<DirectoryChange> seen;

    void SetUp() override {
        fs::create_directories(root / "existing");
        WriteAll(root / "old.jpg", "old");
        WriteAll(root / "existing/older.jpg", "old");
        std::string error;
        ASSERT_TRUE(watcher.Start(root, &error)) << error;
    }

    // Waits until a change of this kind and path has arrived; true if found.
    bool WaitFor(Kind kind, const fs::path& path, std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (const auto& c : seen)
                if (c.kind == kind && c.path == path) return true;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            DirectoryChange change;
            if (watcher.NextChange(change, static_cast<uint32_t>(left.count()))) seen.push_back(change);
        }
    }

    // A complete file written as a marker: once it is reported, every event
    // caused before it has been handled too.
    void Barrier() {
        static int n = 0;
        const std::string name = "marker" + std::to_string(++n);
        WriteAll(root / name, "m");
        ASSERT_TRUE(WaitFor(Kind::Added, name));
    }

    int Count(Kind kind, const fs::path& path) const {
        int n = 0;
        for (const auto& c : seen) n += c.kind == kind && c.path == path;
        return n;
    }

    std::string Seen() const {
        std::string text;
        for (const auto& c : seen) text += Describe(c) + "\n";
        return text;
    }
};

TEST_F(WatchedFolder, AFileCountsOnlyAfterItIsClosed) {
    const int fd = open((root / "IMG_0001.JPG").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "half", 4), 4);
    Barrier();
    EXPECT_EQ(Count(Kind::Added, "IMG_0001.JPG"), 0) << Seen();
    ASSERT_EQ(write(fd, " and the rest", 13), 13);
    close(fd);
    ASSERT_TRUE(WaitFor(Kind::Added, "IMG_0001.JPG")) << Seen();
    EXPECT_EQ(Count(Kind::Added, "old.jpg"), 0) << "files present at start are not new";
}

TEST_F(WatchedFolder, AnEmptyFileWaitsForItsContents) {
    WriteAll(root / "later.jpg", "");
    Barrier();
    EXPECT_EQ(Count(Kind::Added, "later.jpg"), 0) << Seen();
    WriteAll(root / "later.jpg", "pixels");
    ASSERT_TRUE(WaitFor(Kind::Added, "later.jpg"));
    // Writing it again is no new file.
    WriteAll(root / "later.jpg", "more pixels");
    Barrier();
    EXPECT_EQ(Count(Kind::Added, "later.jpg"), 1) << Seen();
}

TEST_F(WatchedFolder, FileMovedInIsAddedAtOnce) {
    TempDir outside;
    const int fd = open((outside / "IMG_2.CR2").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "raw", 3), 3);
    // Moved in while still open: a move counts as complete.
    fs::rename(outside / "IMG_2.CR2", root / "existing/IMG_2.CR2");
    ASSERT_TRUE(WaitFor(Kind::Added, "existing/IMG_2.CR2")) << Seen();
    close(fd);
    Barrier();
    EXPECT_EQ(Count(Kind::Added, "existing/IMG_2.CR2"), 1) << Seen();
}

TEST_F(WatchedFolder, TemporaryNameRenamedIsReportedAsRename) {
    WriteAll(root / "IMG_3.tmp", "jpeg");
    fs::rename(root / "IMG_3.tmp", root / "IMG_3.JPG");
    ASSERT_TRUE(WaitFor(Kind::Renamed, "IMG_3.JPG")) << Seen();
    for (const auto& c : seen)
        if (c.kind == Kind::Renamed) {
            EXPECT_EQ(c.oldPath, "IMG_3.tmp");
            EXPECT_TRUE(c.IsNewName());
        }
}

TEST_F(WatchedFolder, SubFolderCreatedLaterIsWatched) {
    fs::create_directories(root / "2026-12-09/raw");
    WriteAll(root / "2026-12-09/raw/IMG_4.NEF", "nef");
    ASSERT_TRUE(WaitFor(Kind::Added, "2026-12-09/raw/IMG_4.NEF")) << Seen();
    WriteAll(root / "2026-12-09/IMG_5.NEF", "nef");
    ASSERT_TRUE(WaitFor(Kind::Added, "2026-12-09/IMG_5.NEF")) << Seen();
    Barrier();
    EXPECT_EQ(Count(Kind::Added, "2026-12-09/raw/IMG_4.NEF"), 1) << Seen();
}

TEST_F(WatchedFolder, FilesWrittenRightAfterTheirFolderIsCreatedAreReportedOnce) {
    // The file may be complete before the new folder's watch exists; the scan
    // of the folder finds it, and its close event must not count twice.
    constexpr int kFolders = 30;
    for (int i = 0; i < kFolders; ++i) {
        fs::create_directory(root / ("d" + std::to_string(i)));
        WriteAll(root / ("d" + std::to_string(i)) / "a.jpg", "x");
    }
    for (int i = 0; i < kFolders; ++i)
        ASSERT_TRUE(WaitFor(Kind::Added, fs::path("d" + std::to_string(i)) / "a.jpg")) << Seen();
    Barrier();
    for (int i = 0; i < kFolders; ++i)
        EXPECT_EQ(Count(Kind::Added, fs::path("d" + std::to_string(i)) / "a.jpg"), 1) << Seen();
}

TEST_F(WatchedFolder, FolderMovedInReportsEveryFileInside) {
    TempDir outside;
    fs::create_directories(outside / "card/DCIM/100");
    WriteAll(outside / "card/DCIM/100/A.JPG", "a");
    WriteAll(outside / "card/DCIM/B.JPG", "b");
    fs::rename(outside / "card", root / "card");
    ASSERT_TRUE(WaitFor(Kind::Added, "card/DCIM/100/A.JPG")) << Seen();
    ASSERT_TRUE(WaitFor(Kind::Added, "card/DCIM/B.JPG")) << Seen();
    // The moved-in folders are watched too.
    WriteAll(root / "card/DCIM/100/C.JPG", "c");
    ASSERT_TRUE(WaitFor(Kind::Added, "card/DCIM/100/C.JPG")) << Seen();
}

TEST_F(WatchedFolder, RemovalsAndMovesOutAreReported) {
    TempDir outside;
    fs::remove(root / "old.jpg");
    ASSERT_TRUE(WaitFor(Kind::Removed, "old.jpg")) << Seen();
    fs::rename(root / "existing/older.jpg", outside / "older.jpg");
    ASSERT_TRUE(WaitFor(Kind::Removed, "existing/older.jpg")) << Seen();
    WriteAll(root / "existing/x.jpg", "x");
    ASSERT_TRUE(WaitFor(Kind::Added, "existing/x.jpg"));
    fs::rename(root / "existing", outside / "gone");
    ASSERT_TRUE(WaitFor(Kind::Removed, "existing/x.jpg")) << Seen();
    // The folder moved away is no longer watched.
    WriteAll(outside / "gone/y.jpg", "y");
    Barrier();
    for (const auto& c : seen) EXPECT_EQ(c.path.string().find("y.jpg"), std::string::npos) << Seen();
}

TEST_F(WatchedFolder, FolderRenamedInsideTheTreeKeepsItsFiles) {
    fs::rename(root / "existing", root / "renamed");
    ASSERT_TRUE(WaitFor(Kind::Renamed, "renamed/older.jpg")) << Seen();
    WriteAll(root / "renamed/new.jpg", "n");
    ASSERT_TRUE(WaitFor(Kind::Added, "renamed/new.jpg")) << Seen();
    fs::remove(root / "renamed/older.jpg");
    ASSERT_TRUE(WaitFor(Kind::Removed, "renamed/older.jpg")) << Seen();
}

TEST_F(WatchedFolder, RemovingTheWatchedFolderEndsTheWatch) {
    fs::remove_all(root);
    ASSERT_TRUE(WaitFor(Kind::Ended, ""));
    watcher.Stop();
    EXPECT_FALSE(watcher.IsRunning());
}

TEST_F(WatchedFolder, PendingEventWorksWithWaitAny) {
    Event stop(true);
    std::array<Event*, 2> events{&watcher.ChangesPending(), &stop};
    WriteAll(root / "p.jpg", "p");
    ASSERT_EQ(Event::WaitAny(events, 10000), 0);
    auto changes = watcher.TakeChanges();
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.front().path, "p.jpg");
    EXPECT_FALSE(watcher.ChangesPending().IsSet());
    stop.Set();
    EXPECT_EQ(Event::WaitAny(events, 10000), 1);
}

TEST(DirectoryWatcher, RefusesWhatIsNoFolder) {
    TempDir dir;
    WriteAll(dir / "file", "x");
    DirectoryWatcher watcher;
    std::string error;
    EXPECT_FALSE(watcher.Start(dir / "file", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(watcher.Start(dir / "missing", &error));
    EXPECT_FALSE(watcher.IsRunning());
    watcher.Stop();
}

TEST(DirectoryWatcher, StopWhileBusyEndsCallbacks) {
    TempDir dir;
    std::atomic<bool> stopped{false};
    std::atomic<int> late{0}, calls{0};
    std::mutex mutex;
    std::condition_variable changed;
    DirectoryWatcher watcher;
    ASSERT_TRUE(watcher.Start(dir.Path(), [&](const DirectoryChange&) {
        if (stopped) ++late;
        std::lock_guard lock(mutex);
        ++calls;
        changed.notify_all();
    }));
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (int i = 0; writing; ++i) {
            const fs::path sub = dir / ("s" + std::to_string(i % 5));
            fs::create_directories(sub);
            WriteAll(sub / ("f" + std::to_string(i)), "data");
        }
    });
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, 20s, [&] { return calls >= 200; });
    }
    watcher.Stop();
    stopped = true;
    EXPECT_FALSE(watcher.IsRunning());
    const int before = calls;
    writing = false;
    writer.join();
    EXPECT_EQ(late.load(), 0);
    EXPECT_EQ(calls.load(), before);
}

TEST(DirectoryWatcher, OverflowIsRecoveredByRescanning) {
    TempDir dir;
    std::ifstream limitFile("/proc/sys/fs/inotify/max_queued_events");
    int limit = 16384;
    limitFile >> limit;
    if (limit > 1000000) GTEST_SKIP() << "event queue too large to overflow quickly";
    // Two files present at start; opening them for writing floods the queue
    // with close events (alternating, so the kernel cannot merge them).
    WriteAll(dir / "flood-a", "a");
    WriteAll(dir / "flood-b", "b");
    Event release(true);
    std::mutex mutex;
    std::condition_variable changed;
    std::map<fs::path, int> added;
    DirectoryWatcher watcher;
    ASSERT_TRUE(watcher.Start(dir.Path(), [&](const DirectoryChange& c) {
        release.Wait(kInfinite);  // the watcher falls behind until released
        if (c.kind == Kind::Added) {
            std::lock_guard lock(mutex);
            ++added[c.path];
        }
        changed.notify_all();
    }));
    WriteAll(dir / "first", "d");  // the watcher blocks in the callback for it
    // Twice the queue size, so that it overflows even when the watcher read a
    // buffer full of events before it blocked.
    for (int i = 0; i < 2 * limit + 100; ++i) {
        const int fd = open((dir / (i % 2 ? "flood-a" : "flood-b")).c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    // These come after the overflow: only the rescan can find them.
    constexpr int kNew = 100;
    for (int i = 0; i < kNew; ++i) WriteAll(dir / ("new" + std::to_string(i)), "d");
    release.Set();
    WriteAll(dir / "last", "d");
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, 60s, [&] { return added.size() >= kNew + 2; });
    }
    watcher.Stop();
    EXPECT_EQ(added.size(), static_cast<size_t>(kNew + 2));
    for (int i = 0; i < kNew; ++i) EXPECT_EQ(added[fs::path("new" + std::to_string(i))], 1) << i;
    EXPECT_EQ(added.count("flood-a"), 0u);
    EXPECT_EQ(added.count("flood-b"), 0u);
}

}  // namespace
}  // namespace veldan::test
