// ParallelFor: a loop split over the realtime queue of the worker pool, the
// caller taking part.
#include "RealtimeParallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "VELDANPanorama/ThreadPool.h"
#include "platform/Thread.h"

namespace veldan::project {

using platform::ProcessorCount;

namespace {

// Shared by the caller and its helper jobs. A helper that starts after every
// chunk has been claimed returns without touching `body`, which may be gone
// by then; the caller waits only for chunks that were claimed.
struct Loop {
    const std::function<void(uint32_t, uint32_t)>* body = nullptr;
    uint32_t count = 0;
    uint32_t chunk = 1;
    uint32_t chunks = 0;
    std::atomic<uint32_t> next{0};
    std::mutex lock;
    std::condition_variable finished;
    uint32_t done = 0;

    // Claims and runs chunks until none is left.
    void Work() {
        for (;;) {
            const uint32_t k = next.fetch_add(1, std::memory_order_relaxed);
            if (k >= chunks) return;
            const uint32_t begin = k * chunk;
            const uint32_t end = std::min(count, begin + chunk);
            (*body)(begin, end);
            std::lock_guard<std::mutex> hold(lock);
            if (++done == chunks) finished.notify_all();
        }
    }
};

void HelperJob(void* context) {
    std::unique_ptr<std::shared_ptr<Loop>> loop(static_cast<std::shared_ptr<Loop>*>(context));
    (*loop)->Work();
}

void DisposeHelper(void* context) { delete static_cast<std::shared_ptr<Loop>*>(context); }

}  // namespace

void ParallelFor(uint32_t count, uint32_t grain, const std::function<void(uint32_t, uint32_t)>& body) {
    if (count == 0) return;
    grain = std::max<uint32_t>(grain, 1);
    const uint32_t threads = std::max<uint32_t>(1, ProcessorCount());
    // A few chunks per thread even out uneven work (rows outside an image
    // are cheap, rows inside are not).
    const uint32_t wanted = std::min<uint32_t>((count + grain - 1) / grain, threads * 4);
    if (wanted <= 1 || threads == 1) {
        body(0, count);
        return;
    }
    auto loop = std::make_shared<Loop>();
    loop->body = &body;
    loop->count = count;
    loop->chunk = (count + wanted - 1) / wanted;
    loop->chunks = (count + loop->chunk - 1) / loop->chunk;
    const uint32_t helpers = std::min(threads, loop->chunks - 1);
    for (uint32_t i = 0; i < helpers; ++i) {
        auto* context = new std::shared_ptr<Loop>(loop);
        if (!InvokeRealtimeWorker(&HelperJob, context, reinterpret_cast<VELDANJobOwner>(loop.get()), &DisposeHelper)) {
            delete context;
            break;  // the pool does not run: the caller does the rest
        }
    }
    loop->Work();
    std::unique_lock<std::mutex> hold(loop->lock);
    loop->finished.wait(hold, [&] { return loop->done == loop->chunks; });
}

}  // namespace veldan::project
