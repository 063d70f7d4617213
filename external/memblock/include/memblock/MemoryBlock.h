#pragma once
// CMemoryItem and CMemoryBlock: an owning, thread-safe doubly linked list.
//
// Ownership: an item handed to AddItem belongs to the list; DeleteItem and
// DeleteAllItems destroy items, ExcludeItem takes one out and gives it back
// to the caller; the list's destructor destroys every item it still holds.
// An item belongs to at most one list at a time. An item that is destroyed
// while it still belongs to a list first takes itself out of that list.
//
// Threads: every single operation takes the list's change guard for its
// duration, so several threads may add, remove and look up items at the same
// time without a lock of their own. A walk over several calls (index loops,
// GetNextItem chains, anything that must see the list unchanged) is
// bracketed by GoChanging() ... LeaveChanging(): while one thread holds the
// changing state, every other thread's operations wait for it. The guard is
// re-entrant, so the thread holding it calls the single operations freely.
// CMemoryBlockChanging below does the bracketing with RAII.
//
// The `lock` arguments: every operation takes the (re-entrant) guard
// whatever the flag says. Callers pass true, or false when they already hold
// the changing state; a false flag from a thread that does not hold it is
// just as safe, because skipping the guard would let another thread change
// the links under the call.
//
// Index arguments are unsigned (uint32_t); write a literal index as 0u,
// because a plain 0 is as good a null item as an index.
//
// Dumps: CreateDump appends the list to a MemBlockDesc, ReadDump rebuilds it
// from one. Layout (numbers in MemBlockDesc encoding): the four bytes "MBLK",
// version uint32 1, item count uint32, then per item a uint32 record length
// and the record the item's own CreateDump wrote. ReadDump checks every
// length against the bytes present, hands each item exactly its record (as
// a view) and replaces the list only when the whole dump was read; a
// truncated, malformed or refused dump leaves the list as it was.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <typeinfo>

#include "memblock/MemBlockDesc.h"
#include "platform/Export.h"

class CMemoryBlock;

class VELDAN_API CMemoryItem {
public:
    CMemoryItem();
    // A copy is a new, free item (in no list); the links are not copied.
    CMemoryItem(const CMemoryItem& other);
    // Assignment copies nothing of the base: the target keeps its place.
    CMemoryItem& operator=(const CMemoryItem& other);
    virtual ~CMemoryItem();

    // Neighbours in the owning list (null at the ends and for a free item).
    // Stable only while the list's changing state is held.
    virtual CMemoryItem* GetNextItem() const;
    virtual CMemoryItem* GetPrevItem() const;
    // The links of an item in a list belong to the list: these refuse
    // (false) for such an item. On a free item they store the pointer,
    // which AddItem later replaces.
    virtual bool SetNextItem(CMemoryItem* next);
    virtual bool SetPrevItem(CMemoryItem* prev);
    // The item's own record for list dumps. The base item has no data: it
    // writes nothing and accepts any record; both are false for a null
    // block. Derived items append their fields and read them back (from
    // position 0 of the block they are given), returning false for a record
    // they cannot accept.
    virtual bool CreateDump(MemBlockDesc* dump) const;
    virtual bool ReadDump(const MemBlockDesc* dump);

    // True from construction until destruction begins.
    bool IsValid() const;
    // True for a non-null, valid item.
    static bool IsValid(const CMemoryItem* item) { return item != nullptr && item->IsValid(); }

private:
    friend class CMemoryBlock;
    uint32_t magic_;
    CMemoryItem* next_ = nullptr;
    CMemoryItem* prev_ = nullptr;
    CMemoryBlock* owner_ = nullptr;
};

// Item factory: with a null `source` a new default item, otherwise a new copy
// of `source` (null when it cannot copy that item). The caller owns the
// result.
using CMemoryItemFactory = CMemoryItem* (*)(const CMemoryItem* source);

// Factory for lists of one item class T (default- and copy-constructible).
// It copies only items whose dynamic type is exactly T, so that an item of a
// class derived from T is never copied as a sliced T.
template <class T>
CMemoryItem* CreateMemoryItem(const CMemoryItem* source) {
    if (source == nullptr) return new T();
    if (typeid(*source) != typeid(T)) return nullptr;
    return new T(static_cast<const T&>(*source));
}

class VELDAN_API CMemoryBlock {
public:
    // Number of items. Any thread may read it at any time; only the list
    // changes it.
    std::atomic<uint32_t> count{0};
    // Makes the items of CreateItem (null: plain CMemoryItem objects).
    // Set it before the list is shared between threads.
    CMemoryItemFactory factory = nullptr;

    explicit CMemoryBlock(CMemoryItemFactory itemFactory = nullptr);
    // Copying copies the list: every item is duplicated with the source's
    // CreateItem(item). An item that cannot be copied that way (CreateItem
    // returns null) is left out of the copy rather than copied as the wrong
    // type. The source is held in its changing state while it is read.
    // Copy construction takes over the source's factory; assignment keeps the
    // target's own (the factory belongs to the list's class, and it is never
    // changed while other threads may use the list).
    CMemoryBlock(const CMemoryBlock& other);
    CMemoryBlock& operator=(const CMemoryBlock& other);
    virtual ~CMemoryBlock();

    // Inserts `item` before the item at `position`: 0 puts it first,
    // `count` (or anything larger) appends it. On success the list owns the
    // item. False, with the caller keeping the item, for a null or invalid
    // item, an item that already belongs to a list, or a full list
    // (INT32_MAX items).
    virtual bool AddItem(CMemoryItem* item, uint32_t position, bool lock = true);
    // Takes the item out and destroys it. False when it is not in this list.
    virtual bool DeleteItem(CMemoryItem* item, bool lock = true);
    virtual bool DeleteItem(uint32_t index, bool lock = true);
    // Takes the item out without destroying it (the later items move down
    // one index) and returns it; the caller owns it. Null when it is not in
    // this list / the index is past the end.
    virtual CMemoryItem* ExcludeItem(CMemoryItem* item, bool lock = true);
    virtual CMemoryItem* ExcludeItem(uint32_t index, bool lock = true);
    // Destroys every item.
    virtual void DeleteAllItems();
    // The item at `index` (from 0), null past the end. Consecutive indices
    // are found in constant time.
    virtual CMemoryItem* GetItem(uint32_t index, bool lock = true) const;
    // The index of `item`, -1 when it is not in this list.
    virtual int32_t GetItemNr(const CMemoryItem* item, bool lock = true) const;
    // Appends the list's dump to `dump` (see the layout above). False, with
    // `dump` unchanged, for a null block or when an item refuses its record.
    virtual bool CreateDump(MemBlockDesc* dump) const;
    // Replaces the items by those of the dump; each new item comes from
    // CreateItem(nullptr) and reads its own record. False, with the list
    // unchanged, for a null, truncated or malformed dump, trailing bytes, an
    // item the factory cannot make or a record an item refuses.
    virtual bool ReadDump(const MemBlockDesc* dump);
    // A new item from the factory, not added to the list: a default item for
    // a null `source`, a copy of `source` otherwise (null when the factory
    // cannot copy it; without a factory only a null `source` gives an item).
    virtual CMemoryItem* CreateItem(const CMemoryItem* source) const;
    // Re-derives the back links, the last item and the count from the
    // forward chain (stopping at a cycle or a foreign item) and forgets the
    // index cache. True when the list was consistent already.
    virtual bool Rebuild();
    // Walks the list both ways: links symmetric, every item valid and owned
    // by this list, no cycle, count right.
    virtual bool CheckConsistency() const;
    // The item before `item` (null `item`: the last item); null at the start
    // or when `item` is not in this list.
    virtual CMemoryItem* GoBackward(const CMemoryItem* item) const;
    // The item after `item` (null `item`: the first item); null at the end
    // or when `item` is not in this list.
    virtual CMemoryItem* GoForward(const CMemoryItem* item) const;
    // Enters the changing state, waiting while another thread holds it.
    // Re-entrant; pair every call with LeaveChanging(). Always true.
    virtual bool GoChanging() const;
    // Waits up to `timeout_ms` milliseconds (0xFFFFFFFF: no limit) until no
    // other thread holds the changing state, without entering it. True when
    // the list was free (or is held by the calling thread), false on time-out.
    virtual bool WaitChanging(uint32_t timeout_ms = 0xFFFFFFFFu) const;
    // Leaves the changing state once. False (nothing changes) when the
    // calling thread does not hold it.
    virtual bool LeaveChanging() const;
    // True when `item` currently belongs to this list.
    virtual bool CheckActItem(const CMemoryItem* item) const;

    // Number of items (the same as `count`).
    uint32_t GetItemCount() const { return count.load(std::memory_order_acquire); }
    // True when the calling thread holds the changing state.
    bool IsChangingByMe() const;

private:
    friend class CMemoryItem;
    class Guard;

    void Enter() const;
    bool Leave() const;
    // These expect the guard to be held.
    CMemoryItem* ItemAt(uint32_t index) const;
    CMemoryItem* Find(const CMemoryItem* item, uint32_t* index) const;
    void Unlink(CMemoryItem* item, int64_t index);
    CMemoryItem* Replace(CMemoryItem* first, CMemoryItem* last, uint32_t items);
    // Called by an item destroyed while it still belongs to this list.
    void DetachDestroyed(CMemoryItem* item);
    // Chains of items not (yet) in any list.
    static void Append(CMemoryItem*& first, CMemoryItem*& last, CMemoryItem* item);
    static void DestroyChain(CMemoryItem* first);
    static CMemoryItem* CopyChain(const CMemoryBlock& source, CMemoryItem*& last, uint32_t& items);

    CMemoryItem* first_ = nullptr;
    CMemoryItem* last_ = nullptr;
    // Index cache for consecutive look-ups.
    mutable CMemoryItem* cursor_ = nullptr;
    mutable uint32_t cursorIndex_ = 0;
    // The change guard: a re-entrant, owner-checked ticket lock. Threads
    // enter in the order they asked, so a walk is never starved by a stream
    // of single operations from other threads (nor the other way round).
    mutable std::mutex guardMutex_;
    mutable std::condition_variable guardFree_;
    mutable std::thread::id guardOwner_;
    mutable uint32_t guardDepth_ = 0;
    mutable uint32_t guardWaiters_ = 0;
    mutable uint64_t nextTicket_ = 0;
    mutable uint64_t servingTicket_ = 0;
};

// Holds a list's changing state for a scope (GoChanging on construction,
// LeaveChanging on destruction).
class CMemoryBlockChanging {
public:
    explicit CMemoryBlockChanging(const CMemoryBlock& block) : block_(block) { block_.GoChanging(); }
    ~CMemoryBlockChanging() { block_.LeaveChanging(); }
    CMemoryBlockChanging(const CMemoryBlockChanging&) = delete;
    CMemoryBlockChanging& operator=(const CMemoryBlockChanging&) = delete;

private:
    const CMemoryBlock& block_;
};
