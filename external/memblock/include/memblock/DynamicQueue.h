#pragma once
// DynamicQueue: an unbounded first-in-first-out byte queue.
//
// Threads: one writer thread (Push) and one reader thread (Pop, GetAt,
// GetLength, Delete) may use a queue at the same time without any lock of
// their own; this is how the serial port's send and receive queues are used.
// The queue is a chain of fixed-size chunks: the writer fills the last chunk
// and publishes the new byte count with release ordering, the reader consumes
// from the first chunk up to the published count and frees chunks it has
// read completely. No byte is ever visible to the reader before it has been
// written.
//
// StackPop takes bytes from the writer's end and copying reads the whole
// queue; these need exclusive use: no other thread may touch the queue
// meanwhile (the worker pool, for instance, does all its queue operations
// under its queue lock). With several writers or several readers the callers
// must likewise serialise among themselves.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/Export.h"

class VELDAN_API DynamicQueue {
public:
    DynamicQueue();
    // Copying copies the queued bytes; it needs exclusive use of both queues.
    DynamicQueue(const DynamicQueue& other);
    DynamicQueue& operator=(const DynamicQueue& other);
    ~DynamicQueue();

    // Writer: appends `n` bytes. Either all of them become visible to the
    // reader at once or, when memory runs out, none (false). `data` may only
    // be null when `n` is 0.
    bool Push(const void* data, size_t n);

    // Reader: removes the `n` oldest bytes, copying them to `out` unless it
    // is null. False (nothing removed) when fewer than `n` are queued.
    bool Pop(void* out, size_t n);
    // Reader: copies `n` bytes starting `index` bytes after the oldest one,
    // removing nothing. False when fewer than index + n bytes are queued or
    // `out` is null with a non-zero `n`.
    bool GetAt(void* out, size_t index, size_t n) const;
    // Exclusive: removes the `n` newest bytes, copying them in their queued
    // order to `out` unless it is null (last in, first out for records of a
    // fixed size). False (nothing removed) when fewer than `n` are queued.
    bool StackPop(void* out, size_t n);
    // Either side: the number of queued bytes. Seen from the writer it may
    // lag behind the reader's removals, seen from the reader behind the
    // writer's appends; it never exceeds what the reader can take.
    size_t GetLength() const;
    // Reader: discards every byte queued so far (bytes the writer appends
    // meanwhile may remain).
    void Delete();

private:
    struct Chunk;
    static constexpr size_t kChunkBytes = 4096 - 2 * sizeof(void*);

    Chunk* NewChunk();
    void FreeChunk(Chunk* chunk);
    void ReleaseAll();
    void CopyOut(const Chunk* chunk, size_t offset, void* out, size_t n) const;
    void CopyFrom(const DynamicQueue& other);

    // Reader side.
    Chunk* head_ = nullptr;
    size_t headOffset_ = 0;
    std::atomic<uint64_t> popped_{0};
    // Writer side.
    Chunk* tail_ = nullptr;
    size_t tailOffset_ = 0;
    std::atomic<uint64_t> pushed_{0};
    // One freed chunk kept for the writer's next allocation.
    std::atomic<Chunk*> spare_{nullptr};
};
