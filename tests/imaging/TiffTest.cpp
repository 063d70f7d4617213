// Tests of the TIFF decoder: the format's variants, damaged and cut files,
// floating-point samples.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstring>

#include "TestSupport.h"
#include "imaging/Tiff.h"

namespace veldan::test {

using namespace veldan::imaging;

namespace {

struct TiffVariant {
    const char* name;
    uint16_t photometric = PHOTOMETRIC_RGB;
    uint16_t bits = 8;
    uint16_t spp = 3;
    uint16_t extra = EXTRASAMPLE_UNSPECIFIED;  // for a fourth (or second) sample
    bool tiled = false;
    bool separate = false;
    uint16_t compression = COMPRESSION_NONE;
    bool big = false;
    int tolerance = 0;
};

// One 8-bit value per channel and pixel; the file holds it at its depth.
uint8_t Channel(uint32_t x, uint32_t y, int c) {
    switch (c) {
        case 0: return uint8_t(x * 9 + y);
        case 1: return uint8_t(y * 11);
        case 2: return uint8_t(255 - x * 5);
        default: return uint8_t((x * 3 + y * 7) % 256);
    }
}

// Writes the variant to `path` with libtiff; returns the ARGB picture a
// correct decoder gives.
Bitmap WriteTiff(const std::filesystem::path& path, const TiffVariant& v, uint32_t w, uint32_t h) {
    Bitmap expected = std::move(Bitmap::Create(w, h, PixelLayout::kArgb32)).value();
    TIFF* tif = TIFFOpen(path.c_str(), v.big ? "w8" : "w");
    EXPECT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, v.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, v.spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, v.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, v.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, v.compression);
    const bool colour = v.photometric == PHOTOMETRIC_RGB || v.photometric == PHOTOMETRIC_YCBCR;
    const uint16_t colour_samples = colour ? 3 : 1;
    const bool has_extra = v.spp > colour_samples;
    if (has_extra) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &v.extra);
    if (v.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    std::vector<uint16_t> map_r(256), map_g(256), map_b(256);
    if (v.photometric == PHOTOMETRIC_PALETTE) {
        for (int i = 0; i < 256; ++i) {
            map_r[i] = uint16_t((i * 3 % 256) * 257);
            map_g[i] = uint16_t((255 - i) * 257);
            map_b[i] = uint16_t((i / 2) * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, map_r.data(), map_g.data(), map_b.data());
    }
    uint32_t tw = 16, th = 16;
    if (v.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, tw);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, th);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, v.compression == COMPRESSION_JPEG ? 16 : 5);
    }
    // Expected pixels and a full sample plane per channel at file depth.
    const uint16_t planes = v.spp;
    const unsigned levels = v.bits >= 8 ? 256 : (1u << v.bits);
    std::vector<std::vector<uint16_t>> samples(planes, std::vector<uint16_t>(size_t(w) * h));
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t ch[4] = {Channel(x, y, 0), Channel(x, y, 1), Channel(x, y, 2), Channel(x, y, 3)};
            uint32_t argb;
            if (v.photometric == PHOTOMETRIC_PALETTE) {
                samples[0][y * w + x] = ch[0];
                argb =
                    MakeArgb(255, uint8_t(map_r[ch[0]] >> 8), uint8_t(map_g[ch[0]] >> 8), uint8_t(map_b[ch[0]] >> 8));
            } else if (!colour) {
                unsigned level = ch[0] % levels;
                uint8_t g = uint8_t(level * 255 / (levels - 1));
                samples[0][y * w + x] = uint16_t(v.bits == 16 ? level * 257 : level);
                if (v.photometric == PHOTOMETRIC_MINISWHITE) g = uint8_t(255 - g);
                uint8_t a = 255;
                if (has_extra) {
                    samples[1][y * w + x] = uint16_t(v.bits == 16 ? ch[3] * 257 : ch[3]);
                    a = ch[3];
                }
                argb = MakeArgb(a, g, g, g);
            } else {
                uint8_t a = has_extra ? ch[3] : 255;
                uint8_t rgb[3] = {ch[0], ch[1], ch[2]};
                for (int c = 0; c < 3; ++c) {
                    unsigned s = rgb[c];
                    if (v.extra == EXTRASAMPLE_ASSOCALPHA && has_extra) {
                        // Premultiplied in the file; expected is the straight value
                        // that survives the round trip.
                        s = (rgb[c] * a + 127) / 255;
                        rgb[c] = a == 0 ? 0 : uint8_t(std::min(255u, (s * 255 + a / 2) / a));
                    }
                    samples[size_t(c)][y * w + x] = uint16_t(v.bits == 16 ? s * 257 : s);
                }
                if (has_extra) samples[3][y * w + x] = uint16_t(v.bits == 16 ? a * 257 : a);
                argb = MakeArgb(a, rgb[0], rgb[1], rgb[2]);
            }
            expected.SetArgb(x, y, argb);
        }
    // Pack samples of a region [x0, x0+cw) x [y0, y0+ch) of plane p (or all
    // planes interleaved when p < 0) into file bytes.
    auto pack = [&](int p, uint32_t x0, uint32_t y0, uint32_t cw, uint32_t ch, uint32_t row_pixels) {
        const int per = p < 0 ? planes : 1;
        const size_t row_bytes = (size_t(row_pixels) * per * v.bits + 7) / 8;
        std::vector<uint8_t> out(row_bytes * ch, 0);
        for (uint32_t r = 0; r < ch; ++r)
            for (uint32_t c = 0; c < cw && x0 + c < w; ++c)
                for (int k = 0; k < per; ++k) {
                    if (y0 + r >= h) continue;
                    uint16_t s = samples[size_t(p < 0 ? k : p)][(y0 + r) * w + x0 + c];
                    size_t index = size_t(c) * per + k;
                    uint8_t* row = out.data() + r * row_bytes;
                    if (v.bits == 16)
                        std::memcpy(row + 2 * index, &s, 2);
                    else if (v.bits == 8)
                        row[index] = uint8_t(s);
                    else
                        row[index * v.bits / 8] |= uint8_t(s << (8 - v.bits - index * v.bits % 8));
                }
        return out;
    };
    if (v.tiled) {
        for (int p = 0; p < (v.separate ? planes : 1); ++p)
            for (uint32_t y = 0; y < h; y += th)
                for (uint32_t x = 0; x < w; x += tw) {
                    auto bytes = pack(v.separate ? p : -1, x, y, tw, th, tw);
                    const uint16_t plane = uint16_t(v.separate ? p : 0);
                    EXPECT_GT(TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x, y, 0, plane), bytes.data(),
                                                   tmsize_t(bytes.size())),
                              0);
                }
    } else {
        for (int p = 0; p < (v.separate ? planes : 1); ++p)
            for (uint32_t y = 0; y < h; ++y) {
                auto bytes = pack(v.separate ? p : -1, 0, y, w, 1, w);
                EXPECT_EQ(TIFFWriteScanline(tif, bytes.data(), y, uint16_t(v.separate ? p : 0)), 1);
            }
    }
    TIFFClose(tif);
    return expected;
}

class TiffVariants : public ::testing::TestWithParam<TiffVariant> {};

TEST_P(TiffVariants, DecodesFromFileAndMemory) {
    const TiffVariant& v = GetParam();
    TempDir dir;
    const auto path = dir / "picture.tif";
    Bitmap expected = WriteTiff(path, v, 37, 23);
    DecodeOptions argb;
    argb.layout = PixelLayout::kArgb32;
    const bool alpha = v.spp == 4 || (v.spp == 2 && v.photometric != PHOTOMETRIC_RGB);
    const bool compare_alpha = alpha && v.extra != EXTRASAMPLE_UNSPECIFIED;
    auto from_file = DecodeTiffFile(path, argb);
    ASSERT_TRUE(from_file.ok()) << from_file.error().message;
    if (v.tolerance == 0) {
        EXPECT_EQ(MaxDifference(expected, *from_file, compare_alpha), 0);
    } else {
        EXPECT_LE(MeanDifference(expected, *from_file), v.tolerance);  // lossy
    }
    auto bytes = ReadBytes(path);
    auto from_memory = DecodeTiff(bytes);
    ASSERT_TRUE(from_memory.ok()) << from_memory.error().message;
    EXPECT_EQ(from_memory->Layout(), PixelLayout::kBgr24);
    if (!compare_alpha || v.extra == EXTRASAMPLE_UNASSALPHA) {
        EXPECT_LE(MeanDifference(expected, *from_memory), v.tolerance);
    }
    auto info = ReadTiffInfo(bytes);
    ASSERT_TRUE(info.ok()) << info.error().message;
    EXPECT_EQ(info->width, 37u);
    EXPECT_EQ(info->height, 23u);
    EXPECT_EQ(info->format, Format::kTiff);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffVariants,
    ::testing::Values(
        TiffVariant{"rgb8"}, TiffVariant{"rgb8lzw", PHOTOMETRIC_RGB, 8, 3, 0, false, false, COMPRESSION_LZW},
        TiffVariant{"rgb16deflate", PHOTOMETRIC_RGB, 16, 3, 0, false, false, COMPRESSION_ADOBE_DEFLATE},
        TiffVariant{"rgba8", PHOTOMETRIC_RGB, 8, 4, EXTRASAMPLE_UNASSALPHA},
        TiffVariant{"rgba16premultiplied", PHOTOMETRIC_RGB, 16, 4, EXTRASAMPLE_ASSOCALPHA},
        TiffVariant{"grey8", PHOTOMETRIC_MINISBLACK, 8, 1}, TiffVariant{"grey16", PHOTOMETRIC_MINISBLACK, 16, 1},
        TiffVariant{"greyalpha8", PHOTOMETRIC_MINISBLACK, 8, 2, EXTRASAMPLE_UNASSALPHA},
        TiffVariant{"white8", PHOTOMETRIC_MINISWHITE, 8, 1}, TiffVariant{"tiledrgb8", PHOTOMETRIC_RGB, 8, 3, 0, true},
        TiffVariant{"tiledgrey16lzw", PHOTOMETRIC_MINISBLACK, 16, 1, 0, true, false, COMPRESSION_LZW},
        TiffVariant{"tiledrgba16", PHOTOMETRIC_RGB, 16, 4, EXTRASAMPLE_UNASSALPHA, true},
        TiffVariant{"bigtiffrgb8", PHOTOMETRIC_RGB, 8, 3, 0, false, false, COMPRESSION_NONE, true},
        // Through libtiff's RGBA interface (and separate planes directly):
        TiffVariant{"palette8", PHOTOMETRIC_PALETTE, 8, 1}, TiffVariant{"bilevel", PHOTOMETRIC_MINISBLACK, 1, 1},
        TiffVariant{"grey4", PHOTOMETRIC_MINISBLACK, 4, 1},
        TiffVariant{"separatergb8", PHOTOMETRIC_RGB, 8, 3, 0, false, true},
        TiffVariant{"separatetiledrgb8", PHOTOMETRIC_RGB, 8, 3, 0, true, true},
        TiffVariant{"separatergba16lzw", PHOTOMETRIC_RGB, 16, 4, EXTRASAMPLE_UNASSALPHA, false, true, COMPRESSION_LZW},
        TiffVariant{"separatetiledgreyalpha16", PHOTOMETRIC_MINISBLACK, 16, 2, EXTRASAMPLE_UNASSALPHA, true, true},
        TiffVariant{"jpegycbcr", PHOTOMETRIC_YCBCR, 8, 3, 0, false, false, COMPRESSION_JPEG, false, 6},
        TiffVariant{"tiledjpegycbcr", PHOTOMETRIC_YCBCR, 8, 3, 0, true, false, COMPRESSION_JPEG, false, 6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Tiff, TruncatedDamagedAndOversizedFilesGiveErrors) {
    TempDir dir;
    TiffVariant v{"rgb8lzw", PHOTOMETRIC_RGB, 8, 3, 0, false, false, COMPRESSION_LZW};
    WriteTiff(dir / "a.tif", v, 64, 64);
    auto data = ReadBytes(dir / "a.tif");
    for (size_t keep : {size_t(0), size_t(4), size_t(8), size_t(100), data.size() / 2, data.size() - 20}) {
        std::vector<uint8_t> cut(data.begin(), data.begin() + keep);
        EXPECT_FALSE(DecodeTiff(cut).ok()) << "kept " << keep;
    }
    uint32_t seed = 99;
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> bad = data;
        for (int k = 0; k < 6; ++k) {
            seed = seed * 1103515245 + 12345;
            bad[(seed >> 8) % bad.size()] = uint8_t(seed >> 24);
        }
        (void)DecodeTiff(bad);  // must not crash, hang or leak
    }
    // Declared 40000 x 40000 (the file has a few bytes): refused before
    // anything is allocated.
    TIFF* tif = TIFFOpen((dir / "big.tif").c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 40000u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 40000u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 40000u);
    uint8_t row[40000] = {};
    TIFFWriteScanline(tif, row, 0, 0);
    TIFFClose(tif);
    EXPECT_EQ(DecodeTiffFile(dir / "big.tif").code(), ErrorCode::kTooLarge);
    auto info = ReadTiffInfoFile(dir / "big.tif");
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info->width, 40000u);
    EXPECT_EQ(DecodeTiff(std::vector<uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0}).code(), ErrorCode::kCorrupt);
}

// A hand-made little-endian TIFF whose directory comes before the pixels:
// 300 x 200 grey, orientation 6, one uncompressed strip.
std::vector<uint8_t> DirectoryFirstTiff() {
    std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto u16 = [&](uint16_t v) {
        f.push_back(uint8_t(v));
        f.push_back(uint8_t(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(uint16_t(v));
        u16(uint16_t(v >> 16));
    };
    struct E {
        uint16_t tag, type;
        uint32_t value;
    };
    const E entries[] = {{256, 3, 300}, {257, 3, 200}, {258, 3, 8}, {259, 3, 1},   {262, 3, 1},
                         {273, 4, 0},   {274, 3, 6},   {277, 3, 1}, {278, 3, 200}, {279, 4, 60000}};
    const uint32_t data_offset = 8 + 2 + 10 * 12 + 4;
    u16(10);
    for (const E& e : entries) {
        u16(e.tag);
        u16(e.type);
        u32(1);
        uint32_t v = e.tag == 273 ? data_offset : e.value;
        if (e.type == 3) {
            u16(uint16_t(v));
            u16(0);
        } else {
            u32(v);
        }
    }
    u32(0);
    for (uint32_t i = 0; i < 60000; ++i) f.push_back(uint8_t(i % 300));
    return f;
}

TEST(Tiff, SizeOfAFileCutAfterItsDirectoryAndOrientation) {
    auto data = DirectoryFirstTiff();
    auto whole = DecodeTiff(data);
    ASSERT_TRUE(whole.ok()) << whole.error().message;
    EXPECT_EQ(whole->Width(), 300u) << "pixels are delivered as stored, not turned";
    EXPECT_EQ(whole->GetArgb(7, 3) & 255, 7u);

    std::vector<uint8_t> cut(data.begin(), data.begin() + 8 + 2 + 120 + 4 + 10);
    TempDir dir;
    WriteBytes(dir / "cut.tif", cut);
    auto info = ReadTiffInfoFile(dir / "cut.tif");
    ASSERT_TRUE(info.ok()) << info.error().message;
    EXPECT_EQ(info->width, 300u);
    EXPECT_EQ(info->height, 200u);
    EXPECT_EQ(info->orientation, 6);
    EXPECT_FALSE(DecodeTiffFile(dir / "cut.tif").ok());
}

TEST(Tiff, FloatingPointSamplesAreClampedToTheDisplayRange) {
    TempDir dir;
    TIFF* tif = TIFFOpen((dir / "hdr.tif").c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    float row[12] = {0.0f, 0.5f, 1.0f, 2.5f, -1.0f, 0.25f, NAN, 1.0f, 0.0f, 0.2f, 0.4f, 0.6f};
    TIFFWriteScanline(tif, row, 0, 0);
    TIFFClose(tif);
    auto b = DecodeTiffFile(dir / "hdr.tif");
    ASSERT_TRUE(b.ok()) << b.error().message;
    EXPECT_EQ(b->GetArgb(0, 0), MakeArgb(255, 0, 128, 255));
    EXPECT_EQ(b->GetArgb(1, 0), MakeArgb(255, 255, 0, 64));
    EXPECT_EQ(b->GetArgb(2, 0), MakeArgb(255, 0, 255, 0));
    EXPECT_EQ(b->GetArgb(3, 0), MakeArgb(255, 51, 102, 153));
}

}  // namespace
}  // namespace veldan::test
