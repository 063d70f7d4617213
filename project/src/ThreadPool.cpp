// JobPool and the process-wide worker pool behind InvokeWorker,
// InvokeRealtimeWorker and CancelJobs.
#include "VELDANPanorama/ThreadPool.h"

#include <algorithm>

#include "platform/Thread.h"

namespace veldan::project {

using platform::ProcessorCount;
using platform::SetCurrentThreadPriority;
using platform::ThreadPriority;

JobPool::JobPool() = default;

JobPool::~JobPool() { Stop(); }

bool JobPool::Start(unsigned threadsPerQueue) {
    std::lock_guard guard(state_lock_);
    if (state_ != State::NotStarted) return false;
    const unsigned n = threadsPerQueue ? threadsPerQueue : ProcessorCount();
    threads_.reserve(2 * n);
    for (unsigned i = 0; i < n; ++i) {
        threads_.emplace_back([this] { Serve(kWorkerQueue); });
        threads_.emplace_back([this] { Serve(kRealtimeQueue); });
    }
    state_ = State::Running;
    return true;
}

bool JobPool::IsRunning() const {
    std::lock_guard guard(state_lock_);
    return state_ == State::Running;
}

void JobPool::Drop(std::deque<Job>& jobs) {
    for (const Job& j : jobs)
        if (j.dispose) j.dispose(j.context);
    jobs.clear();
}

void JobPool::Stop() {
    std::vector<std::thread> threads;
    {
        std::lock_guard guard(state_lock_);
        if (state_ == State::Stopped) return;
        state_ = State::Stopped;
        threads.swap(threads_);
    }
    for (Queue& q : queues_) {
        std::deque<Job> dropped;
        {
            std::lock_guard lock(q.lock);
            q.stopping = true;
            dropped.swap(q.jobs);
            q.wake.notify_all();
        }
        Drop(dropped);  // outside the queue lock: dispose may queue or cancel
    }
    const auto self = std::this_thread::get_id();
    for (std::thread& t : threads) {
        if (t.get_id() == self)
            t.detach();  // stopped from inside a job: this thread ends on return
        else
            t.join();
    }
}

bool JobPool::Invoke(QueueKind kind, VELDANJobFunction job, void* context, VELDANJobOwner owner,
                     VELDANJobFunction dispose) {
    if (!job) return false;
    Queue& q = queues_[kind];
    std::lock_guard lock(q.lock);
    if (q.stopping) return false;
    {
        std::lock_guard guard(state_lock_);
        if (state_ != State::Running) return false;
    }
    q.jobs.push_back({job, context, owner, dispose});
    q.wake.notify_one();
    return true;
}

void JobPool::Cancel(VELDANJobOwner owner) {
    for (int kind : {kRealtimeQueue, kWorkerQueue}) {
        Queue& q = queues_[kind];
        std::vector<Job> dropped;
        {
            std::lock_guard lock(q.lock);
            if (q.jobs.empty()) continue;
            // The remaining jobs keep their relative order.
            auto keep =
                std::stable_partition(q.jobs.begin(), q.jobs.end(), [owner](const Job& j) { return j.owner != owner; });
            dropped.assign(keep, q.jobs.end());
            q.jobs.erase(keep, q.jobs.end());
        }
        for (const Job& j : dropped)
            if (j.dispose) j.dispose(j.context);
    }
}

size_t JobPool::Pending(QueueKind kind) const {
    const Queue& q = queues_[kind];
    std::lock_guard lock(q.lock);
    return q.jobs.size();
}

void JobPool::Serve(QueueKind kind) {
    SetCurrentThreadPriority(kind == kWorkerQueue ? ThreadPriority::BelowNormal : ThreadPriority::Normal);
    Queue& q = queues_[kind];
    std::unique_lock lock(q.lock);
    for (;;) {
        q.wake.wait(lock, [&] { return q.stopping || !q.jobs.empty(); });
        if (q.stopping) return;
        // Newest first: the request made last is the one the user waits for.
        Job job = q.jobs.back();
        q.jobs.pop_back();
        lock.unlock();  // never hold the queue lock while a job runs
        job.job(job.context);
        lock.lock();
    }
}

}  // namespace veldan::project

namespace {
// Never destroyed: images may cancel their jobs from static destructors of
// other objects, after this file's statics would be gone. Its threads only
// wait on its own queues, which therefore outlive them.
veldan::project::JobPool& GlobalPool() {
    static veldan::project::JobPool* pool = new veldan::project::JobPool();
    return *pool;
}
}  // namespace

void InitGlobalThreadPool() { GlobalPool().Start(); }

void DeinitGlobalThreadPool() { GlobalPool().Stop(); }

bool InvokeWorker(VELDANJobFunction job, void* context, VELDANJobOwner owner, VELDANJobFunction dispose) {
    return GlobalPool().Invoke(veldan::project::JobPool::kWorkerQueue, job, context, owner, dispose);
}

bool InvokeRealtimeWorker(VELDANJobFunction job, void* context, VELDANJobOwner owner, VELDANJobFunction dispose) {
    return GlobalPool().Invoke(veldan::project::JobPool::kRealtimeQueue, job, context, owner, dispose);
}

void CancelJobs(VELDANJobOwner owner) { GlobalPool().Cancel(owner); }
