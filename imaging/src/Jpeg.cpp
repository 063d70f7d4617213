// JPEG decoding and encoding on the libjpeg API of libjpeg-turbo.
//
// libjpeg reports fatal errors through error_exit, which must not return; we
// leave with longjmp back into the function that called setjmp. Every C++
// object with a destructor lives in the caller's JpegDecodeState /
// JpegEncodeState, which outlives that function, so the jump never skips a
// destructor.
#include "imaging/Jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

// After jpeglib.h: its configuration decides which message codes exist.
#include <jerror.h>

#include "ByteSource.h"
#include "JpegInternal.h"
#include "TiffStructure.h"

namespace veldan::imaging {
namespace {

using detail::ByteSource;

// A progressive file can declare thousands of tiny scans, each making the
// decoder walk the whole coefficient buffer; real files have about ten.
constexpr int kMaxScans = 500;

struct ErrorManager {
    jpeg_error_mgr pub;  // first member: libjpeg hands us a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    ErrorCode code;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    err->code = cinfo->err->msg_code == JERR_OUT_OF_MEMORY ? ErrorCode::kOutOfMemory : ErrorCode::kCorrupt;
    std::longjmp(err->jump, 1);
}

// Warnings: harmless ones are ignored silently; those that mean the data is
// cut off or damaged end the decode, so that a half-written file is reported
// as such instead of being shown with a grey lower part.
//
// The end of the data (JWRN_JPEG_EOF) alone is fatal only for files with
// several scans, where it means missing scans. In a single-scan file it also
// comes when nothing but the final EOI marker is missing; real truncation
// then shows as JWRN_HIT_MARKER once the decoder needs bits that are not
// there.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    switch (cinfo->err->msg_code) {
        case JWRN_JPEG_EOF:
            if (cinfo->is_decompressor) {
                auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
                if (d->progressive_mode || d->comps_in_scan < d->num_components) OnError(cinfo);
            }
            cinfo->err->num_warnings++;
            break;
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL: OnError(cinfo);
        default: cinfo->err->num_warnings++;
    }
}

void OnProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "JPEG has more than %d scans", kMaxScans);
        err->code = ErrorCode::kCorrupt;
        std::longjmp(err->jump, 1);
    }
}

void InstallErrorManager(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.message[0] = 0;
    err.code = ErrorCode::kCorrupt;
}

struct JpegDecodeState {
    ErrorManager err{};
    jpeg_decompress_struct cinfo{};
    jpeg_progress_mgr progress{};
    bool created = false;
    Bitmap bitmap;
    std::vector<uint8_t> cmyk_row;
    Error error;
    const DecodeOptions* options = nullptr;

    ~JpegDecodeState() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
    // Plain C++ helpers, called between libjpeg calls (never while one runs).
    bool Allocate(uint32_t w, uint32_t h) {
        Result<Bitmap> b = Bitmap::Create(w, h, options->layout, Bitmap::Fill::kUninitialized, options->limits);
        if (!b) {
            error = b.error();
            return false;
        }
        bitmap = std::move(b).value();
        return true;
    }
    bool AllocateCmykRow(uint32_t w) {
        try {
            cmyk_row.resize(size_t(w) * 4);
            return true;
        } catch (...) {
            error = {ErrorCode::kOutOfMemory, "no memory for a JPEG row"};
            return false;
        }
    }
    bool Check(uint32_t w, uint32_t h) {
        if (Status s = CheckDimensions(w, h, options->limits); !s) {
            error = s.error();
            return false;
        }
        return true;
    }
};

void CmykRowToBitmap(const uint8_t* cmyk, uint8_t* out, uint32_t width, bool inverted, uint32_t bpp) {
    for (uint32_t x = 0; x < width; ++x, cmyk += 4, out += bpp) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[0] = uint8_t((y * k + 127) / 255);
        out[1] = uint8_t((m * k + 127) / 255);
        out[2] = uint8_t((c * k + 127) / 255);
        if (bpp == 4) out[3] = 255;
    }
}

// Runs the decoder; false on failure with st.error set. Only trivially
// destructible locals live here (see the note at the top of the file).
bool RunDecode(JpegDecodeState& st, const uint8_t* data, size_t size) {
    j_decompress_ptr cinfo = &st.cinfo;
    InstallErrorManager(st.err);
    cinfo->err = &st.err.pub;
    if (setjmp(st.err.jump)) {
        if (st.error.message.empty()) st.error = {st.err.code, std::string("JPEG: ") + st.err.message};
        return false;
    }
    jpeg_create_decompress(cinfo);
    st.created = true;
    // Bounds libjpeg's own buffers (the whole-picture coefficient arrays of
    // progressive files); a legitimate 400-megapixel picture needs ~1.2 GB.
    cinfo->mem->max_memory_to_use = long(2) << 30;
    st.progress.progress_monitor = OnProgress;
    cinfo->progress = &st.progress;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);
    if (!st.Check(cinfo->image_width, cinfo->image_height)) return false;

    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    const bool argb = st.options->layout == PixelLayout::kArgb32;
    cinfo->out_color_space = cmyk ? JCS_CMYK : (argb ? JCS_EXT_BGRA : JCS_EXT_BGR);
    cinfo->scale_num =
        ChooseJpegScale(cinfo->image_width, cinfo->image_height, st.options->want_width, st.options->want_height);
    cinfo->scale_denom = 8;
    cinfo->dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(cinfo);
    if (!st.Allocate(cinfo->output_width, cinfo->output_height)) return false;
    if (cmyk && !st.AllocateCmykRow(cinfo->output_width)) return false;

    jpeg_start_decompress(cinfo);
    const uint32_t bpp = st.bitmap.BytesPerPixel();
    while (cinfo->output_scanline < cinfo->output_height) {
        if (cmyk) {
            JSAMPROW row = st.cmyk_row.data();
            uint32_t y = cinfo->output_scanline;
            if (jpeg_read_scanlines(cinfo, &row, 1) != 1) break;
            CmykRowToBitmap(row, st.bitmap.Row(y), cinfo->output_width, cinfo->saw_Adobe_marker, bpp);
        } else {
            JSAMPROW rows[16];
            JDIMENSION y = cinfo->output_scanline;
            JDIMENSION n = std::min<JDIMENSION>(16, cinfo->output_height - y);
            for (JDIMENSION i = 0; i < n; ++i) rows[i] = st.bitmap.Row(y + i);
            if (jpeg_read_scanlines(cinfo, rows, n) == 0) break;
        }
    }
    if (cinfo->output_scanline < cinfo->output_height) {
        st.error = {ErrorCode::kCorrupt, "JPEG: data ends early"};
        return false;
    }
    // No jpeg_finish_decompress: the pixels are complete; whatever follows
    // the last scan (a missing EOI, trailing bytes) does not matter here.
    return true;
}

uint16_t ReadBig16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// Orientation from an APP1 "Exif" payload (the TIFF structure after the
// six-byte "Exif\0\0" prefix); 1 when absent or invalid.
uint16_t ExifOrientation(const ByteSource& src, uint64_t tiff_start) {
    detail::TiffStructure tiff(src, tiff_start);
    if (!tiff.ReadHeader()) return 1;
    std::vector<detail::TiffEntry> entries;
    if (!tiff.ReadIfd(tiff.FirstIfd(), entries)) return 1;
    const detail::TiffEntry* e = detail::TiffStructure::Find(entries, detail::kTagOrientation);
    if (e == nullptr) return 1;
    auto v = tiff.Integer(*e);
    return (v && *v >= 1 && *v <= 8) ? uint16_t(*v) : 1;
}

}  // namespace

}  // namespace veldan::imaging

namespace veldan::imaging::detail {

Result<ImageInfo> ReadJpegInfoFrom(const ByteSource& src) {
    uint8_t b[16];
    if (!src.ReadExact(0, b, 2) || b[0] != 0xFF || b[1] != 0xD8)
        return Error{ErrorCode::kUnknownFormat, "not a JPEG file"};
    ImageInfo info;
    info.format = Format::kJpeg;
    uint64_t pos = 2;
    bool exif_seen = false;
    for (;;) {
        // Find the next marker: 0xFF, possibly padded with more 0xFF bytes.
        if (!src.ReadExact(pos, b, 1)) return Error{ErrorCode::kCorrupt, "JPEG ends before its frame header"};
        if (b[0] != 0xFF) return Error{ErrorCode::kCorrupt, "JPEG marker expected"};
        uint8_t marker = 0xFF;
        while (marker == 0xFF) {
            ++pos;
            if (!src.ReadExact(pos, &marker, 1)) return Error{ErrorCode::kCorrupt, "JPEG ends before its frame header"};
        }
        ++pos;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (marker == 0xD9 || marker == 0xDA)
            return Error{ErrorCode::kCorrupt, "JPEG has no frame header before its image data"};
        if (!src.ReadExact(pos, b, 2)) return Error{ErrorCode::kCorrupt, "JPEG segment cut off"};
        const uint16_t length = ReadBig16(b);
        if (length < 2) return Error{ErrorCode::kCorrupt, "JPEG segment length invalid"};
        const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (length < 8 || !src.ReadExact(pos + 2, b, 5))
                return Error{ErrorCode::kCorrupt, "JPEG frame header cut off"};
            info.height = ReadBig16(b + 1);
            info.width = ReadBig16(b + 3);
            if (info.width == 0 || info.height == 0)
                return Error{ErrorCode::kUnsupported, "JPEG without a declared height"};
            return info;
        }
        if (marker == 0xE1 && !exif_seen && length >= 8 + 6) {
            uint8_t id[6];
            if (src.ReadExact(pos + 2, id, 6) && std::memcmp(id, "Exif\0\0", 6) == 0) {
                exif_seen = true;
                // The EXIF structure is limited to its segment.
                std::vector<uint8_t> payload(length - 8);
                if (src.ReadExact(pos + 8, payload.data(), payload.size())) {
                    MemorySource exif(payload);
                    info.orientation = ExifOrientation(exif, 0);
                }
            }
        }
        pos += length;
    }
}

}  // namespace veldan::imaging::detail

namespace veldan::imaging {

uint32_t ChooseJpegScale(uint32_t width, uint32_t height, uint32_t want_width, uint32_t want_height) {
    if (want_width == 0 && want_height == 0) return 8;
    for (uint32_t n = 1; n < 8; ++n) {
        // libjpeg's output size for scale n/8 is ceil(size * n / 8).
        uint64_t w = (uint64_t(width) * n + 7) / 8;
        uint64_t h = (uint64_t(height) * n + 7) / 8;
        if (w >= want_width && h >= want_height) return n;
    }
    return 8;
}

Result<ImageInfo> ReadJpegInfo(std::span<const uint8_t> data) {
    detail::MemorySource src(data);
    return detail::ReadJpegInfoFrom(src);
}

Result<ImageInfo> ReadJpegInfoFile(const std::filesystem::path& path) {
    detail::FileSource src;
    if (Status s = src.Open(path); !s) return s.error();
    return detail::ReadJpegInfoFrom(src);
}

Result<Bitmap> DecodeJpeg(std::span<const uint8_t> data, const DecodeOptions& options) {
    if (data.size() < 4) return Error{ErrorCode::kCorrupt, "JPEG data too short"};
    try {
        JpegDecodeState st;
        st.options = &options;
        if (!RunDecode(st, data.data(), data.size())) return st.error;
        return std::move(st.bitmap);
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "JPEG: out of memory"};
    }
}

Result<Bitmap> DecodeJpegFile(const std::filesystem::path& path, const DecodeOptions& options) {
    auto data = detail::ReadWholeFile(path);
    if (!data) return data.error();
    return DecodeJpeg(*data, options);
}

namespace {

struct JpegEncodeState {
    ErrorManager err{};
    jpeg_compress_struct cinfo{};
    bool created = false;
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    ~JpegEncodeState() {
        if (created) jpeg_destroy_compress(&cinfo);
        std::free(out);  // jpeg_mem_dest allocates with malloc
    }
};

bool RunEncode(JpegEncodeState& st, const Bitmap& bitmap, const JpegEncodeOptions& options, Error& error) {
    j_compress_ptr cinfo = &st.cinfo;
    InstallErrorManager(st.err);
    cinfo->err = &st.err.pub;
    if (setjmp(st.err.jump)) {
        error = {st.err.code, std::string("JPEG encoder: ") + st.err.message};
        return false;
    }
    jpeg_create_compress(cinfo);
    st.created = true;
    jpeg_mem_dest(cinfo, &st.out, &st.out_size);
    cinfo->image_width = bitmap.Width();
    cinfo->image_height = bitmap.Height();
    const bool argb = bitmap.Layout() == PixelLayout::kArgb32;
    cinfo->input_components = argb ? 4 : 3;
    cinfo->in_color_space = argb ? JCS_EXT_BGRA : JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, std::clamp(options.quality, 1, 100), TRUE);
    cinfo->optimize_coding = options.optimize_coding ? TRUE : FALSE;
    if (options.progressive) jpeg_simple_progression(cinfo);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        // libjpeg does not write through its row pointers.
        JSAMPROW row = const_cast<JSAMPROW>(bitmap.Row(cinfo->next_scanline));
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

}  // namespace

Result<std::vector<uint8_t>> EncodeJpeg(const Bitmap& bitmap, const JpegEncodeOptions& options) {
    if (bitmap.Empty()) return Error{ErrorCode::kInvalidArgument, "cannot encode an empty bitmap"};
    if (bitmap.Width() > 65500 || bitmap.Height() > 65500)
        return Error{ErrorCode::kTooLarge, "JPEG cannot hold more than 65500 pixels a side"};
    try {
        JpegEncodeState st;
        Error error;
        if (!RunEncode(st, bitmap, options, error)) return error;
        return std::vector<uint8_t>(st.out, st.out + st.out_size);
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "JPEG encoder: out of memory"};
    }
}

Status SaveJpeg(const Bitmap& bitmap, const std::filesystem::path& path, const JpegEncodeOptions& options) {
    auto data = EncodeJpeg(bitmap, options);
    if (!data) return data.error();
    return detail::WriteFileAtomic(path, *data);
}

}  // namespace veldan::imaging
