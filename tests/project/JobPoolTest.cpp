// Tests of JobPool and the global worker pool: newest job first, cancelling,
// stopping and many producers.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "TestSupport.h"
#include "VELDANPanorama/ThreadPool.h"

namespace veldan::test {

using veldan::project::JobPool;

namespace {

// A job that records its name and can be held at its start.
struct Recorder {
    std::mutex lock;
    std::vector<int> order;
    std::atomic<int> started{0};
    std::atomic<bool> release{false};
    std::atomic<int> disposed{0};
};

struct Context {
    Recorder* recorder;
    int name;
    bool block;
};

void RunJob(void* p) {
    std::unique_ptr<Context> c(static_cast<Context*>(p));
    ++c->recorder->started;
    if (c->block)
        while (!c->recorder->release) std::this_thread::yield();
    std::lock_guard guard(c->recorder->lock);
    c->recorder->order.push_back(c->name);
}

void DisposeJob(void* p) {
    std::unique_ptr<Context> c(static_cast<Context*>(p));
    ++c->recorder->disposed;
}

bool Queue(JobPool& pool, JobPool::QueueKind q, Recorder& r, int name, VELDANJobOwner owner, bool block = false) {
    return pool.Invoke(q, RunJob, new Context{&r, name, block}, owner, DisposeJob);
}

}  // namespace

TEST(JobPool, BusyThreadsTakeTheNewestJobFirst) {
    for (auto q : {JobPool::kWorkerQueue, JobPool::kRealtimeQueue}) {
        JobPool pool;
        ASSERT_TRUE(pool.Start(1));
        Recorder r;
        ASSERT_TRUE(Queue(pool, q, r, 0, 1, true));
        ASSERT_TRUE(Await([&] { return r.started == 1; }));
        ASSERT_TRUE(Queue(pool, q, r, 'A', 1));
        ASSERT_TRUE(Queue(pool, q, r, 'B', 1));
        ASSERT_TRUE(Queue(pool, q, r, 'C', 1));
        EXPECT_EQ(pool.Pending(q), 3u);
        r.release = true;
        ASSERT_TRUE(Await([&] {
            std::lock_guard g(r.lock);
            return r.order.size() == 4;
        }));
        EXPECT_EQ(r.order, (std::vector<int>{0, 'C', 'B', 'A'}));
        EXPECT_EQ(r.disposed, 0);
    }
}

TEST(JobPool, CancelRemovesOnlyTheOwnersQueuedJobsAndKeepsTheOrder) {
    JobPool pool;
    ASSERT_TRUE(pool.Start(1));
    Recorder r;
    // Occupy both queues' threads so that nothing is taken meanwhile.
    ASSERT_TRUE(Queue(pool, JobPool::kWorkerQueue, r, 0, 9, true));
    ASSERT_TRUE(Queue(pool, JobPool::kRealtimeQueue, r, 0, 9, true));
    ASSERT_TRUE(Await([&] { return r.started == 2; }));
    for (int i = 1; i <= 6; ++i) ASSERT_TRUE(Queue(pool, JobPool::kWorkerQueue, r, i, i % 2 ? 7 : 8));
    ASSERT_TRUE(Queue(pool, JobPool::kRealtimeQueue, r, 100, 7));
    ASSERT_TRUE(Queue(pool, JobPool::kRealtimeQueue, r, 200, 8));

    pool.Cancel(12345);  // owns nothing: unchanged
    EXPECT_EQ(pool.Pending(JobPool::kWorkerQueue), 6u);
    EXPECT_EQ(r.disposed, 0);

    pool.Cancel(7);
    EXPECT_EQ(pool.Pending(JobPool::kWorkerQueue), 3u);
    EXPECT_EQ(pool.Pending(JobPool::kRealtimeQueue), 1u);
    EXPECT_EQ(r.disposed, 4);  // contexts of dropped jobs are released
    r.release = true;
    ASSERT_TRUE(Await([&] {
        std::lock_guard g(r.lock);
        return r.order.size() == 6;
    }));
    // Remaining worker jobs 2, 4, 6 run newest first; 200 on the other queue.
    std::vector<int> worker;
    for (int v : r.order)
        if (v > 0 && v < 100) worker.push_back(v);
    EXPECT_EQ(worker, (std::vector<int>{6, 4, 2}));
    EXPECT_NE(std::find(r.order.begin(), r.order.end(), 200), r.order.end());
}

TEST(JobPool, StopDropsQueuedJobsLetsTheRunningOneFinishAndRefusesAfterwards) {
    Recorder r;
    {
        JobPool pool;
        ASSERT_TRUE(pool.Start(1));
        ASSERT_TRUE(Queue(pool, JobPool::kWorkerQueue, r, 1, 1, true));
        ASSERT_TRUE(Queue(pool, JobPool::kRealtimeQueue, r, 1, 1, true));
        ASSERT_TRUE(Await([&] { return r.started == 2; }));
        ASSERT_TRUE(Queue(pool, JobPool::kWorkerQueue, r, 2, 1));
        ASSERT_TRUE(Queue(pool, JobPool::kRealtimeQueue, r, 3, 1));
        std::thread stopper([&] { pool.Stop(); });
        ASSERT_TRUE(Await([&] { return r.disposed == 2; }));
        EXPECT_FALSE(pool.IsRunning());
        r.release = true;  // the running job finishes, then Stop returns
        stopper.join();
        EXPECT_EQ(r.order, (std::vector<int>{1, 1}));
        auto* c = new Context{&r, 4, false};
        EXPECT_FALSE(pool.Invoke(JobPool::kWorkerQueue, RunJob, c, 1));
        delete c;                     // refused: still the caller's
        EXPECT_FALSE(pool.Start(1));  // cannot be restarted
    }
    EXPECT_EQ(r.started, 2);
}

TEST(JobPool, NullJobAndNotStartedPoolAreRefused) {
    JobPool pool;
    int x = 0;
    EXPECT_FALSE(pool.Invoke(JobPool::kWorkerQueue, RunJob, &x, 1));  // not started
    ASSERT_TRUE(pool.Start(2));
    EXPECT_FALSE(pool.Invoke(JobPool::kWorkerQueue, nullptr, &x, 1));
    EXPECT_EQ(pool.Pending(JobPool::kWorkerQueue), 0u);
}

TEST(JobPool, ManyProducersAllJobsRunOnce) {
    JobPool pool;
    ASSERT_TRUE(pool.Start(3));
    std::atomic<int> runs{0};
    auto job = [](void* p) { ++*static_cast<std::atomic<int>*>(p); };
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t)
        producers.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i)
                ASSERT_TRUE(pool.Invoke(i % 2 ? JobPool::kWorkerQueue : JobPool::kRealtimeQueue, job, &runs,
                                        static_cast<VELDANJobOwner>(t)));
        });
    for (auto& t : producers) t.join();
    ASSERT_TRUE(Await([&] { return runs == 2000; }));
}

// The process-wide pool: one test exercises its whole life, since a stopped
// pool cannot be restarted within the process.
TEST(GlobalThreadPool, StartRunCancelAndStop) {
    std::atomic<int> runs{0};
    auto job = [](void* p) { ++*static_cast<std::atomic<int>*>(p); };
    EXPECT_FALSE(InvokeWorker(job, &runs, 1));  // not started yet
    InitGlobalThreadPool();
    InitGlobalThreadPool();  // a second start does nothing
    EXPECT_FALSE(InvokeWorker(nullptr, &runs, 1));
    ASSERT_TRUE(InvokeWorker(job, &runs, 1));
    ASSERT_TRUE(InvokeRealtimeWorker(job, &runs, 2));
    ASSERT_TRUE(Await([&] { return runs == 2; }));
    int owner = 0;
    CancelJobs(&owner);  // nothing queued for it
    DeinitGlobalThreadPool();
    EXPECT_FALSE(InvokeWorker(job, &runs, 1));
    EXPECT_FALSE(InvokeRealtimeWorker(job, &runs, 1));
    InitGlobalThreadPool();  // stays stopped
    EXPECT_FALSE(InvokeWorker(job, &runs, 1));
}

}  // namespace veldan::test
