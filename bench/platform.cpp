// Costs of the platform services on the hot paths: the bus hands every frame
// over through events, the driver posts indicator messages for every byte
// burst, and every file name is converted between wide text and UTF-8.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "platform/Event.h"
#include "platform/Text.h"
#include "platform/Window.h"

namespace {

void EventPingPong(benchmark::State& state) {
    veldan::platform::Event ping(false), pong(false);
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        while (ping.Wait(veldan::platform::kInfinite) && !stop) pong.Set();
    });
    for (auto _ : state) {
        ping.Set();
        pong.Wait(veldan::platform::kInfinite);
    }
    stop = true;
    ping.Set();
    partner.join();
}
BENCHMARK(EventPingPong)->UseRealTime();

void WaitAnyOfFour(benchmark::State& state) {
    veldan::platform::Event a(false), b(false), c(false), d(false);
    veldan::platform::Event* events[] = {&a, &b, &c, &d};
    for (auto _ : state) {
        c.Set();
        benchmark::DoNotOptimize(veldan::platform::Event::WaitAny(events, 0));
    }
}
BENCHMARK(WaitAnyOfFour);

void PostAndTakeMessage(benchmark::State& state) {
    veldan::platform::MessageQueueWindow window;
    veldan::platform::Message m;
    for (auto _ : state) {
        veldan::platform::PostMessage(window.Handle(), veldan::platform::WM_APP + 2, 1, 0);
        window.GetMessage(m, 0);
    }
}
BENCHMARK(PostAndTakeMessage);

void Utf8RoundTrip(benchmark::State& state) {
    const std::wstring name = L"/home/user/Documents/VELDANmodular/Panorama \u00e9t\u00e9 2026/IMG_0042.CR2";
    for (auto _ : state) benchmark::DoNotOptimize(veldan::platform::FromUtf8(veldan::platform::ToUtf8(name)));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * name.size()));
}
BENCHMARK(Utf8RoundTrip);

}  // namespace

BENCHMARK_MAIN();
