#pragma once
// A small reader of the TIFF container (classic and BigTIFF): header and
// image file directories. Used for header-only size reading of TIFF files,
// for the EXIF block of JPEG files (which is a TIFF structure) and to tell
// camera raw files from ordinary TIFF pictures. Never reads pixel data.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "ByteSource.h"

namespace veldan::imaging::detail {

struct TiffEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint64_t count = 0;
    uint64_t value_pos = 0;  // absolute position of the value bytes (inline or not)
};

class TiffStructure {
public:
    // `base`: position of the TIFF header inside `source` (0 for files, the
    // start of the TIFF data inside an EXIF block).
    TiffStructure(const ByteSource& source, uint64_t base = 0) : source_(source), base_(base) {}

    // Reads and checks the header. False when it is not a TIFF header.
    bool ReadHeader();
    bool IsBigTiff() const { return big_; }
    bool LittleEndian() const { return little_; }
    uint64_t FirstIfd() const { return first_ifd_; }
    // Offset of the directory after the last one read (0 when none).
    uint64_t NextIfd() const { return next_ifd_; }

    // Reads the directory at `offset` (relative to the header). False when
    // it lies outside the data or is implausibly long.
    bool ReadIfd(uint64_t offset, std::vector<TiffEntry>& entries);

    // The first value of an integer entry (BYTE, SHORT, LONG, LONG8, and
    // their signed forms); nullopt for other types or unreadable data.
    std::optional<uint64_t> Integer(const TiffEntry& entry, uint64_t index = 0) const;
    // The text of an ASCII entry (up to 256 characters).
    std::string Text(const TiffEntry& entry) const;

    static const TiffEntry* Find(const std::vector<TiffEntry>& entries, uint16_t tag);

private:
    uint16_t U16(const uint8_t* p) const;
    uint32_t U32(const uint8_t* p) const;
    uint64_t U64(const uint8_t* p) const;

    const ByteSource& source_;
    uint64_t base_;
    bool little_ = true;
    bool big_ = false;
    uint64_t first_ifd_ = 0;
    uint64_t next_ifd_ = 0;
};

// Tags used by the header readers.
enum : uint16_t {
    kTagNewSubfileType = 254,
    kTagImageWidth = 256,
    kTagImageLength = 257,
    kTagMake = 271,
    kTagOrientation = 274,
    kTagSubIfds = 330,
    kTagExifIfd = 34665,
    kTagDngVersion = 50706,
};

}  // namespace veldan::imaging::detail
