// The head control with the real capture-folder monitor on the virtual
// head: the camera's files filed into the project during a run, and a head
// closed on its window thread while the monitor asks a question there.
#include <condition_variable>
#include <mutex>

#include "HeadFixture.h"
#include "MonitorSupport.h"
#include "platform/Profile.h"
#include "preview/capture/HeadFolderMonitor.h"

namespace veldan::test {

using namespace veldan::preview;

namespace {

// Answers on the "window thread": the monitor's call waits until the thread
// that owns the head serves it (Serve), as the Qt dialogs do.
class WindowThreadUi : public CaptureMonitorUi {
public:
    bool AskYesNo(const std::wstring&, const std::wstring& text) override {
        std::unique_lock<std::mutex> guard(lock_);
        asked_ = text;
        pending_ = true;
        changed_.wait(guard, [&] { return !pending_; });
        return false;
    }
    bool AskOkCancel(const std::wstring&, const std::wstring&) override { return false; }
    bool LocateFiles(const std::wstring&, const std::wstring&, const std::wstring&,
                     std::vector<std::wstring>&) override {
        return false;
    }
    void ProgressBegin(uint32_t) override {}
    void ProgressSet(uint32_t) override {}
    void ProgressEnd() override {}

    // Answers a waiting question; called on the owning thread.
    void Serve() {
        std::lock_guard<std::mutex> guard(lock_);
        if (!pending_) return;
        pending_ = false;
        ++served_;
        changed_.notify_all();
    }
    int Served() {
        std::lock_guard<std::mutex> guard(lock_);
        return served_;
    }
    std::wstring Asked() {
        std::lock_guard<std::mutex> guard(lock_);
        return asked_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool pending_ = false;
    int served_ = 0;
    std::wstring asked_;
};

}  // namespace

class HeadFolderMonitorTest : public HeadTest {
protected:
    void SetUp() override {
        HeadTest::SetUp();
        if (IsSkipped()) return;
        fs::create_directories(projectFolder);
        profile = std::make_unique<veldan::platform::Profile>(home.Root() / "profile.ini");
    }
    void TearDown() override {
        if (control) control->JoinWorkers();
        control.reset();
        folderMonitor.reset();
        HeadTest::TearDown();
    }

    fs::path projectFolder = home.Root() / "project";
    std::unique_ptr<veldan::platform::Profile> profile;
    std::unique_ptr<HeadFolderMonitor> folderMonitor;
    std::unique_ptr<CVELDANpreviewDoc> doc;
};

TEST_F(HeadFolderMonitorTest, ManualRunFilesEveryCameraFileUnderItsImage) {
    ASSERT_TRUE(StartHead());
    ASSERT_TRUE(profile->WriteString(L"settings", L"CAPTURE_DIRECTORY", captures.wstring()));
    ScriptedMonitorUi ui;
    doc = std::make_unique<CVELDANpreviewDoc>(documents);
    // Two rows of two tiles, two images each.
    BuildProject(doc->Project(), {{0, -20}, {180, -20}, {90, 20}, {270, 20}}, {-3, 3});
    doc->Project().hdri.enabled = false;
    doc->Project().hdri.shutter = 1;
    doc->Project().project_path.Set(projectFolder.wstring().c_str());
    MakeControl();
    folderMonitor = std::make_unique<HeadFolderMonitor>(ui, *profile);
    control->SetMonitor(folderMonitor.get());
    ASSERT_TRUE(SwitchOn()) << LogUtf8();
    EXPECT_EQ(LogCount(L"Starting file system monitoring..."), 1u) << LogUtf8();
    QuickTimings();
    HeadView view{viewWindow.Handle(), doc.get()};
    control->SetView(&view);
    control->OnStart();
    ASSERT_TRUE(AwaitRunEnd()) << LogUtf8();

    // Each image names its own file, moved from the capture folder into the
    // project folder; the view heard of every filing.
    std::set<std::wstring> names;
    std::vector<int> filedTiles;
    ASSERT_TRUE(Pump([&] {
        veldan::platform::Message m;
        while (viewWindow.GetMessage(m, 0))
            if (m.message == WM_TILE_CHANGED) filedTiles.push_back(static_cast<int>(m.wParam));
        for (uint32_t t = 0; t < 4; ++t)
            for (uint32_t i = 0; i < 2; ++i)
                if (FileNameOf(*doc, t, i).empty()) return false;
        return true;
    })) << LogUtf8();
    for (uint32_t t = 0; t < 4; ++t)
        for (uint32_t i = 0; i < 2; ++i) {
            const fs::path file = FileNameOf(*doc, t, i);
            EXPECT_EQ(file.parent_path(), projectFolder);
            EXPECT_TRUE(fs::is_regular_file(file)) << file;
            EXPECT_FALSE(fs::exists(captures / file.filename())) << file;
            names.insert(file.wstring());
        }
    EXPECT_EQ(names.size(), 8u);
    ASSERT_TRUE(SwitchOff());
    veldan::platform::Message m;
    while (viewWindow.GetMessage(m, 0))
        if (m.message == WM_TILE_CHANGED) filedTiles.push_back(static_cast<int>(m.wParam));
    // Per tile the shooting mark on and off, and one message per filed image.
    for (int t = 0; t < 4; ++t) EXPECT_EQ(std::count(filedTiles.begin(), filedTiles.end(), t), 4) << t;
    EXPECT_EQ(LogCount(L"File system monitoring stopped."), 1u);
    EXPECT_TRUE(ui.questions.empty());
}

TEST_F(HeadFolderMonitorTest, ClosingOnTheWindowThreadServesTheCollectingModesQuestion) {
    ASSERT_TRUE(StartHead());
    WindowThreadUi ui;  // no capture directory: collecting mode
    doc = std::make_unique<CVELDANpreviewDoc>(documents);
    BuildProject(doc->Project(), {{0, 0}}, {0});
    doc->Project().project_path.Set(projectFolder.wstring().c_str());
    MakeControl();
    folderMonitor = std::make_unique<HeadFolderMonitor>(ui, *profile);
    control->SetMonitor(folderMonitor.get());
    ASSERT_TRUE(SwitchOn()) << LogUtf8();
    QuickTimings();
    HeadView view{viewWindow.Handle(), doc.get()};
    control->SetView(&view);
    control->OnStart();
    ASSERT_TRUE(AwaitRunEnd()) << LogUtf8();
    // The monitor collected the shot; stopping it asks whether to locate the
    // files, on this thread, while this thread closes the head.
    control->Close([&] {
        ui.Serve();
        DrainLog();
    });
    EXPECT_EQ(ui.Served(), 1);
    EXPECT_EQ(ui.Asked(), kLocateNowQuestion);
    EXPECT_EQ(control->State(), HeadState::Off);
    EXPECT_EQ(control->Handle(), nullptr);
    control->Close();  // a second close finds nothing to do
}

}  // namespace veldan::test
