// Tests of AccessControl: re-entry, upgrades, reader preference, exclusion and
// shutting down.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "VELDANPanorama/AccessControl.h"

namespace veldan::test {

TEST(AccessControl, WriterReentersReadAndWriteAndOthersGetAccessAfterMatchingLeaves) {
    AccessControl lock;
    ASSERT_TRUE(lock.EnterWriteAccess());
    ASSERT_TRUE(lock.EnterReadAccess());
    ASSERT_TRUE(lock.EnterWriteAccess());
    EXPECT_EQ(lock.WriterCount(), 2u);

    std::atomic<bool> got{false};
    std::thread other([&] {
        if (lock.EnterReadAccess()) {
            got = true;
            lock.LeaveReadAccess();
        }
    });
    ASSERT_TRUE(Await([&] { return lock.WaiterCount() == 1; }));
    lock.LeaveWriteAccess();
    lock.LeaveReadAccess();
    EXPECT_FALSE(got.load());  // one write hold still outstanding
    EXPECT_EQ(lock.WaiterCount(), 1u);
    lock.LeaveWriteAccess();
    other.join();
    EXPECT_TRUE(got.load());
    EXPECT_EQ(lock.ReaderCount(), 0u);
    EXPECT_EQ(lock.WriterCount(), 0u);
}

TEST(AccessControl, ReaderWaitsForWriteUntilTheOtherReaderLeaves) {
    AccessControl lock;
    std::atomic<int> stage{0};
    std::thread otherReader([&] {
        lock.EnterReadAccess();
        stage = 1;
        while (stage != 2) std::this_thread::yield();
        lock.LeaveReadAccess();
    });
    ASSERT_TRUE(Await([&] { return stage == 1; }));
    ASSERT_TRUE(lock.EnterReadAccess());

    std::atomic<bool> upgraded{false};
    std::thread upgrader([&] {
        // This thread is no reader: it waits while either reader holds.
        upgraded = lock.EnterWriteAccess();
        if (upgraded) lock.LeaveWriteAccess();
    });
    ASSERT_TRUE(Await([&] { return lock.WaiterCount() == 1; }));
    lock.LeaveReadAccess();
    EXPECT_FALSE(upgraded.load());
    stage = 2;  // the other reader leaves now
    upgrader.join();
    otherReader.join();
    EXPECT_TRUE(upgraded.load());
}

TEST(AccessControl, SoleReaderUpgradesAndKeepsItsReadHolds) {
    AccessControl lock;
    ASSERT_TRUE(lock.EnterReadAccess());
    ASSERT_TRUE(lock.EnterReadAccess());
    ASSERT_TRUE(lock.EnterWriteAccess());
    EXPECT_EQ(lock.ReaderCount(), 2u);
    EXPECT_EQ(lock.WriterCount(), 1u);
    lock.LeaveWriteAccess();
    lock.LeaveReadAccess();
    lock.LeaveReadAccess();
    EXPECT_EQ(lock.ReaderCount(), 0u);
}

TEST(AccessControl, ReaderWaitsWithSecondReaderThenUpgradesWhenAlone) {
    AccessControl lock;
    std::atomic<int> stage{0};
    std::thread other([&] {
        lock.EnterReadAccess();
        stage = 1;
        while (stage != 2) std::this_thread::yield();
        lock.LeaveReadAccess();
    });
    ASSERT_TRUE(Await([&] { return stage == 1; }));
    ASSERT_TRUE(lock.EnterReadAccess());
    std::atomic<bool> done{false};
    // The upgrade of this thread must wait for the other reader.
    std::thread releaser([&] {
        ASSERT_TRUE(Await([&] { return lock.WaiterCount() == 1; }));
        EXPECT_FALSE(done.load());
        stage = 2;
    });
    ASSERT_TRUE(lock.SwitchReadToWriteAccess());
    done = true;
    releaser.join();
    other.join();
    EXPECT_EQ(lock.ReaderCount(), 0u);
    EXPECT_EQ(lock.WriterCount(), 1u);
    ASSERT_TRUE(lock.SwitchWriteToReadAccess());
    EXPECT_EQ(lock.WriterCount(), 0u);
    EXPECT_EQ(lock.ReaderCount(), 1u);
    lock.LeaveReadAccess();
}

TEST(AccessControl, ReadersHavePreferenceOverWaitingWriters) {
    AccessControl lock;
    ASSERT_TRUE(lock.EnterReadAccess());
    std::atomic<bool> wrote{false};
    std::thread writer([&] {
        wrote = lock.EnterWriteAccess();
        if (wrote) lock.LeaveWriteAccess();
    });
    ASSERT_TRUE(Await([&] { return lock.WaiterCount() == 1; }));
    std::atomic<bool> read{false};
    std::thread reader([&] {
        read = lock.EnterReadAccess();
        if (read) lock.LeaveReadAccess();
    });
    reader.join();  // granted although a writer waits
    EXPECT_TRUE(read.load());
    EXPECT_FALSE(wrote.load());
    lock.LeaveReadAccess();
    writer.join();
    EXPECT_TRUE(wrote.load());
}

TEST(AccessControl, WriterExcludesOtherWritersAndReaders) {
    AccessControl lock;
    int counter = 0;  // guarded by the lock; TSan checks the claim
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                if (i % 3 == 0) {
                    ASSERT_TRUE(lock.EnterReadAccess());
                    volatile int seen = counter;
                    (void)seen;
                    lock.LeaveReadAccess();
                } else {
                    ASSERT_TRUE(lock.EnterWriteAccess());
                    ++counter;
                    lock.LeaveWriteAccess();
                }
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 4 * 1333);
}

TEST(AccessControl, ShuttingDownRefusesEveryEnterButLeavesStillWork) {
    AccessControl lock;
    ASSERT_TRUE(lock.EnterReadAccess());
    std::atomic<bool> refused{false};
    std::thread destroyer([&] {
        lock.PreDestruct();  // waits for the read hold below
    });
    ASSERT_TRUE(Await([&] { return lock.IsShuttingDown(); }));
    EXPECT_FALSE(lock.SwitchReadToWriteAccess());  // refused: read still held
    EXPECT_EQ(lock.ReaderCount(), 1u);
    std::thread late([&] { refused = !lock.EnterReadAccess() && !lock.EnterWriteAccess(); });
    late.join();
    EXPECT_TRUE(refused.load());
    lock.LeaveReadAccess();  // lets PreDestruct finish
    destroyer.join();
    EXPECT_EQ(lock.WriterCount(), 1u);
}

TEST(AccessControl, WaitersGiveUpWhenTheLockShutsDown) {
    AccessControl lock;
    ASSERT_TRUE(lock.EnterWriteAccess());
    std::atomic<int> results{0};
    std::atomic<int> refusals{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&, i] {
            const bool ok = i % 2 ? lock.EnterReadAccess() : lock.EnterWriteAccess();
            if (!ok) ++refusals;
            ++results;
        });
    ASSERT_TRUE(Await([&] { return lock.WaiterCount() == 3; }));
    lock.PreDestruct();  // the caller is the writer: granted at once
    for (auto& t : waiters) t.join();
    EXPECT_EQ(refusals.load(), 3);
}

TEST(AccessControl, LeaveWithoutHoldIsIgnored) {
    AccessControl lock;
    lock.LeaveReadAccess();
    lock.LeaveWriteAccess();
    EXPECT_EQ(lock.ReaderCount(), 0u);
    EXPECT_EQ(lock.WriterCount(), 0u);
    ASSERT_TRUE(lock.EnterWriteAccess());
    std::thread stranger([&] { lock.LeaveWriteAccess(); });  // not its hold
    stranger.join();
    EXPECT_EQ(lock.WriterCount(), 1u);
    lock.LeaveWriteAccess();
}

TEST(AccessControl, CopyIsAnIndependentLock) {
    AccessControl lock;
    ASSERT_TRUE(lock.EnterWriteAccess());
    AccessControl copy(lock);
    std::atomic<bool> got{false};
    std::thread t([&] {
        got = copy.EnterWriteAccess();
        if (got) copy.LeaveWriteAccess();
    });
    t.join();
    EXPECT_TRUE(got.load());
    lock.LeaveWriteAccess();
}

}  // namespace veldan::test
