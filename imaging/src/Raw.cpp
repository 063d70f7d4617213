// Camera raw decoding on LibRaw (thread-safe build, libraw_r). LibRaw
// reports errors by return codes; its messages on damaged data are routed
// to silent callbacks.
#include "imaging/Raw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include <libraw/libraw.h>

#include "ByteSource.h"
#include "imaging/Jpeg.h"

namespace veldan::imaging {
namespace {

// LibRaw calls this for read errors and damaged data (and goes on with
// zeros); we count them so that a cut-off file is reported, not shown.
void CountDataError(void* data, const char*, const int) { ++*static_cast<int*>(data); }
void QuietMemory(void*, const char*, const char*) {}

struct Source {
    std::span<const uint8_t> data;                // memory source, or
    const std::filesystem::path* path = nullptr;  // file source
};

Error RawError(int code, const char* what) {
    ErrorCode ec = ErrorCode::kCorrupt;
    if (code == LIBRAW_FILE_UNSUPPORTED)
        ec = ErrorCode::kUnknownFormat;
    else if (code == LIBRAW_UNSUFFICIENT_MEMORY)
        ec = ErrorCode::kOutOfMemory;
    // LIBRAW_IO_ERROR: reading past the end of the data (the file itself
    // was opened and read before LibRaw saw it); the data is cut off.
    else if (code == LIBRAW_NO_THUMBNAIL)
        ec = ErrorCode::kNoPreview;
    else if (code == LIBRAW_UNSUPPORTED_THUMBNAIL || code == LIBRAW_REQUEST_FOR_NONEXISTENT_IMAGE)
        ec = ErrorCode::kUnsupported;
    return Error{ec, std::string("camera raw: ") + what + ": " + libraw_strerror(code)};
}

uint16_t OrientationFromFlip(int flip) {
    switch (flip) {
        case 3: return 3;  // 180 degrees
        case 5: return 8;  // needs a quarter turn counter-clockwise
        case 6: return 6;  // needs a quarter turn clockwise
        default: return 1;
    }
}

// Opens the source in a new processor; the processor is large, so it lives
// on the heap.
struct Processor {
    std::unique_ptr<LibRaw> raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    int data_errors = 0;
};

Result<std::unique_ptr<Processor>> Open(const Source& src) {
    auto proc = std::make_unique<Processor>();
    LibRaw* raw = proc->raw.get();
    raw->set_dataerror_handler(CountDataError, &proc->data_errors);
    raw->set_memerror_handler(QuietMemory, nullptr);
    int rc;
    if (src.path != nullptr) {
        detail::FileSource probe;  // a clear error for missing or unreadable files
        if (Status s = probe.Open(*src.path); !s) return s.error();
        rc = raw->open_file(src.path->c_str());
    } else {
        if (src.data.empty()) return Error{ErrorCode::kCorrupt, "camera raw: no data"};
        // LibRaw only reads through this pointer.
        rc = raw->open_buffer(const_cast<uint8_t*>(src.data.data()), src.data.size());
    }
    if (rc != LIBRAW_SUCCESS) return RawError(rc, "cannot open");
    if (raw->imgdata.idata.raw_count == 0 && raw->imgdata.sizes.raw_width == 0)
        return Error{ErrorCode::kUnknownFormat, "camera raw: not a raw file"};
    return proc;
}

ImageInfo InfoOf(const LibRaw& raw) {
    ImageInfo info;
    info.format = Format::kRaw;
    info.width = raw.imgdata.sizes.width;
    info.height = raw.imgdata.sizes.height;
    info.orientation = OrientationFromFlip(raw.imgdata.sizes.flip);
    return info;
}

Status CheckRawSize(const LibRaw& raw, const Limits& limits) {
    const auto& s = raw.imgdata.sizes;
    if (Status st = CheckDimensions(s.width, s.height, limits); !st) return st;
    // The sensor data can be larger than the picture (margins); bound it too.
    Limits sensor = limits;
    sensor.max_side = std::max<uint32_t>(limits.max_side, limits.max_side + 2048);
    return CheckDimensions(std::max<uint32_t>(s.raw_width, 1), std::max<uint32_t>(s.raw_height, 1), sensor);
}

Result<Bitmap> Preview(Processor& proc, const DecodeOptions& options) {
    LibRaw& raw = *proc.raw;
    int rc = raw.unpack_thumb();
    if (rc != LIBRAW_SUCCESS) return RawError(rc, "cannot read the preview");
    const libraw_thumbnail_t& t = raw.imgdata.thumbnail;
    if (t.thumb == nullptr || t.tlength == 0) return Error{ErrorCode::kNoPreview, "camera raw: no preview"};
    if (proc.data_errors > 0) return Error{ErrorCode::kCorrupt, "camera raw: the preview is cut off"};
    const auto* bytes = reinterpret_cast<const uint8_t*>(t.thumb);
    if (t.tformat == LIBRAW_THUMBNAIL_JPEG) return DecodeJpeg({bytes, t.tlength}, options);
    if (t.tformat == LIBRAW_THUMBNAIL_BITMAP && t.tcolors == 3) {
        if (Status s = CheckDimensions(t.twidth, t.theight, options.limits); !s) return s.error();
        if (uint64_t(t.twidth) * t.theight * 3 > t.tlength)
            return Error{ErrorCode::kCorrupt, "camera raw: preview shorter than its size"};
        auto b = Bitmap::Create(t.twidth, t.theight, options.layout, Bitmap::Fill::kUninitialized, options.limits);
        if (!b) return b;
        for (uint32_t y = 0; y < t.theight; ++y) {
            const uint8_t* s = bytes + size_t(y) * t.twidth * 3;
            for (uint32_t x = 0; x < t.twidth; ++x, s += 3) b->SetArgb(x, y, MakeArgb(255, s[0], s[1], s[2]));
        }
        return b;
    }
    return Error{ErrorCode::kUnsupported, "camera raw: preview in an unsupported format"};
}

Result<Bitmap> Demosaic(Processor& proc, const DecodeOptions& options, bool half) {
    LibRaw& raw = *proc.raw;
    if (Status s = CheckRawSize(raw, options.limits); !s) return s.error();
    auto& p = raw.imgdata.params;
    p.user_flip = 0;  // pixels as stored; callers apply the orientation
    p.output_bps = 8;
    p.use_camera_wb = 1;
    p.half_size = half ? 1 : 0;
    int rc = raw.unpack();
    if (rc != LIBRAW_SUCCESS) return RawError(rc, "cannot unpack");
    if (proc.data_errors > 0 || raw.error_count() > 0)
        return Error{ErrorCode::kCorrupt, "camera raw: the sensor data is cut off or damaged"};
    rc = raw.dcraw_process();
    if (rc != LIBRAW_SUCCESS) return RawError(rc, "cannot process");
    int w = 0, h = 0, colors = 0, bps = 0;
    raw.get_mem_image_format(&w, &h, &colors, &bps);
    if (w <= 0 || h <= 0 || colors != 3 || bps != 8)
        return Error{ErrorCode::kUnsupported, "camera raw: unexpected output format"};
    auto bgr =
        Bitmap::Create(uint32_t(w), uint32_t(h), PixelLayout::kBgr24, Bitmap::Fill::kUninitialized, options.limits);
    if (!bgr) return bgr;
    rc = raw.copy_mem_image(bgr->Data(), int(bgr->Stride()), 1);
    if (rc != LIBRAW_SUCCESS) return RawError(rc, "cannot copy the picture");
    raw.recycle();  // free LibRaw's buffers before a possible conversion
    if (options.layout == PixelLayout::kBgr24) return bgr;
    return bgr->ConvertTo(PixelLayout::kArgb32);
}

Result<ImageInfo> Info(const Source& src) {
    try {
        auto raw = Open(src);
        if (!raw) return raw.error();
        ImageInfo info = InfoOf(*(*raw)->raw);
        if (info.width == 0 || info.height == 0) return Error{ErrorCode::kCorrupt, "camera raw: no picture size"};
        return info;
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "camera raw: out of memory"};
    }
}

Result<Bitmap> Decode(const Source& src, const DecodeOptions& options, bool preview_only) {
    try {
        auto raw = Open(src);
        if (!raw) return raw.error();
        if (options.preview || preview_only) {
            auto p = Preview(**raw, options);
            if (p.ok() || preview_only) return p;
            // No usable preview: a quick half-size demosaic stands in.
            auto again = Open(src);
            if (!again) return again.error();
            return Demosaic(**again, options, true);
        }
        return Demosaic(**raw, options, false);
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "camera raw: out of memory"};
    }
}

}  // namespace

Result<ImageInfo> ReadRawInfo(std::span<const uint8_t> data) { return Info(Source{data}); }
Result<ImageInfo> ReadRawInfoFile(const std::filesystem::path& path) { return Info(Source{{}, &path}); }

Result<Bitmap> DecodeRaw(std::span<const uint8_t> data, const DecodeOptions& options) {
    return Decode(Source{data}, options, false);
}
Result<Bitmap> DecodeRawFile(const std::filesystem::path& path, const DecodeOptions& options) {
    return Decode(Source{{}, &path}, options, false);
}
Result<Bitmap> DecodeRawPreview(std::span<const uint8_t> data, const DecodeOptions& options) {
    return Decode(Source{data}, options, true);
}

}  // namespace veldan::imaging
