// Throughput of the script file form and of whole-line logging.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "settings/VELDANsettings.h"
#include "stream/DynStream.h"

namespace {

std::string Folder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "veldan-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern;
    }();
    static const bool cleanup = [] {
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
        return true;
    }();
    (void)cleanup;
    return folder;
}

// A script of n shots in the form ComputeOps writes.
std::string MakeScript(int shots) {
    CVeldanScript script;
    for (int i = 0; i < shots; ++i) {
        std::string h = "H " + std::to_string((i * 7.5)) + " \"shot " + std::to_string(i) + "\"";
        script.AddOpFromString(h.c_str());
        for (const char* line : {"WAIT READY", "RECOVER 1000", "PRESHOT", "WAIT 500", "SHOOT", "WAIT 200", "RELEASE"})
            script.AddOpFromString(line);
    }
    std::string path = Folder() + "/script" + std::to_string(shots) + ".txt";
    DynStream* s = dyn_fopen(path.c_str(), "w");
    script.Save(s);
    dyn_fclose(s);
    return path;
}

void BM_ScriptLoad(benchmark::State& state) {
    std::string path = MakeScript(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CVeldanScript script;
        DynStream* s = dyn_fopen(path.c_str(), "r");
        if (!script.Load(s)) state.SkipWithError("load failed");
        dyn_fclose(s);
        benchmark::DoNotOptimize(script.GetOpCnt());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 8);
}
BENCHMARK(BM_ScriptLoad)->Arg(1000)->Arg(100000);

void BM_ScriptSave(benchmark::State& state) {
    std::string path = MakeScript(static_cast<int>(state.range(0)));
    CVeldanScript script;
    DynStream* in = dyn_fopen(path.c_str(), "r");
    script.Load(in);
    dyn_fclose(in);
    for (auto _ : state) {
        DynStream* s = dyn_fopen((path + ".out").c_str(), "w");
        if (!script.Save(s)) state.SkipWithError("save failed");
        dyn_fclose(s);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 8);
}
BENCHMARK(BM_ScriptSave)->Arg(1000);

// Traffic-log lines in three pieces from several threads.
void BM_LogLines(benchmark::State& state) {
    static DynStream* log = nullptr;
    if (state.thread_index() == 0) log = dyn_fopen((Folder() + "/traffic.log").c_str(), "w");
    int i = 0;
    for (auto _ : state) {
        dyn_fprintf(log, "==>\t");
        dyn_fprintf(log, "C3 G0 line %d", ++i);
        dyn_fprintf(log, "\r\n");
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        // All threads have finished their loops here.
        dyn_fclose(log);
    }
}
BENCHMARK(BM_LogLines)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
