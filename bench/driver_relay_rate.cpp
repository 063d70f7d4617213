// Relay commands through the whole driver against a control module behind a
// pseudo-terminal that emulates the byte timing of 19200 baud. Reports the
// share of the wire limit (bytes on the line / 1920 bytes per second) that
// serialized, echoed commands reach, and the process CPU time while the bus
// is idle (it must not busy-wait).
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "HeadResponder.h"
#include "Pelkor.h"
#include "RelayMeasure.h"
#include "TestHome.h"

using namespace veldan::test;

namespace {

constexpr uint8_t kCom = 77;

struct Head {
    TestHome home;
    PseudoTerminal pty;
    HeadResponder responder{pty};
    CPelkorEnclosure enclosure;
    bool ready = false;

    Head() {
        home.LinkPort(kCom, pty.SlaveName());
        responder.Add(0, SimModule::Control("47.210-0400"));
        responder.SetBaud(19200);
        enclosure.SetMaxDeviceID(0);
        if (!enclosure.Init(kCom)) return;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (enclosure.DeviceCount(DriverIdControl) == 1 && !Busy()) {
                ready = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    bool Busy() {
        CPelkorDevice* d = enclosure.GetDevice(DriverIdControl, 0, true);
        if (!d) return true;
        bool busy = d->GetStatusBusy();
        enclosure.ReleaseDeviceLock();
        return busy;
    }
    bool Relay(uint8_t relay, bool on) {
        auto* d = static_cast<CPelkorDeviceControl*>(enclosure.GetDevice(DriverIdControl, 0, true));
        if (!d) return false;
        bool ok = d->SetRelayState(relay, on);
        enclosure.ReleaseDeviceLock();
        return ok;
    }
};

Head& TheHead() {
    static Head head;
    return head;
}

// A burst of relay commands queued at once: the output thread sends them one
// at a time, each waiting for its echo (serialized), as fast as the line lets
// it. Consecutive commands differ, so none is merged with its neighbour.
void BM_SerializedRelayCommands(benchmark::State& state) {
    Head& head = TheHead();
    if (!head.ready) {
        state.SkipWithError("the bus did not come up");
        return;
    }
    veldan::bench::MeasureRelayBursts(
        state, static_cast<int>(state.range(0)),
        [&](int k) { return head.Relay(static_cast<uint8_t>(k % 10), (k / 10) % 2 == 0); }, [&] { return head.Busy(); },
        [&] { return head.responder.BytesOnLine(); }, "refused");
}
BENCHMARK(BM_SerializedRelayCommands)->Arg(200)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// One command at a time, the caller waiting for each to have gone out by
// polling the module's busy state every millisecond, as a script does.
void BM_RelayCommandRoundTrip(benchmark::State& state) {
    Head& head = TheHead();
    if (!head.ready) {
        state.SkipWithError("the bus did not come up");
        return;
    }
    const uint64_t bytesBefore = head.responder.BytesOnLine();
    const auto start = std::chrono::steady_clock::now();
    uint64_t n = 0;
    for (auto _ : state) {
        if (!head.Relay(static_cast<uint8_t>(n % 10), (n / 10) % 2 == 0)) state.SkipWithError("refused");
        while (head.Busy()) std::this_thread::sleep_for(std::chrono::microseconds(200));
        ++n;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double bytes = static_cast<double>(head.responder.BytesOnLine() - bytesBefore);
    state.counters["wire_share"] = bytes / veldan::bench::kWireBytesPerSecond / seconds;
    state.counters["commands_per_s"] = static_cast<double>(n) / seconds;
}
BENCHMARK(BM_RelayCommandRoundTrip)->Iterations(200)->UseRealTime()->Unit(benchmark::kMillisecond);

// CPU time of the whole process over three idle seconds (the drive-less bus
// still polls the voltage once a second).
void BM_IdleBusCpu(benchmark::State& state) {
    Head& head = TheHead();
    if (!head.ready) {
        state.SkipWithError("the bus did not come up");
        return;
    }
    state.counters["cpu_percent"] = veldan::bench::MeasureIdleCpu(state).percent;
}
BENCHMARK(BM_IdleBusCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
