// Tests of CMemoryBlock under concurrent adds, removals, copies and state
// changes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TestItems.h"
#include "memblock/MemoryBlock.h"

namespace veldan::test {

namespace {

// Spins (yielding) until the flag is set; the tests await conditions instead
// of sleeping for guessed times.
void AwaitFlag(const std::atomic<bool>& flag) {
    while (!flag.load()) std::this_thread::yield();
}

}  // namespace

TEST(MemoryBlockThreads, ConcurrentAddAndRemoveKeepTheListWhole) {
    constexpr int kWriters = 4;
    constexpr int kPerWriter = 2000;
    const int liveAtStart = CountedItem::live.load();
    {
        CMemoryBlock list;
        std::atomic<bool> stop{false};
        std::atomic<int> removed{0};
        std::atomic<int> excluded{0};

        std::vector<std::thread> threads;
        for (int w = 0; w < kWriters; ++w) {
            threads.emplace_back([&, w] {
                for (int i = 0; i < kPerWriter; ++i) {
                    const uint32_t position = (i % 3 == 0) ? 0u : list.count.load();
                    ASSERT_TRUE(list.AddItem(new CountedItem(w * kPerWriter + i), position, true));
                    if (i % 4 == 1 && list.DeleteItem(0u, true)) ++removed;
                    if (i % 8 == 5) {
                        CMemoryItem* taken = list.ExcludeItem(list.count.load() / 2, true);
                        if (taken != nullptr) {
                            ++excluded;
                            delete taken;
                        }
                    }
                }
            });
        }
        // A reader walks the list under the change guard and checks it.
        std::atomic<int> walks{0};
        std::thread reader([&] {
            while (!stop.load()) {
                CMemoryBlockChanging walk(list);
                const uint32_t n = list.count;
                uint32_t seen = 0;
                for (CMemoryItem* item = list.GetItem(0u, false); item != nullptr; item = item->GetNextItem()) {
                    ASSERT_TRUE(item->IsValid());
                    ++seen;
                }
                ASSERT_EQ(seen, n);
                ASSERT_EQ(list.GetItem(n, false), nullptr);
                ++walks;
            }
        });
        // Lookups without the guard, as single calls.
        std::thread looker([&] {
            while (!stop.load()) {
                CMemoryItem* item = list.GetItem(list.count.load() / 3);
                (void)list.GetItemNr(item);
                (void)list.CheckActItem(item);
            }
        });
        for (auto& t : threads) t.join();
        while (walks.load() == 0)  // the reader has walked at least once
            std::this_thread::yield();
        stop = true;
        reader.join();
        looker.join();

        EXPECT_GT(walks.load(), 0);
        EXPECT_TRUE(list.CheckConsistency());
        EXPECT_EQ(static_cast<int>(list.count.load()), kWriters * kPerWriter - removed - excluded);
        EXPECT_EQ(CountedItem::live.load() - liveAtStart, static_cast<int>(list.count.load()));
    }
    EXPECT_EQ(CountedItem::live.load(), liveAtStart);
}

TEST(MemoryBlockThreads, ChangingStateHoldsOffOtherThreads) {
    CMemoryBlock list;
    ASSERT_TRUE(list.AddItem(new CountedItem(1), 0u));
    ASSERT_TRUE(list.GoChanging());
    EXPECT_TRUE(list.IsChangingByMe());
    ASSERT_TRUE(list.GoChanging()) << "re-entrant";

    std::atomic<bool> started{false};
    std::atomic<bool> added{false};
    std::thread adder([&] {
        EXPECT_FALSE(list.IsChangingByMe());
        EXPECT_FALSE(list.LeaveChanging()) << "only the holder can leave";
        EXPECT_FALSE(list.WaitChanging(20)) << "held by the other thread: time-out";
        started = true;
        list.AddItem(new CountedItem(2), list.count, true);
        added = true;
    });
    AwaitFlag(started);
    // The walk sees the list unchanged for as long as it holds the state. The
    // adder has had every chance to run; its AddItem must still be waiting.
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::yield();
        ASSERT_EQ(list.count, 1u);
    }
    EXPECT_FALSE(added.load());
    // The holder itself still uses the single operations freely.
    EXPECT_NE(list.GetItem(0u, false), nullptr);
    EXPECT_TRUE(list.WaitChanging(0));
    ASSERT_TRUE(list.LeaveChanging());
    EXPECT_EQ(list.count, 1u) << "still held once";
    ASSERT_TRUE(list.LeaveChanging());
    EXPECT_FALSE(list.LeaveChanging()) << "not held any more";
    adder.join();
    EXPECT_TRUE(added.load());
    EXPECT_EQ(list.count, 2u);
    EXPECT_TRUE(list.WaitChanging(0));
}

TEST(MemoryBlockThreads, WaitChangingReturnsWhenTheHolderLeaves) {
    CMemoryBlock list;
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    std::thread holder([&] {
        CMemoryBlockChanging walk(list);
        holding = true;
        AwaitFlag(release);
    });
    AwaitFlag(holding);
    std::thread waiter([&] { EXPECT_TRUE(list.WaitChanging()); });
    release = true;
    waiter.join();
    holder.join();
}

TEST(MemoryBlockThreads, CopyAndAssignUnderConcurrentChanges) {
    CMemoryBlock a(CreateMemoryItem<CountedItem>);
    CMemoryBlock b(CreateMemoryItem<CountedItem>);
    for (int i = 0; i < 50; ++i) {
        a.AddItem(new CountedItem(i), a.count);
        b.AddItem(new CountedItem(-i), b.count);
    }
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int i = 0; i < 500; ++i) {
            a.AddItem(new CountedItem(i), 0u);
            a.DeleteItem(a.count.load() - 1, true);
        }
        stop = true;
    });
    // Assigning the two lists to each other from two threads must not
    // deadlock: the source is never held while the target is taken.
    std::thread swapper([&] {
        while (!stop.load()) b = a;
    });
    while (!stop.load()) {
        CMemoryBlock snapshot(a);
        ASSERT_TRUE(snapshot.CheckConsistency());
        a = b;
    }
    changer.join();
    swapper.join();
    EXPECT_TRUE(a.CheckConsistency());
    EXPECT_TRUE(b.CheckConsistency());
}

}  // namespace veldan::test
