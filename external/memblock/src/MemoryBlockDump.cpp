// List dumps: "MBLK", version, item count, then length-prefixed item records.
#include <cstring>

#include "MemoryBlockGuard.h"
#include "memblock/MemoryBlock.h"

namespace {
constexpr unsigned char kDumpMagic[4] = {'M', 'B', 'L', 'K'};
constexpr uint32_t kDumpVersion = 1;
// Every item record carries at least its four-byte length.
constexpr size_t kMinRecordBytes = 4;
}  // namespace

bool CMemoryBlock::CreateDump(MemBlockDesc* dump) const {
    if (dump == nullptr) return false;
    // Built aside and appended in one piece, so that a refused item leaves
    // `dump` untouched.
    MemBlockDesc out;
    {
        Guard guard(*this);
        if (!out.Add(kDumpMagic, sizeof kDumpMagic) || !out.Add(kDumpVersion) ||
            !out.Add(count.load(std::memory_order_relaxed)))
            return false;
        for (const CMemoryItem* item = first_; item != nullptr; item = item->next_) {
            MemBlockDesc record;
            bool written = false;
            try {
                written = item->CreateDump(&record);
            } catch (...) {
                written = false;
            }
            if (!written || record.length > UINT32_MAX) return false;
            if (!out.Add(static_cast<uint32_t>(record.length)) || !out.AddPart(record)) return false;
        }
    }
    return dump->AddPart(out);
}

bool CMemoryBlock::ReadDump(const MemBlockDesc* dump) {
    if (dump == nullptr) return false;
    unsigned char magic[sizeof kDumpMagic];
    size_t position = 0;
    uint32_t version = 0;
    uint32_t items = 0;
    if (!dump->Read(position, magic, sizeof magic) || std::memcmp(magic, kDumpMagic, sizeof magic) != 0) return false;
    if (!dump->Get(position, version) || version != kDumpVersion) return false;
    if (!dump->Get(position, items) || items > INT32_MAX) return false;
    // A count that the remaining bytes cannot hold is refused before any
    // item is made.
    if (items > dump->Remaining(position) / kMinRecordBytes) return false;

    CMemoryItem* first = nullptr;
    CMemoryItem* last = nullptr;
    bool ok = true;
    for (uint32_t i = 0; ok && i < items; ++i) {
        uint32_t size = 0;
        MemBlockDesc record;
        if (!dump->Get(position, size) || !record.View(*dump, position, size)) {
            ok = false;
            break;
        }
        position += size;
        CMemoryItem* item = CreateItem(nullptr);
        if (!CMemoryItem::IsValid(item)) {
            delete item;
            ok = false;
            break;
        }
        try {
            ok = item->ReadDump(&record);
        } catch (...) {
            ok = false;
        }
        if (!ok) {
            delete item;
            break;
        }
        Append(first, last, item);
    }
    if (ok && position != dump->length) ok = false;  // trailing bytes: not a dump of this layout
    if (!ok) {
        DestroyChain(first);
        return false;
    }
    CMemoryItem* old = Replace(first, last, items);
    DestroyChain(old);
    return true;
}
