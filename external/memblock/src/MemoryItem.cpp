// CMemoryItem: list links, the validity mark cleared at destruction, and the
// item's dump record.
#include "memblock/MemoryBlock.h"

namespace {
// Marks a live item; cleared when its destruction begins.
constexpr uint32_t kLiveItem = 0x4D4D4954u;
constexpr uint32_t kDeadItem = 0xDEADD00Du;
}  // namespace

CMemoryItem::CMemoryItem() : magic_(kLiveItem) {}

CMemoryItem::CMemoryItem(const CMemoryItem& /*other*/) : magic_(kLiveItem) {}

CMemoryItem& CMemoryItem::operator=(const CMemoryItem& /*other*/) { return *this; }

CMemoryItem::~CMemoryItem() {
    // Written through a volatile lvalue so that the store survives the end of
    // the object's lifetime and a stale pointer reads as invalid.
    *static_cast<volatile uint32_t*>(&magic_) = kDeadItem;
    if (owner_ != nullptr) owner_->DetachDestroyed(this);
}

CMemoryItem* CMemoryItem::GetNextItem() const { return next_; }

CMemoryItem* CMemoryItem::GetPrevItem() const { return prev_; }

bool CMemoryItem::SetNextItem(CMemoryItem* next) {
    if (owner_ != nullptr) return false;
    next_ = next;
    return true;
}

bool CMemoryItem::SetPrevItem(CMemoryItem* prev) {
    if (owner_ != nullptr) return false;
    prev_ = prev;
    return true;
}

bool CMemoryItem::CreateDump(MemBlockDesc* dump) const { return dump != nullptr; }

bool CMemoryItem::ReadDump(const MemBlockDesc* dump) { return dump != nullptr; }

bool CMemoryItem::IsValid() const { return *static_cast<const volatile uint32_t*>(&magic_) == kLiveItem; }
