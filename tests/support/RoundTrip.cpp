// RoundTrip: scene, plan, capture on the virtual head with the capture-folder
// monitor, and the blended preview.
#include "RoundTrip.h"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "Nona.h"
#include "TempFolder.h"
#include "TestScene.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Decode.h"
#include "imaging/Png.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "preview/capture/HeadlessCapture.h"
#include "preview/document/DocumentList.h"
#include "preview/document/VELDANpreviewDoc.h"
#include "preview/view/PreviewPicture.h"

namespace veldan::test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using veldan::imaging::Bitmap;
using veldan::imaging::PixelLayout;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// Loads a project file as veldan preview and export do.
std::unique_ptr<VELDANPanoramaProject> LoadProject(const fs::path& file, std::string& error) {
    auto project = std::make_unique<VELDANPanoramaProject>();
    if (!project->LoadFromFile(veldan::platform::PathToWide(file).c_str())) {
        error = "cannot read the project " + file.string();
        return nullptr;
    }
    return project;
}

}  // namespace

RoundTrip::RoundTrip(RoundTripSetup setup) : setup_(setup) {
    std::string pattern = (fs::temp_directory_path() / "veldan-roundtrip-XXXXXX").string();
    if (mkdtemp(pattern.data())) root_ = pattern;
    documents_ = root_ / "Documents";
    captures_ = root_ / "capture";
    scenePath_ = root_ / "scene.png";
    project_ = documents_ / "pano" / "pano.vpp";
    std::error_code ec;
    fs::create_directories(documents_ / "VELDANmodular", ec);
    fs::create_directories(project_.parent_path(), ec);
    fs::create_directories(captures_, ec);
    // Never the user's configuration: the control library, the device
    // settings and the profiles all look into the private home.
    setenv("HOME", root_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", documents_.c_str(), 1);
}

RoundTrip::~RoundTrip() {
    head_.Stop();
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
}

bool RoundTrip::WriteScene(std::string& error) {
    if (root_.empty()) {
        error = "cannot create a temporary home";
        return false;
    }
    scene_ = headsim::MakeTestScene(setup_.sceneWidth, setup_.sceneHeight);
    auto made = Bitmap::Create(uint32_t(scene_.width), uint32_t(scene_.height), PixelLayout::kBgr24);
    if (!made.ok()) {
        error = "cannot make the scene's bitmap";
        return false;
    }
    Bitmap& b = made.value();
    for (int y = 0; y < scene_.height; ++y)
        for (int x = 0; x < scene_.width; ++x) {
            const uint8_t* p = scene_.At(x, y);
            b.SetArgb(uint32_t(x), uint32_t(y), 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    // PNG: the head renders from exactly the pixels the check compares with.
    if (!veldan::imaging::SavePng(b, scenePath_).ok()) {
        error = "cannot write " + scenePath_.string();
        return false;
    }
    return true;
}

bool RoundTrip::Plan(std::string& error) {
    VELDANPanoramaProject project;
    project.lens.focal_length = setup_.focalMm;
    project.sensor.dimension_x = setup_.sensorWidthMm;
    project.sensor.dimension_y = setup_.sensorHeightMm;
    project.camera.orientation = setup_.portrait ? 0 : 1;
    project.fov.begin_theta = setup_.fov[0];
    project.fov.end_theta = setup_.fov[1];
    project.fov.begin_phi = setup_.fov[2];
    project.fov.end_phi = setup_.fov[3];
    project.options.overlap = setup_.overlap;
    if (project.ComputeTiles(false) == 0) {
        error = "the lens, sensor and field of view give no usable plan";
        return false;
    }
    project.options.path = 0;
    project.ComputePath(0);
    if (!project.SaveToFile(veldan::platform::PathToWide(project_).c_str())) {
        error = "cannot write the project file " + project_.string();
        return false;
    }
    return true;
}

bool RoundTrip::StartHead(std::string& error) {
    std::ofstream(documents_ / "VELDANmodular" / "settings.cfg")
        << "port = " << setup_.com
        << "\nmax_device_id = 2\nhorizontal_drive = 0\nvertical_drive = 1\ncontrol_module = 2\n"
           "shutter_module = 2\nshutter_relay = 1\npreshot_module = 2\npreshot_relay = 0\n";
    const std::vector<std::string> options = {
        "--h-addr",      "0",
        "--v-addr",      "1",
        "--ctrl-addr",   "2",
        "--time-scale",  Number(setup_.timeScale),
        "--capture-dir", captures_.string(),
        "--panorama",    scenePath_.string(),
        "--focal",       Number(setup_.focalMm),
        "--sensor",      Number(setup_.sensorWidthMm) + "x" + Number(setup_.sensorHeightMm),
        "--orientation", setup_.portrait ? "portrait" : "landscape",
        "--resolution",  std::to_string(setup_.pictureWidth) + "x" + std::to_string(setup_.pictureHeight)};
    if (VirtualHead::Program().empty()) {
        error = "veldan-headsim is not built";
        return false;
    }
    return head_.Start(setup_.com, documents_, options, error);
}

bool RoundTrip::Capture(CaptureFigures& figures, std::string& error) {
    using namespace veldan::preview;
    figures = {};
    DocumentList documents;
    CVELDANpreviewDoc doc(documents);
    if (!doc.OnOpenDocument(project_, &error)) return false;
    VELDANPanoramaProject& project = doc.Project();
    figures.tiles = int(project.TileCount());
    for (uint32_t k = 0; k < project.TileCount(); ++k)
        for (uint32_t j = 0; j < project.Tile(k)->bracketings.GetItemCount(); ++j)
            if (VELDANPanoramaBracketing* b = project.Tile(k)->Bracketing(j)) figures.images += int(b->GetImageCnt());

    // The drives' move time during the run, sampled over the control socket.
    std::atomic<bool> sampling{true}, inRun{false};
    std::atomic<long> movingMs{0};
    std::thread sampler([&] {
        auto last = Clock::now();
        while (sampling) {
            const bool moving = inRun && (head_.Command("drive 0").find("moving=1") != std::string::npos ||
                                          head_.Command("drive 1").find("moving=1") != std::string::npos);
            const auto now = Clock::now();
            if (moving) movingMs += std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count();
            last = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    Clock::time_point begin{}, end{};
    HeadlessCaptureOptions options;
    options.port = setup_.com;
    options.captureDirectory = captures_;
    options.save = [&] {
        std::string saveError;
        if (!doc.OnSaveDocument(project_, &saveError)) std::fprintf(stderr, "saving: %s\n", saveError.c_str());
    };
    options.beforeRun = [&](CVRHeadControl& control) {
        // The shortest waits: every shot holds the minimum of 100 ms.
        control.OnRecoverText(L"0");
        control.OnPreshotText(L"0");
        control.OnExposureText(L"1/1000");
        const double perImage = std::ceil(control.PreshotTime()) + std::ceil(control.RecoverTime()) +
                                std::max(100.0, std::ceil(control.ExposureTime()));
        figures.waitsMs = perImage * figures.images;
        inRun = true;
        begin = Clock::now();
    };
    options.afterRun = [&](CVRHeadControl&) {
        end = Clock::now();
        inRun = false;
    };
    const HeadlessCaptureStatus status = RunHeadlessCapture(documents, doc, options, error);
    sampling = false;
    sampler.join();
    if (status != HeadlessCaptureStatus::Done) {
        if (error.empty()) error = "the capture run was cancelled";
        return false;
    }
    figures.wallMs = Ms(begin, end);
    figures.movingMs = double(movingMs.load());
    figures.presses = std::atoi(head_.StateValue("presses").c_str());

    // What the project on disk says: every image names a file in the project folder.
    auto saved = LoadProject(project_, error);
    if (!saved) return false;
    for (uint32_t k = 0; k < saved->TileCount(); ++k)
        for (uint32_t j = 0; j < saved->Tile(k)->bracketings.GetItemCount(); ++j) {
            VELDANPanoramaBracketing* b = saved->Tile(k)->Bracketing(j);
            for (uint32_t i = 0; b && i < b->GetImageCnt(); ++i) {
                VELDANPanoramaImage* image = b->GetImage(i);
                const wchar_t* name = image ? image->GetFilename() : nullptr;
                if (!name) continue;
                fs::path file = veldan::platform::PathFromWide(name);
                if (file.is_relative()) file = project_.parent_path() / file;
                std::error_code ec;
                if (fs::is_regular_file(file, ec) && fs::equivalent(file.parent_path(), project_.parent_path(), ec))
                    ++figures.filed;
            }
        }
    if (figures.filed != figures.images) {
        error = std::to_string(figures.images - figures.filed) + " of " + std::to_string(figures.images) +
                " pictures were not filed into the project";
        return false;
    }
    return true;
}

std::vector<headsim::ViewSpec> RoundTrip::Views() const {
    std::vector<headsim::ViewSpec> views;
    std::string error;
    auto project = LoadProject(project_, error);
    for (uint32_t k = 0; project && k < project->TileCount(); ++k) {
        headsim::ViewSpec v;
        v.azimuthDeg = project->Tile(k)->pos_x;
        v.elevationDeg = project->Tile(k)->pos_y;
        v.focalMm = setup_.focalMm;
        v.sensorWidthMm = setup_.sensorWidthMm;
        v.sensorHeightMm = setup_.sensorHeightMm;
        v.portrait = setup_.portrait;
        v.width = setup_.pictureWidth;
        v.height = setup_.pictureHeight;
        views.push_back(v);
    }
    return views;
}

bool RoundTrip::Preview(StitchFigures& figures, std::string& error) {
    figures = {};
    auto project = LoadProject(project_, error);
    if (!project) return false;
    const uint32_t W = setup_.panoramaWidth, H = setup_.panoramaHeight;
    // The preview spans the project's field of view (the planner widens the
    // asked range by its row margin).
    const PanoramaDirection direction = PreviewDirection(W, H, project->fov.begin_theta, project->fov.end_theta,
                                                         project->fov.begin_phi, project->fov.end_phi);
    InitGlobalThreadPool();
    auto t0 = Clock::now();
    std::unique_ptr<Bitmap> picture = veldan::preview::ComposePreview(*project, W, H, 0, true);
    auto t1 = Clock::now();
    std::unique_ptr<Bitmap> warm = picture ? veldan::preview::ComposePreview(*project, W, H, 0, true) : nullptr;
    auto t2 = Clock::now();
    project.reset();
    DeinitGlobalThreadPool();
    if (!picture || !warm) {
        error = "the blended preview could not be made";
        return false;
    }
    figures.coldMs = Ms(t0, t1);
    figures.warmMs = Ms(t1, t2);
    figures.psnr = Compare(*picture, scene_, Views(), direction);
    if (!figures.psnr.Computable()) {
        error = "no pixel of the preview lies in the covered area";
        return false;
    }
    return true;
}

bool RoundTrip::Nona(StitchFigures& figures, bool& skipped, std::string& error) {
    figures = {};
    skipped = !HaveNona();
    if (skipped) {
        error = "nona (Debian package hugin-tools) is not installed";
        return false;
    }
    auto project = LoadProject(project_, error);
    if (!project) return false;
    const fs::path pto = root_ / "pano.pto";
    if (!project->ExportHugin(veldan::platform::PathToWide(pto).c_str(), false)) {
        error = "cannot write the Hugin project " + pto.string();
        return false;
    }
    project.reset();
    std::string text = ReadAll(pto);
    if (!SetHuginPanoramaSize(text, setup_.panoramaWidth, setup_.panoramaHeight)) {
        error = "the Hugin project has no panorama line";
        return false;
    }
    std::ofstream(pto, std::ios::binary) << text;
    const fs::path out = root_ / "nona";
    const auto t0 = Clock::now();
    const bool stitched = RunNona(pto, out, error);
    figures.ms = Ms(t0, Clock::now());
    if (!stitched) return false;
    veldan::imaging::DecodeOptions options;
    options.layout = PixelLayout::kArgb32;
    auto decoded = veldan::imaging::DecodeImageFile(out.string() + ".tif", options);
    if (!decoded.ok()) {
        error = "cannot read nona's panorama " + out.string() + ".tif";
        return false;
    }
    if (decoded.value().Width() != setup_.panoramaWidth || decoded.value().Height() != setup_.panoramaHeight) {
        error = "nona's panorama has another size than asked for";
        return false;
    }
    figures.psnr =
        Compare(decoded.value(), scene_, Views(), NonaDirection(setup_.panoramaWidth, setup_.panoramaHeight));
    if (!figures.psnr.Computable()) {
        error = "no pixel of nona's panorama lies in the covered area";
        return false;
    }
    return true;
}

}  // namespace veldan::test
