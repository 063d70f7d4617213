// One run of the whole round trip on the virtual head, in a private
// temporary home: the test scene is written as the source panorama, a
// spherical project is planned for the virtual camera's lens (24 mm on a
// 36 x 24 mm sensor, portrait, 1800 x 1200 pictures), the virtual head
// (simulated time ten times as fast, shortest waits) shoots it through the
// head control's capture run while the capture-folder monitor files every
// picture into the project, then the blended preview and nona's stitch of
// the Hugin export are made at 2000 x 1000 and compared with the scene over
// the covered area.
//
// Prints the capture's wall time against its configured waits and the
// drives' move time (sampled), the overhead per tile, the pictures filed,
// both PSNRs, the preview's time cold (no thumbnails) and warm, nona's time
// and their ratios. Exits non-zero when any stage fails.
//
//   bench_roundtrip [--no-nona]
#include <cstdio>
#include <cstring>
#include <string>

#include "RoundTrip.h"

using namespace veldan::test;

namespace {

int Failed(const char* stage, const std::string& error) {
    std::fprintf(stderr, "bench_roundtrip: %s failed: %s\n", stage, error.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool withNona = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--no-nona")) {
            withNona = false;
        } else {
            std::fprintf(stderr, "usage: bench_roundtrip [--no-nona]\n");
            return 2;
        }
    }
    RoundTripSetup setup;
    RoundTrip trip(setup);
    std::string error;
    if (!trip.WriteScene(error)) return Failed("writing the scene", error);
    if (!trip.Plan(error)) return Failed("planning", error);
    if (!trip.StartHead(error)) return Failed("starting the virtual head", error);
    std::printf("lens %.0f mm, sensor %.0fx%.0f mm, %s, pictures %dx%d, scene %dx%d, time scale %.0f\n", setup.focalMm,
                setup.sensorWidthMm, setup.sensorHeightMm, setup.portrait ? "portrait" : "landscape",
                setup.pictureWidth, setup.pictureHeight, setup.sceneWidth, setup.sceneHeight, setup.timeScale);
    std::fflush(stdout);

    CaptureFigures capture;
    const bool captured = trip.Capture(capture, error);
    std::printf("tiles %d, images %d, shots %d\n", capture.tiles, capture.images, capture.presses);
    std::printf("capture run          %8.0f ms\n", capture.wallMs);
    std::printf("configured waits     %8.0f ms\n", capture.waitsMs);
    std::printf("head moving          %8.0f ms (sampled)\n", capture.movingMs);
    if (capture.tiles > 0)
        std::printf("overhead per tile    %8.0f ms\n",
                    (capture.wallMs - capture.waitsMs - capture.movingMs) / capture.tiles);
    std::printf("pictures filed       %8d of %d\n", capture.filed, capture.images);
    std::fflush(stdout);
    if (!captured) return Failed("the capture", error);

    StitchFigures preview;
    if (!trip.Preview(preview, error)) return Failed("the blended preview", error);
    std::printf("blended preview %ux%u: PSNR %.2f dB over %.1f %% of the panorama\n", setup.panoramaWidth,
                setup.panoramaHeight, preview.psnr.db, 100 * preview.psnr.covered);
    std::printf("preview cold         %8.0f ms (thumbnails made from the pictures)\n", preview.coldMs);
    std::printf("preview warm         %8.0f ms (thumbnails there)\n", preview.warmMs);
    std::fflush(stdout);

    if (!withNona) {
        std::printf("nona not run (--no-nona): no ratio\n");
        return 0;
    }
    StitchFigures nona;
    bool skipped = false;
    if (!trip.Nona(nona, skipped, error)) {
        if (!skipped) return Failed("nona", error);
        std::printf("nona skipped: %s; no ratio\n", error.c_str());
        return 0;
    }
    std::printf("nona (Hugin export) %ux%u: PSNR %.2f dB over %.1f %% of the panorama\n", setup.panoramaWidth,
                setup.panoramaHeight, nona.psnr.db, 100 * nona.psnr.covered);
    std::printf("nona                 %8.0f ms\n", nona.ms);
    std::printf("ratio cold/nona      %8.3f\n", preview.coldMs / nona.ms);
    std::printf("ratio warm/nona      %8.4f\n", preview.warmMs / nona.ms);
    return 0;
}
