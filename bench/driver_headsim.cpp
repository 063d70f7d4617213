// Relay commands through the whole driver against the virtual head with the
// byte timing of 19200 baud. Reports the share of the wire limit (bytes on
// the line, as the head counts them in both directions, / 1920 bytes per
// second) that serialized, echoed commands reach, and the CPU time of this
// process (the driver) while the bus is idle.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "Pelkor.h"
#include "RelayMeasure.h"
#include "VirtualHead.h"

using veldan::test::VirtualHead;

namespace {

constexpr uint8_t kCom = 78;
constexpr uint32_t kControlAddress = 3;

long StatsField(const std::string& reply, const std::string& key) {
    std::istringstream words(reply);
    std::string word;
    while (words >> word)
        if (word.rfind(key + "=", 0) == 0) return std::strtol(word.c_str() + key.size() + 1, nullptr, 10);
    return -1;
}

struct Bench {
    std::filesystem::path root;
    VirtualHead head;
    CPelkorEnclosure enclosure;
    bool ready = false;
    std::string error;

    Bench() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelkor-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        root = pattern;
        const auto documents = root / "Documents";
        std::filesystem::create_directories(documents);
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root / ".config").c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", documents.c_str(), 1);
        if (VirtualHead::Program().empty()) {
            error = "veldan-headsim was not built";
            return;
        }
        if (!head.Start(kCom, documents, {"--baud", "19200"}, error)) return;
        enclosure.SetMaxDeviceID(3);
        if (!enclosure.Init(kCom)) {
            error = "the bus did not open";
            return;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < end) {
            if (enclosure.DeviceCount(DriverIdControl) == 1 && enclosure.DeviceCount(DriverIdDrive) == 2 &&
                !AnyBusy()) {
                ready = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        error = "the modules were not identified";
    }
    ~Bench() {
        enclosure.DeInit();
        head.Stop();
        std::error_code ec;
        if (!root.empty()) std::filesystem::remove_all(root, ec);
    }

    bool Busy(CPelkorDevice* d) { return d == nullptr || d->GetStatusBusy(); }
    bool AnyBusy() {
        bool busy = false;
        for (uint32_t a = 1; a <= 3; ++a) {
            CPelkorDevice* d = enclosure.GetDeviceByBusID(a, true);
            busy |= Busy(d);
            if (d) enclosure.ReleaseDeviceLock();
        }
        return busy;
    }
    bool ControlBusy() {
        CPelkorDevice* d = enclosure.GetDeviceByBusID(kControlAddress, true);
        const bool busy = Busy(d);
        if (d) enclosure.ReleaseDeviceLock();
        return busy;
    }
    // Relays 2..8 only: relay 1 is the camera's shutter, whose pictures would
    // cost the head CPU time on a small machine.
    bool Relay(int k) {
        auto* d = static_cast<CPelkorDeviceControl*>(enclosure.GetDeviceByBusID(kControlAddress, true));
        if (!d) return false;
        const bool ok = d->SetRelayState(static_cast<uint8_t>(2 + k % 7), (k / 7) % 2 == 0);
        enclosure.ReleaseDeviceLock();
        return ok;
    }
    long BytesOnLine() {
        const std::string stats = head.Command("stats");
        return StatsField(stats, "rx_bytes") + StatsField(stats, "tx_bytes");
    }
};

Bench& TheBench() {
    static Bench bench;
    return bench;
}

// A burst of relay commands queued at once; the output thread sends them one
// at a time, each waiting for its echo. Consecutive commands differ, so none
// is merged with its neighbour.
void BM_HeadSerializedRelayCommands(benchmark::State& state) {
    Bench& bench = TheBench();
    if (!bench.ready) {
        state.SkipWithError(bench.error.c_str());
        return;
    }
    veldan::bench::MeasureRelayBursts(
        state, static_cast<int>(state.range(0)), [&](int k) { return bench.Relay(k); },
        [&] { return bench.ControlBusy(); }, [&] { return bench.BytesOnLine(); }, "relay command refused");
}
BENCHMARK(BM_HeadSerializedRelayCommands)->Arg(200)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// CPU time of the driver's process over three idle seconds (the bus still
// polls the voltage).
void BM_HeadIdleBusCpu(benchmark::State& state) {
    Bench& bench = TheBench();
    if (!bench.ready) {
        state.SkipWithError(bench.error.c_str());
        return;
    }
    const veldan::bench::IdleCpu idle = veldan::bench::MeasureIdleCpu(state);
    state.counters["cpu_seconds"] = idle.seconds;
    state.counters["cpu_percent"] = idle.percent;
}
BENCHMARK(BM_HeadIdleBusCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
