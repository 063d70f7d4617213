// PNG decoding and encoding on libpng.
//
// libpng reports errors by longjmp to the setjmp in png_jmpbuf. As for JPEG,
// all C++ objects with destructors live in state structs owned by the caller
// of the function that calls setjmp, so a jump never skips a destructor.
#include "imaging/Png.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include <png.h>

#include "ByteSource.h"

namespace veldan::imaging {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t Big32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

Result<ImageInfo> ReadInfoFrom(const detail::ByteSource& src) {
    uint8_t h[24];
    if (!src.ReadExact(0, h, 8) || std::memcmp(h, kSignature, 8) != 0)
        return Error{ErrorCode::kUnknownFormat, "not a PNG file"};
    if (!src.ReadExact(0, h, 24)) return Error{ErrorCode::kCorrupt, "PNG ends inside its header"};
    if (Big32(h + 8) != 13 || std::memcmp(h + 12, "IHDR", 4) != 0)
        return Error{ErrorCode::kCorrupt, "PNG does not start with an IHDR chunk"};
    ImageInfo info;
    info.format = Format::kPng;
    info.width = Big32(h + 16);
    info.height = Big32(h + 20);
    if (info.width == 0 || info.height == 0 || info.width > 0x7FFFFFFF || info.height > 0x7FFFFFFF)
        return Error{ErrorCode::kCorrupt, "PNG declares an invalid size"};
    return info;
}

struct PngContext {
    char message[200] = {};
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    std::vector<uint8_t>* out = nullptr;
};

[[noreturn]] void OnError(png_structp png, png_const_charp msg) {
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    std::snprintf(ctx->message, sizeof ctx->message, "%s", msg);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    if (ctx->size - ctx->pos < length) png_error(png, "PNG data ends early");
    std::memcpy(out, ctx->data + ctx->pos, length);
    ctx->pos += length;
}

struct PngDecodeState {
    PngContext ctx;
    png_structp png = nullptr;
    png_infop info = nullptr;
    Bitmap bitmap;
    Error error;
    const DecodeOptions* options = nullptr;

    ~PngDecodeState() {
        if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    }
    bool Allocate(uint32_t w, uint32_t h) {
        Result<Bitmap> b = Bitmap::Create(w, h, options->layout, Bitmap::Fill::kUninitialized, options->limits);
        if (!b) {
            error = b.error();
            return false;
        }
        bitmap = std::move(b).value();
        return true;
    }
};

bool RunDecode(PngDecodeState& st) {
    st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st.ctx, OnError, OnWarning);
    if (st.png == nullptr) {
        st.error = {ErrorCode::kOutOfMemory, "PNG: cannot create the decoder"};
        return false;
    }
    st.info = png_create_info_struct(st.png);
    if (st.info == nullptr) {
        st.error = {ErrorCode::kOutOfMemory, "PNG: cannot create the decoder"};
        return false;
    }
    png_structp png = st.png;
    png_infop info = st.info;
    if (setjmp(png_jmpbuf(png))) {
        if (st.error.message.empty()) st.error = {ErrorCode::kCorrupt, std::string("PNG: ") + st.ctx.message};
        return false;
    }
    png_set_read_fn(png, &st.ctx, ReadFromMemory);
    // A backstop: the size was checked against the caller's limits already.
    png_set_user_limits(png, st.options->limits.max_side, st.options->limits.max_side);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int color = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    const bool argb = st.options->layout == PixelLayout::kArgb32;

    if (color == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (color == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (has_trns) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_scale_16(png);
    if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    const bool has_alpha = (color & PNG_COLOR_MASK_ALPHA) != 0 || has_trns;
    if (argb && !has_alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    if (!argb && has_alpha) png_set_strip_alpha(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    if (png_get_rowbytes(png, info) != size_t(width) * (argb ? 4 : 3)) {
        st.error = {ErrorCode::kUnsupported, "PNG: unexpected row layout after conversion"};
        return false;
    }
    if (!st.Allocate(width, height)) return false;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, st.bitmap.Row(y), nullptr);
    // The chunks after the image data (text, time) are not needed.
    return true;
}

struct PngEncodeState {
    PngContext ctx;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngEncodeState() {
        if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    }
};

void WriteToVector(png_structp png, png_bytep data, size_t length) {
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    bool ok = true;
    try {
        ctx->out->insert(ctx->out->end(), data, data + length);
    } catch (...) {
        ok = false;
    }
    if (!ok) png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}

bool AllOpaque(const Bitmap& b) {
    if (b.Layout() != PixelLayout::kArgb32) return true;
    for (uint32_t y = 0; y < b.Height(); ++y) {
        const uint8_t* p = b.Row(y);
        for (uint32_t x = 0; x < b.Width(); ++x)
            if (p[4 * x + 3] != 255) return false;
    }
    return true;
}

bool RunEncode(PngEncodeState& st, const Bitmap& bitmap, const PngEncodeOptions& options, bool opaque, Error& error) {
    st.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st.ctx, OnError, OnWarning);
    if (st.png == nullptr) {
        error = {ErrorCode::kOutOfMemory, "PNG encoder: cannot be created"};
        return false;
    }
    st.info = png_create_info_struct(st.png);
    if (st.info == nullptr) {
        error = {ErrorCode::kOutOfMemory, "PNG encoder: cannot be created"};
        return false;
    }
    png_structp png = st.png;
    png_infop info = st.info;
    if (setjmp(png_jmpbuf(png))) {
        error = {ErrorCode::kOutOfMemory, std::string("PNG encoder: ") + st.ctx.message};
        return false;
    }
    png_set_write_fn(png, &st.ctx, WriteToVector, FlushNothing);
    png_set_compression_level(png, std::clamp(options.compression_level, 0, 9));
    const bool argb = bitmap.Layout() == PixelLayout::kArgb32;
    png_set_IHDR(png, info, bitmap.Width(), bitmap.Height(), 8,
                 argb && !opaque ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    if (argb && opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);  // drops the alpha byte
    for (uint32_t y = 0; y < bitmap.Height(); ++y) png_write_row(png, bitmap.Row(y));
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

Result<ImageInfo> ReadPngInfo(std::span<const uint8_t> data) {
    detail::MemorySource src(data);
    return ReadInfoFrom(src);
}

Result<ImageInfo> ReadPngInfoFile(const std::filesystem::path& path) {
    detail::FileSource src;
    if (Status s = src.Open(path); !s) return s.error();
    return ReadInfoFrom(src);
}

Result<Bitmap> DecodePng(std::span<const uint8_t> data, const DecodeOptions& options) {
    auto info = ReadPngInfo(data);
    if (!info) return info.error();
    if (Status s = CheckDimensions(info->width, info->height, options.limits); !s) return s.error();
    try {
        PngDecodeState st;
        st.options = &options;
        st.ctx.data = data.data();
        st.ctx.size = data.size();
        if (!RunDecode(st)) return st.error;
        return std::move(st.bitmap);
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "PNG: out of memory"};
    }
}

Result<Bitmap> DecodePngFile(const std::filesystem::path& path, const DecodeOptions& options) {
    auto data = detail::ReadWholeFile(path);
    if (!data) return data.error();
    return DecodePng(*data, options);
}

Result<std::vector<uint8_t>> EncodePng(const Bitmap& bitmap, const PngEncodeOptions& options) {
    if (bitmap.Empty()) return Error{ErrorCode::kInvalidArgument, "cannot encode an empty bitmap"};
    try {
        std::vector<uint8_t> out;
        out.reserve(bitmap.SizeInBytes() / 4 + 1024);
        PngEncodeState st;
        st.ctx.out = &out;
        Error error;
        if (!RunEncode(st, bitmap, options, AllOpaque(bitmap), error)) return error;
        return out;
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "PNG encoder: out of memory"};
    }
}

Status SavePng(const Bitmap& bitmap, const std::filesystem::path& path, const PngEncodeOptions& options) {
    auto data = EncodePng(bitmap, options);
    if (!data) return data.error();
    return detail::WriteFileAtomic(path, *data);
}

}  // namespace veldan::imaging
