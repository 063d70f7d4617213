// CMemoryBlock: the owning, thread-safe doubly linked list, its index cache
// and its copies.
#include "memblock/MemoryBlock.h"
#include "MemoryBlockGuard.h"

#include <chrono>
#include <cstdint>
#include <new>
#include <unordered_set>

namespace {
constexpr uint32_t kMaxItems = INT32_MAX;
}  // namespace

CMemoryBlock::CMemoryBlock(CMemoryItemFactory itemFactory) : factory(itemFactory) {}

CMemoryBlock::CMemoryBlock(const CMemoryBlock& other) : factory(other.factory) {
    CMemoryItem* last = nullptr;
    uint32_t items = 0;
    CMemoryItem* first = CopyChain(other, last, items);
    Replace(first, last, items);
}

CMemoryBlock& CMemoryBlock::operator=(const CMemoryBlock& other) {
    if (this == &other) return *this;
    // The source is read under its own guard and released before this list
    // is changed under its guard, so two threads assigning two lists to each
    // other cannot deadlock.
    CMemoryItem* last = nullptr;
    uint32_t items = 0;
    CMemoryItem* first = CopyChain(other, last, items);
    CMemoryItem* old = Replace(first, last, items);
    DestroyChain(old);
    return *this;
}

CMemoryBlock::~CMemoryBlock() {
    CMemoryItem* old = Replace(nullptr, nullptr, 0);
    DestroyChain(old);
}

// ---- change guard --------------------------------------------------------

void CMemoryBlock::Enter() const {
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(guardMutex_);
    if (guardDepth_ > 0 && guardOwner_ == me) {
        ++guardDepth_;
        return;
    }
    const uint64_t ticket = nextTicket_++;
    if (servingTicket_ != ticket) {
        ++guardWaiters_;
        guardFree_.wait(lock, [this, ticket] { return servingTicket_ == ticket; });
        --guardWaiters_;
    }
    guardOwner_ = me;
    guardDepth_ = 1;
}

bool CMemoryBlock::Leave() const {
    const std::thread::id me = std::this_thread::get_id();
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(guardMutex_);
        if (guardDepth_ == 0 || guardOwner_ != me) return false;
        if (--guardDepth_ > 0) return true;
        guardOwner_ = std::thread::id();
        ++servingTicket_;
        wake = guardWaiters_ > 0;
    }
    // Every waiter checks whether its ticket is served now; WaitChanging
    // callers check whether the guard is free.
    if (wake) guardFree_.notify_all();
    return true;
}

bool CMemoryBlock::GoChanging() const {
    Enter();
    return true;
}

bool CMemoryBlock::WaitChanging(uint32_t timeout_ms) const {
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(guardMutex_);
    auto free = [this, me] { return guardDepth_ == 0 || guardOwner_ == me; };
    if (free()) return true;
    ++guardWaiters_;
    bool result = true;
    if (timeout_ms == 0xFFFFFFFFu)
        guardFree_.wait(lock, free);
    else
        result = guardFree_.wait_for(lock, std::chrono::milliseconds(timeout_ms), free);
    --guardWaiters_;
    return result;
}

bool CMemoryBlock::LeaveChanging() const { return Leave(); }

bool CMemoryBlock::IsChangingByMe() const {
    std::lock_guard<std::mutex> lock(guardMutex_);
    return guardDepth_ > 0 && guardOwner_ == std::this_thread::get_id();
}

// ---- chain helpers (guard held) ------------------------------------------

CMemoryItem* CMemoryBlock::ItemAt(uint32_t index) const {
    const uint32_t items = count.load(std::memory_order_relaxed);
    if (index >= items) return nullptr;
    // Start from whichever known place is nearest: the first item, the last
    // item or the item of the previous look-up.
    uint32_t fromFirst = index;
    uint32_t fromLast = items - 1 - index;
    CMemoryItem* item;
    uint32_t at;
    if (fromFirst <= fromLast) {
        item = first_;
        at = 0;
    } else {
        item = last_;
        at = items - 1;
    }
    if (cursor_ != nullptr) {
        const uint32_t fromCursor = index >= cursorIndex_ ? index - cursorIndex_ : cursorIndex_ - index;
        if (fromCursor < (fromFirst <= fromLast ? fromFirst : fromLast)) {
            item = cursor_;
            at = cursorIndex_;
        }
    }
    while (at < index) {
        item = item->next_;
        ++at;
    }
    while (at > index) {
        item = item->prev_;
        --at;
    }
    cursor_ = item;
    cursorIndex_ = index;
    return item;
}

CMemoryItem* CMemoryBlock::Find(const CMemoryItem* item, uint32_t* index) const {
    // Membership is decided by comparing pointers along the chain, never by
    // looking into `item`, so a stale or foreign pointer is answered safely.
    if (item == nullptr) return nullptr;
    if (cursor_ == item) {
        if (index != nullptr) *index = cursorIndex_;
        return cursor_;
    }
    const uint32_t items = count.load(std::memory_order_relaxed);
    if (items == 0) return nullptr;
    // Search from both ends at once: lists are mostly used at their ends.
    CMemoryItem* front = first_;
    CMemoryItem* back = last_;
    uint32_t low = 0;
    uint32_t high = items - 1;
    while (front != nullptr && back != nullptr && low <= high) {
        CMemoryItem* hit = front == item ? front : back == item ? back : nullptr;
        if (hit != nullptr) {
            cursor_ = hit;
            cursorIndex_ = hit == front ? low : high;
            if (index != nullptr) *index = cursorIndex_;
            return hit;
        }
        front = front->next_;
        back = back->prev_;
        ++low;
        if (high == 0) break;
        --high;
    }
    return nullptr;
}

void CMemoryBlock::Unlink(CMemoryItem* item, int64_t index) {
    CMemoryItem* prev = item->prev_;
    CMemoryItem* next = item->next_;
    if (prev != nullptr)
        prev->next_ = next;
    else
        first_ = next;
    if (next != nullptr)
        next->prev_ = prev;
    else
        last_ = prev;
    item->next_ = nullptr;
    item->prev_ = nullptr;
    item->owner_ = nullptr;
    count.store(count.load(std::memory_order_relaxed) - 1, std::memory_order_release);

    // Keep the index cache where the position of the removed item is known.
    if (index < 0) {
        cursor_ = nullptr;
    } else if (cursor_ == item) {
        if (next != nullptr) {
            cursor_ = next;  // takes over the removed item's index
        } else if (prev != nullptr) {
            cursor_ = prev;
            cursorIndex_ = static_cast<uint32_t>(index - 1);
        } else {
            cursor_ = nullptr;
        }
    } else if (cursor_ != nullptr && cursorIndex_ > index) {
        --cursorIndex_;
    }
}

CMemoryItem* CMemoryBlock::Replace(CMemoryItem* first, CMemoryItem* last, uint32_t items) {
    Guard guard(*this);
    CMemoryItem* old = first_;
    for (CMemoryItem* item = old; item != nullptr; item = item->next_) item->owner_ = nullptr;
    for (CMemoryItem* item = first; item != nullptr; item = item->next_) item->owner_ = this;
    first_ = first;
    last_ = last;
    cursor_ = nullptr;
    cursorIndex_ = 0;
    count.store(items, std::memory_order_release);
    return old;
}

void CMemoryBlock::DetachDestroyed(CMemoryItem* item) {
    Guard guard(*this);
    if (item->owner_ == this) Unlink(item, -1);
}

void CMemoryBlock::Append(CMemoryItem*& first, CMemoryItem*& last, CMemoryItem* item) {
    item->next_ = nullptr;
    item->prev_ = last;
    if (last != nullptr)
        last->next_ = item;
    else
        first = item;
    last = item;
}

void CMemoryBlock::DestroyChain(CMemoryItem* first) {
    while (first != nullptr) {
        CMemoryItem* next = first->next_;
        first->next_ = nullptr;
        first->prev_ = nullptr;
        first->owner_ = nullptr;
        delete first;
        first = next;
    }
}

CMemoryItem* CMemoryBlock::CopyChain(const CMemoryBlock& source, CMemoryItem*& last, uint32_t& items) {
    CMemoryItem* first = nullptr;
    last = nullptr;
    items = 0;
    Guard guard(source);
    for (CMemoryItem* item = source.first_; item != nullptr; item = item->next_) {
        CMemoryItem* copy = source.CreateItem(item);
        if (copy == nullptr || !copy->IsValid()) continue;
        Append(first, last, copy);
        ++items;
    }
    return first;
}

// ---- the list operations -------------------------------------------------

bool CMemoryBlock::AddItem(CMemoryItem* item, uint32_t position, bool /*lock*/) {
    if (!CMemoryItem::IsValid(item)) return false;
    Guard guard(*this);
    if (item->owner_ != nullptr) return false;
    const uint32_t items = count.load(std::memory_order_relaxed);
    if (items >= kMaxItems) return false;
    if (position >= items) {
        Append(first_, last_, item);
    } else {
        CMemoryItem* before = ItemAt(position);
        item->next_ = before;
        item->prev_ = before->prev_;
        if (before->prev_ != nullptr)
            before->prev_->next_ = item;
        else
            first_ = item;
        before->prev_ = item;
        if (cursor_ != nullptr && cursorIndex_ >= position) ++cursorIndex_;
    }
    item->owner_ = this;
    count.store(items + 1, std::memory_order_release);
    return true;
}

bool CMemoryBlock::DeleteItem(CMemoryItem* item, bool lock) {
    CMemoryItem* taken = ExcludeItem(item, lock);
    if (taken == nullptr) return false;
    delete taken;
    return true;
}

bool CMemoryBlock::DeleteItem(uint32_t index, bool lock) {
    CMemoryItem* taken = ExcludeItem(index, lock);
    if (taken == nullptr) return false;
    delete taken;
    return true;
}

CMemoryItem* CMemoryBlock::ExcludeItem(CMemoryItem* item, bool /*lock*/) {
    Guard guard(*this);
    uint32_t index = 0;
    CMemoryItem* found = Find(item, &index);
    if (found == nullptr) return nullptr;
    Unlink(found, index);
    return found;
}

CMemoryItem* CMemoryBlock::ExcludeItem(uint32_t index, bool /*lock*/) {
    Guard guard(*this);
    CMemoryItem* found = ItemAt(index);
    if (found == nullptr) return nullptr;
    Unlink(found, index);
    return found;
}

void CMemoryBlock::DeleteAllItems() {
    // The items are destroyed after the guard is given back, so that slow
    // destructors never hold up other threads' list operations.
    CMemoryItem* old = Replace(nullptr, nullptr, 0);
    DestroyChain(old);
}

CMemoryItem* CMemoryBlock::GetItem(uint32_t index, bool /*lock*/) const {
    Guard guard(*this);
    return ItemAt(index);
}

int32_t CMemoryBlock::GetItemNr(const CMemoryItem* item, bool /*lock*/) const {
    Guard guard(*this);
    uint32_t index = 0;
    if (Find(item, &index) == nullptr) return -1;
    return static_cast<int32_t>(index);
}

CMemoryItem* CMemoryBlock::CreateItem(const CMemoryItem* source) const {
    // No exception leaves the library: a factory that throws gives no item.
    try {
        if (factory != nullptr) return factory(source);
        if (source == nullptr) return new CMemoryItem();
    } catch (...) {}
    return nullptr;
}

bool CMemoryBlock::Rebuild() {
    Guard guard(*this);
    const bool wasConsistent = CheckConsistency();
    std::unordered_set<const CMemoryItem*> seen;
    CMemoryItem* prev = nullptr;
    uint32_t items = 0;
    CMemoryItem* item = first_;
    try {
        while (item != nullptr && items < kMaxItems && item->owner_ == this && seen.insert(item).second) {
            item->prev_ = prev;
            prev = item;
            ++items;
            item = item->next_;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (prev != nullptr)
        prev->next_ = nullptr;
    else
        first_ = nullptr;
    last_ = prev;
    cursor_ = nullptr;
    cursorIndex_ = 0;
    count.store(items, std::memory_order_release);
    return wasConsistent;
}

bool CMemoryBlock::CheckConsistency() const {
    Guard guard(*this);
    const uint32_t items = count.load(std::memory_order_relaxed);
    if ((first_ == nullptr) != (last_ == nullptr) || (first_ == nullptr) != (items == 0)) return false;
    if (first_ != nullptr && first_->prev_ != nullptr) return false;
    const CMemoryItem* prev = nullptr;
    uint32_t steps = 0;
    for (const CMemoryItem* item = first_; item != nullptr; item = item->next_) {
        // More steps than items means a cycle or a chain that runs on.
        if (++steps > items) return false;
        if (!item->IsValid() || item->owner_ != this || item->prev_ != prev) return false;
        prev = item;
    }
    return steps == items && prev == last_;
}

CMemoryItem* CMemoryBlock::GoBackward(const CMemoryItem* item) const {
    Guard guard(*this);
    if (item == nullptr) return last_;
    CMemoryItem* found = Find(item, nullptr);
    return found != nullptr ? found->prev_ : nullptr;
}

CMemoryItem* CMemoryBlock::GoForward(const CMemoryItem* item) const {
    Guard guard(*this);
    if (item == nullptr) return first_;
    CMemoryItem* found = Find(item, nullptr);
    return found != nullptr ? found->next_ : nullptr;
}

bool CMemoryBlock::CheckActItem(const CMemoryItem* item) const {
    Guard guard(*this);
    return Find(item, nullptr) != nullptr;
}
