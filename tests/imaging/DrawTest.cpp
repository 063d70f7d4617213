// Tests of drawing (source-over blending, clipping, layout conversion) and of
// quarter turns and EXIF orientations.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "imaging/Draw.h"
#include "imaging/Rotate.h"

namespace veldan::test {

using namespace veldan::imaging;

namespace {

TEST(Draw, SourceOverMath) {
    // Half-transparent black over opaque white: mid grey, opaque.
    EXPECT_EQ(BlendOver(0xFFFFFFFF, MakeArgb(128, 0, 0, 0)), MakeArgb(255, 127, 127, 127));
    // Anything over a fully transparent target is the source itself.
    EXPECT_EQ(BlendOver(0x00000000, MakeArgb(128, 255, 10, 0)), MakeArgb(128, 255, 10, 0));
    EXPECT_EQ(BlendOver(0x12345678, MakeArgb(0, 255, 255, 255)), 0x12345678u);
    EXPECT_EQ(BlendOver(0x12345678, 0xFF00FF00), 0xFF00FF00u);
    // Two half-transparent layers: alpha 1 - (1-a)(1-b) = 0.75.
    uint32_t out = BlendOver(MakeArgb(128, 0, 0, 255), MakeArgb(128, 255, 0, 0));
    EXPECT_NEAR(int(out >> 24), 191, 1);
    EXPECT_NEAR(int((out >> 16) & 255), 170, 1);  // red weight 0.5 / 0.75
    EXPECT_NEAR(int(out & 255), 85, 1);
}

TEST(Draw, DrawOverBlendsIntoBothTargetLayouts) {
    auto src = std::move(Bitmap::Create(2, 1, PixelLayout::kArgb32)).value();
    src.SetArgb(0, 0, MakeArgb(0, 255, 255, 255));  // transparent: no change
    src.SetArgb(1, 0, MakeArgb(64, 255, 0, 0));
    for (PixelLayout layout : {PixelLayout::kBgr24, PixelLayout::kArgb32}) {
        auto dst = std::move(Bitmap::Create(3, 1, layout)).value();
        dst.FillWith(MakeArgb(255, 0, 0, 200));
        DrawOver(dst, src, 1, 0);
        EXPECT_EQ(dst.GetArgb(0, 0), MakeArgb(255, 0, 0, 200));
        EXPECT_EQ(dst.GetArgb(1, 0), MakeArgb(255, 0, 0, 200));
        EXPECT_EQ(dst.GetArgb(2, 0), MakeArgb(255, 64, 0, 150)) << std::hex << dst.GetArgb(2, 0);
    }
}

TEST(Draw, OffsetsAreClippedOnEverySide) {
    Bitmap src = std::move(Bitmap::Create(4, 4, PixelLayout::kArgb32)).value();
    src.FillWith(0xFFFF0000);
    auto count_red = [](const Bitmap& b) {
        int n = 0;
        for (uint32_t y = 0; y < b.Height(); ++y)
            for (uint32_t x = 0; x < b.Width(); ++x) n += b.GetArgb(x, y) == 0xFFFF0000;
        return n;
    };
    for (auto [x, y, expected] : {std::tuple{-2, -2, 4}, std::tuple{3, 3, 1}, std::tuple{-3, 1, 3}, std::tuple{4, 0, 0},
                                  std::tuple{0, -4, 0}, std::tuple{1, 1, 9}}) {
        auto dst = std::move(Bitmap::Create(4, 4, PixelLayout::kBgr24)).value();
        DrawOver(dst, src, x, y);
        EXPECT_EQ(count_red(dst), expected) << x << "," << y;
    }
    auto dst = std::move(Bitmap::Create(4, 4, PixelLayout::kBgr24)).value();
    DrawOver(dst, src, INT64_MIN / 2, INT64_MAX / 2);  // far away: nothing, no overflow
    EXPECT_EQ(count_red(dst), 0);
    DrawOver(dst, Bitmap{}, 0, 0);
    Bitmap empty;
    DrawOver(empty, src, 0, 0);
}

TEST(Draw, CopyIntoConvertsLayouts) {
    Bitmap src = Gradient(5, 5, PixelLayout::kArgb32, true);
    auto dst = std::move(Bitmap::Create(5, 5, PixelLayout::kBgr24)).value();
    CopyInto(dst, src, 0, 0);
    EXPECT_EQ(MaxDifference(src, dst), 0);
    auto argb = std::move(Bitmap::Create(5, 5, PixelLayout::kArgb32)).value();
    CopyInto(argb, dst, 1, 1);
    EXPECT_EQ(argb.GetArgb(0, 0), 0u);
    EXPECT_EQ(argb.GetArgb(1, 1), dst.GetArgb(0, 0));
}

// Each pixel holds its own coordinates, so every mapping can be checked.
Bitmap Numbered(uint32_t w, uint32_t h, PixelLayout layout) {
    Bitmap b = std::move(Bitmap::Create(w, h, layout)).value();
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) b.SetArgb(x, y, MakeArgb(255, uint8_t(x), uint8_t(y), 7));
    return b;
}
std::pair<uint32_t, uint32_t> Origin(const Bitmap& b, uint32_t x, uint32_t y) {
    uint32_t v = b.GetArgb(x, y);
    return {(v >> 16) & 255, (v >> 8) & 255};
}

TEST(Rotate, QuarterTurnsMoveEveryCorner) {
    for (PixelLayout layout : {PixelLayout::kBgr24, PixelLayout::kArgb32}) {
        Bitmap src = Numbered(3, 2, layout);
        auto cw = Rotate(src, QuarterTurns::k90);
        ASSERT_TRUE(cw.ok());
        EXPECT_EQ(cw->Width(), 2u);
        EXPECT_EQ(cw->Height(), 3u);
        EXPECT_EQ(Origin(*cw, 1, 0), std::pair(0u, 0u)) << "top-left goes to top-right";
        EXPECT_EQ(Origin(*cw, 0, 0), std::pair(0u, 1u));
        EXPECT_EQ(Origin(*cw, 0, 2), std::pair(2u, 1u));
        auto half = Rotate(src, QuarterTurns::k180);
        ASSERT_TRUE(half.ok());
        EXPECT_EQ(Origin(*half, 0, 0), std::pair(2u, 1u));
        auto ccw = Rotate(src, QuarterTurns::k270);
        ASSERT_TRUE(ccw.ok());
        EXPECT_EQ(Origin(*ccw, 0, 2), std::pair(0u, 0u)) << "top-left goes to bottom-left";
        EXPECT_EQ(Origin(*ccw, 0, 0), std::pair(2u, 0u));
        // Four quarter turns give the original back.
        Bitmap cur = src.Clone().value();
        for (int i = 0; i < 4; ++i) cur = std::move(Rotate(cur, QuarterTurns::k90)).value();
        EXPECT_EQ(MaxDifference(cur, src, true), 0);
    }
    EXPECT_EQ(Rotate(Bitmap{}, QuarterTurns::k90).code(), ErrorCode::kInvalidArgument);
}

TEST(Rotate, ExifOrientationsShowThePictureUpright) {
    // A 3 x 2 picture stored with each orientation; displayed upright, the
    // stored pixel (0, 0) must land where that orientation says.
    Bitmap src = Numbered(3, 2, PixelLayout::kBgr24);
    struct Case {
        uint16_t orientation;
        uint32_t w, h, x, y;
    };
    for (Case c : {Case{1, 3, 2, 0, 0}, Case{2, 3, 2, 2, 0}, Case{3, 3, 2, 2, 1}, Case{4, 3, 2, 0, 1},
                   Case{5, 2, 3, 0, 0}, Case{6, 2, 3, 1, 0}, Case{7, 2, 3, 1, 2}, Case{8, 2, 3, 0, 2}}) {
        auto out = ApplyExifOrientation(src, c.orientation);
        ASSERT_TRUE(out.ok());
        EXPECT_EQ(out->Width(), c.w) << c.orientation;
        EXPECT_EQ(out->Height(), c.h) << c.orientation;
        EXPECT_EQ(Origin(*out, c.x, c.y), std::pair(0u, 0u)) << "orientation " << c.orientation;
    }
}

}  // namespace
}  // namespace veldan::test
