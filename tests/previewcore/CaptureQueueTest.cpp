// The capture queue between the capture run (appending) and the monitor
// (taking at the head) on two threads.
#include <gtest/gtest.h>
#include <thread>
#include <vector>
#include "preview/capture/CaptureQueue.h"

namespace veldan::test {

using veldan::preview::CaptureQueue;
using veldan::preview::CaptureQueueEntry;

TEST(CaptureQueue, IsFirstInFirstOutAcrossThreads) {
    CaptureQueue queue;
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.TakeHead(), nullptr);
    constexpr int kCount = 5000;
    std::thread producer([&] {
        for (int i = 0; i < kCount; ++i) queue.Append(nullptr, nullptr, i, (i % 3) == 0);
    });
    std::vector<int> taken;
    while (static_cast<int>(taken.size()) < kCount) {
        if (std::unique_ptr<CaptureQueueEntry> e = queue.TakeHead()) {
            EXPECT_EQ(e->next, nullptr);
            EXPECT_EQ(e->copy, (e->tileNr % 3) == 0 ? 1 : 0);
            taken.push_back(e->tileNr);
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(taken[i], i);
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Count(), 0u);
}

TEST(CaptureQueue, CountsWalksAndClears) {
    CaptureQueue queue;
    for (int i = 0; i < 3; ++i) queue.Append(nullptr, nullptr, 10 + i, false);
    EXPECT_EQ(queue.Count(), 3u);
    std::vector<int> seen;
    queue.ForEach([&](const CaptureQueueEntry& e) { seen.push_back(e.tileNr); });
    EXPECT_EQ(seen, (std::vector<int>{10, 11, 12}));
    EXPECT_EQ(queue.TakeHead()->tileNr, 10);
    queue.Clear();
    EXPECT_TRUE(queue.Empty());
    queue.Append(nullptr, nullptr, 7, true);  // the tail is valid again after Clear
    queue.Append(nullptr, nullptr, 8, true);
    EXPECT_EQ(queue.TakeHead()->tileNr, 7);
    EXPECT_EQ(queue.TakeHead()->tileNr, 8);
}

// The count and the tail follow every take: a queue drained by TakeHead
// appends at its head again, and AppendCounted counts what is still waiting.
TEST(CaptureQueue, AppendCountedFollowsTakesAndDraining) {
    CaptureQueue queue;
    EXPECT_EQ(queue.AppendCounted(nullptr, nullptr, 1, false), 1u);
    EXPECT_EQ(queue.AppendCounted(nullptr, nullptr, 2, false), 2u);
    EXPECT_EQ(queue.TakeHead()->tileNr, 1);
    EXPECT_EQ(queue.AppendCounted(nullptr, nullptr, 3, false), 2u);
    EXPECT_EQ(queue.TakeHead()->tileNr, 2);
    EXPECT_EQ(queue.TakeHead()->tileNr, 3);
    EXPECT_EQ(queue.TakeHead(), nullptr);
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(queue.AppendCounted(nullptr, nullptr, 4, true), 1u);
    std::vector<int> seen;
    queue.ForEach([&](const CaptureQueueEntry& e) { seen.push_back(e.tileNr); });
    EXPECT_EQ(seen, (std::vector<int>{4}));
}

}  // namespace veldan::test
