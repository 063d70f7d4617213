// MemBlockDesc: growable byte block with little-endian typed appends and
// bounds-checked reads.
#include "memblock/MemBlockDesc.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// Little-endian encoding of the fixed-width numbers, independent of the host.
template <class U>
void EncodeLE(U value, unsigned char* out) {
    for (size_t i = 0; i < sizeof(U); ++i) out[i] = static_cast<unsigned char>(static_cast<uint64_t>(value) >> (8 * i));
}

template <class U>
U DecodeLE(const unsigned char* in) {
    uint64_t value = 0;
    for (size_t i = 0; i < sizeof(U); ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return static_cast<U>(value);
}

uint64_t DoubleBits(double value) {
    uint64_t bits;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double BitsDouble(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

MemBlockDesc::MemBlockDesc(const void* bytes, size_t count) {
    if (bytes != nullptr) Create(bytes, count);
}

MemBlockDesc::MemBlockDesc(const MemBlockDesc& other) { Create(other.data, other.Size()); }

MemBlockDesc& MemBlockDesc::operator=(const MemBlockDesc& other) {
    if (this != &other) Create(other.data, other.Size());
    return *this;
}

MemBlockDesc::MemBlockDesc(MemBlockDesc&& other) noexcept
    : data(std::exchange(other.data, nullptr)),
      length(std::exchange(other.length, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      view_(std::exchange(other.view_, false)) {}

MemBlockDesc& MemBlockDesc::operator=(MemBlockDesc&& other) noexcept {
    if (this != &other) {
        Delete();
        data = std::exchange(other.data, nullptr);
        length = std::exchange(other.length, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        view_ = std::exchange(other.view_, false);
    }
    return *this;
}

MemBlockDesc::~MemBlockDesc() { Delete(); }

size_t MemBlockDesc::Size() const {
    // The public length is trusted only as far as the storage reaches.
    if (data == nullptr) return 0;
    return length <= capacity_ ? length : capacity_;
}

void MemBlockDesc::Delete() {
    if (!view_) std::free(data);
    data = nullptr;
    length = 0;
    capacity_ = 0;
    view_ = false;
}

bool MemBlockDesc::Reserve(size_t total, size_t keep) {
    const size_t size = Size();
    if (keep > size) keep = size;
    if (!view_ && total <= capacity_) {
        if (total > keep) std::memset(data + keep, 0, total - keep);
        return true;
    }
    // Grow geometrically so that long runs of small appends stay linear.
    size_t wanted = total;
    if (!view_ && capacity_ > 0 && capacity_ <= std::numeric_limits<size_t>::max() / 2 && wanted < capacity_ * 2)
        wanted = capacity_ * 2;
    if (wanted < 16) wanted = 16;
    auto* fresh = static_cast<unsigned char*>(std::malloc(wanted));
    if (fresh == nullptr) return false;
    if (keep > 0) std::memcpy(fresh, data, keep);
    std::memset(fresh + keep, 0, wanted - keep);
    if (!view_) std::free(data);
    data = fresh;
    capacity_ = wanted;
    view_ = false;
    return true;
}

bool MemBlockDesc::Create(const void* bytes, size_t count) { return Set(bytes, count, 0); }

bool MemBlockDesc::Create(size_t count, bool /*clear*/) {
    if (count == 0) {
        Delete();
        return true;
    }
    if (!Reserve(count, 0)) return false;
    length = count;
    return true;
}

bool MemBlockDesc::Set(const void* bytes, size_t count, size_t offset) {
    if (bytes == nullptr && count > 0) return false;
    if (count > std::numeric_limits<size_t>::max() - offset) return false;
    const size_t total = offset + count;
    if (total == 0) {
        Delete();
        return true;
    }
    const auto* src = static_cast<const unsigned char*>(bytes);
    const size_t size = Size();
    // The source may lie inside this block; Reserve may move or free it.
    const bool inside = src != nullptr && data != nullptr && src >= data && src < data + size;
    MemBlockDesc copy;
    if (inside && count > 0) {
        if (!copy.Create(src, count)) return false;
        src = copy.data;
    }
    if (!Reserve(total, offset < size ? offset : size)) return false;
    if (count > 0) std::memmove(data + offset, src, count);
    length = total;
    return true;
}

bool MemBlockDesc::AddBytes(const void* bytes, size_t count) {
    if (count == 0) return true;
    if (bytes == nullptr) return false;
    const size_t size = Size();
    if (count > std::numeric_limits<size_t>::max() - size) return false;
    return Set(bytes, count, size);
}

bool MemBlockDesc::Add(const void* bytes, size_t count) {
    if (bytes == nullptr && count > 0) return false;
    return AddBytes(bytes, count);
}

bool MemBlockDesc::Add(uint8_t value) { return AddBytes(&value, 1); }

bool MemBlockDesc::Add(uint16_t value) {
    unsigned char bytes[2];
    EncodeLE(value, bytes);
    return AddBytes(bytes, sizeof bytes);
}

bool MemBlockDesc::Add(uint32_t value) {
    unsigned char bytes[4];
    EncodeLE(value, bytes);
    return AddBytes(bytes, sizeof bytes);
}

bool MemBlockDesc::Add(uint64_t value) {
    unsigned char bytes[8];
    EncodeLE(value, bytes);
    return AddBytes(bytes, sizeof bytes);
}

bool MemBlockDesc::Add(int64_t value) { return Add(static_cast<uint64_t>(value)); }

bool MemBlockDesc::Add(double value) { return Add(DoubleBits(value)); }

bool MemBlockDesc::Add(const char* text) {
    if (text == nullptr) return false;
    return AddBytes(text, std::strlen(text) + 1);
}

bool MemBlockDesc::AddPart(const MemBlockDesc& block) { return AddBytes(block.data, block.Size()); }

bool MemBlockDesc::AddPart(const MemBlockDesc* block) { return block != nullptr && AddPart(*block); }

bool MemBlockDesc::Read(void* out, size_t offset, size_t count) const {
    const size_t size = Size();
    if (offset > size || count > size - offset) return false;
    if (count == 0) return true;
    if (out == nullptr) return false;
    std::memcpy(out, data + offset, count);
    return true;
}

size_t MemBlockDesc::Remaining(size_t position) const {
    const size_t size = Size();
    return position < size ? size - position : 0;
}

bool MemBlockDesc::TakeBytes(size_t& position, void* out, size_t count) const {
    if (Remaining(position) < count) return false;
    if (count > 0) std::memcpy(out, data + position, count);
    position += count;
    return true;
}

namespace {

template <class U>
bool TakeNumber(const MemBlockDesc& block, size_t& position, U& value) {
    if (block.Remaining(position) < sizeof(U)) return false;
    value = DecodeLE<U>(block.data + position);
    position += sizeof(U);
    return true;
}

template <class U>
U ReadOrDefault(const MemBlockDesc& block, size_t& position, U def) {
    U value;
    if (TakeNumber(block, position, value)) return value;
    position = block.Remaining(0);
    return def;
}

}  // namespace

uint8_t MemBlockDesc::Read(size_t& position, uint8_t def) const { return ReadOrDefault(*this, position, def); }

uint16_t MemBlockDesc::Read(size_t& position, uint16_t def) const { return ReadOrDefault(*this, position, def); }

uint32_t MemBlockDesc::Read(size_t& position, uint32_t def) const { return ReadOrDefault(*this, position, def); }

uint64_t MemBlockDesc::Read(size_t& position, uint64_t def) const { return ReadOrDefault(*this, position, def); }

int64_t MemBlockDesc::Read(size_t& position, int64_t def) const {
    return static_cast<int64_t>(ReadOrDefault(*this, position, static_cast<uint64_t>(def)));
}

double MemBlockDesc::Read(size_t& position, double def) const {
    const uint64_t bits = ReadOrDefault(*this, position, DoubleBits(def));
    return BitsDouble(bits);
}

const char* MemBlockDesc::Read(size_t& position, const char* def) const {
    const char* text = nullptr;
    if (Get(position, text)) return text;
    position = Size();
    return def;
}

bool MemBlockDesc::Read(size_t& position, void* buffer, size_t n) const {
    if (n > 0 && buffer == nullptr) {
        position = Size();
        return false;
    }
    if (TakeBytes(position, buffer, n)) return true;
    if (n > 0) std::memset(buffer, 0, n);
    position = Size();
    return false;
}

bool MemBlockDesc::Get(size_t& position, uint8_t& value) const { return TakeNumber(*this, position, value); }

bool MemBlockDesc::Get(size_t& position, uint16_t& value) const { return TakeNumber(*this, position, value); }

bool MemBlockDesc::Get(size_t& position, uint32_t& value) const { return TakeNumber(*this, position, value); }

bool MemBlockDesc::Get(size_t& position, uint64_t& value) const { return TakeNumber(*this, position, value); }

bool MemBlockDesc::Get(size_t& position, int64_t& value) const {
    uint64_t bits;
    if (!TakeNumber(*this, position, bits)) return false;
    value = static_cast<int64_t>(bits);
    return true;
}

bool MemBlockDesc::Get(size_t& position, double& value) const {
    uint64_t bits;
    if (!TakeNumber(*this, position, bits)) return false;
    value = BitsDouble(bits);
    return true;
}

bool MemBlockDesc::Get(size_t& position, const char*& text) const {
    const size_t left = Remaining(position);
    if (left == 0) return false;
    const void* zero = std::memchr(data + position, 0, left);
    if (zero == nullptr) return false;
    text = reinterpret_cast<const char*>(data + position);
    position = static_cast<size_t>(static_cast<const unsigned char*>(zero) - data) + 1;
    return true;
}

bool MemBlockDesc::View(const void* bytes, size_t count) {
    Delete();
    if (count == 0) return true;
    if (bytes == nullptr) return false;
    data = static_cast<unsigned char*>(const_cast<void*>(bytes));
    length = count;
    capacity_ = count;
    view_ = true;
    return true;
}

bool MemBlockDesc::View(const MemBlockDesc& source, size_t offset, size_t count) {
    const size_t size = source.Size();
    if (offset > size || count > size - offset) return false;
    if (&source == this) {
        // A view of a part of itself: keep the bytes alive by copying them.
        if (count == 0) {
            Delete();
            return true;
        }
        MemBlockDesc part(data + offset, count);
        *this = std::move(part);
        return true;
    }
    return View(count > 0 ? source.data + offset : nullptr, count);
}

bool MemBlockDesc::operator==(const MemBlockDesc& other) const {
    const size_t size = Size();
    if (size != other.Size()) return false;
    return size == 0 || std::memcmp(data, other.data, size) == 0;
}
