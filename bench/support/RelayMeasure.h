#pragma once
// The measuring loops of the relay benchmarks, shared by the runs against the
// virtual head and against the scripted control module: a burst of relay
// commands timed until the module is idle again, as a share of what 19200
// baud lets through, and the CPU time of this process while the bus idles.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace veldan::bench {

// 19200 baud with start and stop bits.
constexpr double kWireBytesPerSecond = 1920.0;

inline double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Each iteration queues `burst` commands at once (relay(k) sends the k-th;
// false is a refusal, reported as `refused`) and waits until busy() is false.
// Sets the counters wire_share, commands_per_s and bytes_on_line, the bytes
// counted by bytesOnLine() in both directions.
template <typename Relay, typename Busy, typename Bytes>
void MeasureRelayBursts(benchmark::State& state, int burst, Relay relay, Busy busy, Bytes bytesOnLine,
                        const char* refused) {
    double bytes = 0, seconds = 0;
    uint64_t commands = 0;
    for (auto _ : state) {
        const auto bytesBefore = bytesOnLine();
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < burst; ++k)
            if (!relay(k)) state.SkipWithError(refused);
        while (busy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bytes += static_cast<double>(bytesOnLine() - bytesBefore);
        commands += static_cast<uint64_t>(burst);
    }
    state.counters["wire_share"] = bytes / kWireBytesPerSecond / seconds;
    state.counters["commands_per_s"] = static_cast<double>(commands) / seconds;
    state.counters["bytes_on_line"] = bytes;
}

struct IdleCpu {
    double seconds;  // CPU time of the process
    double percent;  // of the wall-clock time
};

// Each iteration lets the bus idle for three seconds.
inline IdleCpu MeasureIdleCpu(benchmark::State& state) {
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double c0 = ProcessCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        cpu += ProcessCpuSeconds() - c0;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    return {cpu, wall > 0 ? 100.0 * cpu / wall : 0};
}

}  // namespace veldan::bench
