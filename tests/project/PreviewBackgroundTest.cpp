// Background warping on the realtime queue: queued warps report back by the
// image's notification, run next to the user-interface thread's composition,
// and never outlive the images they work on.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "PreviewTestSupport.h"
#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "platform/Window.h"

namespace veldan::test {

namespace {

constexpr veldan::platform::UINT kTileChanged = 0x0402;

class BackgroundWarp : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitGlobalThreadPool(); }

    // Eight tiles around the horizon, each its own colour.
    void Fill(VELDANPanoramaProject& p, veldan::platform::HWND window) {
        for (int k = 0; k < 8; ++k) {
            const uint32_t colour = 0xFF000000u | uint32_t(30 * k) << 16 | uint32_t(255 - 30 * k);
            VELDANPanoramaTile* tile = AddTile(p, 22.5 + 45 * k, 0, 50, 40, Solid(100, 80, colour),
                                               home.Dir() / ("t" + std::to_string(k) + ".png"));
            VELDANPanoramaImage* image = ImageOf(tile);
            image->notify_window = window;
            image->notify_message = kTileChanged;
            image->notify_wparam = veldan::platform::WPARAM(k);
        }
    }
    TempHome home;
};

bool AllWarped(VELDANPanoramaProject& p, uint32_t W, uint32_t H) {
    for (uint32_t k = 0; k < p.TileCount(); ++k) {
        VELDANPanoramaTile* tile = p.Tile(k);
        int32_t l, t;
        uint32_t w, h;
        if (!VELDANPanoramaStitcher::GetDrawingRect(&p, tile, W, H, l, t, w, h)) return false;
        VELDANPanoramaWarpedImage& warped = ImageOf(tile)->warped;
        if (!warped.lock.EnterReadAccess()) return false;
        const bool ok = warped.bitmap && B(warped.bitmap).Width() == w && B(warped.bitmap).Height() == h;
        warped.lock.LeaveReadAccess();
        if (!ok) return false;
    }
    return true;
}

}  // namespace

// The view's way: ask in the background, recompose a tile's region when its
// notification arrives, until every tile is in the blended picture.
TEST_F(BackgroundWarp, QueuedWarpsArriveAndComposeLikeSynchronousOnes) {
    veldan::platform::MessageQueueWindow window;
    VELDANPanoramaProject project;
    Fill(project, window.Handle());
    VELDANPanoramaStitcher stitcher;
    stitcher.project = &project;
    const uint32_t W = 720, H = 361;
    const uint32_t flags = PREVIEW_BACKGROUND | PREVIEW_BLEND;
    ASSERT_NE(stitcher.GetImage(W, H, flags, 0, 0, 0, 0, 0), nullptr);
    const bool done = Await(
        [&] {
            veldan::platform::Message m;
            while (window.GetMessage(m, 0)) {
                VELDANPanoramaTile* tile = project.Tile(uint32_t(m.wParam));
                int32_t l, t;
                uint32_t w, h;
                if (tile && VELDANPanoramaStitcher::GetDrawingRect(&project, tile, W, H, l, t, w, h))
                    stitcher.GetImage(W, H, flags | PREVIEW_REFRESH, 0, uint32_t(std::max(l, 0)),
                                      uint32_t(std::max(t, 0)), w, h);
            }
            return AllWarped(project, W, H);
        },
        std::chrono::seconds(30));
    ASSERT_TRUE(done);
    void* background = stitcher.GetImage(W, H, PREVIEW_BLEND | PREVIEW_REFRESH | PREVIEW_BACKGROUND, 0, 0, 0, 0, 0);
    ASSERT_NE(background, nullptr);
    // The same pictures warped synchronously give the same composite.
    VELDANPanoramaProject twin;
    Fill(twin, nullptr);
    for (uint32_t k = 0; k < twin.TileCount(); ++k) PrepareThumb(twin, twin.Tile(k), W, H);
    VELDANPanoramaStitcher sync;
    sync.project = &twin;
    void* reference = sync.GetImage(W, H, PREVIEW_BLEND, 0, 0, 0, 0, 0);
    ASSERT_NE(reference, nullptr);
    uint32_t differing = 0;
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) differing += B(background).GetArgb(x, y) != B(reference).GetArgb(x, y);
    EXPECT_EQ(differing, 0u);
}

// Warps of one image from several threads at once (the user-interface
// thread, queued jobs, a thread clearing it) end, and leave a sound picture.
TEST_F(BackgroundWarp, ConcurrentWarpsOfOneImageNeitherDeadlockNorTear) {
    VELDANPanoramaProject project;
    Fill(project, nullptr);
    for (uint32_t k = 0; k < project.TileCount(); ++k) PrepareThumb(project, project.Tile(k), 360, 181);
    VELDANPanoramaTile* tile = project.Tile(3);
    VELDANPanoramaImage* image = ImageOf(tile);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int n = 0; n < 3; ++n)
        threads.emplace_back([&, n] {
            for (int i = 0; i < 40 && !stop; ++i) {
                const uint32_t flags = (n == 0 ? PREVIEW_BACKGROUND : 0) | (i % 2 ? PREVIEW_REFRESH : 0);
                EXPECT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, image, 360, 181, flags), VELDAN_IMAGE_OK);
            }
        });
    threads.emplace_back([&] {
        for (int i = 0; i < 40; ++i) image->warped.Clear();
    });
    VELDANPanoramaStitcher stitcher;
    stitcher.project = &project;
    for (int i = 0; i < 10; ++i) stitcher.GetImage(360, 181, PREVIEW_BLEND | PREVIEW_REFRESH, 0, 0, 0, 0, 0);
    for (std::thread& t : threads) t.join();
    stop = true;
    ASSERT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, image, 360, 181, PREVIEW_REFRESH), VELDAN_IMAGE_OK);
    ASSERT_TRUE(image->warped.lock.EnterReadAccess());
    ASSERT_NE(image->warped.bitmap, nullptr);
    EXPECT_EQ(image->warped.weights.length,
              size_t(B(image->warped.bitmap).Width()) * B(image->warped.bitmap).Height() * 2);
    image->warped.lock.LeaveReadAccess();
}

// Projects destroyed while their warps are queued or running: the jobs are
// dropped or waited for, never run on freed images.
TEST_F(BackgroundWarp, ProjectsDestroyedWithWarpsPending) {
    for (int round = 0; round < 20; ++round) {
        auto project = std::make_unique<VELDANPanoramaProject>();
        Fill(*project, nullptr);
        for (uint32_t k = 0; k < project->TileCount(); ++k) {
            VELDANPanoramaTile* tile = project->Tile(k);
            if (round % 2) PrepareThumb(*project, tile, 720, 361);
            EXPECT_EQ(
                VELDANPanoramaStitcher::WarpImage(project.get(), tile, ImageOf(tile), 720, 361, PREVIEW_BACKGROUND),
                VELDAN_IMAGE_OK);
        }
        if (round % 4 == 1) {
            // Let some of them start first.
            VELDANPanoramaImage* last = ImageOf(project->Tile(project->TileCount() - 1));
            Await([&] {
                if (!last->warped.lock.EnterReadAccess()) return true;
                const bool warped = last->warped.bitmap != nullptr;
                last->warped.lock.LeaveReadAccess();
                return warped;
            });
        }
        project.reset();
    }
}

}  // namespace veldan::test
