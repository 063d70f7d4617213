#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#include "platform/Export.h"

// The process-wide pool of worker threads of the project library.
//
// Two queues: the worker queue (background jobs such as thumbnails, threads
// of below-normal priority) and the realtime queue (preview warping, normal
// priority). Each queue is served newest job first, so the picture the user
// looks at now is prepared before older requests.
//
// Job contexts: the pool never touches a context itself. A job that runs owns
// its context from then on. When a queued job is dropped without running
// (CancelJobs, DeinitGlobalThreadPool) the pool calls its dispose function
// with the context, when one was given; otherwise the context stays the
// caller's.

using VELDANJobFunction = void (*)(void* context);

// Owner keys are the address of the object a job works on. They are
// pointer-sized, so that two objects can never share a key.
using VELDANJobOwner = uintptr_t;

// Starts one thread per processor on each queue; a second call while the pool
// runs does nothing. A stopped pool cannot be restarted.
VELDAN_API void InitGlobalThreadPool();
// Stops taking jobs, drops the queued ones (calling their dispose functions)
// and ends the threads; a thread in the middle of a job finishes it first.
// Waits until the threads have ended, except for the calling thread when it
// is itself a pool thread.
VELDAN_API void DeinitGlobalThreadPool();
// Queues a job; false when job is null or the pool does not run (the caller
// keeps the context then).
VELDAN_API bool InvokeWorker(VELDANJobFunction job, void* context, VELDANJobOwner owner,
                             VELDANJobFunction dispose = nullptr);
VELDAN_API bool InvokeRealtimeWorker(VELDANJobFunction job, void* context, VELDANJobOwner owner,
                                     VELDANJobFunction dispose = nullptr);
// Removes every queued, not yet started job with this owner key from both
// queues (disposing their contexts); the other jobs keep their order.
VELDAN_API void CancelJobs(VELDANJobOwner owner);
inline void CancelJobs(const void* owner) { CancelJobs(reinterpret_cast<VELDANJobOwner>(owner)); }

namespace veldan::project {

// One pool instance; the global functions above work on one process-wide
// instance. Usable on its own (for example with a fixed thread count).
class VELDAN_API JobPool {
public:
    enum QueueKind { kWorkerQueue = 0, kRealtimeQueue = 1 };

    JobPool();
    // Stops the pool when it still runs.
    ~JobPool();
    JobPool(const JobPool&) = delete;
    JobPool& operator=(const JobPool&) = delete;

    // Starts threadsPerQueue threads on each queue (0: one per processor).
    // False when the pool already runs or was stopped.
    bool Start(unsigned threadsPerQueue = 0);
    // See DeinitGlobalThreadPool.
    void Stop();
    bool IsRunning() const;

    bool Invoke(QueueKind queue, VELDANJobFunction job, void* context, VELDANJobOwner owner,
                VELDANJobFunction dispose = nullptr);
    void Cancel(VELDANJobOwner owner);
    // Number of queued (not yet started) jobs.
    size_t Pending(QueueKind queue) const;

private:
    struct Job {
        VELDANJobFunction job;
        void* context;
        VELDANJobOwner owner;
        VELDANJobFunction dispose;
    };
    struct Queue {
        mutable std::mutex lock;
        std::condition_variable wake;
        std::deque<Job> jobs;  // newest at the back
        bool stopping = false;
    };
    enum class State { NotStarted, Running, Stopped };

    void Serve(QueueKind kind);
    static void Drop(std::deque<Job>& jobs);

    mutable std::mutex state_lock_;
    State state_ = State::NotStarted;
    Queue queues_[2];
    std::vector<std::thread> threads_;
};

}  // namespace veldan::project
