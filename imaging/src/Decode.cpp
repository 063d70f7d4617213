// Format detection (camera raw files included) and the one decode and
// header-info entry point for every format.
#include "imaging/Decode.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "ByteSource.h"
#include "JpegInternal.h"
#include "TiffInternal.h"
#include "TiffStructure.h"
#include "imaging/Jpeg.h"
#include "imaging/Png.h"
#include "imaging/Raw.h"
#include "imaging/Tiff.h"

namespace veldan::imaging {
namespace {

using detail::ByteSource;
using detail::TiffEntry;
using detail::TiffStructure;

bool StartsWith(const uint8_t* head, size_t n, std::string_view magic, size_t at = 0) {
    return n >= at + magic.size() && std::memcmp(head + at, magic.data(), magic.size()) == 0;
}

// Makers whose raw files are TIFF containers with a picture in IFD0.
bool IsCameraMaker(std::string make) {
    for (char& ch : make) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    static constexpr std::array<std::string_view, 14> kCameraMakers = {
        "CANON",     "NIKON", "SONY",     "PENTAX",  "RICOH",      "OLYMPUS",   "OM DIGITAL",
        "PANASONIC", "LEICA", "FUJIFILM", "SAMSUNG", "HASSELBLAD", "PHASE ONE", "MAMIYA"};
    for (std::string_view m : kCameraMakers)
        if (make.rfind(m, 0) == 0) return true;
    return false;
}

// Tells camera raw from an ordinary TIFF picture by the first directory.
bool TiffLooksLikeRaw(const ByteSource& src) {
    uint8_t head[12];
    size_t n = src.ReadAt(0, head, sizeof head);
    if (n >= 10 && head[8] == 'C' && head[9] == 'R') return true;  // Canon CR2
    TiffStructure tiff(src);
    if (!tiff.ReadHeader()) return false;
    std::vector<TiffEntry> entries;
    if (!tiff.ReadIfd(tiff.FirstIfd(), entries)) return false;
    if (TiffStructure::Find(entries, detail::kTagDngVersion) != nullptr) return true;
    const TiffEntry* make = TiffStructure::Find(entries, detail::kTagMake);
    if (make == nullptr || !IsCameraMaker(tiff.Text(*make))) return false;
    if (TiffStructure::Find(entries, detail::kTagSubIfds) != nullptr) return true;
    if (const TiffEntry* sub = TiffStructure::Find(entries, detail::kTagNewSubfileType)) {
        auto v = tiff.Integer(*sub);
        if (v && (*v & 1)) return true;  // IFD0 is a reduced picture: the raw data is elsewhere
    }
    if (const TiffEntry* photometric = TiffStructure::Find(entries, 262)) {
        auto v = tiff.Integer(*photometric);
        if (v && (*v == 32803 || *v == 34892)) return true;  // CFA, LinearRaw
    }
    return false;
}

Format Detect(const ByteSource& src, bool raw_extension) {
    uint8_t head[16] = {};
    size_t n = src.ReadAt(0, head, sizeof head);
    if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return Format::kJpeg;
    if (StartsWith(head, n, "\x89PNG\r\n\x1a\n")) return Format::kPng;
    if (StartsWith(head, n, "FUJIFILMCCD-RAW") || StartsWith(head, n, "ftypcrx ", 4) || StartsWith(head, n, "IIRO") ||
        StartsWith(head, n, "IIRS") || StartsWith(head, n, "MMOR") ||
        StartsWith(head, n, std::string_view("IIU\0", 4)) || StartsWith(head, n, "FOVb"))
        return Format::kRaw;
    const bool tiff =
        StartsWith(head, n, std::string_view("II*\0", 4)) || StartsWith(head, n, std::string_view("MM\0*", 4)) ||
        StartsWith(head, n, std::string_view("II+\0", 4)) || StartsWith(head, n, std::string_view("MM\0+", 4));
    if (tiff) return (raw_extension || TiffLooksLikeRaw(src)) ? Format::kRaw : Format::kTiff;
    return raw_extension && n > 0 ? Format::kRaw : Format::kUnknown;
}

Result<ImageInfo> InfoFrom(const ByteSource& src, Format format, std::span<const uint8_t> memory,
                           const std::filesystem::path* path) {
    switch (format) {
        case Format::kJpeg: return detail::ReadJpegInfoFrom(src);
        case Format::kPng: return path ? ReadPngInfoFile(*path) : ReadPngInfo(memory);
        case Format::kTiff: return detail::ReadTiffInfoFrom(src);
        case Format::kRaw: return path ? ReadRawInfoFile(*path) : ReadRawInfo(memory);
        case Format::kUnknown: break;
    }
    return Error{ErrorCode::kUnknownFormat, "not a picture format that can be read"};
}

}  // namespace

bool HasRawExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    static constexpr std::array<std::string_view, 24> kRawExtensions = {
        ".cr2", ".cr3", ".crw", ".nef", ".nrw", ".arw", ".srf", ".sr2", ".dng", ".orf", ".rw2", ".raf",
        ".pef", ".srw", ".3fr", ".fff", ".iiq", ".erf", ".mos", ".mrw", ".x3f", ".rwl", ".kdc", ".dcr"};
    return std::find(kRawExtensions.begin(), kRawExtensions.end(), ext) != kRawExtensions.end();
}

Format DetectFormat(std::span<const uint8_t> data) {
    detail::MemorySource src(data);
    return Detect(src, false);
}

Format DetectFormatFile(const std::filesystem::path& path) {
    detail::FileSource src;
    if (!src.Open(path)) return Format::kUnknown;
    return Detect(src, HasRawExtension(path));
}

Result<ImageInfo> ReadImageInfo(std::span<const uint8_t> data) {
    try {
        detail::MemorySource src(data);
        return InfoFrom(src, Detect(src, false), data, nullptr);
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "out of memory reading a picture header"};
    }
}

Result<ImageInfo> ReadImageInfoFile(const std::filesystem::path& path) {
    try {
        detail::FileSource src;
        if (Status s = src.Open(path); !s) return s.error();
        return InfoFrom(src, Detect(src, HasRawExtension(path)), {}, &path);
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "out of memory reading a picture header"};
    }
}

Result<Bitmap> DecodeImage(std::span<const uint8_t> data, const DecodeOptions& options) {
    switch (DetectFormat(data)) {
        case Format::kJpeg: return DecodeJpeg(data, options);
        case Format::kPng: return DecodePng(data, options);
        case Format::kTiff: {
            auto r = DecodeTiff(data, options);
            // A TIFF container libtiff cannot render may still be a raw file.
            if (!r.ok() && r.code() == ErrorCode::kUnsupported) {
                auto raw = DecodeRaw(data, options);
                if (raw.ok()) return raw;
            }
            return r;
        }
        case Format::kRaw: return DecodeRaw(data, options);
        case Format::kUnknown: break;
    }
    return Error{ErrorCode::kUnknownFormat, "not a picture format that can be read"};
}

Result<Bitmap> DecodeImageFile(const std::filesystem::path& path, const DecodeOptions& options) {
    switch (DetectFormatFile(path)) {
        case Format::kJpeg: return DecodeJpegFile(path, options);
        case Format::kPng: return DecodePngFile(path, options);
        case Format::kTiff: {
            auto r = DecodeTiffFile(path, options);
            if (!r.ok() && r.code() == ErrorCode::kUnsupported) {
                auto raw = DecodeRawFile(path, options);
                if (raw.ok()) return raw;
            }
            return r;
        }
        case Format::kRaw: return DecodeRawFile(path, options);
        case Format::kUnknown: break;
    }
    detail::FileSource probe;
    if (Status s = probe.Open(path); !s) return s.error();
    return Error{ErrorCode::kUnknownFormat, path.string() + " is not a picture format that can be read"};
}

}  // namespace veldan::imaging
