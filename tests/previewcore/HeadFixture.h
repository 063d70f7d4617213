#pragma once
// The head control against the virtual head in a temporary home: the test
// thread plays the window thread (it hands the head window's messages to
// the head control and collects the log), and a small folder watcher plays
// the capture-folder monitor.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "VirtualHead.h"
#include "platform/Window.h"
#include "preview/app/LogText.h"
#include "preview/document/DocumentList.h"
#include "preview/document/VELDANpreviewDoc.h"
#include "preview/head/HeadPictures.h"
#include "preview/head/VRHeadControl.h"

namespace veldan::test {

namespace fs = std::filesystem;

constexpr int kCom = 61;

// Stands in for the capture-folder monitor: holds the monitor lock while it
// runs and gives each new file of the capture folder, in name order, to the
// head entry of the queue.
class FolderMonitor : public preview::HeadMonitor {
public:
    struct Filed {
        VELDANPanoramaImage* image;
        int tileNr;
        bool copy;
        fs::path file;
        double h, v;  // the head's angles when the entry was taken
    };

    FolderMonitor(fs::path folder, VirtualHead& head) : folder_(std::move(folder)), head_(head) {}
    ~FolderMonitor() override { Join(); }

    void Start(preview::CVRHeadControl& control) override {
        Join();
        std::atomic<bool> holding{false};
        thread_ = std::thread([this, &control, &holding] {
            std::lock_guard<veldan::platform::CriticalSection> guard(control.MonitorLock());
            holding = true;
            while (!control.MonitorStopEvent().Wait(20)) Scan(control);
        });
        while (!holding) std::this_thread::yield();
    }
    void Join() override {
        if (thread_.joinable()) thread_.join();
    }
    std::vector<Filed> Taken() {
        std::lock_guard<std::mutex> guard(lock_);
        return filed_;
    }

private:
    void Scan(preview::CVRHeadControl& control) {
        std::error_code ec;
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(folder_, ec))
            if (e.is_regular_file() && e.path().extension() == ".JPG" && !seen_.count(e.path()))
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            auto entry = control.Queue().TakeHead();
            if (!entry) return;  // the file waits for its entry
            seen_.insert(file);
            Filed f{entry->image, entry->tileNr, entry->copy != 0, file, 0, 0};
            head_.Angles(f.h, f.v);
            if (control.Documents().Hold(entry->document)) {
                entry->image->SetFilename(file.wstring().c_str());
                control.Documents().Release(entry->document);
            }
            std::lock_guard<std::mutex> guard(lock_);
            filed_.push_back(f);
        }
    }

    fs::path folder_;
    VirtualHead& head_;
    std::thread thread_;
    std::set<fs::path> seen_;
    std::mutex lock_;
    std::vector<Filed> filed_;
};

struct TilePosition {
    double x, y;
};

// Tiles at the given positions, one bracketing each with the exposure
// offsets given, visited in list order.
inline void BuildProject(VELDANPanoramaProject& project, const std::vector<TilePosition>& tiles,
                         const std::vector<int32_t>& evs) {
    for (size_t t = 0; t < tiles.size(); ++t) {
        auto* tile = new VELDANPanoramaTile();
        tile->pos_x = tiles[t].x;
        tile->pos_y = tiles[t].y;
        tile->fov_x = 40;
        tile->fov_y = 27;
        auto* bracketing = new VELDANPanoramaBracketing();
        bracketing->SetImageCnt(static_cast<uint32_t>(evs.size()));
        for (uint32_t i = 0; i < evs.size(); ++i) bracketing->GetImage(i)->ev = evs[i];
        tile->bracketings.AddItem(bracketing, tile->bracketings.GetItemCount(), true);
        project.AppendTile(tile);
        project.path.Append(static_cast<int32_t>(t));
    }
}

class HeadTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
        fs::create_directories(Config());
        fs::create_directories(captures);
        WriteText(Config() / "settings.cfg", StandardHeadSettings(kCom));
        preview::SetLogWindow(logWindow.Handle());
        // The DSLR Remote Pro stand-in finds the virtual head's socket here.
        setenv("VELDAN_HEADSIM_SOCKET", (home.Root() / "Documents" / "headsim.sock").c_str(), 1);
    }
    void TearDown() override {
        control.reset();
        monitor.reset();
        preview::SetLogWindow(nullptr);
        // Texts posted while the head went down (the library's switch-off lines)
        // are owned by their messages: take them, or they leak with the queue.
        DrainLog();
        head.Stop();
        unsetenv("VELDAN_HEADSIM_SOCKET");
    }

    fs::path Config() const { return home.Root() / "Documents" / "VELDANmodular"; }

    bool StartHead(std::vector<std::string> extra = {}) {
        std::vector<std::string> options = {"--capture-dir", captures.string(), "--resolution", "150x100"};
        options.insert(options.end(), extra.begin(), extra.end());
        std::string error;
        if (!head.Start(kCom, home.Root() / "Documents", StandardHeadOptions(options), error)) {
            ADD_FAILURE() << error;
            return false;
        }
        return true;
    }

    void MakeControl(preview::HeadControlOptions options = {}) {
        control = std::make_unique<preview::CVRHeadControl>(documents, options);
        control->SetWindow(headWindow.Handle());
    }

    // Plays the window thread until the condition holds.
    bool Pump(const std::function<bool()>& done, int timeoutMs = 30000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            DrainLog();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            veldan::platform::Message m;
            if (headWindow.GetMessage(m, 10)) control->HandleMessage(m);
        }
    }

    void DrainLog() {
        veldan::platform::Message m;
        while (logWindow.GetMessage(m, 0))
            if (m.message == preview::WM_LOG_TEXT) log.push_back(preview::TakeLogText(m.wParam).get());
    }

    bool SwitchOn() {
        // The start thread logs its first line after it left Off.
        const size_t starts = LogCount(L"Initializing VELDAN VR Head.");
        control->OnOnOff();
        // The controls follow the state once its refresh message was handled.
        return Pump([&] {
                   const preview::HeadState s = control->State();
                   return LogCount(L"Initializing VELDAN VR Head.") > starts &&
                          (s == preview::HeadState::Ready || s == preview::HeadState::Off) &&
                          control->Display().state == s;
               }) &&
               control->State() == preview::HeadState::Ready;
    }
    bool SwitchOff() {
        control->OnOnOff();
        return Pump([&] { return control->State() == preview::HeadState::Off; });
    }

    // Short waits so that a shot takes little more than the minimum 100 ms.
    void QuickTimings() {
        control->OnRecoverText(L"0");
        control->OnPreshotText(L"0");
        control->OnExposureText(L"1/1000");
    }

    bool AwaitRunEnd() {
        return Pump([&] { return control->State() == preview::HeadState::Ready; }, 60000);
    }

    size_t LogCount(const std::wstring& line) const {
        return static_cast<size_t>(std::count(log.begin(), log.end(), line));
    }
    std::wstring LogText() const {
        std::wstring all;
        for (const auto& l : log) all += l + L"|";
        return all;
    }
    std::string LogUtf8() const {
        std::wstring w = LogText();
        return std::string(w.begin(), w.end());
    }
    int Presses() { return std::atoi(head.StateValue("presses").c_str()); }
    bool HeadAt(double h, double v) {
        double a = 0, b = 0;
        if (!head.Angles(a, b)) return false;
        const double dh = std::fmod(std::fabs(a - h), 360.0);  // whole turns look alike
        return std::min(dh, 360.0 - dh) < 0.1 && std::fabs(b - v) < 0.1;
    }

    TempHome home;
    fs::path captures = home.Root() / "captures";
    VirtualHead head;
    veldan::platform::MessageQueueWindow headWindow;
    veldan::platform::MessageQueueWindow logWindow;
    veldan::platform::MessageQueueWindow viewWindow;
    preview::DocumentList documents;
    std::unique_ptr<preview::CVRHeadControl> control;
    std::unique_ptr<FolderMonitor> monitor;  // outlives nothing the control uses
    std::vector<std::wstring> log;

    FolderMonitor& UseMonitor() {
        monitor = std::make_unique<FolderMonitor>(captures, head);
        control->SetMonitor(monitor.get());
        return *monitor;
    }
};

}  // namespace veldan::test
