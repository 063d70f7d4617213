// DynamicQueue: the chunked byte queue, its lock-free single writer and
// reader, and stack pops of the newest records.
#include "memblock/DynamicQueue.h"

#include <algorithm>
#include <cstring>
#include <new>

// One link of the chain. The writer links a chunk before it publishes any
// byte stored in it, so the reader follows `next` only after it has seen
// (with acquire ordering) a byte count that reaches into the next chunk.
struct DynamicQueue::Chunk {
    std::atomic<Chunk*> next{nullptr};
    unsigned char bytes[kChunkBytes];
};

namespace {

// Moves (chunk, offset) forward by `n` bytes, copying them to `out` when it
// is set. Steps into the next chunk only when a byte is still wanted, so the
// position may end at the very end of a chunk.
template <class ChunkT>
void Walk(ChunkT*& chunk, size_t& offset, size_t n, unsigned char* out, size_t chunkBytes) {
    while (n > 0) {
        if (offset == chunkBytes) {
            chunk = chunk->next.load(std::memory_order_acquire);
            offset = 0;
        }
        const size_t k = std::min(n, chunkBytes - offset);
        if (out != nullptr) {
            std::memcpy(out, chunk->bytes + offset, k);
            out += k;
        }
        offset += k;
        n -= k;
    }
}

}  // namespace

DynamicQueue::DynamicQueue() { head_ = tail_ = new Chunk(); }

DynamicQueue::DynamicQueue(const DynamicQueue& other) : DynamicQueue() { CopyFrom(other); }

DynamicQueue& DynamicQueue::operator=(const DynamicQueue& other) {
    if (this != &other) {
        Delete();
        CopyFrom(other);
    }
    return *this;
}

DynamicQueue::~DynamicQueue() { ReleaseAll(); }

DynamicQueue::Chunk* DynamicQueue::NewChunk() {
    Chunk* chunk = spare_.exchange(nullptr, std::memory_order_acq_rel);
    if (chunk == nullptr) chunk = new (std::nothrow) Chunk();
    if (chunk != nullptr) chunk->next.store(nullptr, std::memory_order_relaxed);
    return chunk;
}

void DynamicQueue::FreeChunk(Chunk* chunk) {
    // Keep one chunk for the writer so that a steady stream does not
    // allocate; the exchange also orders the reader's last reads of it
    // before the writer's next writes.
    Chunk* old = spare_.exchange(chunk, std::memory_order_acq_rel);
    delete old;
}

void DynamicQueue::ReleaseAll() {
    Chunk* chunk = head_;
    while (chunk != nullptr) {
        Chunk* next = chunk->next.load(std::memory_order_relaxed);
        delete chunk;
        chunk = next;
    }
    head_ = tail_ = nullptr;
    delete spare_.exchange(nullptr, std::memory_order_acq_rel);
}

void DynamicQueue::CopyOut(const Chunk* chunk, size_t offset, void* out, size_t n) const {
    Walk(chunk, offset, n, static_cast<unsigned char*>(out), kChunkBytes);
}

void DynamicQueue::CopyFrom(const DynamicQueue& other) {
    const size_t n = other.GetLength();
    const Chunk* chunk = other.head_;
    size_t offset = other.headOffset_;
    unsigned char buffer[1024];
    for (size_t done = 0; done < n;) {
        const size_t k = std::min(n - done, sizeof buffer);
        Walk(chunk, offset, k, buffer, kChunkBytes);
        if (!Push(buffer, k)) return;
        done += k;
    }
}

bool DynamicQueue::Push(const void* data, size_t n) {
    if (n == 0) return true;
    if (data == nullptr) return false;
    // Get every chunk this push needs before anything changes, so that a
    // failed allocation leaves the queue exactly as it was.
    const size_t room = kChunkBytes - tailOffset_;
    Chunk* extraFirst = nullptr;
    Chunk* extraLast = nullptr;
    if (n > room) {
        const size_t needed = (n - room + kChunkBytes - 1) / kChunkBytes;
        for (size_t i = 0; i < needed; ++i) {
            Chunk* chunk = NewChunk();
            if (chunk == nullptr) {
                while (extraFirst != nullptr) {
                    Chunk* next = extraFirst->next.load(std::memory_order_relaxed);
                    delete extraFirst;
                    extraFirst = next;
                }
                return false;
            }
            if (extraLast != nullptr)
                extraLast->next.store(chunk, std::memory_order_relaxed);
            else
                extraFirst = chunk;
            extraLast = chunk;
        }
    }
    const auto* src = static_cast<const unsigned char*>(data);
    const size_t first = std::min(n, room);
    if (first > 0) std::memcpy(tail_->bytes + tailOffset_, src, first);
    tailOffset_ += first;
    size_t left = n - first;
    src += first;
    if (extraFirst != nullptr) {
        tail_->next.store(extraFirst, std::memory_order_release);
        for (Chunk* chunk = extraFirst; left > 0; chunk = chunk->next.load(std::memory_order_relaxed)) {
            const size_t k = std::min(left, kChunkBytes);
            std::memcpy(chunk->bytes, src, k);
            src += k;
            left -= k;
            tail_ = chunk;
            tailOffset_ = k;
        }
    }
    // Publish: the reader sees the new count only after all bytes are there.
    pushed_.store(pushed_.load(std::memory_order_relaxed) + n, std::memory_order_release);
    return true;
}

bool DynamicQueue::Pop(void* out, size_t n) {
    if (n == 0) return true;
    const uint64_t popped = popped_.load(std::memory_order_relaxed);
    const uint64_t available = pushed_.load(std::memory_order_acquire) - popped;
    if (n > available) return false;
    auto* dst = static_cast<unsigned char*>(out);
    size_t left = n;
    while (left > 0) {
        if (headOffset_ == kChunkBytes) {
            Chunk* next = head_->next.load(std::memory_order_acquire);
            FreeChunk(head_);
            head_ = next;
            headOffset_ = 0;
        }
        const size_t k = std::min(left, kChunkBytes - headOffset_);
        if (dst != nullptr) {
            std::memcpy(dst, head_->bytes + headOffset_, k);
            dst += k;
        }
        headOffset_ += k;
        left -= k;
    }
    popped_.store(popped + n, std::memory_order_release);
    return true;
}

bool DynamicQueue::GetAt(void* out, size_t index, size_t n) const {
    const uint64_t available = pushed_.load(std::memory_order_acquire) - popped_.load(std::memory_order_relaxed);
    if (index > available || n > available - index) return false;
    if (n == 0) return true;
    if (out == nullptr) return false;
    const Chunk* chunk = head_;
    size_t offset = headOffset_;
    Walk(chunk, offset, index, nullptr, kChunkBytes);
    CopyOut(chunk, offset, out, n);
    return true;
}

bool DynamicQueue::StackPop(void* out, size_t n) {
    if (n == 0) return true;
    const uint64_t popped = popped_.load(std::memory_order_relaxed);
    const uint64_t available = pushed_.load(std::memory_order_relaxed) - popped;
    if (n > available) return false;
    const size_t keep = static_cast<size_t>(available - n);
    // Find the new end, copy the removed bytes from there, then cut the
    // chain after the chunk that now holds the last byte.
    Chunk* chunk = head_;
    size_t offset = headOffset_;
    Walk(chunk, offset, keep, nullptr, kChunkBytes);
    if (out != nullptr) CopyOut(chunk, offset, out, n);
    Chunk* rest = chunk->next.exchange(nullptr, std::memory_order_relaxed);
    while (rest != nullptr) {
        Chunk* next = rest->next.load(std::memory_order_relaxed);
        FreeChunk(rest);
        rest = next;
    }
    tail_ = chunk;
    tailOffset_ = offset;
    pushed_.store(popped + keep, std::memory_order_release);
    return true;
}

size_t DynamicQueue::GetLength() const {
    // Read the removals first: the count of appends only grows, so the
    // difference can never be negative.
    const uint64_t popped = popped_.load(std::memory_order_acquire);
    const uint64_t pushed = pushed_.load(std::memory_order_acquire);
    return static_cast<size_t>(pushed - popped);
}

void DynamicQueue::Delete() {
    const uint64_t available = pushed_.load(std::memory_order_acquire) - popped_.load(std::memory_order_relaxed);
    Pop(nullptr, static_cast<size_t>(available));
}
