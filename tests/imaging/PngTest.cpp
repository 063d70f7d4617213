// Tests of the PNG decoder and encoder: the format's variants, exact round
// trips and damaged files.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>

#include "TestSupport.h"
#include "imaging/Png.h"

namespace veldan::test {

using namespace veldan::imaging;

namespace {

struct Variant {
    const char* name;
    int color_type;
    int depth;
    bool interlace = false;
    bool trns = false;  // palette: some entries transparent; grey/RGB: one colour key
};

// Writes a PNG of the given variant with libpng and returns the ARGB
// picture a correct decoder must produce from it.
std::vector<uint8_t> MakePng(const Variant& v, uint32_t w, uint32_t h, Bitmap& expected) {
    expected = std::move(Bitmap::Create(w, h, PixelLayout::kArgb32)).value();
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        ADD_FAILURE() << "libpng failed writing " << v.name;
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, size_t n) {
            auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            o->insert(o->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, w, h, v.depth, v.color_type, v.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const int levels =
        v.color_type == PNG_COLOR_TYPE_PALETTE ? (1 << std::min(v.depth, 4)) : (1 << std::min(v.depth, 8));
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    if (v.color_type == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < levels; ++i) {
            palette.push_back({png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * 5)});
            alphas.push_back(png_byte(i % 3 == 0 ? 0 : (i % 3 == 1 ? 128 : 255)));
        }
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
        if (v.trns) png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
    } else if (v.trns) {
        png_color_16 key{};
        key.gray = 0;  // grey value 0 is transparent
        key.red = key.green = key.blue = 0;
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    if (v.depth == 16) png_set_swap(png);  // we fill samples in host (little-endian) order

    const int channels = png_get_channels(png, info);
    const size_t row_bytes = png_get_rowbytes(png, info);
    std::vector<std::vector<uint8_t>> rows(h, std::vector<uint8_t>(row_bytes, 0));
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const int level = int((x + 3 * y) % uint32_t(levels));
            uint32_t argb = 0;
            std::vector<unsigned> samples;  // in file bit depth
            const unsigned max = (1u << v.depth) - 1;
            auto to8 = [&](unsigned s) { return uint8_t((s * 255 + max / 2) / max); };
            switch (v.color_type) {
                case PNG_COLOR_TYPE_PALETTE:
                    samples = {unsigned(level)};
                    argb = MakeArgb(v.trns ? alphas[level] : 255, palette[level].red, palette[level].green,
                                    palette[level].blue);
                    break;
                case PNG_COLOR_TYPE_GRAY: {
                    unsigned s = v.depth == 16 ? unsigned(level) * 257 : unsigned(level);
                    samples = {s};
                    uint8_t g = to8(s);
                    argb = MakeArgb(v.trns && s == 0 ? 0 : 255, g, g, g);
                    break;
                }
                case PNG_COLOR_TYPE_GRAY_ALPHA: {
                    unsigned g = unsigned(level) * (v.depth == 16 ? 257 : 1);
                    unsigned a = unsigned(255 - level) * (v.depth == 16 ? 257 : 1);
                    samples = {g, a};
                    argb = MakeArgb(to8(a), to8(g), to8(g), to8(g));
                    break;
                }
                default: {
                    unsigned k = v.depth == 16 ? 257 : 1;
                    unsigned r = unsigned(level) * k, g = unsigned(x * 7 % 256) * k, b = unsigned(y * 13 % 256) * k;
                    samples = {r, g, b};
                    uint8_t a = 255;
                    if (v.color_type == PNG_COLOR_TYPE_RGB_ALPHA) {
                        samples.push_back(unsigned((x * y) % 256) * k);
                        a = to8(samples.back());
                    } else if (v.trns && r == 0 && g == 0 && b == 0) {
                        a = 0;
                    }
                    argb = MakeArgb(a, to8(r), to8(g), to8(b));
                }
            }
            expected.SetArgb(x, y, argb);
            for (int c = 0; c < channels; ++c) {
                unsigned s = samples[size_t(c)];
                if (v.depth == 16) {
                    rows[y][(x * channels + c) * 2] = uint8_t(s);
                    rows[y][(x * channels + c) * 2 + 1] = uint8_t(s >> 8);
                } else if (v.depth == 8) {
                    rows[y][x * channels + c] = uint8_t(s);
                } else {
                    size_t bit = size_t(x) * v.depth;
                    rows[y][bit / 8] |= uint8_t(s << (8 - v.depth - bit % 8));
                }
            }
        }
    }
    const int passes = png_set_interlace_handling(png);
    for (int p = 0; p < passes; ++p)
        for (uint32_t y = 0; y < h; ++y) png_write_row(png, rows[y].data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

class PngVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(PngVariants, DecodesToTheExpectedPixels) {
    const Variant& v = GetParam();
    Bitmap expected;
    auto data = MakePng(v, 37, 23, expected);
    ASSERT_FALSE(data.empty());
    DecodeOptions argb;
    argb.layout = PixelLayout::kArgb32;
    auto decoded = DecodePng(data, argb);
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    EXPECT_EQ(MaxDifference(expected, *decoded, true), 0);
    auto bgr = DecodePng(data);
    ASSERT_TRUE(bgr.ok()) << bgr.error().message;
    EXPECT_EQ(bgr->Layout(), PixelLayout::kBgr24);
    EXPECT_EQ(MaxDifference(expected, *bgr, false), 0) << "BGR keeps colour, drops alpha";
    auto info = ReadPngInfo(data);
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info->width, 37u);
    EXPECT_EQ(info->height, 23u);
}

INSTANTIATE_TEST_SUITE_P(
    AllColourTypes, PngVariants,
    ::testing::Values(
        Variant{"grey1", PNG_COLOR_TYPE_GRAY, 1}, Variant{"grey2", PNG_COLOR_TYPE_GRAY, 2},
        Variant{"grey4", PNG_COLOR_TYPE_GRAY, 4}, Variant{"grey8", PNG_COLOR_TYPE_GRAY, 8},
        Variant{"grey16", PNG_COLOR_TYPE_GRAY, 16}, Variant{"grey8key", PNG_COLOR_TYPE_GRAY, 8, false, true},
        Variant{"greyalpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8}, Variant{"greyalpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16},
        Variant{"palette1", PNG_COLOR_TYPE_PALETTE, 1}, Variant{"palette4", PNG_COLOR_TYPE_PALETTE, 4},
        Variant{"palette8trns", PNG_COLOR_TYPE_PALETTE, 8, false, true}, Variant{"rgb8", PNG_COLOR_TYPE_RGB, 8},
        Variant{"rgb16", PNG_COLOR_TYPE_RGB, 16}, Variant{"rgb8key", PNG_COLOR_TYPE_RGB, 8, false, true},
        Variant{"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8}, Variant{"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16},
        Variant{"rgb8interlaced", PNG_COLOR_TYPE_RGB, 8, true},
        Variant{"palette2interlacedtrns", PNG_COLOR_TYPE_PALETTE, 2, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Png, RoundTripInBothLayoutsIsExact) {
    TempDir dir;
    for (PixelLayout layout : {PixelLayout::kBgr24, PixelLayout::kArgb32}) {
        Bitmap original = Gradient(61, 17, layout, layout == PixelLayout::kArgb32);
        auto data = EncodePng(original);
        ASSERT_TRUE(data.ok());
        DecodeOptions o;
        o.layout = layout;
        auto decoded = DecodePng(*data, o);
        ASSERT_TRUE(decoded.ok());
        EXPECT_EQ(MaxDifference(original, *decoded, true), 0);
        ASSERT_TRUE(SavePng(original, dir / "x.png").ok());
        auto from_file = DecodePngFile(dir / "x.png", o);
        ASSERT_TRUE(from_file.ok());
        EXPECT_EQ(MaxDifference(original, *from_file, true), 0);
    }
}

TEST(Png, OpaqueArgbIsWrittenWithoutAlpha) {
    Bitmap opaque = Gradient(40, 40, PixelLayout::kArgb32, false);
    Bitmap translucent = Gradient(40, 40, PixelLayout::kArgb32, true);
    auto a = EncodePng(opaque), b = EncodePng(translucent);
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ((*a)[25], PNG_COLOR_TYPE_RGB);  // colour type byte of IHDR
    EXPECT_EQ((*b)[25], PNG_COLOR_TYPE_RGB_ALPHA);
}

TEST(Png, TruncatedDamagedAndOversizedFilesGiveErrors) {
    Bitmap expected;
    auto data = MakePng(Variant{"rgb8", PNG_COLOR_TYPE_RGB, 8}, 64, 64, expected);
    for (size_t keep : {size_t(0), size_t(7), size_t(20), size_t(33), size_t(60), data.size() / 2, data.size() - 13}) {
        std::vector<uint8_t> cut(data.begin(), data.begin() + keep);
        EXPECT_FALSE(DecodePng(cut).ok()) << "kept " << keep;
    }
    // A file cut after the header still gives its size.
    std::vector<uint8_t> header(data.begin(), data.begin() + 33);
    auto info = ReadPngInfo(header);
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info->width, 64u);
    // Damage inside the image data: the CRC check catches it.
    std::vector<uint8_t> bad = data;
    bad[bad.size() / 2] ^= 0x55;
    EXPECT_EQ(DecodePng(bad).code(), ErrorCode::kCorrupt);
    // Declared 30001 x 64 and 20001 x 20001 are refused before any pixels.
    auto set_size = [&](uint32_t w, uint32_t h) {
        std::vector<uint8_t> big = data;
        for (int i = 0; i < 4; ++i) {
            big[16 + i] = uint8_t(w >> (24 - 8 * i));
            big[20 + i] = uint8_t(h >> (24 - 8 * i));
        }
        return big;
    };
    EXPECT_EQ(DecodePng(set_size(30001, 64)).code(), ErrorCode::kTooLarge);
    EXPECT_EQ(DecodePng(set_size(20001, 20001)).code(), ErrorCode::kTooLarge);
    EXPECT_EQ(DecodePng(set_size(0, 64)).code(), ErrorCode::kCorrupt);
    EXPECT_EQ(DecodePng(std::vector<uint8_t>(100, 0)).code(), ErrorCode::kUnknownFormat);
}

}  // namespace
}  // namespace veldan::test
