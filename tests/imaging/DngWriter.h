#pragma once
// Writes a small but valid DNG with libtiff: IFD0 is an embedded preview
// (8-bit RGB, uncompressed, or a JPEG stream), its SubIFD the raw sensor
// data (16-bit RGGB Bayer mosaic). Enough for LibRaw to open, unpack,
// demosaic and hand out the preview, like a camera's file.
#include <tiffio.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "imaging/Bitmap.h"

namespace veldan::test {

struct DngContent {
    uint32_t raw_width = 128, raw_height = 96;
    uint32_t preview_width = 64, preview_height = 48;
    std::vector<uint8_t> preview_jpeg;  // when set: the preview is this JPEG
    bool with_preview = true;
    uint16_t orientation = 1;
};

// Colour of the scene at (x, y) in [0,1]^2: left half red, right half blue.
inline bool SceneIsRed(double x) { return x < 0.5; }

inline bool WriteDng(const std::filesystem::path& path, const DngContent& c) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr) return false;
    static const uint8_t kDngVersion[4] = {1, 4, 0, 0};
    static const float kColorMatrix[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    static const float kAsShotNeutral[3] = {1.0f, 1.0f, 1.0f};
    auto dng_tags = [&] {
        TIFFSetField(tif, TIFFTAG_DNGVERSION, kDngVersion);
        TIFFSetField(tif, TIFFTAG_DNGBACKWARDVERSION, kDngVersion);
        TIFFSetField(tif, TIFFTAG_MAKE, "Testmaker");
        TIFFSetField(tif, TIFFTAG_MODEL, "Bench Camera");
        TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Testmaker Bench Camera");
        TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, kColorMatrix);
        TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
        TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, kAsShotNeutral);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, c.orientation);
    };
    auto write_raw_ifd = [&] {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, c.raw_width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, c.raw_height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, c.raw_height);
        static const uint16_t dim[2] = {2, 2};
        static const uint8_t pattern[4] = {0, 1, 1, 2};  // R G / G B
        TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, dim);
        TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, pattern);
        static const uint32_t white = 65535;
        TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, &white);
        std::vector<uint16_t> row(c.raw_width);
        for (uint32_t y = 0; y < c.raw_height; ++y) {
            for (uint32_t x = 0; x < c.raw_width; ++x) {
                const bool red_site = (y % 2 == 0) && (x % 2 == 0);
                const bool blue_site = (y % 2 == 1) && (x % 2 == 1);
                const bool red = SceneIsRed(double(x) / c.raw_width);
                uint16_t v = 2000;
                if (red_site && red) v = 50000;
                if (blue_site && !red) v = 50000;
                row[x] = v;
            }
            if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) return false;
        }
        return true;
    };
    if (!c.with_preview) {
        dng_tags();
        if (!write_raw_ifd()) return false;
        TIFFWriteDirectory(tif);
        TIFFClose(tif);
        return true;
    }
    // IFD0: the preview, pointing at one SubIFD.
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, c.preview_width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, c.preview_height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, c.preview_jpeg.empty() ? PHOTOMETRIC_RGB : PHOTOMETRIC_YCBCR);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, c.preview_height);
    if (!c.preview_jpeg.empty()) TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    dng_tags();
    uint64_t sub_offset = 0;
    TIFFSetField(tif, TIFFTAG_SUBIFD, 1, &sub_offset);
    if (c.preview_jpeg.empty()) {
        std::vector<uint8_t> row(size_t(c.preview_width) * 3);
        for (uint32_t y = 0; y < c.preview_height; ++y) {
            for (uint32_t x = 0; x < c.preview_width; ++x) {
                const bool red = SceneIsRed(double(x) / c.preview_width);
                row[3 * x] = red ? 220 : 20;
                row[3 * x + 1] = 30;
                row[3 * x + 2] = red ? 20 : 220;
            }
            if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) return false;
        }
    } else {
        if (TIFFWriteRawStrip(tif, 0, const_cast<uint8_t*>(c.preview_jpeg.data()), tmsize_t(c.preview_jpeg.size())) < 0)
            return false;
    }
    if (!TIFFWriteDirectory(tif)) return false;
    if (!write_raw_ifd() || !TIFFWriteDirectory(tif)) return false;
    TIFFClose(tif);
    return true;
}

}  // namespace veldan::test
