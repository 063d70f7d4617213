#pragma once
// The real round trip of a panorama on the virtual head, in a private
// temporary home: a source scene is written, a project is planned for the
// virtual camera's lens, the virtual head shoots it through the head
// control's capture run while the capture-folder monitor files every picture
// into the project, and the pictures come back together as the blended
// preview and as nona's stitch of the Hugin export, each compared with the
// scene over the area the tiles cover.
#include <filesystem>
#include <string>
#include <vector>

#include "Nona.h"
#include "PanoramaCompare.h"
#include "RgbImage.h"
#include "ViewRenderer.h"
#include "VirtualHead.h"

namespace veldan::test {

struct RoundTripSetup {
    int com = 62;  // COM number of the virtual head's link in the private documents folder
    double focalMm = 24;
    double sensorWidthMm = 36, sensorHeightMm = 24;
    bool portrait = true;
    int pictureWidth = 1800, pictureHeight = 1200;  // stored file, long side first
    int sceneWidth = 3600, sceneHeight = 1800;
    // Field of view of the plan (azimuth from, to; elevation from, to); the
    // default is the whole sphere.
    double fov[4] = {0, 360, -90, 90};
    double overlap = 0.25;
    double timeScale = 10;
    uint32_t panoramaWidth = 2000, panoramaHeight = 1000;  // preview and nona
};

struct CaptureFigures {
    int tiles = 0;
    int images = 0;   // image slots of the project
    int presses = 0;  // shutter presses the head saw
    int filed = 0;    // images whose file was filed into the project folder
    double wallMs = 0;
    double waitsMs = 0;   // configured waits: pre-shot, recover and exposure of every image
    double movingMs = 0;  // drives moving during the run (sampled)
};

struct StitchFigures {
    Psnr psnr;
    double coldMs = 0;  // preview: thumbnails not made yet
    double warmMs = 0;  // preview: thumbnails made
    double ms = 0;      // nona
};

class RoundTrip {
public:
    explicit RoundTrip(RoundTripSetup setup);
    ~RoundTrip();  // stops the head and removes the private home
    RoundTrip(const RoundTrip&) = delete;
    RoundTrip& operator=(const RoundTrip&) = delete;

    // Each stage needs the ones before; false with a reason in `error`.
    bool WriteScene(std::string& error);
    bool Plan(std::string& error);
    bool StartHead(std::string& error);
    bool Capture(CaptureFigures& figures, std::string& error);
    bool Preview(StitchFigures& figures, std::string& error);
    // False with `skipped` set when nona is not installed.
    bool Nona(StitchFigures& figures, bool& skipped, std::string& error);

    const std::filesystem::path& Home() const { return root_; }
    const std::filesystem::path& ProjectFile() const { return project_; }

private:
    std::vector<headsim::ViewSpec> Views() const;

    RoundTripSetup setup_;
    std::filesystem::path root_, documents_, captures_, scenePath_, project_;
    headsim::RgbImage scene_;
    VirtualHead head_;
};

}  // namespace veldan::test
