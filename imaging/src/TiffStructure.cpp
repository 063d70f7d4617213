// TiffStructure: reading the header and image file directories of classic and
// BigTIFF containers.
#include "TiffStructure.h"

#include <cstring>

namespace veldan::imaging::detail {

namespace {
// Size in bytes of one value of each TIFF field type (0 = unknown type).
unsigned TypeSize(uint16_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7: return 1;  // BYTE ASCII SBYTE UNDEFINED
        case 3:
        case 8: return 2;  // SHORT SSHORT
        case 4:
        case 9:
        case 11:
        case 13: return 4;  // LONG SLONG FLOAT IFD
        case 5:
        case 10:
        case 12:
        case 16:
        case 17:
        case 18: return 8;  // RATIONAL.. LONG8 SLONG8 IFD8
        default: return 0;
    }
}
constexpr uint64_t kMaxEntries = 4096;
}  // namespace

uint16_t TiffStructure::U16(const uint8_t* p) const {
    return little_ ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[1] | p[0] << 8);
}
uint32_t TiffStructure::U32(const uint8_t* p) const {
    return little_ ? (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24)
                   : (uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24);
}
uint64_t TiffStructure::U64(const uint8_t* p) const {
    return little_ ? (uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32) : (uint64_t(U32(p)) << 32 | U32(p + 4));
}

bool TiffStructure::ReadHeader() {
    uint8_t h[16];
    if (!source_.ReadExact(base_, h, 8)) return false;
    if (h[0] == 'I' && h[1] == 'I')
        little_ = true;
    else if (h[0] == 'M' && h[1] == 'M')
        little_ = false;
    else
        return false;
    uint16_t magic = U16(h + 2);
    if (magic == 42) {
        big_ = false;
        first_ifd_ = U32(h + 4);
        return true;
    }
    if (magic == 43) {
        if (!source_.ReadExact(base_, h, 16)) return false;
        if (U16(h + 4) != 8 || U16(h + 6) != 0) return false;
        big_ = true;
        first_ifd_ = U64(h + 8);
        return true;
    }
    return false;
}

bool TiffStructure::ReadIfd(uint64_t offset, std::vector<TiffEntry>& entries) {
    entries.clear();
    next_ifd_ = 0;
    if (offset == 0 || offset >= source_.Size()) return false;
    uint8_t buf[20];
    const unsigned count_size = big_ ? 8 : 2;
    const unsigned entry_size = big_ ? 20 : 12;
    const unsigned inline_size = big_ ? 8 : 4;
    if (!source_.ReadExact(base_ + offset, buf, count_size)) return false;
    uint64_t count = big_ ? U64(buf) : U16(buf);
    if (count == 0 || count > kMaxEntries) return false;
    uint64_t pos = base_ + offset + count_size;
    if (pos + count * entry_size > source_.Size()) return false;
    std::vector<uint8_t> raw(size_t(count * entry_size));
    if (!source_.ReadExact(pos, raw.data(), raw.size())) return false;
    entries.reserve(size_t(count));
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = raw.data() + i * entry_size;
        TiffEntry entry;
        entry.tag = U16(e);
        entry.type = U16(e + 2);
        entry.count = big_ ? U64(e + 4) : U32(e + 4);
        const uint8_t* value = e + (big_ ? 12 : 8);
        unsigned size = TypeSize(entry.type);
        if (size != 0 && entry.count <= inline_size / size) {
            entry.value_pos = pos + i * entry_size + (big_ ? 12 : 8);
        } else {
            entry.value_pos = base_ + (big_ ? U64(value) : U32(value));
        }
        entries.push_back(entry);
    }
    uint8_t next[8];
    if (source_.ReadExact(pos + count * entry_size, next, big_ ? 8 : 4)) next_ifd_ = big_ ? U64(next) : U32(next);
    return true;
}

std::optional<uint64_t> TiffStructure::Integer(const TiffEntry& entry, uint64_t index) const {
    unsigned size = TypeSize(entry.type);
    if (index >= entry.count) return std::nullopt;
    uint8_t v[8];
    switch (entry.type) {
        case 1:
        case 6:
        case 7:
            if (!source_.ReadExact(entry.value_pos + index, v, 1)) return std::nullopt;
            return v[0];
        case 3:
        case 8:
            if (!source_.ReadExact(entry.value_pos + index * size, v, 2)) return std::nullopt;
            return U16(v);
        case 4:
        case 9:
        case 13:
            if (!source_.ReadExact(entry.value_pos + index * size, v, 4)) return std::nullopt;
            return U32(v);
        case 16:
        case 17:
        case 18:
            if (!source_.ReadExact(entry.value_pos + index * size, v, 8)) return std::nullopt;
            return U64(v);
        default: return std::nullopt;
    }
}

std::string TiffStructure::Text(const TiffEntry& entry) const {
    if (entry.type != 2 || entry.count == 0) return {};
    char buf[257] = {};
    size_t n = size_t(std::min<uint64_t>(entry.count, 256));
    size_t got = source_.ReadAt(entry.value_pos, buf, n);
    buf[got] = 0;
    return std::string(buf, strnlen(buf, got));
}

const TiffEntry* TiffStructure::Find(const std::vector<TiffEntry>& entries, uint16_t tag) {
    for (const TiffEntry& e : entries)
        if (e.tag == tag) return &e;
    return nullptr;
}

}  // namespace veldan::imaging::detail
