// Tests of the box scaler: exact averages, no aliasing, transparency, fitting
// and thumbnails from files.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "imaging/Jpeg.h"
#include "imaging/Scale.h"

namespace veldan::test {

using namespace veldan::imaging;

namespace {

Bitmap FromValues(uint32_t w, uint32_t h, const std::vector<uint8_t>& grey) {
    Bitmap b = std::move(Bitmap::Create(w, h, PixelLayout::kBgr24)).value();
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t v = grey[y * w + x];
            b.SetArgb(x, y, MakeArgb(255, v, v, v));
        }
    return b;
}

uint32_t Grey(const Bitmap& b, uint32_t x, uint32_t y) { return b.GetArgb(x, y) & 255; }

TEST(Scale, HalvingAveragesEachTwoByTwoBlock) {
    Bitmap src = FromValues(4, 4,
                            {0, 4, 100, 100,   //
                             8, 12, 100, 100,  //
                             255, 255, 1, 2,   //
                             255, 255, 3, 4});
    auto out = ResizeArea(src, 2, 2);
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(Grey(*out, 0, 0), 6u);
    EXPECT_EQ(Grey(*out, 1, 0), 100u);
    EXPECT_EQ(Grey(*out, 0, 1), 255u);
    EXPECT_EQ(Grey(*out, 1, 1), 3u);  // 2.5 rounds up
}

TEST(Scale, FractionalCoverageIsWeightedExactly) {
    // Three pixels into two: each output covers one and a half inputs.
    Bitmap src = FromValues(3, 1, {30, 90, 240});
    auto out = ResizeArea(src, 2, 1);
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(Grey(*out, 0, 0), 50u);   // (2*30 + 90) / 3
    EXPECT_EQ(Grey(*out, 1, 0), 190u);  // (90 + 2*240) / 3
}

TEST(Scale, CheckerboardBecomesEvenGreyWithoutAliasing) {
    std::vector<uint8_t> v(64 * 64);
    for (uint32_t i = 0; i < v.size(); ++i) v[i] = ((i % 64) + (i / 64)) % 2 ? 255 : 0;
    auto out = ResizeArea(FromValues(64, 64, v), 7, 5);  // factors that are not integers
    ASSERT_TRUE(out.ok());
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 7; ++x) EXPECT_NEAR(int(Grey(*out, x, y)), 128, 3) << x << "," << y;
}

TEST(Scale, UniformColourStaysExactAtAnySize) {
    for (PixelLayout layout : {PixelLayout::kBgr24, PixelLayout::kArgb32}) {
        auto src = std::move(Bitmap::Create(997, 611, layout)).value();
        src.FillWith(MakeArgb(255, 17, 133, 250));
        for (auto [w, h] : {std::pair{123u, 77u}, std::pair{1u, 1u}, std::pair{996u, 610u}, std::pair{2000u, 3u}}) {
            auto out = ResizeArea(src, w, h);
            ASSERT_TRUE(out.ok());
            EXPECT_EQ(out->Layout(), layout);
            EXPECT_EQ(out->GetArgb(0, 0), MakeArgb(255, 17, 133, 250));
            EXPECT_EQ(out->GetArgb(w - 1, h - 1), MakeArgb(255, 17, 133, 250));
        }
    }
}

TEST(Scale, TransparentPixelsLendNoColour) {
    auto src = std::move(Bitmap::Create(2, 1, PixelLayout::kArgb32)).value();
    src.SetArgb(0, 0, MakeArgb(255, 255, 0, 0));
    src.SetArgb(1, 0, MakeArgb(0, 0, 255, 0));  // invisible green
    auto out = ResizeArea(src, 1, 1);
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out->GetArgb(0, 0), MakeArgb(128, 255, 0, 0));
    auto clear = std::move(Bitmap::Create(3, 3, PixelLayout::kArgb32)).value();
    auto clear_out = ResizeArea(clear, 1, 1);
    ASSERT_TRUE(clear_out.ok());
    EXPECT_EQ(clear_out->GetArgb(0, 0), 0u);
}

TEST(Scale, BadArguments) {
    EXPECT_EQ(ResizeArea(Bitmap{}, 2, 2).code(), ErrorCode::kInvalidArgument);
    Bitmap b = Gradient(4, 4, PixelLayout::kBgr24);
    EXPECT_EQ(ResizeArea(b, 0, 2).code(), ErrorCode::kInvalidArgument);
    EXPECT_EQ(ResizeArea(b, 40000, 2).code(), ErrorCode::kTooLarge);
}

TEST(Scale, FitWithinKeepsTheAspectAndNeverEnlarges) {
    Size s = FitWithin(6000, 4000, 400, 400);
    EXPECT_EQ(s.width, 400u);
    EXPECT_EQ(s.height, 267u);
    s = FitWithin(4000, 6000, 400, 400);
    EXPECT_EQ(s.width, 267u);
    EXPECT_EQ(s.height, 400u);
    s = FitWithin(300, 200, 1000, 1000);
    EXPECT_EQ(s.width, 300u);
    EXPECT_EQ(s.height, 200u);
    s = FitWithin(10000, 1, 100, 100);
    EXPECT_EQ(s.width, 100u);
    EXPECT_EQ(s.height, 1u);
}

TEST(Scale, ThumbnailFromAFileUsesDctScalingAndGivesTheExactSize) {
    TempDir dir;
    ASSERT_TRUE(SaveJpeg(Gradient(800, 600, PixelLayout::kBgr24), dir / "p.jpg").ok());
    auto t = MakeThumbnailFromFile(dir / "p.jpg", 90, 67);
    ASSERT_TRUE(t.ok()) << t.error().message;
    EXPECT_EQ(t->Width(), 90u);
    EXPECT_EQ(t->Height(), 67u);
    EXPECT_GT((t->GetArgb(85, 30) >> 16) & 255, (t->GetArgb(4, 30) >> 16) & 255);
    EXPECT_EQ(MakeThumbnailFromFile(dir / "none.jpg", 9, 9).code(), ErrorCode::kIoError);
}

}  // namespace
}  // namespace veldan::test
