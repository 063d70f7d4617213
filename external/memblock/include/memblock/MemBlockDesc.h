#pragma once
// MemBlockDesc: a growable byte block with typed appends and bounds-checked
// reads. It carries project documents, packet payloads, hibernation records,
// weight maps and list dumps.
//
// Number encoding (fixed, independent of the host): every integer is stored
// little-endian in exactly its width (1, 2, 4 or 8 bytes); a double is its
// IEEE-754 binary64 bit pattern, little-endian; a text is its bytes followed
// by one zero byte.
//
// Ownership: a block normally owns its bytes and frees them in Delete() and
// in its destructor. A block made with View() only refers to bytes that
// belong to someone else (another block, a record being parsed); it never
// frees or writes them. Any changing operation on a view (Add, Set, Create)
// first turns it into an owning copy, so a view can never scribble over its
// source.
//
// Thread safety: none of its own; a block is used by one thread at a time or
// under the lock of the object that holds it.
#include <cstddef>
#include <cstdint>

#include "platform/Export.h"

class VELDAN_API MemBlockDesc {
public:
    // The bytes (null when the block is empty) and their count. Both are
    // read-only for callers: change the contents only through the operations
    // below. An empty block always has data == nullptr and length == 0.
    unsigned char* data = nullptr;
    size_t length = 0;

    MemBlockDesc() = default;
    // An owning copy of `length` bytes at `bytes` (empty when either is 0).
    MemBlockDesc(const void* bytes, size_t length);
    // Copying copies the bytes (also of a view: the copy owns its bytes).
    MemBlockDesc(const MemBlockDesc& other);
    MemBlockDesc& operator=(const MemBlockDesc& other);
    // Moving hands the bytes (or the view) over; the source becomes empty.
    MemBlockDesc(MemBlockDesc&& other) noexcept;
    MemBlockDesc& operator=(MemBlockDesc&& other) noexcept;
    ~MemBlockDesc();

    // Replaces the contents by a copy of `length` bytes at `bytes`. `bytes`
    // may point into this block itself. Length 0 empties the block. False
    // (block unchanged) when `bytes` is null with a non-zero length or memory
    // runs out.
    bool Create(const void* bytes, size_t length);
    // Replaces the contents by `length` zero bytes (length 0: empty). The
    // bytes are always cleared, whatever `clear` says, so that a block never
    // exposes uninitialised memory; the flag is accepted for callers that ask
    // for it explicitly. False (unchanged) when memory runs out.
    bool Create(size_t length, bool clear = true);
    // Replaces the contents from `offset` on by a copy of `length` bytes:
    // the first `offset` bytes are kept (zero-filled where the block was
    // shorter), everything after them is the copy. Set(p, n) is the same as
    // Create(p, n). False (unchanged) on a null source with a non-zero length
    // or when memory runs out.
    bool Set(const void* bytes, size_t length, size_t offset = 0);

    // Appends bytes. Every Add leaves the block unchanged and returns false
    // when it cannot append (null source, out of memory).
    bool Add(const void* bytes, size_t length);
    bool Add(uint8_t value);
    bool Add(uint16_t value);
    bool Add(uint32_t value);
    bool Add(uint64_t value);
    bool Add(int64_t value);
    bool Add(double value);
    // A zero-terminated text together with its zero (false for null).
    bool Add(const char* text);
    // Any other argument type is refused at compile time: the width of a
    // stored number must be chosen explicitly (cast to one of the above).
    template <class T>
    bool Add(T) = delete;
    // Appends the bytes of another block (which may be this one).
    bool AddPart(const MemBlockDesc& block);
    bool AddPart(const MemBlockDesc* block);

    // Copies `length` bytes from `offset` to `out`. False (nothing copied)
    // when offset + length lies beyond the end or `out` is null with a
    // non-zero length.
    bool Read(void* out, size_t offset, size_t length) const;

    // Sequential reads: each reads its value at `position` and advances
    // `position` past it. When fewer bytes remain than the value needs, the
    // default is returned and `position` moves to the end of the block, so
    // every later sequential read gives its default too (a truncated record
    // reads as defaults, never out of bounds). Use Remaining() or Get() where
    // a missing value must be told apart from a stored default.
    uint8_t Read(size_t& position, uint8_t def) const;
    uint16_t Read(size_t& position, uint16_t def) const;
    uint32_t Read(size_t& position, uint32_t def) const;
    uint64_t Read(size_t& position, uint64_t def) const;
    int64_t Read(size_t& position, int64_t def) const;
    double Read(size_t& position, double def) const;
    // A zero-terminated text stored in the block: returns a pointer into the
    // block (valid until the block changes) and advances past the zero. When
    // no zero byte follows `position` before the end, returns `def` and
    // moves `position` to the end.
    const char* Read(size_t& position, const char* def) const;
    // The next `n` bytes into `buffer`. When fewer remain, `buffer` is filled
    // with zeros (its default), `position` moves to the end and the result is
    // false; true otherwise.
    bool Read(size_t& position, void* buffer, size_t n) const;
    // As with Add, the type of the default chooses the width; other types are
    // refused at compile time.
    template <class T>
    T Read(size_t& position, T def) const = delete;

    // Checked sequential reads: true with the value and `position` advanced,
    // or false with `value` and `position` untouched when too few bytes
    // remain.
    bool Get(size_t& position, uint8_t& value) const;
    bool Get(size_t& position, uint16_t& value) const;
    bool Get(size_t& position, uint32_t& value) const;
    bool Get(size_t& position, uint64_t& value) const;
    bool Get(size_t& position, int64_t& value) const;
    bool Get(size_t& position, double& value) const;
    bool Get(size_t& position, const char*& text) const;

    // Bytes left after `position` (0 when it lies at or beyond the end).
    size_t Remaining(size_t position) const;

    // Makes this block a non-owning view of `length` bytes at `bytes`
    // (frees its own bytes first). The viewed bytes must outlive the view.
    // False (block emptied) for a null source with a non-zero length.
    bool View(const void* bytes, size_t length);
    // A view of `length` bytes of `source` from `offset`. False (block
    // unchanged) when the range does not lie inside `source`.
    bool View(const MemBlockDesc& source, size_t offset, size_t length);
    bool IsView() const { return view_; }

    // Frees the bytes (a view only forgets them); the block becomes empty.
    void Delete();

    unsigned char* GetData() const { return data; }
    size_t GetLength() const { return length; }
    bool IsEmpty() const { return length == 0; }

    // Same length and same bytes.
    bool operator==(const MemBlockDesc& other) const;

private:
    // Makes room for `total` bytes, keeping the first `keep` bytes; a view
    // becomes an owning copy. New bytes are zero.
    bool Reserve(size_t total, size_t keep);
    bool AddBytes(const void* bytes, size_t count);
    bool TakeBytes(size_t& position, void* out, size_t count) const;
    size_t Size() const;

    size_t capacity_ = 0;
    bool view_ = false;
};
