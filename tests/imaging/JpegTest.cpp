// Tests of the JPEG decoder and encoder: round trips, DCT scaling, header
// info, EXIF orientation, damaged files.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "imaging/Jpeg.h"

namespace veldan::test {

using namespace veldan::imaging;

namespace {

JpegEncodeOptions Quality(int q) {
    JpegEncodeOptions o;
    o.quality = q;
    return o;
}
DecodeOptions WithLayout(PixelLayout layout) {
    DecodeOptions o;
    o.layout = layout;
    return o;
}
DecodeOptions Wanting(uint32_t w, uint32_t h) {
    DecodeOptions o;
    o.want_width = w;
    o.want_height = h;
    return o;
}

std::vector<uint8_t> EncodedGradient(uint32_t w, uint32_t h, int quality = 90) {
    auto data = EncodeJpeg(Gradient(w, h, PixelLayout::kBgr24), Quality(quality));
    EXPECT_TRUE(data.ok()) << data.error().message;
    return data.ok() ? *data : std::vector<uint8_t>{};
}

// Offset of the frame header's height field (SOF0 marker + 5).
size_t SofSizeOffset(const std::vector<uint8_t>& jpeg) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) return i + 5;
    ADD_FAILURE() << "no SOF0";
    return 0;
}

// An APP1 "Exif" segment with an IFD0 holding only the orientation tag.
std::vector<uint8_t> ExifSegment(uint16_t orientation, bool big_endian) {
    std::vector<uint8_t> tiff;
    auto u16 = [&](uint16_t v) {
        if (big_endian) {
            tiff.push_back(uint8_t(v >> 8));
            tiff.push_back(uint8_t(v));
        } else {
            tiff.push_back(uint8_t(v));
            tiff.push_back(uint8_t(v >> 8));
        }
    };
    auto u32 = [&](uint32_t v) {
        if (big_endian) {
            u16(uint16_t(v >> 16));
            u16(uint16_t(v));
        } else {
            u16(uint16_t(v));
            u16(uint16_t(v >> 16));
        }
    };
    tiff.push_back(big_endian ? 'M' : 'I');
    tiff.push_back(big_endian ? 'M' : 'I');
    u16(42);
    u32(8);
    u16(1);  // one entry
    u16(274);
    u16(3);
    u32(1);
    u16(orientation);
    u16(0);
    u32(0);
    std::vector<uint8_t> seg = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    seg.insert(seg.end(), tiff.begin(), tiff.end());
    size_t len = seg.size() - 2;
    seg[2] = uint8_t(len >> 8);
    seg[3] = uint8_t(len);
    return seg;
}

TEST(Jpeg, RoundTripInBothLayouts) {
    for (PixelLayout layout : {PixelLayout::kBgr24, PixelLayout::kArgb32}) {
        Bitmap original = Gradient(67, 41, layout);
        auto data = EncodeJpeg(original, Quality(95));
        ASSERT_TRUE(data.ok()) << data.error().message;
        auto decoded = DecodeJpeg(*data, WithLayout(layout));
        ASSERT_TRUE(decoded.ok()) << decoded.error().message;
        EXPECT_EQ(decoded->Layout(), layout);
        EXPECT_LE(MaxDifference(original, *decoded), 12);
        if (layout == PixelLayout::kArgb32) {
            EXPECT_EQ(decoded->GetArgb(10, 10) >> 24, 255u);
        }
    }
}

TEST(Jpeg, SaveWritesAFileThatDecodes) {
    TempDir dir;
    Bitmap original = Gradient(32, 16, PixelLayout::kBgr24);
    ASSERT_TRUE(SaveJpeg(original, dir / "out.jpg").ok());
    auto decoded = DecodeJpegFile(dir / "out.jpg");
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    EXPECT_EQ(decoded->Width(), 32u);
    // Only the target is left in the folder: no temporary files.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_EQ(SaveJpeg(original, dir / "missing-folder" / "out.jpg").code(), ErrorCode::kIoError);
    EXPECT_EQ(EncodeJpeg(Bitmap{}).code(), ErrorCode::kInvalidArgument);
}

TEST(Jpeg, ScaleIsTheSmallestNotBelowTheWantedSize) {
    EXPECT_EQ(ChooseJpegScale(6000, 4000, 0, 0), 8u);
    EXPECT_EQ(ChooseJpegScale(6000, 4000, 400, 267), 1u);  // 750 x 500
    EXPECT_EQ(ChooseJpegScale(6000, 4000, 750, 500), 1u);  // exactly 1/8
    EXPECT_EQ(ChooseJpegScale(6000, 4000, 751, 0), 2u);    // 1500 x 1000
    EXPECT_EQ(ChooseJpegScale(6000, 4000, 0, 1600), 4u);   // 3/8 gives 1500 high
    EXPECT_EQ(ChooseJpegScale(6000, 4000, 1200, 800), 2u);
    EXPECT_EQ(ChooseJpegScale(6000, 4000, 5000, 100), 7u);   // 5250 wide
    EXPECT_EQ(ChooseJpegScale(6000, 4000, 9000, 9000), 8u);  // never above full size
    EXPECT_EQ(ChooseJpegScale(1001, 9, 126, 0), 1u);         // ceil(1001/8) = 126
    EXPECT_EQ(ChooseJpegScale(1001, 9, 127, 0), 2u);
}

TEST(Jpeg, ScaledDecodeHasTheChosenSize) {
    auto data = EncodedGradient(800, 600);
    auto small = DecodeJpeg(data, Wanting(100, 75));
    ASSERT_TRUE(small.ok());
    EXPECT_EQ(small->Width(), 100u);
    EXPECT_EQ(small->Height(), 75u);
    auto mid = DecodeJpeg(data, Wanting(101, 0));
    ASSERT_TRUE(mid.ok());
    EXPECT_EQ(mid->Width(), 200u);
    EXPECT_EQ(mid->Height(), 150u);
    // The scaled picture still shows the gradient: red grows to the right.
    EXPECT_LT((small->GetArgb(5, 40) >> 16) & 255, (small->GetArgb(95, 40) >> 16) & 255);
}

TEST(Jpeg, HeaderInfoNeedsOnlyTheHeaders) {
    auto data = EncodedGradient(321, 123);
    auto info = ReadJpegInfo(data);
    ASSERT_TRUE(info.ok()) << info.error().message;
    EXPECT_EQ(info->width, 321u);
    EXPECT_EQ(info->height, 123u);
    EXPECT_EQ(info->format, Format::kJpeg);
    EXPECT_EQ(info->orientation, 1);
    // Cut right after the frame header: the size is still there, the
    // pixels are not.
    std::vector<uint8_t> cut(data.begin(), data.begin() + SofSizeOffset(data) + 4);
    TempDir dir;
    WriteBytes(dir / "cut.jpg", cut);
    auto cut_info = ReadJpegInfoFile(dir / "cut.jpg");
    ASSERT_TRUE(cut_info.ok()) << cut_info.error().message;
    EXPECT_EQ(cut_info->width, 321u);
    EXPECT_EQ(DecodeJpegFile(dir / "cut.jpg").code(), ErrorCode::kCorrupt);
    EXPECT_EQ(ReadJpegInfoFile(dir / "nothing.jpg").code(), ErrorCode::kIoError);
}

TEST(Jpeg, ExifOrientationInBothByteOrders) {
    auto data = EncodedGradient(40, 20);
    for (bool big : {false, true}) {
        for (uint16_t o : {uint16_t(6), uint16_t(8), uint16_t(3), uint16_t(9)}) {
            auto seg = ExifSegment(o, big);
            std::vector<uint8_t> with(data.begin(), data.begin() + 2);
            with.insert(with.end(), seg.begin(), seg.end());
            with.insert(with.end(), data.begin() + 2, data.end());
            auto info = ReadJpegInfo(with);
            ASSERT_TRUE(info.ok());
            EXPECT_EQ(info->orientation, o <= 8 ? o : 1) << "orientation " << o << " big-endian " << big;
            // The pixels are not turned by the decoder.
            auto decoded = DecodeJpeg(with);
            ASSERT_TRUE(decoded.ok());
            EXPECT_EQ(decoded->Width(), 40u);
        }
    }
}

TEST(Jpeg, TruncatedAndDamagedDataGiveErrors) {
    auto data = EncodedGradient(256, 256, 80);
    for (size_t keep : {size_t(0), size_t(1), size_t(3), size_t(100), data.size() / 2, data.size() - 200,
                        data.size() - 40, data.size() - 12}) {
        std::vector<uint8_t> cut(data.begin(), data.begin() + keep);
        auto r = DecodeJpeg(cut);
        EXPECT_FALSE(r.ok()) << "kept " << keep << " bytes";
    }
    // Random damage in the entropy-coded data must never crash; in the
    // marker segments it must give an error.
    uint32_t seed = 12345;
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> bad = data;
        for (int k = 0; k < 8; ++k) {
            seed = seed * 1103515245 + 12345;
            bad[2 + (seed >> 8) % (bad.size() - 2)] = uint8_t(seed >> 24);
        }
        (void)DecodeJpeg(bad);
    }
    std::vector<uint8_t> no_markers(data.size(), 0xAB);
    EXPECT_FALSE(DecodeJpeg(no_markers).ok());
    EXPECT_FALSE(ReadJpegInfo(no_markers).ok());
}

TEST(Jpeg, AMissingEndMarkerAloneIsTolerated) {
    auto data = EncodedGradient(96, 64, 90);
    ASSERT_EQ(data[data.size() - 2], 0xFF);
    ASSERT_EQ(data[data.size() - 1], 0xD9);
    std::vector<uint8_t> no_eoi(data.begin(), data.end() - 2);
    auto whole = DecodeJpeg(data);
    auto decoded = DecodeJpeg(no_eoi);
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    EXPECT_EQ(MaxDifference(*whole, *decoded), 0);
    // A progressive file that stops between scans is incomplete.
    JpegEncodeOptions progressive;
    progressive.progressive = true;
    auto prog = EncodeJpeg(Gradient(96, 64, PixelLayout::kBgr24), progressive);
    ASSERT_TRUE(prog.ok());
    std::vector<uint8_t> cut;
    for (size_t i = prog->size() / 2; i + 1 < prog->size(); ++i)
        if ((*prog)[i] == 0xFF && (*prog)[i + 1] == 0xDA) {  // a later scan's header
            cut.assign(prog->begin(), prog->begin() + i);
            break;
        }
    ASSERT_FALSE(cut.empty());
    EXPECT_EQ(DecodeJpeg(cut).code(), ErrorCode::kCorrupt);
}

TEST(Jpeg, OversizedDeclaredDimensionsAreRefusedBeforeDecoding) {
    auto data = EncodedGradient(64, 64);
    size_t at = SofSizeOffset(data);
    // 40000 x 64: above the side limit.
    data[at + 2] = 40000 >> 8;
    data[at + 3] = 40000 & 255;
    EXPECT_EQ(DecodeJpeg(data).code(), ErrorCode::kTooLarge);
    // 25000 x 25000: each side fine, 625 megapixels not.
    data[at] = 25000 >> 8;
    data[at + 1] = 25000 & 255;
    data[at + 2] = 25000 >> 8;
    data[at + 3] = 25000 & 255;
    EXPECT_EQ(DecodeJpeg(data).code(), ErrorCode::kTooLarge);
    auto info = ReadJpegInfo(data);
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info->width, 25000u);
    // Limits are the caller's to tighten.
    DecodeOptions tight;
    tight.limits.max_side = 32;
    EXPECT_EQ(DecodeJpeg(EncodedGradient(64, 16), tight).code(), ErrorCode::kTooLarge);
}

}  // namespace
}  // namespace veldan::test
