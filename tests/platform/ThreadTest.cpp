// Tests of thread priority and processor count, and of replacing the tick
// source.
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/Tick.h"

namespace veldan::test {

using platform::CurrentThreadNice;
using platform::GetTickCount64;
using platform::ProcessorCount;
using platform::SetCurrentThreadPriority;
using platform::SetTickSource;
using platform::ThreadPriority;

namespace {

TEST(Thread, BelowNormalPriorityAppliesToTheCallingThreadOnly) {
    const int before = CurrentThreadNice();
    int workerNice = -100;
    std::thread worker([&] {
        ASSERT_TRUE(SetCurrentThreadPriority(ThreadPriority::BelowNormal));
        workerNice = CurrentThreadNice();
    });
    worker.join();
    EXPECT_EQ(workerNice, 5);
    EXPECT_EQ(CurrentThreadNice(), before);
}

TEST(Thread, ProcessorCountIsAtLeastOne) { EXPECT_GE(ProcessorCount(), 1u); }

uint64_t FixedTick() { return 123456789012345ull; }

TEST(Tick, SourceCanBeReplacedAndRestored) {
    const uint64_t real = GetTickCount64();
    SetTickSource(&FixedTick);
    EXPECT_EQ(GetTickCount64(), 123456789012345ull);
    SetTickSource(nullptr);
    EXPECT_GE(GetTickCount64(), real);
    EXPECT_LT(GetTickCount64(), 123456789012345ull);
}

}  // namespace
}  // namespace veldan::test
