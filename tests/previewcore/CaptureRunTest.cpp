// Capture runs on the virtual head in the three shutter modes, with pause,
// resume and cancellation.
#include "HeadFixture.h"

namespace veldan::test {

using namespace veldan::preview;

namespace {

// Two rows of three tiles.
const std::vector<TilePosition> kTwoRows = {{0, -20}, {120, -20}, {240, -20}, {60, 20}, {180, 20}, {300, 20}};

bool AllTaken(VELDANPanoramaProject& p) {
    for (uint32_t t = 0; t < p.TileCount(); ++t)
        for (uint32_t i = 0; i < p.Tile(t)->Bracketing(0)->GetImageCnt(); ++i)
            if (!p.Tile(t)->Bracketing(0)->GetImage(i)->taken) return false;
    return true;
}

uint32_t TakenCount(VELDANPanoramaProject& p) {
    uint32_t n = 0;
    for (uint32_t t = 0; t < p.TileCount(); ++t)
        for (uint32_t i = 0; i < p.Tile(t)->Bracketing(0)->GetImageCnt(); ++i)
            n += p.Tile(t)->Bracketing(0)->GetImage(i)->taken ? 1 : 0;
    return n;
}

}  // namespace

class CaptureTest : public HeadTest {
protected:
    // Head on, project bound, short timings.
    void Prepare(const std::vector<TilePosition>& tiles, const std::vector<int32_t>& evs, bool hdr, uint8_t shutter,
                 HeadControlOptions options = {}, std::vector<std::string> headOptions = {}) {
        ASSERT_TRUE(StartHead(headOptions));
        doc = std::make_unique<CVELDANpreviewDoc>(documents);
        BuildProject(doc->Project(), tiles, evs);
        doc->Project().hdri.enabled = hdr;
        doc->Project().hdri.shutter = shutter;
        MakeControl(options);
        ASSERT_TRUE(SwitchOn()) << LogUtf8();
        QuickTimings();
        HeadView view{viewWindow.Handle(), doc.get()};
        control->SetView(&view);
        ASSERT_TRUE(control->Display().controls.start);
    }
    void TearDown() override {
        if (control) control->JoinWorkers();
        HeadTest::TearDown();
    }
    VELDANPanoramaProject& Project() { return doc->Project(); }
    // Tile numbers of the shooting-mark messages the view received.
    std::vector<int> TileMessages() {
        std::vector<int> tiles;
        veldan::platform::Message m;
        while (viewWindow.GetMessage(m, 0))
            if (m.message == WM_TILE_CHANGED) tiles.push_back(static_cast<int>(m.wParam));
        return tiles;
    }

    std::unique_ptr<CVELDANpreviewDoc> doc;
};

TEST_F(CaptureTest, ManualModeShootsEveryImageInPathOrderAndReturnsHome) {
    ASSERT_NO_FATAL_FAILURE(Prepare(kTwoRows, {-3, 3}, false, 2 /* ignored: bracketing is off */));
    FolderMonitor& monitor = UseMonitor();
    // The monitor starts with the device: switch off and on again with it.
    ASSERT_TRUE(SwitchOff());
    ASSERT_TRUE(SwitchOn());
    QuickTimings();
    control->OnStart();
    EXPECT_EQ(control->State(), HeadState::Capturing);
    EXPECT_TRUE(control->KeysGrabbed());
    ASSERT_TRUE(AwaitRunEnd()) << LogUtf8();
    EXPECT_TRUE(AllTaken(Project()));
    EXPECT_EQ(Presses(), 12);
    ASSERT_TRUE(Pump([&] { return monitor.Taken().size() == 12; })) << monitor.Taken().size();
    const auto filed = monitor.Taken();
    for (size_t n = 0; n < filed.size(); ++n) {
        const int tile = static_cast<int>(n / 2);
        EXPECT_EQ(filed[n].tileNr, tile);
        EXPECT_EQ(filed[n].image, Project().Tile(tile)->Bracketing(0)->GetImage(n % 2));
        EXPECT_FALSE(filed[n].copy);
        if (n % 2 == 0) {
            // The run waits for the first image's file before the second shot, so
            // the head still stands at the tile.
            EXPECT_NEAR(filed[n].h, kTwoRows[tile].x, 0.1) << n;
            EXPECT_NEAR(filed[n].v, kTwoRows[tile].y, 0.1) << n;
        }
    }
    EXPECT_EQ(LogCount(L"Shutter is in manual mode...\n"), 6u);
    EXPECT_EQ(LogCount(L"Now shooting frame 5...\n"), 1u);
    EXPECT_EQ(LogCount(L"Frame image 1/2\n..."), 6u);
    EXPECT_EQ(LogCount(L"Added image to file monitor queue (1 in queue).\n"), 12u) << LogUtf8();
    ASSERT_TRUE(Pump([&] { return HeadAt(0, 0); })) << head.Command("angles");
    for (uint32_t t = 0; t < Project().TileCount(); ++t) EXPECT_EQ(Project().Tile(t)->display_flags & 4u, 0u);
    const std::vector<int> marks = TileMessages();
    EXPECT_EQ(marks, (std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5}));
    EXPECT_EQ(control->Display().state, HeadState::Ready);
    EXPECT_FALSE(control->KeysGrabbed());
    // A new start finds nothing left to shoot.
    control->OnStart();
    ASSERT_TRUE(AwaitRunEnd());
    EXPECT_EQ(Presses(), 12);
    ASSERT_TRUE(SwitchOff());
}

TEST_F(CaptureTest, BurstModeHoldsTheShutterForTheCamerasSeries) {
    ASSERT_NO_FATAL_FAILURE(Prepare({{0, 0}, {90, 0}}, {-3, 0, 3}, true, 2, {}, {"--aeb", "3"}));
    control->OnStart();
    ASSERT_TRUE(AwaitRunEnd()) << LogUtf8();
    EXPECT_TRUE(AllTaken(Project()));
    EXPECT_EQ(Presses(), 2);
    // Without a monitor the entries stay queued, in shooting order.
    std::vector<std::pair<int, VELDANPanoramaImage*>> entries;
    control->Queue().ForEach([&](const CaptureQueueEntry& e) {
        entries.emplace_back(e.tileNr, e.image);
        EXPECT_EQ(e.copy, 0);
        EXPECT_EQ(e.document, doc.get());
    });
    ASSERT_EQ(entries.size(), 6u);
    for (size_t n = 0; n < 6; ++n) {
        EXPECT_EQ(entries[n].first, static_cast<int>(n / 3));
        EXPECT_EQ(entries[n].second, Project().Tile(n / 3)->Bracketing(0)->GetImage(n % 3));
    }
    EXPECT_EQ(LogCount(L"Shutter is in burst shot mode...\n"), 2u);
    EXPECT_EQ(LogCount(L"Added image to file monitor queue (6 in queue).\n"), 1u);
    ASSERT_TRUE(Pump([&] { return head.StateValue("files") == "6"; })) << head.StateValue("files");
    ASSERT_TRUE(Pump([&] { return HeadAt(0, 0); })) << head.Command("angles");
    control->Queue().Clear();
    ASSERT_TRUE(SwitchOff());
}

TEST_F(CaptureTest, DslrModeFiresThroughRemoteLibrary) {
    ASSERT_NO_FATAL_FAILURE(Prepare({{0, 0}, {45, 10}, {90, 0}}, {0}, true, 3));
    control->OnStart();
    ASSERT_TRUE(AwaitRunEnd()) << LogUtf8();
    EXPECT_TRUE(AllTaken(Project()));
    EXPECT_EQ(Presses(), 3);
    EXPECT_EQ(LogCount(L"Camera ready..."), 3u) << LogUtf8();
    EXPECT_EQ(LogCount(L"Releasing shutter...\n"), 3u);
    size_t copies = 0;
    control->Queue().ForEach([&](const CaptureQueueEntry& e) { copies += e.copy; });
    EXPECT_EQ(copies, 3u);
    ASSERT_TRUE(Pump([&] { return HeadAt(0, 0); })) << head.Command("angles");
    control->Queue().Clear();
    ASSERT_TRUE(SwitchOff());
}

TEST_F(CaptureTest, DslrModeWithoutRemoteProSkipsEveryTileAndStillWalksThePath) {
    setenv("VELDAN_HEADSIM_SOCKET", (home.Root() / "nobody.sock").c_str(), 1);
    ASSERT_NO_FATAL_FAILURE(Prepare({{0, 0}, {60, 0}, {120, 0}}, {0}, true, 3));
    control->OnStart();
    ASSERT_TRUE(AwaitRunEnd()) << LogUtf8();
    EXPECT_EQ(LogCount(L"ERROR: Breeze Remote Pro is not running !"), 3u) << LogUtf8();
    EXPECT_EQ(LogCount(L"Releasing shutter...\n"), 0u);
    EXPECT_EQ(TakenCount(Project()), 0u);
    EXPECT_TRUE(control->Queue().Empty());
    EXPECT_EQ(TileMessages(), (std::vector<int>{0, 0, 1, 1, 2, 2}));
    ASSERT_TRUE(Pump([&] { return HeadAt(0, 0); })) << head.Command("angles");
    ASSERT_TRUE(SwitchOff());
}

TEST_F(CaptureTest, DslrModeWithoutTheLibraryLogsEveryBracketing) {
    HeadControlOptions options;
    options.dslrLibrary = "libDSLRRemoteLib_absent.so";
    ASSERT_NO_FATAL_FAILURE(Prepare({{0, 0}, {60, 0}}, {0}, true, 3, options));
    control->OnStart();
    ASSERT_TRUE(AwaitRunEnd()) << LogUtf8();
    EXPECT_EQ(LogCount(L"ERROR: Can not load DSLRRemoteLib.dll !\n"), 2u) << LogUtf8();
    EXPECT_EQ(TakenCount(Project()), 0u);
    EXPECT_EQ(Presses(), 0);
    ASSERT_TRUE(SwitchOff());
}

TEST_F(CaptureTest, PauseWaitsAtTheNextTileAndResumeFinishes) {
    ASSERT_NO_FATAL_FAILURE(Prepare({{0, 0}, {40, 0}, {80, 0}, {120, 0}}, {0}, false, 1));
    control->OnStart();
    ASSERT_TRUE(Pump([&] { return Presses() >= 1; }));
    control->OnBreak();
    EXPECT_EQ(control->State(), HeadState::Paused);
    EXPECT_TRUE(control->Display().controls.start);
    EXPECT_FALSE(control->Display().controls.pause);
    // The paused run moves to the tile of its next bracketing, marks it and
    // waits there without shooting it.
    int waitingAt = -1;
    ASSERT_TRUE(Pump([&] {
        for (uint32_t t = 1; t < Project().TileCount(); ++t)
            if ((std::atomic_ref<uint32_t>(Project().Tile(t)->display_flags).load() & 4u) &&
                HeadAt(Project().Tile(t)->pos_x, 0) && !Project().Tile(t)->Bracketing(0)->GetImage(0)->taken) {
                waitingAt = static_cast<int>(t);
                return true;
            }
        return false;
    }));
    EXPECT_GE(waitingAt, 1);
    EXPECT_EQ(Presses(), waitingAt);
    EXPECT_EQ(control->State(), HeadState::Paused);
    control->OnStart();  // resume
    EXPECT_EQ(control->State(), HeadState::Capturing);
    ASSERT_TRUE(AwaitRunEnd()) << LogUtf8();
    EXPECT_TRUE(AllTaken(Project()));
    EXPECT_EQ(Presses(), 4);
    control->Queue().Clear();
    ASSERT_TRUE(SwitchOff());
}

TEST_F(CaptureTest, StopAndKeysCancelTheRunAndTheHeadReturnsHome) {
    ASSERT_NO_FATAL_FAILURE(Prepare(kTwoRows, {0}, false, 1));
    for (int round = 0; round < 3; ++round) {
        const int before = Presses();
        control->OnStart();
        ASSERT_EQ(control->State(), HeadState::Capturing);
        ASSERT_TRUE(Pump([&] { return Presses() > before; }));
        if (round == 0) control->OnStop();
        if (round == 1) control->OnHotKey();   // a key anywhere in the program
        if (round == 2) control->OnKeyDown();  // a key in the pane
        EXPECT_EQ(control->State(), HeadState::Cancelling);
        ASSERT_TRUE(AwaitRunEnd()) << LogUtf8();
        EXPECT_LT(TakenCount(Project()), 6u);
        ASSERT_TRUE(Pump([&] { return HeadAt(0, 0); })) << round;
    }
    // Every start went on where the previous one was cancelled.
    EXPECT_EQ(static_cast<uint32_t>(Presses()), TakenCount(Project()));
    control->Queue().Clear();
    ASSERT_TRUE(SwitchOff());
}

TEST_F(CaptureTest, UnbindingTheViewCancelsTheRun) {
    ASSERT_NO_FATAL_FAILURE(Prepare(kTwoRows, {0}, false, 1));
    control->OnStart();
    ASSERT_TRUE(Pump([&] { return Presses() >= 1; }));
    control->SetView(nullptr);
    ASSERT_TRUE(AwaitRunEnd());
    EXPECT_LT(TakenCount(Project()), 6u);
    EXPECT_FALSE(control->Display().controls.start);
    // A document that is closing is not shot.
    control->Queue().Clear();
    ASSERT_TRUE(SwitchOff());
}

TEST_F(CaptureTest, RunWaitsForTheMonitorUntilCancelledWhenNoFileArrives) {
    ASSERT_NO_FATAL_FAILURE(Prepare({{0, 0}, {30, 0}, {60, 0}}, {0}, false, 1));
    FolderMonitor& monitor = UseMonitor();
    ASSERT_TRUE(SwitchOff());
    ASSERT_TRUE(SwitchOn());
    QuickTimings();
    ASSERT_EQ(head.Command("fault camera-nofiles on").rfind("OK", 0), 0u);
    control->OnStart();
    // The second tile's image is announced, then the run waits: the first
    // image is still queued because its file never came.
    ASSERT_TRUE(Pump([&] {
        return LogCount(L"Now shooting frame 1...\n") == 1 && LogCount(L"Frame image 0/1\n...") == 2;
    })) << LogUtf8();
    EXPECT_EQ(control->Queue().Count(), 1u);
    EXPECT_EQ(Presses(), 1);
    EXPECT_EQ(control->State(), HeadState::Capturing);
    control->OnStop();
    ASSERT_TRUE(AwaitRunEnd());
    EXPECT_EQ(Presses(), 1);
    EXPECT_TRUE(monitor.Taken().empty());
    ASSERT_TRUE(Pump([&] { return HeadAt(0, 0); }));
    // Switching off drops the head entry of the queue.
    ASSERT_TRUE(SwitchOff());
    EXPECT_TRUE(control->Queue().Empty());
}

}  // namespace veldan::test
