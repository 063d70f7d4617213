// Time to render one picture of the virtual camera (bilinear sampling of the
// equirectangular source), which bounds how fast a capture run on the virtual
// head can shoot.
#include <benchmark/benchmark.h>

#include "TestScene.h"
#include "ViewRenderer.h"

static void BM_RenderView(benchmark::State& state) {
    static const veldan::headsim::RgbImage scene = veldan::headsim::MakeTestScene(3600, 1800);
    veldan::headsim::ViewSpec view;
    view.azimuthDeg = 123.0;
    view.elevationDeg = 35.0;
    view.width = static_cast<int>(state.range(0));
    view.height = view.width * 2 / 3;
    for (auto _ : state) benchmark::DoNotOptimize(veldan::headsim::RenderView(scene, view));
    state.SetItemsProcessed(state.iterations() * view.width * view.height);
}
BENCHMARK(BM_RenderView)->Arg(600)->Arg(1500)->Arg(3000)->Unit(benchmark::kMillisecond);

static void BM_MakeTestScene(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(veldan::headsim::MakeTestScene(3600, 1800));
}
BENCHMARK(BM_MakeTestScene)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
