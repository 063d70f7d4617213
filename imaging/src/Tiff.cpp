// TIFF decoding on libtiff. libtiff reports errors through handlers and
// return values (no longjmp); messages are collected per file.
#include "imaging/Tiff.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <tiffio.h>

#include "ByteSource.h"
#include "TiffInternal.h"
#include "TiffStructure.h"

namespace veldan::imaging::detail {

void QuietLibtiff() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandler(nullptr);
    });
}

Result<ImageInfo> ReadTiffInfoFrom(const ByteSource& source) {
    TiffStructure tiff(source);
    if (!tiff.ReadHeader()) return Error{ErrorCode::kUnknownFormat, "not a TIFF file"};
    std::vector<TiffEntry> entries;
    if (!tiff.ReadIfd(tiff.FirstIfd(), entries)) return Error{ErrorCode::kCorrupt, "TIFF directory unreadable"};
    const TiffEntry* w = TiffStructure::Find(entries, kTagImageWidth);
    const TiffEntry* h = TiffStructure::Find(entries, kTagImageLength);
    if (w == nullptr || h == nullptr) return Error{ErrorCode::kCorrupt, "TIFF without a picture size"};
    auto wv = tiff.Integer(*w);
    auto hv = tiff.Integer(*h);
    if (!wv || !hv || *wv == 0 || *hv == 0 || *wv > 0xFFFFFFFFu || *hv > 0xFFFFFFFFu)
        return Error{ErrorCode::kCorrupt, "TIFF picture size invalid"};
    ImageInfo info;
    info.format = Format::kTiff;
    info.width = uint32_t(*wv);
    info.height = uint32_t(*hv);
    if (const TiffEntry* o = TiffStructure::Find(entries, kTagOrientation)) {
        auto ov = tiff.Integer(*o);
        if (ov && *ov >= 1 && *ov <= 8) info.orientation = uint16_t(*ov);
    }
    return info;
}

}  // namespace veldan::imaging::detail

namespace veldan::imaging {

namespace {

// Largest strip or tile buffer we allocate for one read.
constexpr tmsize_t kMaxChunkBytes = tmsize_t(512) << 20;

struct FileContext {
    std::string message;  // first error libtiff reported
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t pos = 0;
};

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* ctx = static_cast<FileContext*>(user);
    if (ctx != nullptr && ctx->message.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        ctx->message = std::string(module ? module : "TIFF") + ": " + text;
    }
    return 1;  // handled; no global handler
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t size) {
    auto* ctx = static_cast<FileContext*>(h);
    if (size < 0 || ctx->pos >= ctx->size) return 0;
    uint64_t n = std::min<uint64_t>(uint64_t(size), ctx->size - ctx->pos);
    std::memcpy(buf, ctx->data + ctx->pos, size_t(n));
    ctx->pos += n;
    return tmsize_t(n);
}
tmsize_t MemWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
    auto* ctx = static_cast<FileContext*>(h);
    uint64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? ctx->pos : ctx->size;
    if (off > UINT64_MAX - base) return toff_t(-1);
    ctx->pos = base + off;  // positions past the end read nothing
    return ctx->pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<FileContext*>(h)->size; }
int MemMap(thandle_t, void**, toff_t*) { return 0; }
void MemUnmap(thandle_t, void*, toff_t) {}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;
struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

Error Fail(const FileContext& ctx, ErrorCode code, const std::string& what) {
    return Error{code, ctx.message.empty() ? "TIFF: " + what : "TIFF: " + what + " (" + ctx.message + ")"};
}

// Sample layout of the directly decoded cases.
struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t bits = 8, spp = 1, photometric = 0;
    int alpha_index = -1;  // sample index of alpha, -1 none
    bool premultiplied = false;
    bool colour = false;    // RGB (else grey)
    bool invert = false;    // MINISWHITE
    bool floating = false;  // 32-bit IEEE samples, 0..1 (HDR stitcher output)
    bool separate = false;  // one plane per sample (PLANARCONFIG_SEPARATE)
};

// Gathers `count` samples of each of the planes into pixel order.
void Interleave(const std::vector<std::vector<uint8_t>>& planes, size_t plane_offset, uint32_t count,
                uint32_t sample_bytes, uint8_t* out) {
    const size_t n = planes.size();
    for (uint32_t i = 0; i < count; ++i)
        for (size_t p = 0; p < n; ++p)
            std::memcpy(out + (size_t(i) * n + p) * sample_bytes,
                        planes[p].data() + plane_offset + size_t(i) * sample_bytes, sample_bytes);
}

inline uint8_t To8(const uint8_t* row, uint32_t index, uint16_t bits, bool floating) {
    if (bits == 8) return row[index];
    if (floating) {
        float f;
        std::memcpy(&f, row + 4 * size_t(index), 4);
        if (!(f > 0.0f)) return 0;  // also NaN
        return f >= 1.0f ? 255 : uint8_t(f * 255.0f + 0.5f);
    }
    uint16_t v;
    std::memcpy(&v, row + 2 * size_t(index), 2);  // libtiff delivers host order
    return uint8_t((uint32_t(v) * 255 + 32767) / 65535);
}

// Converts `count` pixels of decoded samples into bitmap pixels.
void ConvertPixels(const Layout& l, const uint8_t* src, uint8_t* dst, uint32_t count, PixelLayout out) {
    const uint32_t bpp = BytesPerPixel(out);
    for (uint32_t i = 0; i < count; ++i, dst += bpp) {
        const uint32_t base = i * l.spp;
        uint8_t r, g, b;
        if (l.colour) {
            r = To8(src, base, l.bits, l.floating);
            g = To8(src, base + 1, l.bits, l.floating);
            b = To8(src, base + 2, l.bits, l.floating);
        } else {
            r = g = b = To8(src, base, l.bits, l.floating);
            if (l.invert) r = g = b = uint8_t(255 - r);
        }
        uint8_t a = l.alpha_index >= 0 ? To8(src, base + uint32_t(l.alpha_index), l.bits, l.floating) : 255;
        if (l.premultiplied && a != 255) {
            if (a == 0) {
                r = g = b = 0;
            } else {
                r = uint8_t(std::min(255u, (r * 255u + a / 2) / a));
                g = uint8_t(std::min(255u, (g * 255u + a / 2) / a));
                b = uint8_t(std::min(255u, (b * 255u + a / 2) / a));
            }
        }
        dst[0] = b;
        dst[1] = g;
        dst[2] = r;
        if (bpp == 4) dst[3] = a;
    }
}

// True when the directory is one the direct path reads; fills `l`.
bool DirectLayout(TIFF* tif, Layout& l) {
    uint16_t planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric)) return false;
    if (compression == COMPRESSION_JPEG && l.photometric == PHOTOMETRIC_YCBCR) {
        // libtiff's JPEG codec converts to RGB for us.
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        l.photometric = PHOTOMETRIC_RGB;
    }
    if (planar != PLANARCONFIG_CONTIG && planar != PLANARCONFIG_SEPARATE) return false;
    l.separate = planar == PLANARCONFIG_SEPARATE;
    if (format == SAMPLEFORMAT_IEEEFP && l.bits == 32) {
        l.floating = true;  // libtiff's RGBA interface cannot render floats
    } else if (format != SAMPLEFORMAT_UINT || (l.bits != 8 && l.bits != 16)) {
        return false;
    }
    if (l.spp < 1 || l.spp > 16) return false;
    if (l.photometric == PHOTOMETRIC_RGB) {
        if (l.spp < 3) return false;
        l.colour = true;
    } else if (l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE) {
        l.invert = l.photometric == PHOTOMETRIC_MINISWHITE;
    } else {
        return false;
    }
    uint16_t extra_count = 0;
    uint16_t* extra = nullptr;
    const uint16_t colour_samples = l.colour ? 3 : 1;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra) && extra_count > 0 && extra != nullptr &&
        l.spp > colour_samples) {
        if (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA) {
            l.alpha_index = colour_samples;
            l.premultiplied = extra[0] == EXTRASAMPLE_ASSOCALPHA;
        }
    }
    return true;
}

struct DecodeJob {
    TIFF* tif;
    FileContext* ctx;
    const DecodeOptions* options;
};

// Separate planes in strips: each strip of each plane is decoded whole
// (reading plane by plane row by row would restart compressed strips).
Result<Bitmap> DecodeSeparateStrips(const DecodeJob& job, const Layout& l) {
    uint32_t rows_per_strip = l.height;
    TIFFGetFieldDefaulted(job.tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
    rows_per_strip = std::clamp<uint32_t>(rows_per_strip, 1, l.height);
    const uint32_t sample_bytes = l.bits / 8;
    const tmsize_t strip_bytes = TIFFStripSize(job.tif);
    const uint64_t need = uint64_t(l.width) * rows_per_strip * sample_bytes;
    if (strip_bytes <= 0 || uint64_t(strip_bytes) < need || uint64_t(strip_bytes) * l.spp > uint64_t(kMaxChunkBytes))
        return Fail(*job.ctx, ErrorCode::kCorrupt, "bad strip size");
    std::vector<std::vector<uint8_t>> planes(l.spp, std::vector<uint8_t>(static_cast<size_t>(strip_bytes)));
    std::vector<uint8_t> pixels(size_t(l.width) * l.spp * sample_bytes);
    auto bitmap =
        Bitmap::Create(l.width, l.height, job.options->layout, Bitmap::Fill::kUninitialized, job.options->limits);
    if (!bitmap) return bitmap;
    for (uint32_t y0 = 0; y0 < l.height; y0 += rows_per_strip) {
        for (uint16_t p = 0; p < l.spp; ++p)
            if (TIFFReadEncodedStrip(job.tif, TIFFComputeStrip(job.tif, y0, p), planes[p].data(), strip_bytes) < 0)
                return Fail(*job.ctx, ErrorCode::kCorrupt, "cannot read the strip at row " + std::to_string(y0));
        const uint32_t rows = std::min(rows_per_strip, l.height - y0);
        for (uint32_t r = 0; r < rows; ++r) {
            Interleave(planes, size_t(r) * l.width * sample_bytes, l.width, sample_bytes, pixels.data());
            ConvertPixels(l, pixels.data(), bitmap->Row(y0 + r), l.width, job.options->layout);
        }
    }
    return bitmap;
}

Result<Bitmap> DecodeStrips(const DecodeJob& job, const Layout& l) {
    if (l.separate) return DecodeSeparateStrips(job, l);
    const tmsize_t line = TIFFScanlineSize(job.tif);
    const tmsize_t need = tmsize_t(l.width) * l.spp * (l.bits / 8);  // bits is 8, 16 or 32
    if (line <= 0 || line < need || line > kMaxChunkBytes)
        return Fail(*job.ctx, ErrorCode::kCorrupt, "bad scanline size");
    std::vector<uint8_t> buffer(static_cast<size_t>(line));
    auto bitmap =
        Bitmap::Create(l.width, l.height, job.options->layout, Bitmap::Fill::kUninitialized, job.options->limits);
    if (!bitmap) return bitmap;
    for (uint32_t y = 0; y < l.height; ++y) {
        if (TIFFReadScanline(job.tif, buffer.data(), y, 0) < 0)
            return Fail(*job.ctx, ErrorCode::kCorrupt, "cannot read row " + std::to_string(y));
        ConvertPixels(l, buffer.data(), bitmap->Row(y), l.width, job.options->layout);
    }
    return bitmap;
}

Result<Bitmap> DecodeTiles(const DecodeJob& job, const Layout& l) {
    uint32_t tw = 0, th = 0;
    TIFFGetField(job.tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(job.tif, TIFFTAG_TILELENGTH, &th);
    if (tw == 0 || th == 0) return Fail(*job.ctx, ErrorCode::kCorrupt, "tile size 0");
    const uint32_t sample_bytes = l.bits / 8;
    const uint16_t plane_count = l.separate ? l.spp : 1;
    const uint32_t samples_per_plane = l.separate ? 1 : l.spp;
    const tmsize_t tile_bytes = TIFFTileSize(job.tif);  // of one plane when separate
    const uint64_t need = uint64_t(tw) * th * samples_per_plane * sample_bytes;
    if (tile_bytes <= 0 || uint64_t(tile_bytes) < need || uint64_t(tile_bytes) * plane_count > uint64_t(kMaxChunkBytes))
        return Fail(*job.ctx, ErrorCode::kCorrupt, "bad tile size");
    std::vector<std::vector<uint8_t>> planes(plane_count, std::vector<uint8_t>(static_cast<size_t>(tile_bytes)));
    std::vector<uint8_t> pixels(l.separate ? size_t(tw) * l.spp * sample_bytes : 0);
    auto bitmap =
        Bitmap::Create(l.width, l.height, job.options->layout, Bitmap::Fill::kUninitialized, job.options->limits);
    if (!bitmap) return bitmap;
    const size_t tile_row = size_t(tw) * samples_per_plane * sample_bytes;
    const uint32_t bpp = BytesPerPixel(job.options->layout);
    for (uint32_t ty = 0; ty < l.height; ty += th) {
        for (uint32_t tx = 0; tx < l.width; tx += tw) {
            for (uint16_t p = 0; p < plane_count; ++p)
                if (TIFFReadTile(job.tif, planes[p].data(), tx, ty, 0, p) < 0)
                    return Fail(*job.ctx, ErrorCode::kCorrupt,
                                "cannot read the tile at " + std::to_string(tx) + ", " + std::to_string(ty));
            const uint32_t cols = std::min(tw, l.width - tx);
            const uint32_t rows = std::min(th, l.height - ty);
            for (uint32_t r = 0; r < rows; ++r) {
                const uint8_t* src = planes[0].data() + r * tile_row;
                if (l.separate) {
                    Interleave(planes, r * tile_row, cols, sample_bytes, pixels.data());
                    src = pixels.data();
                }
                ConvertPixels(l, src, bitmap->Row(ty + r) + size_t(tx) * bpp, cols, job.options->layout);
            }
        }
    }
    return bitmap;
}

// libtiff's RGBA interface for everything the direct path does not read.
Result<Bitmap> DecodeRgba(const DecodeJob& job, uint32_t width, uint32_t height) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(job.tif, message))
        return Fail(*job.ctx, ErrorCode::kUnsupported, std::string("cannot render this TIFF: ") + message);
    TIFFRGBAImage img{};
    if (!TIFFRGBAImageBegin(&img, job.tif, 0, message))
        return Fail(*job.ctx, ErrorCode::kUnsupported, std::string("cannot render this TIFF: ") + message);
    // Ask for the stored orientation: no flips, rows as in the file.
    img.req_orientation = img.orientation;
    auto argb = Bitmap::Create(width, height, PixelLayout::kArgb32, Bitmap::Fill::kZero, job.options->limits);
    if (!argb) {
        TIFFRGBAImageEnd(&img);
        return argb;
    }
    // An owned ARGB bitmap has a stride of exactly width * 4: it can serve
    // as libtiff's packed raster.
    auto* raster = reinterpret_cast<uint32_t*>(argb->Data());
    const int ok = TIFFRGBAImageGet(&img, raster, width, height);
    TIFFRGBAImageEnd(&img);
    if (!ok) return Fail(*job.ctx, ErrorCode::kCorrupt, "cannot read the picture data");
    // libtiff packs A B G R from the high byte down (R first in memory); we
    // want B G R A in memory.
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* p = argb->Row(y);
        for (uint32_t x = 0; x < width; ++x, p += 4) std::swap(p[0], p[2]);
    }
    if (job.options->layout == PixelLayout::kArgb32) return argb;
    return argb->ConvertTo(PixelLayout::kBgr24);
}

Result<Bitmap> DecodeOpened(TIFF* tif, FileContext& ctx, const DecodeOptions& options) {
    if (tif == nullptr) return Fail(ctx, ErrorCode::kCorrupt, "cannot open");
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
        return Fail(ctx, ErrorCode::kCorrupt, "no picture size");
    if (Status s = CheckDimensions(width, height, options.limits); !s) return s.error();
    DecodeJob job{tif, &ctx, &options};
    Layout l;
    l.width = width;
    l.height = height;
    if (DirectLayout(tif, l)) return TIFFIsTiled(tif) ? DecodeTiles(job, l) : DecodeStrips(job, l);
    return DecodeRgba(job, width, height);
}

std::unique_ptr<TIFFOpenOptions, OptionsFree> MakeOptions(FileContext& ctx) {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> opts(TIFFOpenOptionsAlloc());
    if (opts) {
        TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), OnError, &ctx);
        TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), OnWarning, &ctx);
        TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), kMaxChunkBytes * 2);
    }
    return opts;
}

}  // namespace

Result<ImageInfo> ReadTiffInfo(std::span<const uint8_t> data) {
    detail::MemorySource src(data);
    return detail::ReadTiffInfoFrom(src);
}

Result<ImageInfo> ReadTiffInfoFile(const std::filesystem::path& path) {
    detail::FileSource src;
    if (Status s = src.Open(path); !s) return s.error();
    return detail::ReadTiffInfoFrom(src);
}

Result<Bitmap> DecodeTiff(std::span<const uint8_t> data, const DecodeOptions& options) {
    detail::QuietLibtiff();
    auto info = ReadTiffInfo(data);
    if (!info) return info.error();
    if (Status s = CheckDimensions(info->width, info->height, options.limits); !s) return s.error();
    try {
        FileContext ctx;
        ctx.data = data.data();
        ctx.size = data.size();
        auto opts = MakeOptions(ctx);
        if (!opts) return Error{ErrorCode::kOutOfMemory, "TIFF: out of memory"};
        // "m": no memory mapping (there is no file to map).
        TiffPtr tif(TIFFClientOpenExt("memory", "rm", &ctx, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap,
                                      MemUnmap, opts.get()));
        return DecodeOpened(tif.get(), ctx, options);
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "TIFF: out of memory"};
    }
}

Result<Bitmap> DecodeTiffFile(const std::filesystem::path& path, const DecodeOptions& options) {
    detail::QuietLibtiff();
    auto info = ReadTiffInfoFile(path);
    if (!info) return info.error();
    if (Status s = CheckDimensions(info->width, info->height, options.limits); !s) return s.error();
    try {
        FileContext ctx;
        auto opts = MakeOptions(ctx);
        if (!opts) return Error{ErrorCode::kOutOfMemory, "TIFF: out of memory"};
        // "m": read, do not map: a file shortened while mapped would crash us.
        TiffPtr tif(TIFFOpenExt(path.c_str(), "rm", opts.get()));
        return DecodeOpened(tif.get(), ctx, options);
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "TIFF: out of memory"};
    }
}

}  // namespace veldan::imaging
