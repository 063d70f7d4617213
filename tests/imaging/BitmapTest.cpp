// Tests of Bitmap: row layout, ARGB byte order, refused sizes, ownership,
// wrapping and conversion.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "imaging/Bitmap.h"
#include "imaging/Limits.h"

namespace veldan::test {

using namespace veldan::imaging;

namespace {

TEST(Bitmap, CreateLaysOutRowsOnFourByteBoundaries) {
    auto bgr = Bitmap::Create(5, 3, PixelLayout::kBgr24);
    ASSERT_TRUE(bgr.ok());
    EXPECT_EQ(bgr->Stride(), 16u);  // 15 bytes rounded up
    EXPECT_EQ(bgr->GetArgb(4, 2), 0xFF000000u) << "zero-filled BGR reads as opaque black";
    auto argb = Bitmap::Create(5, 3, PixelLayout::kArgb32);
    ASSERT_TRUE(argb.ok());
    EXPECT_EQ(argb->Stride(), 20u);
    EXPECT_EQ(argb->GetArgb(4, 2), 0u);
}

TEST(Bitmap, ArgbBytesAreBlueGreenRedAlpha) {
    auto b = std::move(Bitmap::Create(1, 1, PixelLayout::kArgb32)).value();
    b.SetArgb(0, 0, 0x80112233);
    const uint8_t* p = b.Row(0);
    EXPECT_EQ(p[0], 0x33);
    EXPECT_EQ(p[1], 0x22);
    EXPECT_EQ(p[2], 0x11);
    EXPECT_EQ(p[3], 0x80);
}

TEST(Bitmap, RefusesZeroAndOversizedDimensionsWithoutAllocating) {
    EXPECT_EQ(Bitmap::Create(0, 10, PixelLayout::kBgr24).code(), ErrorCode::kInvalidArgument);
    EXPECT_EQ(Bitmap::Create(30001, 10, PixelLayout::kBgr24).code(), ErrorCode::kTooLarge);
    EXPECT_EQ(Bitmap::Create(25000, 20000, PixelLayout::kArgb32).code(), ErrorCode::kTooLarge);  // 500 MP
    EXPECT_TRUE(CheckDimensions(20000, 20000).ok());  // exactly 400 MP is allowed
    // The limits are the caller's to change; copies of an existing bitmap
    // are not held to them.
    Limits wide;
    wide.max_side = 50000;
    auto strip = Bitmap::Create(40000, 2, PixelLayout::kBgr24, Bitmap::Fill::kZero, wide);
    ASSERT_TRUE(strip.ok());
    EXPECT_TRUE(strip->Clone().ok());
    EXPECT_TRUE(strip->ConvertTo(PixelLayout::kArgb32).ok());
}

TEST(Bitmap, MoveTransfersOwnershipAndCloneIsDeep) {
    Bitmap a = Gradient(8, 4, PixelLayout::kBgr24);
    const uint8_t* pixels = a.Data();
    Bitmap b = std::move(a);
    EXPECT_TRUE(a.Empty());
    EXPECT_EQ(b.Data(), pixels);
    auto c = b.Clone();
    ASSERT_TRUE(c.ok());
    EXPECT_NE(c->Data(), b.Data());
    EXPECT_EQ(MaxDifference(*c, b), 0);
    c->SetArgb(0, 0, 0xFFFFFFFF);
    EXPECT_NE(b.GetArgb(0, 0), 0xFFFFFFFFu);
}

TEST(Bitmap, WrapRefersToCallerMemory) {
    std::vector<uint8_t> memory(2 * 10, 0);
    auto w = Bitmap::Wrap(memory.data(), 2, 2, 10, PixelLayout::kArgb32);
    ASSERT_TRUE(w.ok());
    EXPECT_FALSE(w->OwnsPixels());
    w->SetArgb(1, 1, 0x01020304);
    EXPECT_EQ(memory[10 + 4], 0x04);
    EXPECT_EQ(Bitmap::Wrap(memory.data(), 3, 2, 10, PixelLayout::kArgb32).code(), ErrorCode::kInvalidArgument);
}

TEST(Bitmap, ConvertBetweenLayouts) {
    Bitmap argb = Gradient(7, 5, PixelLayout::kArgb32, true);
    auto bgr = argb.ConvertTo(PixelLayout::kBgr24);
    ASSERT_TRUE(bgr.ok());
    EXPECT_EQ(MaxDifference(argb, *bgr), 0);
    auto back = bgr->ConvertTo(PixelLayout::kArgb32);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back->GetArgb(3, 3) >> 24, 255u);
}

}  // namespace
}  // namespace veldan::test
