// The capture-folder monitor on real folders: files filed into the project
// in queue order, sub-folders, cameras that rename temporary files, copy mode
// with the delayed deletion, retries against a folder that refuses the file,
// the collecting mode with its dialogs, obsolete entries and stopping.
#include <gtest/gtest.h>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include "MonitorSupport.h"
#include "VirtualHead.h"
#include "platform/Text.h"

namespace veldan::test {

using namespace veldan::preview;

namespace fs = std::filesystem;

namespace {

class MonitorTest : public ::testing::Test {
protected:
    TempHome home;
    LogRecorder log;
    DocumentList list;
    CaptureQueue queue;
    veldan::platform::Event stop{true, false};
    veldan::platform::MessageQueueWindow view;
    ScriptedMonitorUi ui;
    veldan::platform::Profile profile{home.Root() / "config" / "VELDANpreview" / "VELDANpreview.conf"};
    fs::path capture = Dir("capture");
    fs::path projectDir = Dir("project");
    std::unique_ptr<CVELDANpreviewDoc> doc = MakeDoc(projectDir);
    std::unique_ptr<CaptureFolderMonitor> monitor;

    fs::path Dir(const char* name) {
        fs::path p = home.Root() / name;
        fs::create_directories(p);
        return p;
    }
    std::unique_ptr<CVELDANpreviewDoc> MakeDoc(const fs::path& folder) {
        auto d = std::make_unique<CVELDANpreviewDoc>(list);
        AddEmptyTiles(d->Project(), 3, 2);
        d->Project().project_path.Set(veldan::platform::PathToWide(folder).c_str());
        return d;
    }
    // Starts a monitor on the capture folder (empty: collecting mode).
    void StartMonitor(const fs::path& directory, CaptureMonitorTimings timings = Fast()) {
        profile.WriteString(L"Settings", L"CAPTURE_DIRECTORY", veldan::platform::PathToWide(directory));
        monitor = std::make_unique<CaptureFolderMonitor>(
            queue, stop, [this] { return view.Handle(); }, list, ui, profile);
        monitor->SetTimings(timings);
        ASSERT_TRUE(monitor->Start());
    }
    static CaptureMonitorTimings Fast() { return {3, 20, 20, 10}; }
    void StopMonitor() {
        stop.Set();
        monitor->Join();
        EXPECT_FALSE(monitor->IsRunning());
    }
    // Waits for the WM_TILE_CHANGED of a filed image; returns its tile.
    int NextTileChanged() {
        veldan::platform::Message m;
        if (!view.WaitForMessage(WM_TILE_CHANGED, m, 30000)) return -1;
        EXPECT_EQ(m.lParam, 0);
        return static_cast<int>(m.wParam);
    }
    std::wstring P(const fs::path& p) { return veldan::platform::PathToWide(p); }
};

}  // namespace

TEST_F(MonitorTest, WatchingFilesEachNewFileUnderTheNextQueuedImage) {
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
    queue.Append(doc.get(), ImageOf(*doc, 0, 1), 0, false);
    queue.Append(doc.get(), ImageOf(*doc, 2, 0), 2, false);
    StartMonitor(capture);
    EXPECT_FALSE(monitor->MonitorLock().TryEnter()) << "the thread holds the monitor lock";

    const char* names[] = {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"};
    const int tiles[] = {0, 0, 2};
    for (int n = 0; n < 3; ++n) {
        WriteCameraFile(capture / names[n], n == 2 ? 200 : 300, n == 2 ? 300 : 200);
        ASSERT_EQ(NextTileChanged(), tiles[n]) << log.Dump();
    }
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(FileNameOf(*doc, 0, 0), P(projectDir / "IMG_0001.JPG"));
    EXPECT_EQ(FileNameOf(*doc, 0, 1), P(projectDir / "IMG_0002.JPG"));
    EXPECT_EQ(FileNameOf(*doc, 2, 0), P(projectDir / "IMG_0003.JPG"));
    EXPECT_EQ(FileNameOf(*doc, 1, 0), L"");
    for (const char* n : names) {
        EXPECT_TRUE(fs::exists(projectDir / n));
        EXPECT_FALSE(fs::exists(capture / n));
    }
    EXPECT_EQ(ImageOf(*doc, 0, 0)->GetWidth(), 300u);
    EXPECT_DOUBLE_EQ(doc->Project().Tile(0)->aspect_ratio, 1.5);
    EXPECT_DOUBLE_EQ(doc->Project().Tile(2)->aspect_ratio, 200.0 / 300.0);

    StopMonitor();
    EXPECT_EQ(doc->BusyCount(), 0) << "every hold on the document is released";
    EXPECT_FALSE(stop.IsSet()) << "the monitor resets the stop event for the next start";
    EXPECT_TRUE(monitor->MonitorLock().TryEnter());
    monitor->MonitorLock().Leave();
    const std::vector<std::wstring> expected = {
        L"Starting file system monitoring...",
        L"Found new image file: IMG_0001.JPG",
        L"Moving " + P(capture / "IMG_0001.JPG") + L" to " + P(projectDir / "IMG_0001.JPG"),
        L"Found new image file: IMG_0002.JPG",
        L"Moving " + P(capture / "IMG_0002.JPG") + L" to " + P(projectDir / "IMG_0002.JPG"),
        L"Found new image file: IMG_0003.JPG",
        L"Moving " + P(capture / "IMG_0003.JPG") + L" to " + P(projectDir / "IMG_0003.JPG"),
        L"File system monitoring stopped."};
    EXPECT_EQ(log.Lines(), expected) << log.Dump();
}

TEST_F(MonitorTest, SubFoldersAndRenamedTemporaryFilesAndFilesWithoutEntries) {
    queue.Append(doc.get(), ImageOf(*doc, 1, 0), 1, false);
    queue.Append(doc.get(), ImageOf(*doc, 1, 1), 1, false);
    StartMonitor(capture);

    // A camera that writes into a dated sub-folder created during the run.
    fs::create_directories(capture / "2026-12-09");
    WriteCameraFile(capture / "2026-12-09" / "IMG_0100.JPG", 64, 48);
    ASSERT_EQ(NextTileChanged(), 1) << log.Dump();
    EXPECT_EQ(FileNameOf(*doc, 1, 0), P(projectDir / "2026-12-09" / "IMG_0100.JPG"));
    EXPECT_TRUE(fs::exists(projectDir / "2026-12-09" / "IMG_0100.JPG"));

    // Tethering software: written as .tmp, renamed when complete.
    WriteCameraFile(capture / "IMG_0101.tmp", 64, 48);
    fs::rename(capture / "IMG_0101.tmp", capture / "IMG_0101.JPG");
    ASSERT_EQ(NextTileChanged(), 1) << log.Dump();
    EXPECT_EQ(FileNameOf(*doc, 1, 1), P(projectDir / "IMG_0101.JPG"));

    // No entry waits: only logged, the file stays.
    WriteCameraFile(capture / "IMG_0102.JPG", 64, 48);
    ASSERT_TRUE(log.WaitFor(L"Found new image file: IMG_0102.JPG")) << log.Dump();
    StopMonitor();
    EXPECT_TRUE(fs::exists(capture / "IMG_0102.JPG"));
    EXPECT_EQ(log.CountPrefix(L"Found new image file: IMG_0101"), 1u) << log.Dump();
    EXPECT_EQ(log.CountPrefix(L"Moving"), 2u) << log.Dump();
}

TEST_F(MonitorTest, CopyModeKeepsTheSourceUntilTheNextFileAndDeletesTheLastAtStop) {
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, true);
    queue.Append(doc.get(), ImageOf(*doc, 0, 1), 0, true);
    StartMonitor(capture);

    WriteCameraFile(capture / "A.JPG", 60, 40);
    ASSERT_EQ(NextTileChanged(), 0) << log.Dump();
    EXPECT_TRUE(fs::exists(capture / "A.JPG")) << "the source stays until the next file";
    EXPECT_EQ(ReadAll(capture / "A.JPG"), ReadAll(projectDir / "A.JPG"));

    WriteCameraFile(capture / "B.JPG", 60, 40);
    ASSERT_EQ(NextTileChanged(), 0) << log.Dump();
    EXPECT_FALSE(fs::exists(capture / "A.JPG"));
    EXPECT_TRUE(fs::exists(capture / "B.JPG"));
    StopMonitor();
    EXPECT_FALSE(fs::exists(capture / "B.JPG"));
    EXPECT_TRUE(fs::exists(projectDir / "A.JPG"));
    EXPECT_TRUE(fs::exists(projectDir / "B.JPG"));
    const std::vector<std::wstring> expected = {L"Starting file system monitoring...",
                                                L"Found new image file: A.JPG",
                                                L"Waiting for file changes...\n",
                                                L"Copying " + P(capture / "A.JPG") + L" to " + P(projectDir / "A.JPG"),
                                                L"Deleting file " + P(capture / "A.JPG"),
                                                L"Found new image file: B.JPG",
                                                L"Waiting for file changes...\n",
                                                L"Copying " + P(capture / "B.JPG") + L" to " + P(projectDir / "B.JPG"),
                                                L"Deleting file " + P(capture / "B.JPG"),
                                                L"File system monitoring stopped."};
    EXPECT_EQ(log.Lines(), expected) << log.Dump();
}

TEST_F(MonitorTest, CopyModeNeverDeletesASourceWhoseCopyIsGone) {
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, true);
    StartMonitor(capture);
    WriteCameraFile(capture / "A.JPG", 60, 40);
    ASSERT_EQ(NextTileChanged(), 0) << log.Dump();
    fs::remove(projectDir / "A.JPG");  // the user removed the copy meanwhile
    StopMonitor();
    EXPECT_TRUE(fs::exists(capture / "A.JPG"));
    EXPECT_EQ(log.CountPrefix(L"ERROR: Keeping " + P(capture / "A.JPG")), 1u) << log.Dump();
    EXPECT_EQ(log.CountPrefix(L"Deleting file"), 0u);
}

TEST_F(MonitorTest, ADestinationThatExistsIsNotReplaced) {
    WriteText(projectDir / "IMG_0001.JPG", "an older picture");
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
    StartMonitor(capture);
    WriteCameraFile(capture / "IMG_0001.JPG", 60, 40);
    ASSERT_EQ(NextTileChanged(), 0) << log.Dump();
    StopMonitor();
    EXPECT_EQ(ReadAll(projectDir / "IMG_0001.JPG"), "an older picture");
    EXPECT_EQ(FileNameOf(*doc, 0, 0), P(projectDir / "IMG_0001 (2).JPG"));
    EXPECT_EQ(ImageOf(*doc, 0, 0)->GetWidth(), 60u);
}

TEST_F(MonitorTest, MoveAndCopyThatKeepFailingReportAnErrorAndKeepTheCameraFile) {
    ReadOnlyFolder locked(projectDir);
    if (!locked.Active()) GTEST_SKIP() << "cannot make a folder read-only here";
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
    queue.Append(doc.get(), ImageOf(*doc, 0, 1), 0, true);
    StartMonitor(capture);

    WriteCameraFile(capture / "M.JPG", 60, 40);
    ASSERT_TRUE(log.WaitFor(L"ERROR: Can not move " + P(capture / "M.JPG"), true)) << log.Dump();
    WriteCameraFile(capture / "C.JPG", 60, 40);
    ASSERT_TRUE(log.WaitFor(L"ERROR: Can not copy " + P(capture / "C.JPG"), true)) << log.Dump();
    StopMonitor();
    EXPECT_TRUE(fs::exists(capture / "M.JPG"));
    EXPECT_TRUE(fs::exists(capture / "C.JPG")) << "a failed copy never deletes the camera's file";
    EXPECT_EQ(FileNameOf(*doc, 0, 0), L"");
    EXPECT_EQ(FileNameOf(*doc, 0, 1), L"");
    EXPECT_EQ(log.CountPrefix(L"Deleting file"), 0u) << log.Dump();
    veldan::platform::Message m;
    EXPECT_FALSE(view.WaitForMessage(WM_TILE_CHANGED, m, 0));
    EXPECT_EQ(doc->BusyCount(), 0);
}

TEST_F(MonitorTest, AMoveSucceedsWhenTheFolderAcceptsItDuringTheRetries) {
    auto locked = std::make_unique<ReadOnlyFolder>(projectDir);
    if (!locked->Active()) GTEST_SKIP() << "cannot make a folder read-only here";
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
    StartMonitor(capture, {1000, 20, 20, 10});
    WriteCameraFile(capture / "R.JPG", 60, 40);
    ASSERT_TRUE(log.WaitFor(L"Moving ", true)) << log.Dump();
    locked.reset();
    ASSERT_EQ(NextTileChanged(), 0) << log.Dump();
    StopMonitor();
    EXPECT_TRUE(fs::exists(projectDir / "R.JPG"));
    EXPECT_EQ(log.CountPrefix(L"ERROR"), 0u) << log.Dump();
}

TEST_F(MonitorTest, StopEndsTheRetriesAndTheWait) {
    ReadOnlyFolder locked(projectDir);
    if (!locked.Active()) GTEST_SKIP() << "cannot make a folder read-only here";
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
    // 120 tries of 500 ms would hold the switch-off for a minute.
    StartMonitor(capture, {120, 500, 1000, 100});
    WriteCameraFile(capture / "S.JPG", 60, 40);
    ASSERT_TRUE(log.WaitFor(L"Moving ", true)) << log.Dump();
    const auto before = std::chrono::steady_clock::now();
    StopMonitor();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));
    EXPECT_TRUE(fs::exists(capture / "S.JPG"));
    EXPECT_EQ(log.CountPrefix(L"ERROR: Can not move"), 1u) << log.Dump();
    EXPECT_EQ(log.Lines().back(), L"File system monitoring stopped.");
}

TEST_F(MonitorTest, EntriesOfClosedDocumentsAreObsolete) {
    auto other = MakeDoc(Dir("other"));
    queue.Append(other.get(), ImageOf(*other, 0, 0), 0, false);
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
    other.reset();  // closed before its file arrives
    StartMonitor(capture);
    WriteCameraFile(capture / "O1.JPG", 60, 40);
    ASSERT_TRUE(log.WaitFor(L"File already obsolete. Ignoring...")) << log.Dump();
    WriteCameraFile(capture / "O2.JPG", 60, 40);
    ASSERT_EQ(NextTileChanged(), 0) << log.Dump();
    StopMonitor();
    EXPECT_TRUE(fs::exists(capture / "O1.JPG"));
    EXPECT_EQ(FileNameOf(*doc, 0, 0), P(projectDir / "O2.JPG"));
}

TEST_F(MonitorTest, ADirectoryThatCannotBeWatchedEndsTheMonitorWithAnError) {
    StartMonitor(home.Root() / "no-such-folder");
    ASSERT_TRUE(monitor->WaitFinished(30000));
    monitor->Join();
    EXPECT_TRUE(monitor->MonitorLock().TryEnter());
    monitor->MonitorLock().Leave();
    EXPECT_EQ(log.CountPrefix(L"ERROR: Can not monitor the capture directory"), 1u) << log.Dump();
}

TEST_F(MonitorTest, CollectingPairsTheSortedFilesWithTheImagesInShootingOrder) {
    StartMonitor({});
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
    queue.Append(doc.get(), ImageOf(*doc, 1, 0), 1, false);
    queue.Append(doc.get(), ImageOf(*doc, 2, 0), 2, false);
    const fs::path card = Dir("card");
    for (const char* n : {"A.JPG", "B.JPG", "C.JPG", "D.JPG", "E.JPG"}) WriteJpeg(card / n, 30, 20);
    // Chosen out of order, over two dialogs; of the second only one is taken.
    ui.choices = {{P(card / "C.JPG"), P(card / "A.JPG")}, {P(card / "B.JPG"), P(card / "D.JPG"), P(card / "E.JPG")}};
    StopMonitor();

    EXPECT_EQ(FileNameOf(*doc, 0, 0), P(projectDir / "A.JPG"));
    EXPECT_EQ(FileNameOf(*doc, 1, 0), P(projectDir / "B.JPG"));
    EXPECT_EQ(FileNameOf(*doc, 2, 0), P(projectDir / "C.JPG"));
    EXPECT_TRUE(fs::exists(card / "D.JPG"));
    EXPECT_FALSE(fs::exists(card / "A.JPG"));
    EXPECT_EQ(ui.questions, (std::vector<std::wstring>{kLocateNowQuestion, kInsertMediaMessage}));
    EXPECT_EQ(ui.titles, (std::vector<std::wstring>{L"Locate Captured Image Files... (3)",
                                                    L"Locate Captured Image Files... (1)"}));
    EXPECT_EQ(ui.progressRange, 3u);
    EXPECT_EQ(ui.progress, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_TRUE(ui.progressEnded);
    veldan::platform::Message m;
    for (int n = 0; n < 3; ++n) EXPECT_TRUE(view.WaitForMessage(WM_TILE_CHANGED, m, 0));
    const std::vector<std::wstring> expected = {L"File system monitoring disabled.",
                                                L"Moving " + P(card / "C.JPG") + L" to " + P(projectDir / "C.JPG"),
                                                L"Moving " + P(card / "B.JPG") + L" to " + P(projectDir / "B.JPG"),
                                                L"Moving " + P(card / "A.JPG") + L" to " + P(projectDir / "A.JPG")};
    EXPECT_EQ(log.Lines(), expected) << log.Dump();
}

TEST_F(MonitorTest, CollectingFilesNothingWhenTheUserDeclinesOrChoosesTooFew) {
    const fs::path card = Dir("card");
    WriteJpeg(card / "A.JPG", 30, 20);
    struct Case {
        bool locateNow, mediaReady;
        size_t questions, dialogs;
    };
    for (const Case c : {Case{false, true, 1, 0}, Case{true, false, 2, 0}, Case{true, true, 2, 2}}) {
        ui = ScriptedMonitorUi();
        ui.locateNow = c.locateNow;
        ui.mediaReady = c.mediaReady;
        ui.choices = {{P(card / "A.JPG")}};  // one of two, then cancelled
        StartMonitor({});
        queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
        queue.Append(doc.get(), ImageOf(*doc, 0, 1), 0, false);
        StopMonitor();
        EXPECT_EQ(ui.questions.size(), c.questions);
        EXPECT_EQ(ui.titles.size(), c.dialogs);
        EXPECT_TRUE(queue.Empty());
        EXPECT_TRUE(fs::exists(card / "A.JPG"));
        EXPECT_EQ(FileNameOf(*doc, 0, 0), L"");
    }
}

TEST_F(MonitorTest, CollectingWithoutImagesAsksNothingAndObsoleteEntriesAreSkipped) {
    StartMonitor({});
    StopMonitor();
    EXPECT_TRUE(ui.questions.empty());

    auto other = MakeDoc(Dir("other"));
    const fs::path card = Dir("card");
    WriteJpeg(card / "A.JPG", 30, 20);
    WriteJpeg(card / "B.JPG", 30, 20);
    StartMonitor({});
    queue.Append(other.get(), ImageOf(*other, 0, 0), 0, false);
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
    ASSERT_TRUE(log.WaitFor(L"File system monitoring disabled."));
    // The entries are collected at once: the capture run never waits in this mode.
    for (int i = 0; i < 3000 && !queue.Empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(queue.Empty());
    other.reset();
    ui.choices = {{P(card / "B.JPG"), P(card / "A.JPG")}};
    StopMonitor();
    EXPECT_EQ(log.CountPrefix(L"File " + P(card / "A.JPG") + L" already obsolete. Ignoring..."), 1u) << log.Dump();
    EXPECT_TRUE(fs::exists(card / "A.JPG"));
    EXPECT_EQ(FileNameOf(*doc, 0, 0), P(projectDir / "B.JPG"));
}

TEST_F(MonitorTest, ProjectFolderInsideTheCaptureDirectoryIsNotFiledAgain) {
    const fs::path inside = capture / "project";
    fs::create_directories(inside);
    auto local = MakeDoc(inside);
    queue.Append(local.get(), ImageOf(*local, 0, 0), 0, false);
    queue.Append(local.get(), ImageOf(*local, 0, 1), 0, false);
    StartMonitor(capture);
    WriteCameraFile(capture / "IMG_1.JPG", 60, 40);
    ASSERT_EQ(NextTileChanged(), 0) << log.Dump();
    WriteCameraFile(capture / "IMG_2.JPG", 60, 40);
    ASSERT_EQ(NextTileChanged(), 0) << log.Dump();
    StopMonitor();
    EXPECT_EQ(FileNameOf(*local, 0, 0), P(inside / "IMG_1.JPG"));
    EXPECT_EQ(FileNameOf(*local, 0, 1), P(inside / "IMG_2.JPG"));
    EXPECT_EQ(log.CountPrefix(L"Found new image file: project"), 0u) << log.Dump();
}

TEST_F(MonitorTest, FilesThePicturesOfTheVirtualHeadsCamera) {
    if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
    VirtualHead head;
    std::string error;
    // Tethering-style camera: each picture is written as .tmp into a session
    // folder and renamed when complete.
    ASSERT_TRUE(head.Start(7, home.Root() / "Documents",
                           {"--capture-dir", capture.string(), "--subdir", "session", "--tmp-rename", "--resolution",
                            "300x200", "--write-delay", "50"},
                           error))
        << error;
    queue.Append(doc.get(), ImageOf(*doc, 0, 0), 0, false);
    queue.Append(doc.get(), ImageOf(*doc, 1, 0), 1, false);
    StartMonitor(capture);
    for (int tile = 0; tile < 2; ++tile) {
        const std::string reply = head.Command("camera release 30");
        ASSERT_EQ(reply.rfind("OK ", 0), 0u) << reply;
        ASSERT_EQ(NextTileChanged(), tile) << log.Dump();
    }
    StopMonitor();
    EXPECT_EQ(FileNameOf(*doc, 0, 0), P(projectDir / "session" / "IMG_0001.JPG"));
    EXPECT_EQ(FileNameOf(*doc, 1, 0), P(projectDir / "session" / "IMG_0002.JPG"));
    EXPECT_EQ(ImageOf(*doc, 1, 0)->GetWidth(), 300u);
    EXPECT_EQ(ImageOf(*doc, 1, 0)->GetHeight(), 200u);
    EXPECT_DOUBLE_EQ(doc->Project().Tile(1)->aspect_ratio, 1.5);
    EXPECT_TRUE(fs::is_empty(capture / "session")) << log.Dump();
    EXPECT_EQ(log.CountPrefix(L"Found new image file: "), 2u) << log.Dump();
}

TEST_F(MonitorTest, ACaptureRunThreadAndTheCameraFeedTheMonitorTogether) {
    // As the capture run does: shoot (queue the image, the camera writes its
    // file), then wait before the next shot until the monitor has filed it.
    auto big = std::make_unique<CVELDANpreviewDoc>(list);
    AddEmptyTiles(big->Project(), 12, 1);
    big->Project().project_path.Set(P(projectDir).c_str());
    StartMonitor(capture);
    std::atomic<bool> failed{false};
    std::thread run([&] {
        for (int tile = 0; tile < 12 && !failed; ++tile) {
            queue.Append(big.get(), ImageOf(*big, static_cast<uint32_t>(tile), 0), tile, tile % 2 == 1);
            char name[32];
            std::snprintf(name, sizeof name, "IMG_%04d.JPG", tile + 1);
            WriteCameraFile(capture / name, 40, 30);
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!queue.Empty() && !(failed = std::chrono::steady_clock::now() > until))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    for (int tile = 0; tile < 12 && !failed; ++tile) {
        const int changed = NextTileChanged();
        if (changed != tile) {
            ADD_FAILURE() << "tile " << tile << " got " << changed << "\n" << log.Dump();
            failed = true;
        }
    }
    run.join();
    ASSERT_FALSE(failed);
    StopMonitor();
    for (uint32_t tile = 0; tile < 12; ++tile) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04u.JPG", tile + 1);
        EXPECT_EQ(FileNameOf(*big, tile, 0), P(projectDir / name));
        EXPECT_FALSE(fs::exists(capture / name)) << "copied sources are deleted too";
    }
    EXPECT_EQ(big->BusyCount(), 0);
}

}  // namespace veldan::test
