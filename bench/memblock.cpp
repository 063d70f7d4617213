// Throughput of the byte queue (one thread, and one writer with one reader)
// and of index walks over an item list.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

#include "memblock/DynamicQueue.h"
#include "memblock/MemoryBlock.h"

// Push and pop of records of one size on one thread.
static void BM_QueuePushPop(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> record(n, 0x5A);
    DynamicQueue queue;
    for (auto _ : state) {
        queue.Push(record.data(), n);
        queue.Pop(record.data(), n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_QueuePushPop)->Arg(6)->Arg(12)->Arg(256)->Arg(4096);

// One writer thread streams records while this thread takes them out.
static void BM_QueueWriterReader(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    constexpr size_t kRecords = 100000;
    for (auto _ : state) {
        DynamicQueue queue;
        std::thread writer([&] {
            std::vector<unsigned char> record(n, 0x33);
            for (size_t i = 0; i < kRecords; ++i) queue.Push(record.data(), n);
        });
        std::vector<unsigned char> out(n);
        for (size_t taken = 0; taken < kRecords;) {
            if (queue.Pop(out.data(), n)) ++taken;
        }
        writer.join();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecords * n));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
}
BENCHMARK(BM_QueueWriterReader)->Arg(6)->Arg(64)->Arg(1024)->UseRealTime()->Unit(benchmark::kMillisecond);

// An index loop over a list, as the project's save walks its tiles.
static void BM_ListIndexWalk(benchmark::State& state) {
    const uint32_t items = static_cast<uint32_t>(state.range(0));
    CMemoryBlock list;
    for (uint32_t i = 0; i < items; ++i) list.AddItem(new CMemoryItem(), list.count);
    for (auto _ : state) {
        CMemoryBlockChanging walk(list);
        for (uint32_t i = 0; i < items; ++i) benchmark::DoNotOptimize(list.GetItem(i, false));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * items);
}
BENCHMARK(BM_ListIndexWalk)->Arg(100)->Arg(10000);

// Appending and removing at the front, as a device's send queue is used.
static void BM_ListAddRemove(benchmark::State& state) {
    CMemoryBlock list;
    for (auto _ : state) {
        list.AddItem(new CMemoryItem(), list.count);
        list.DeleteItem(0u);
    }
}
BENCHMARK(BM_ListAddRemove);

BENCHMARK_MAIN();
