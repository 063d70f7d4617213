// Tests of DynamicQueue on one thread: order, range checks, chunk boundaries
// and stack pops.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "memblock/DynamicQueue.h"

namespace veldan::test {

namespace {

std::vector<unsigned char> Sequence(size_t n, unsigned start = 0) {
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>((start + i * 7) & 0xFF);
    return bytes;
}

std::vector<unsigned char> PopAll(DynamicQueue& queue) {
    std::vector<unsigned char> out(queue.GetLength());
    EXPECT_TRUE(queue.Pop(out.data(), out.size()));
    return out;
}

}  // namespace

TEST(DynamicQueue, FirstInFirstOut) {
    DynamicQueue queue;
    EXPECT_EQ(queue.GetLength(), 0u);
    ASSERT_TRUE(queue.Push("abc", 3));
    ASSERT_TRUE(queue.Push("de", 2));
    EXPECT_EQ(queue.GetLength(), 5u);
    char out[5] = {};
    ASSERT_TRUE(queue.Pop(out, 2));
    EXPECT_EQ(std::memcmp(out, "ab", 2), 0);
    ASSERT_TRUE(queue.Pop(out, 3));
    EXPECT_EQ(std::memcmp(out, "cde", 3), 0);
    EXPECT_EQ(queue.GetLength(), 0u);
}

TEST(DynamicQueue, PopRefusesMoreThanIsQueuedAndRemovesNothing) {
    DynamicQueue queue;
    queue.Push("xy", 2);
    char out[3] = {'-', '-', '-'};
    EXPECT_FALSE(queue.Pop(out, 3));
    EXPECT_EQ(out[0], '-');
    EXPECT_EQ(queue.GetLength(), 2u);
    EXPECT_TRUE(queue.Pop(nullptr, 1)) << "a null target discards";
    EXPECT_TRUE(queue.Pop(out, 0));
    EXPECT_TRUE(queue.Pop(out, 1));
    EXPECT_EQ(out[0], 'y');
    EXPECT_FALSE(queue.Push(nullptr, 1));
    EXPECT_TRUE(queue.Push(nullptr, 0));
    EXPECT_EQ(queue.GetLength(), 0u);
}

TEST(DynamicQueue, GetAtCopiesWithoutRemovingAndChecksTheRange) {
    DynamicQueue queue;
    const unsigned char frame[] = {0x41, 0xC1, 0x62, 0x0D};
    queue.Push(frame, sizeof frame);
    unsigned char b = 0;
    for (size_t i = 0; i < sizeof frame; ++i) {
        ASSERT_TRUE(queue.GetAt(&b, i, 1));
        EXPECT_EQ(b, frame[i]);
    }
    EXPECT_FALSE(queue.GetAt(&b, 4, 1));
    EXPECT_FALSE(queue.GetAt(&b, 2, 3));
    EXPECT_FALSE(queue.GetAt(&b, SIZE_MAX, 2)) << "index + n must not wrap";
    EXPECT_TRUE(queue.GetAt(&b, 4, 0));
    EXPECT_FALSE(queue.GetAt(&b, 5, 0));
    EXPECT_FALSE(queue.GetAt(nullptr, 0, 1));
    EXPECT_EQ(queue.GetLength(), 4u);
}

TEST(DynamicQueue, LargePushesAndPopsCrossChunkBoundaries) {
    DynamicQueue queue;
    // Sizes chosen around the chunk size (a little under 4 KiB) and beyond.
    const size_t sizes[] = {1, 4079, 4080, 4081, 3, 12000, 4096, 8161, 0, 77};
    std::vector<unsigned char> expected;
    unsigned start = 0;
    for (size_t n : sizes) {
        auto part = Sequence(n, start++);
        ASSERT_TRUE(queue.Push(part.data(), part.size()));
        expected.insert(expected.end(), part.begin(), part.end());
    }
    ASSERT_EQ(queue.GetLength(), expected.size());
    // Peek across boundaries.
    std::vector<unsigned char> window(5000);
    ASSERT_TRUE(queue.GetAt(window.data(), 4000, window.size()));
    EXPECT_TRUE(std::equal(window.begin(), window.end(), expected.begin() + 4000));
    // Pop in odd pieces.
    size_t done = 0;
    const size_t pieces[] = {4080, 1, 9000, 333, 4080};
    for (size_t n : pieces) {
        std::vector<unsigned char> out(n);
        ASSERT_TRUE(queue.Pop(out.data(), n));
        ASSERT_TRUE(std::equal(out.begin(), out.end(), expected.begin() + done)) << "piece at " << done;
        done += n;
    }
    auto rest = PopAll(queue);
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), expected.begin() + done));
    EXPECT_EQ(done + rest.size(), expected.size());
}

TEST(DynamicQueue, StackPopTakesTheNewestRecordsLastInFirstOut) {
    // The worker pool queues fixed-size job records and serves the newest.
    struct Record {
        uint32_t job, context, owner;
    };
    DynamicQueue queue;
    for (uint32_t i = 0; i < 1000; ++i) {
        const Record r{i, i * 2, i % 5};
        ASSERT_TRUE(queue.Push(&r, sizeof r));
    }
    for (uint32_t i = 1000; i-- > 500;) {
        Record r{};
        ASSERT_TRUE(queue.StackPop(&r, sizeof r));
        ASSERT_EQ(r.job, i);
        ASSERT_EQ(r.context, i * 2);
        ASSERT_EQ(r.owner, i % 5);
    }
    EXPECT_EQ(queue.GetLength(), 500 * sizeof(Record));
    // The oldest end is untouched, and pushing after a StackPop continues
    // where the queue now ends.
    Record first{};
    ASSERT_TRUE(queue.Pop(&first, sizeof first));
    EXPECT_EQ(first.job, 0u);
    const Record extra{7777, 0, 0};
    queue.Push(&extra, sizeof extra);
    Record newest{};
    ASSERT_TRUE(queue.GetAt(&newest, queue.GetLength() - sizeof newest, sizeof newest));
    EXPECT_EQ(newest.job, 7777u);
    ASSERT_TRUE(queue.StackPop(&newest, sizeof newest));
    ASSERT_TRUE(queue.StackPop(&newest, sizeof newest));
    EXPECT_EQ(newest.job, 499u);
}

TEST(DynamicQueue, StackPopCopiesTheBytesInQueuedOrder) {
    DynamicQueue queue;
    auto big = Sequence(10000);
    queue.Push(big.data(), big.size());
    std::vector<unsigned char> tail(6000);
    ASSERT_TRUE(queue.StackPop(tail.data(), tail.size()));
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), big.begin() + 4000));
    EXPECT_FALSE(queue.StackPop(nullptr, 4001));
    EXPECT_EQ(queue.GetLength(), 4000u);
    ASSERT_TRUE(queue.StackPop(nullptr, 4000));
    EXPECT_EQ(queue.GetLength(), 0u);
    queue.Push("z", 1);
    char z = 0;
    ASSERT_TRUE(queue.Pop(&z, 1));
    EXPECT_EQ(z, 'z');
}

TEST(DynamicQueue, StackPopAfterTheReaderEmptiedAChunk) {
    DynamicQueue queue;
    auto bytes = Sequence(4080 + 10);
    queue.Push(bytes.data(), bytes.size());
    ASSERT_TRUE(queue.Pop(nullptr, 4080));  // the reader now stands at a chunk end
    ASSERT_TRUE(queue.StackPop(nullptr, 10));
    EXPECT_EQ(queue.GetLength(), 0u);
    auto more = Sequence(5000, 3);
    ASSERT_TRUE(queue.Push(more.data(), more.size()));
    EXPECT_EQ(PopAll(queue), more);
}

TEST(DynamicQueue, DeleteDiscardsEverything) {
    DynamicQueue queue;
    auto bytes = Sequence(20000);
    queue.Push(bytes.data(), bytes.size());
    queue.Delete();
    EXPECT_EQ(queue.GetLength(), 0u);
    unsigned char b;
    EXPECT_FALSE(queue.Pop(&b, 1));
    queue.Push("q", 1);
    ASSERT_TRUE(queue.Pop(&b, 1));
    EXPECT_EQ(b, 'q');
}

TEST(DynamicQueue, CopiesAreIndependent) {
    DynamicQueue queue;
    auto bytes = Sequence(9000);
    queue.Push(bytes.data(), bytes.size());
    queue.Pop(nullptr, 100);
    DynamicQueue copy(queue);
    EXPECT_EQ(copy.GetLength(), 8900u);
    DynamicQueue assigned;
    assigned.Push("old", 3);
    assigned = queue;
    queue.Delete();
    auto a = PopAll(copy);
    auto b = PopAll(assigned);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), bytes.begin() + 100));
    EXPECT_EQ(a, b);
}

TEST(DynamicQueue, CancellingJobsKeepsTheOthersInOrder) {
    // The pool's cancel step: pop every record, keep the others in a
    // temporary queue, move them back.
    DynamicQueue queue;
    for (uint32_t i = 0; i < 300; ++i) {
        const uint32_t record[3] = {i, 0, i % 3};
        queue.Push(record, sizeof record);
    }
    DynamicQueue kept;
    uint32_t record[3];
    while (queue.Pop(record, sizeof record))
        if (record[2] != 1) kept.Push(record, sizeof record);
    while (kept.Pop(record, sizeof record)) queue.Push(record, sizeof record);
    EXPECT_EQ(queue.GetLength(), 200 * sizeof record);
    uint32_t previous = 0;
    bool first = true;
    while (queue.Pop(record, sizeof record)) {
        EXPECT_NE(record[2], 1u);
        if (!first) {
            EXPECT_GT(record[0], previous);
        }
        previous = record[0];
        first = false;
    }
}

}  // namespace veldan::test
