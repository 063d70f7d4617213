// A capture in the main window on the offscreen platform against the
// virtual head, as make run sets it up: the project named on the command
// line is the one the head pane shoots, On and Start are pressed with the
// pane's buttons, the pause holds the run at its next tile, and every
// picture the virtual camera writes is filed into the project.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include "MainFrame.h"
#include "PreviewApp.h"
#include "PreviewChild.h"
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "VRHeadPane.h"
#include "VirtualHead.h"
#include "platform/Text.h"
#include "preview/view/DisplayMode.h"

namespace veldan::test {

using namespace veldan::preview;
namespace fs = std::filesystem;

namespace {

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("previewcapture_tests"));

struct Progress {
    uint32_t images = 0, filed = 0, marked = 0;
};

Progress Count(VELDANPanoramaProject& project) {
    Progress p;
    for (uint32_t t = 0; t < project.TileCount(); ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (std::atomic_ref<uint32_t>(tile->display_flags).load() & kTileBeingShot) ++p.marked;
        for (uint32_t b = 0; b < tile->bracketings.GetItemCount(); ++b)
            for (uint32_t i = 0; i < tile->Bracketing(b)->GetImageCnt(); ++i) {
                ++p.images;
                const wchar_t* name = tile->Bracketing(b)->GetImage(i)->GetFilename();
                if (name && *name) ++p.filed;
            }
    }
    return p;
}

class CaptureWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
        docs = home.Root() / "Documents";
        capture = home.Root() / "capture";
        fs::create_directories(docs / "VELDANmodular");
        fs::create_directories(capture);
        fs::create_directories(home.Root() / "config" / "VELDANpreview");
        // As make run writes them: the device configuration for the virtual
        // head and the profile's capture folder.
        WriteText(docs / "VELDANmodular" / "settings.cfg",
                  "port = 63\nedition = \"vrhead\"\npreshot_time = 0.1\nexposure_time = 0.05\n"
                  "recover_time = 0.2\n");
        WriteText(home.Root() / "config" / "VELDANpreview" / "VELDANpreview.conf",
                  "[Settings]\nCAPTURE_DIRECTORY=" + capture.string() + "\n");
        std::string error;
        ASSERT_TRUE(head.Start(63, docs,
                               {"--capture-dir", capture.string(), "--focal", "24", "--sensor", "36x24",
                                "--orientation", "portrait", "--resolution", "600x400", "--time-scale", "10"},
                               error))
            << error;
    }
    void TearDown() override { head.Stop(); }

    // A band around the horizon for the virtual camera's lens: a few tiles.
    fs::path PlanProject() {
        VELDANPanoramaProject project;
        project.lens.focal_length = 24;
        project.sensor.dimension_x = 36;
        project.sensor.dimension_y = 24;
        project.camera.orientation = 0;
        project.options.overlap = 0.25;
        project.fov.begin_theta = 0;
        project.fov.end_theta = 120;
        project.fov.begin_phi = -20;
        project.fov.end_phi = 20;
        EXPECT_GT(project.ComputeTiles(false), 1u);
        project.ComputePath(0);
        const fs::path file = docs / "band.vpp";
        EXPECT_TRUE(project.SaveToFile(veldan::platform::PathToWide(file).c_str()));
        return file;
    }

    TempHome home;
    VirtualHead head;
    fs::path docs, capture;
};

}  // namespace

TEST_F(CaptureWindowTest, ProjectNamedOnTheCommandLineIsShotFromThePane) {
    const fs::path file = PlanProject();
    CVELDANpreviewApp app;
    // Opened before the window shows, as the program does with its argument.
    ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview"), QString::fromStdString(file.string())}, false));
    CMainFrame* frame = app.MainFrame();
    CChildFrame* child = frame->ActiveChild();
    ASSERT_NE(child, nullptr);
    CVRHeadControlWidget* d = static_cast<CVRHeadPane*>(frame->HeadPane())->Dialog();
    EXPECT_EQ(d->BoundView(), child->View());
    frame->show();
    VELDANPanoramaProject& project = child->Document().Project();
    const uint32_t images = Count(project).images;
    ASSERT_GT(images, 1u);

    ASSERT_TRUE(AwaitGui([&] { return d->OnOffButton()->isEnabled(); }));
    QTest::mouseClick(d->OnOffButton(), Qt::LeftButton);
    ASSERT_TRUE(AwaitGui([&] { return d->Control().State() == HeadState::Ready && d->StartButton()->isEnabled(); }));
    EXPECT_FALSE(d->BreakButton()->isEnabled());
    EXPECT_FALSE(d->StopButton()->isEnabled());

    QTest::mouseClick(d->StartButton(), Qt::LeftButton);
    EXPECT_EQ(d->Control().State(), HeadState::Capturing);
    EXPECT_FALSE(d->StartButton()->isEnabled());
    EXPECT_TRUE(d->BreakButton()->isEnabled());
    ASSERT_TRUE(AwaitGui([&] { return Count(project).filed >= 1 && Count(project).marked == 1; }));

    // Paused: the run holds at its next tile, which stays marked, and Start
    // (not Break) goes on.
    QTest::mouseClick(d->BreakButton(), Qt::LeftButton);
    EXPECT_EQ(d->Control().State(), HeadState::Paused);
    EXPECT_TRUE(d->StartButton()->isEnabled());
    EXPECT_FALSE(d->BreakButton()->isEnabled());
    EXPECT_TRUE(d->StopButton()->isEnabled());
    ASSERT_TRUE(AwaitGui([&] { return d->Control().Queue().Empty() && Count(project).marked == 1; }));
    const uint32_t filedWhilePaused = Count(project).filed;
    EXPECT_LT(filedWhilePaused, images);

    QTest::mouseClick(d->StartButton(), Qt::LeftButton);
    ASSERT_TRUE(AwaitGui(
        [&] {
            const Progress p = Count(project);
            return d->Control().State() == HeadState::Ready && d->Control().Queue().Empty() && p.filed == images &&
                   p.marked == 0;
        },
        120000));
    // Every picture left the capture folder for the project's folder.
    size_t inCapture = 0;
    for (const auto& e : fs::directory_iterator(capture)) inCapture += e.is_regular_file();
    EXPECT_EQ(inCapture, 0u);
    for (uint32_t t = 0; t < project.TileCount(); ++t) {
        const wchar_t* name = project.Tile(t)->Bracketing(0)->GetImage(0)->GetFilename();
        ASSERT_NE(name, nullptr);
        const fs::path picture = veldan::platform::PathFromWide(name);
        EXPECT_EQ(picture.parent_path(), docs);
        EXPECT_TRUE(fs::is_regular_file(picture)) << picture;
    }

    ASSERT_TRUE(AwaitGui([&] { return d->OnOffButton()->isEnabled(); }));
    QTest::mouseClick(d->OnOffButton(), Qt::LeftButton);
    ASSERT_TRUE(AwaitGui([&] { return d->Control().State() == HeadState::Off; }));
}

}  // namespace veldan::test
