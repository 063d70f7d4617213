// The headless capture in-process against the virtual head: a run cancelled
// after its first picture stops, returns home, keeps what was filed and
// leaves no temporary settings behind; the last pictures of a run are filed
// before the switch-off, or reported when they do not come; a missing head
// fails with the library's reason and never saves.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "VirtualHead.h"
#include "platform/Text.h"
#include "preview/capture/HeadlessCapture.h"
#include "preview/document/DocumentList.h"
#include "preview/document/VELDANpreviewDoc.h"

namespace veldan::test {

namespace fs = std::filesystem;
using namespace veldan::preview;

namespace {

constexpr int kCom = 60;

class HeadlessCapture : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(docs / "VELDANmodular");
        fs::create_directories(captures);
        fs::create_directories(tmp);
        // The run's own profile folder is made under TMPDIR: here, to be counted.
        setenv("TMPDIR", tmp.c_str(), 1);
        std::ofstream(docs / "VELDANmodular" / "settings.cfg")
            << "port = 1\nmax_device_id = 2\nhorizontal_drive = 0\nvertical_drive = 1\ncontrol_module = 2\n"
               "shutter_module = 2\nshutter_relay = 1\npreshot_module = 2\npreshot_relay = 0\n";
        PlanRow(120);
    }
    void TearDown() override { unsetenv("TMPDIR"); }

    // One row around the horizon from 0° to endTheta, saved as `file`.
    void PlanRow(double endTheta) {
        VELDANPanoramaProject project;
        project.lens.focal_length = 50;
        project.sensor.dimension_x = 36;
        project.sensor.dimension_y = 24;
        project.camera.orientation = 1;
        project.fov.begin_theta = 0;
        project.fov.end_theta = endTheta;
        project.fov.begin_phi = -10;
        project.fov.end_phi = 10;
        ASSERT_GE(project.ComputeTiles(false), 2u);
        project.ComputePath(0);
        fs::create_directories(file.parent_path());
        ASSERT_TRUE(project.SaveToFile(veldan::platform::PathToWide(file).c_str()));
    }

    bool StartHead(std::string& error, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"--h-addr",      "0",
                                              "--v-addr",      "1",
                                              "--ctrl-addr",   "2",
                                              "--time-scale",  "10",
                                              "--capture-dir", captures.string(),
                                              "--resolution",  "150x100"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return head.Start(kCom, docs, arguments, error);
    }
    // The images of the saved project that name a file; each such file is in
    // the project folder.
    int FiledImages() {
        VELDANPanoramaProject saved;
        EXPECT_TRUE(saved.LoadFromFile(veldan::platform::PathToWide(file).c_str()));
        int named = 0;
        for (uint32_t t = 0; t < saved.TileCount(); ++t) {
            VELDANPanoramaImage* image = saved.Tile(t)->Bracketing(0)->GetImage(0);
            if (!image->GetFilename()) continue;
            ++named;
            const fs::path picture = veldan::platform::PathFromWide(image->GetFilename());
            EXPECT_TRUE(fs::is_regular_file(picture)) << picture;
            EXPECT_EQ(picture.parent_path(), file.parent_path());
        }
        return named;
    }
    // A whole run whose camera takes writeDelayMs to write each picture.
    HeadlessCaptureStatus RunWithSlowCamera(int writeDelayMs, uint32_t lastPicturesWaitMs, std::wstring& log,
                                            uint32_t& tiles) {
        std::string error;
        EXPECT_TRUE(StartHead(error, {"--write-delay", std::to_string(writeDelayMs)})) << error;
        DocumentList documents;
        CVELDANpreviewDoc doc(documents);
        EXPECT_TRUE(doc.OnOpenDocument(file, &error)) << error;
        tiles = doc.Project().TileCount();
        HeadlessCaptureOptions options;
        options.port = kCom;
        options.captureDirectory = captures;
        options.lastPicturesWaitMs = lastPicturesWaitMs;
        options.log = [&](const std::wstring& text) { log += text; };
        options.save = [&] {
            std::string e;
            EXPECT_TRUE(doc.OnSaveDocument(file, &e)) << e;
        };
        const HeadlessCaptureStatus status = RunHeadlessCapture(documents, doc, options, error);
        EXPECT_TRUE(error.empty()) << error;
        return status;
    }
    int Presses() { return std::atoi(head.StateValue("presses").c_str()); }
    size_t Entries(const fs::path& dir) {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
        return n;
    }

    TempHome home;
    fs::path docs = home.Dir() / "Documents";
    fs::path captures = home.Dir() / "captures";
    fs::path tmp = home.Dir() / "tmp";
    fs::path file = docs / "pano" / "pano.vpp";
    VirtualHead head;
};

}  // namespace

TEST_F(HeadlessCapture, CancelAfterTheFirstPictureStopsReturnsHomeAndKeepsWhatWasFiled) {
    if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
    std::string error;
    ASSERT_TRUE(StartHead(error)) << error;
    DocumentList documents;
    CVELDANpreviewDoc doc(documents);
    ASSERT_TRUE(doc.OnOpenDocument(file, &error)) << error;
    const uint32_t tiles = doc.Project().TileCount();

    std::atomic<int> saves{0};
    bool ran = false, ended = false;
    std::wstring log;
    HeadlessCaptureOptions options;
    options.port = kCom;
    options.captureDirectory = captures;
    options.log = [&](const std::wstring& text) { log += text; };
    options.save = [&] {
        ++saves;
        std::string e;
        EXPECT_TRUE(doc.OnSaveDocument(file, &e)) << e;
    };
    options.cancelRequested = [&] { return ran && Presses() >= 1; };
    options.beforeRun = [&](CVRHeadControl&) { ran = true; };
    options.afterRun = [&](CVRHeadControl&) { ended = true; };
    EXPECT_EQ(RunHeadlessCapture(documents, doc, options, error), HeadlessCaptureStatus::Cancelled) << error;
    EXPECT_TRUE(ended);
    EXPECT_GT(saves.load(), 0);
    const int presses = Presses();
    EXPECT_GE(presses, 1);
    EXPECT_LT(presses, int(tiles)) << "the run went on after the cancel";
    EXPECT_NE(log.find(L"Uninitializing VELDAN VR Head."), std::wstring::npos);
    double h = 1, v = 1;
    ASSERT_TRUE(head.Angles(h, v));
    EXPECT_LT(std::min(std::fmod(std::fabs(h), 360.0), 360 - std::fmod(std::fabs(h), 360.0)), 0.1);
    EXPECT_LT(std::fabs(v), 0.1);
    // The run's settings folder is gone.
    EXPECT_EQ(Entries(tmp), 0u);

    // The saved project names a filed picture for some images, none for the
    // images never shot.
    const int named = FiledImages();
    EXPECT_GE(named, 1);
    EXPECT_LE(named, presses);
}

TEST_F(HeadlessCapture, AMissingHeadFailsWithTheReasonAndNeverSaves) {
    DocumentList documents;
    CVELDANpreviewDoc doc(documents);
    std::string error;
    ASSERT_TRUE(doc.OnOpenDocument(file, &error)) << error;
    std::wstring log;
    int saves = 0;
    bool ran = false;
    HeadlessCaptureOptions options;
    options.port = 200;  // no link, no device
    options.captureDirectory = captures;
    options.log = [&](const std::wstring& text) { log += text; };
    options.save = [&] { ++saves; };
    options.beforeRun = [&](CVRHeadControl&) { ran = true; };
    EXPECT_EQ(RunHeadlessCapture(documents, doc, options, error), HeadlessCaptureStatus::HeadFailed);
    EXPECT_FALSE(error.empty());
    EXPECT_NE(log.find(L"ERROR: UNABLE TO INITIALIZE DEVICE"), std::wstring::npos) << veldan::platform::ToUtf8(log);
    EXPECT_FALSE(ran);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(Entries(tmp), 0u);
}

// The camera is still writing the last picture when the run ends: the head
// stays on until the monitor has filed it, so that no picture of the run is
// left behind in the capture folder.
TEST_F(HeadlessCapture, TheLastPictureStillBeingWrittenIsFiledBeforeTheSwitchOff) {
    if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
    PlanRow(40);
    std::wstring log;
    uint32_t tiles = 0;
    EXPECT_EQ(RunWithSlowCamera(1500, 30000, log, tiles), HeadlessCaptureStatus::Done);
    EXPECT_EQ(FiledImages(), int(tiles)) << veldan::platform::ToUtf8(log);
    EXPECT_EQ(Entries(captures), 0u) << "a picture was left in the capture folder";
    EXPECT_EQ(log.find(L"ERROR"), std::wstring::npos) << veldan::platform::ToUtf8(log);
}

// A picture that does not come within the wait is reported, and the head is
// switched off all the same.
TEST_F(HeadlessCapture, APictureThatDoesNotComeInTimeIsReportedAndTheRunEnds) {
    if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
    PlanRow(40);
    std::wstring log;
    uint32_t tiles = 0;
    EXPECT_EQ(RunWithSlowCamera(3000, 0, log, tiles), HeadlessCaptureStatus::Done);
    EXPECT_EQ(FiledImages(), int(tiles) - 1);
    EXPECT_NE(log.find(L"ERROR: 1 picture(s) did not arrive in the capture folder"), std::wstring::npos)
        << veldan::platform::ToUtf8(log);
    EXPECT_NE(log.find(L"Uninitializing VELDAN VR Head."), std::wstring::npos);
}

}  // namespace veldan::test
