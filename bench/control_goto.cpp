// VELDANcontrol_goto for a one-degree move of the horizontal drive, measured
// against the virtual head's own time for that move (from its drive state
// "moving=1" until "moving=0", sampled over the control socket).
//
// The difference is the control path's overhead. Its floor comes from the
// described end-of-move detection: the drive polls its position every
// 500 ms and counts as standing only when two answers agree, and the wait
// for an idle bus looks every 100 ms, so a move ends for the caller between
// about 500 and 1100 ms after the head has stopped.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "ControlTestSupport.h"
#include "VELDANcontrol.h"
#include "VirtualHead.h"

using namespace veldan::test;
using Clock = std::chrono::steady_clock;

namespace {

struct Rig {
    TempHome home;
    VirtualHead head;
    ControlHandle handle = nullptr;
    bool ok = false;

    Rig() {
        TempHome::Write(home.ConfigFolder() / "settings.cfg",
                        "port = 58\nmax_device_id = 2\nhorizontal_drive = 0\nvertical_drive = 1\n"
                        "control_module = 2\nshutter_module = 2\npreshot_module = 2\n");
        std::string error;
        if (!head.Start(58, home.Documents(), {"--h-addr", "0", "--v-addr", "1", "--ctrl-addr", "2"}, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return;
        }
        Args args{L"-q", L"-n"};
        handle = VELDANcontrol_init_redirect(args.argc(), args.argv(), &CaptureOutput);
        ok = handle && VELDANcontrol_op_wait(handle, -1) == 0 && VELDANcontrol_goto(handle, 0, 0) == 0;
    }
    ~Rig() {
        if (handle) VELDANcontrol_deinit(handle);
    }
};

bool Moving(VirtualHead& head) { return head.Command("drive 0").find("moving=1") != std::string::npos; }

void BM_GotoOneDegree(benchmark::State& state) {
    static Rig rig;
    if (!rig.ok) {
        state.SkipWithError("virtual head not available");
        return;
    }
    double target = 0;
    double simTotal = 0, gotoTotal = 0;
    int64_t moves = 0;
    for (auto _ : state) {
        target = target == 0 ? 1 : 0;
        std::atomic<bool> done{false};
        Clock::time_point moveStart{}, moveEnd{};
        std::thread sampler([&] {
            bool seen = false;
            while (!done.load()) {
                const bool m = Moving(rig.head);
                const auto now = Clock::now();
                if (m && !seen) {
                    seen = true;
                    moveStart = now;
                }
                if (!m && seen && moveEnd == Clock::time_point{}) moveEnd = now;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        const auto start = Clock::now();
        if (VELDANcontrol_goto(rig.handle, target, 0) != 0) state.SkipWithError("goto failed");
        const auto end = Clock::now();
        done = true;
        sampler.join();
        const double gotoMs = std::chrono::duration<double, std::milli>(end - start).count();
        state.SetIterationTime(gotoMs / 1000.0);
        gotoTotal += gotoMs;
        if (moveEnd != Clock::time_point{})
            simTotal += std::chrono::duration<double, std::milli>(moveEnd - moveStart).count();
        ++moves;
    }
    if (moves > 0) {
        state.counters["goto_ms"] = gotoTotal / moves;
        state.counters["head_move_ms"] = simTotal / moves;
        state.counters["overhead_ms"] = (gotoTotal - simTotal) / moves;
    }
}
BENCHMARK(BM_GotoOneDegree)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
