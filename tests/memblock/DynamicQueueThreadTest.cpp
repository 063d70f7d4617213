// One writer thread and one reader thread on a queue without any lock of
// their own, as the serial port's receiver and the enclosure's input thread
// use it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "memblock/DynamicQueue.h"

namespace veldan::test {

namespace {

// A record: 4-byte sequence number, 2-byte payload length, payload bytes
// derived from the sequence number. The reader checks every byte.
void MakeRecord(uint32_t seq, std::vector<unsigned char>& out) {
    const uint16_t n = static_cast<uint16_t>((seq * 2654435761u) % 9000);  // up to two chunks
    out.resize(6 + n);
    std::memcpy(out.data(), &seq, 4);
    std::memcpy(out.data() + 4, &n, 2);
    for (uint16_t i = 0; i < n; ++i) out[6 + i] = static_cast<unsigned char>(seq + i);
}

}  // namespace

TEST(DynamicQueueThreads, WriterAndReaderPreserveOrderAndCount) {
    constexpr uint32_t kRecords = 20000;
    DynamicQueue queue;
    std::atomic<bool> writerDone{false};

    std::thread writer([&] {
        std::vector<unsigned char> record;
        uint64_t pushed = 0;
        for (uint32_t seq = 0; seq < kRecords; ++seq) {
            MakeRecord(seq, record);
            // Sometimes in pieces, so that the reader sees partial records.
            if (seq % 5 == 0 && record.size() > 10) {
                ASSERT_TRUE(queue.Push(record.data(), 5));
                ASSERT_TRUE(queue.Push(record.data() + 5, record.size() - 5));
            } else {
                ASSERT_TRUE(queue.Push(record.data(), record.size()));
            }
            pushed += record.size();
            // Seen from the writer the length may lag the reader, but it
            // never exceeds what was pushed.
            ASSERT_LE(queue.GetLength(), pushed);
        }
        writerDone = true;
    });

    uint32_t expected = 0;
    std::vector<unsigned char> payload;
    while (expected < kRecords) {
        // Peek the header in place; take the record only once it is whole.
        unsigned char header[6];
        if (!queue.GetAt(header, 0, sizeof header)) {
            // Everything the writer pushed before it finished is visible.
            ASSERT_FALSE(writerDone.load() && queue.GetLength() == 0) << "records missing after " << expected;
            std::this_thread::yield();
            continue;
        }
        uint32_t seq;
        uint16_t n;
        std::memcpy(&seq, header, 4);
        std::memcpy(&n, header + 4, 2);
        if (queue.GetLength() < sizeof header + n) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(seq, expected);
        ASSERT_TRUE(queue.Pop(nullptr, sizeof header));
        payload.resize(n);
        ASSERT_TRUE(queue.Pop(payload.data(), n));
        for (uint16_t i = 0; i < n; ++i)
            ASSERT_EQ(payload[i], static_cast<unsigned char>(seq + i)) << "record " << seq << " byte " << i;
        ++expected;
    }
    writer.join();
    EXPECT_EQ(expected, kRecords);
    EXPECT_EQ(queue.GetLength(), 0u);
}

TEST(DynamicQueueThreads, ReaderDeleteWhileTheWriterPushes) {
    // Delete is a reader operation: it drops what was queued and never
    // damages what the writer appends at the same time.
    DynamicQueue queue;
    std::atomic<bool> writerDone{false};
    constexpr uint32_t kBlocks = 5000;
    std::thread writer([&] {
        unsigned char block[100];
        for (uint32_t i = 0; i < kBlocks; ++i) {
            std::memset(block, static_cast<int>(i & 0xFF), sizeof block);
            ASSERT_TRUE(queue.Push(block, sizeof block));
        }
        writerDone = true;
    });
    uint64_t popped = 0;
    int deletes = 0;
    while (!writerDone.load() || queue.GetLength() > 0) {
        if (popped % 7 == 3 && deletes < 100) {
            queue.Delete();
            ++deletes;
        }
        // Whatever survives is whole blocks of one value each.
        unsigned char block[100];
        if (queue.Pop(block, sizeof block)) {
            for (unsigned char b : block) ASSERT_EQ(b, block[0]);
        }
        ++popped;
    }
    writer.join();
    EXPECT_EQ(queue.GetLength(), 0u);
}

TEST(DynamicQueueThreads, LockedQueueServesTheNewestRecordToSeveralThreads) {
    // The worker pool's use: any thread appends fixed-size job records and
    // workers take the newest, every operation under the pool's queue lock,
    // so the queue's writer and reader roles move between threads.
    struct Job {
        uint32_t producer, seq, check;
    };
    constexpr uint32_t kProducers = 3;
    constexpr uint32_t kPerProducer = 3000;
    DynamicQueue queue;
    std::mutex lock;
    std::atomic<uint32_t> producersDone{0};
    std::vector<std::vector<int>> seen(kProducers, std::vector<int>(kPerProducer, 0));
    std::mutex seenLock;

    std::vector<std::thread> threads;
    for (uint32_t p = 0; p < kProducers; ++p) {
        threads.emplace_back([&, p] {
            for (uint32_t s = 0; s < kPerProducer; ++s) {
                const Job job{p, s, p * 100000u + s};
                std::lock_guard<std::mutex> guard(lock);
                ASSERT_TRUE(queue.Push(&job, sizeof job));
            }
            ++producersDone;
        });
    }
    for (int w = 0; w < 2; ++w) {
        threads.emplace_back([&] {
            for (;;) {
                Job job{};
                bool got;
                {
                    std::lock_guard<std::mutex> guard(lock);
                    got = queue.StackPop(&job, sizeof job);
                }
                if (!got) {
                    if (producersDone.load() == kProducers && queue.GetLength() == 0) return;
                    std::this_thread::yield();
                    continue;
                }
                ASSERT_LT(job.producer, kProducers);
                ASSERT_LT(job.seq, kPerProducer);
                ASSERT_EQ(job.check, job.producer * 100000u + job.seq);
                std::lock_guard<std::mutex> guard(seenLock);
                ++seen[job.producer][job.seq];
            }
        });
    }
    for (auto& t : threads) t.join();
    for (uint32_t p = 0; p < kProducers; ++p)
        for (uint32_t s = 0; s < kPerProducer; ++s)
            ASSERT_EQ(seen[p][s], 1) << "job " << p << "/" << s << " taken once";
}

}  // namespace veldan::test
