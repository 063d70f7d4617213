#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>
#include "platform/Export.h"

// Small re-entrant reader/writer lock shared by the image objects, their
// warped copies and the stitcher.
//
// Hold rules:
// - readers have preference: a waiting writer does not block new readers;
// - a thread holding write access may enter read or write access again;
// - a thread that is the only reader may enter write access (upgrade) and
//   keeps its read holds;
// - once PreDestruct or the destructor has begun, every enter fails, while
//   leaves still give holds back so that the shutdown wait can end.
// Every hold is given back by the thread that took it; a leave by a thread
// that holds nothing of that kind is ignored.
class VELDAN_API AccessControl {
public:
    AccessControl();
    // A copy is an independent, unheld lock: sharing the source's state would
    // let the copy release what the source still uses.
    AccessControl(const AccessControl& other);
    AccessControl& operator=(const AccessControl& other);
    virtual ~AccessControl();

    bool EnterReadAccess();
    void LeaveReadAccess();
    bool EnterWriteAccess();
    void LeaveWriteAccess();
    // Enter write, then give back one read hold; on failure the read hold
    // stays held.
    bool SwitchReadToWriteAccess();
    // Enter read, then give back one write hold; on failure the write hold
    // stays held.
    bool SwitchWriteToReadAccess();
    // Marks the lock as shutting down, waits until no other thread holds it
    // and keeps write access for the calling thread for good.
    void PreDestruct();

    // Diagnostics for tests and assertions.
    uint32_t ReaderCount() const;
    uint32_t WriterCount() const;
    // Threads sleeping in an enter operation right now.
    uint32_t WaiterCount() const;
    bool IsShuttingDown() const { return shutting_down_.load(std::memory_order_acquire) != 0; }

private:
    struct Hold {
        std::thread::id thread;
        uint32_t count;
    };
    bool WriteGrantable(std::thread::id self) const;
    void Sleep(std::unique_lock<std::mutex>& lock);
    static Hold* Find(std::vector<Hold>& list, std::thread::id self);
    static const Hold* Find(const std::vector<Hold>& list, std::thread::id self);
    static void Push(std::vector<Hold>& list, std::thread::id self);
    static bool Pop(std::vector<Hold>& list, std::thread::id self);

    mutable std::mutex section_;
    std::condition_variable wake_;
    uint32_t reader_count_ = 0;
    uint32_t writer_count_ = 0;
    uint32_t waiters_ = 0;
    std::atomic<uint32_t> shutting_down_{0};
    std::vector<Hold> readers_;  // per-thread read hold counts
    std::vector<Hold> writers_;  // per-thread write hold counts (one thread at most)
};
