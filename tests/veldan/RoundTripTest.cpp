// The round trip's stages on a tiny project (one short row of small
// pictures): every picture the virtual head takes is filed into the project
// by the capture-folder monitor, and the blended preview made from them
// reproduces the scene. A misplaced or missing picture drags the PSNR far
// below the floor.
#include <gtest/gtest.h>

#include <filesystem>

#include "RoundTrip.h"

namespace veldan::test {

namespace {

RoundTripSetup TinySetup() {
    RoundTripSetup s;
    s.com = 61;
    s.focalMm = 50;
    s.portrait = false;
    s.pictureWidth = 300;
    s.pictureHeight = 200;
    s.sceneWidth = 1440;
    s.sceneHeight = 720;
    s.fov[0] = 0;
    s.fov[1] = 90;
    s.fov[2] = -10;
    s.fov[3] = 10;
    s.panoramaWidth = 720;
    s.panoramaHeight = 360;
    return s;
}

}  // namespace

TEST(RoundTrip, EveryPictureIsFiledAndThePreviewReproducesTheScene) {
    if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
    std::filesystem::path home;
    {
        RoundTrip trip(TinySetup());
        home = trip.Home();
        std::string error;
        ASSERT_TRUE(trip.WriteScene(error)) << error;
        ASSERT_TRUE(trip.Plan(error)) << error;
        ASSERT_TRUE(trip.StartHead(error)) << error;
        CaptureFigures capture;
        ASSERT_TRUE(trip.Capture(capture, error)) << error;
        EXPECT_GT(capture.tiles, 1);
        EXPECT_EQ(capture.presses, capture.images);
        EXPECT_EQ(capture.filed, capture.images);
        // The capture folder is left empty: every file was moved, none copied.
        EXPECT_TRUE(std::filesystem::is_empty(home / "capture"));

        StitchFigures preview;
        ASSERT_TRUE(trip.Preview(preview, error)) << error;
        EXPECT_GT(preview.psnr.covered, 0.01);
        EXPECT_GT(preview.psnr.db, 20.0);
        std::printf("tiny round trip: %d tiles, preview PSNR %.2f dB over %.1f %%\n", capture.tiles, preview.psnr.db,
                    100 * preview.psnr.covered);
    }
    // The private home goes with the run.
    EXPECT_FALSE(std::filesystem::exists(home));
}

}  // namespace veldan::test
