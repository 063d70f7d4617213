// veldan info: a summary of a project file, for people or as JSON.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Arguments.h"
#include "Commands.h"
#include "JsonWriter.h"
#include "VELDANPanoramaProject.h"
#include "platform/Text.h"

namespace veldan::cli {

using platform::FromUtf8;
using platform::ToUtf8;

namespace {

void WriteImage(JsonWriter& json, VELDANPanoramaImage* image) {
    if (!image) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.WideString("filename", image->GetFilename());
    json.Integer("width", image->GetWidth());
    json.Integer("height", image->GetHeight());
    json.Integer("ev", image->ev);
    json.Integer("orientation", image->orientation);
    json.EndObject();
}

// The maker and model of the lens, the camera or the sensor.
template <class Part>
void WriteMakeAndModel(JsonWriter& json, const Part& part) {
    json.WideString("manufacturer", part.manufacturer.Get());
    json.WideString("model", part.model.Get());
}

std::string Json(VELDANPanoramaProject& p) {
    JsonWriter json;
    json.BeginObject();
    json.WideString("description", p.description.Get());
    json.WideString("project_path", p.project_path.Get());
    json.BeginObject("fov");
    json.Number("begin_theta", p.fov.begin_theta);
    json.Number("end_theta", p.fov.end_theta);
    json.Number("begin_phi", p.fov.begin_phi);
    json.Number("end_phi", p.fov.end_phi);
    json.EndObject();
    json.BeginObject("hdri");
    json.Bool("enabled", p.hdri.enabled);
    json.Integer("count", p.hdri.count);
    json.Integer("step", p.hdri.step);
    json.Integer("order", p.hdri.order);
    json.Integer("shutter", p.hdri.shutter);
    json.EndObject();
    json.BeginObject("options");
    json.Bool("multirow_optimization", p.options.multirow_optimization);
    json.Bool("legacy_arrangement", p.options.legacy_arrangement);
    json.Number("overlap", p.options.overlap);
    json.Integer("path", p.options.path);
    json.EndObject();
    json.BeginObject("lens");
    json.Number("focal_length", p.lens.focal_length);
    WriteMakeAndModel(json, p.lens);
    json.EndObject();
    json.BeginObject("camera");
    WriteMakeAndModel(json, p.camera);
    json.Integer("orientation", p.camera.orientation);
    json.EndObject();
    json.BeginObject("sensor");
    WriteMakeAndModel(json, p.sensor);
    json.WideString("type", p.sensor.type.Get());
    json.Number("dimension_x", p.sensor.dimension_x);
    json.Number("dimension_y", p.sensor.dimension_y);
    json.Integer("resolution_x", p.sensor.resolution_x);
    json.Integer("resolution_y", p.sensor.resolution_y);
    json.EndObject();
    json.BeginArray("path");
    for (uint32_t k = 0; k < p.path.GetItemCount(); ++k)
        if (auto* node = p.path.Node(k)) json.Integer(node->tile_nr);
    json.EndArray();
    json.BeginArray("tiles");
    for (uint32_t t = 0; t < p.TileCount(); ++t) {
        VELDANPanoramaTile* tile = p.Tile(t);
        if (!tile) continue;
        json.BeginObject();
        json.Number("pos_x", tile->pos_x);
        json.Number("pos_y", tile->pos_y);
        json.Number("fov_x", tile->fov_x);
        json.Number("fov_y", tile->fov_y);
        json.Integer("variant", tile->variant);
        json.BeginArray("bracketings");
        for (uint32_t b = 0; b < tile->bracketings.GetItemCount(); ++b) {
            VELDANPanoramaBracketing* bracketing = tile->Bracketing(b);
            json.BeginArray();
            for (uint32_t i = 0; bracketing && i < bracketing->GetImageCnt(); ++i)
                WriteImage(json, bracketing->images ? bracketing->images[i].get() : nullptr);
            json.EndArray();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text();
}

void Summary(VELDANPanoramaProject& p) {
    uint32_t images = 0, named = 0, variants = 0;
    for (uint32_t t = 0; t < p.TileCount(); ++t) {
        VELDANPanoramaTile* tile = p.Tile(t);
        variants += tile->bracketings.GetItemCount();
        for (uint32_t b = 0; b < tile->bracketings.GetItemCount(); ++b) {
            VELDANPanoramaBracketing* br = tile->Bracketing(b);
            for (uint32_t i = 0; br->images && i < br->GetImageCnt(); ++i) {
                ++images;
                if (br->images[i] && br->images[i]->GetFilename()) ++named;
            }
        }
    }
    const auto text = [](const wchar_t* w) { return w ? ToUtf8(w) : std::string("-"); };
    std::printf("description:  %s\n", text(p.description.Get()).c_str());
    std::printf("lens:         %.2f mm\n", p.lens.focal_length);
    std::printf("sensor:       %.2f x %.2f mm, camera %s\n", p.sensor.dimension_x, p.sensor.dimension_y,
                p.camera.orientation == 1 ? "landscape" : "portrait");
    std::printf("field:        azimuth %.2f..%.2f, elevation %.2f..%.2f\n", p.fov.begin_theta, p.fov.end_theta,
                p.fov.begin_phi, p.fov.end_phi);
    std::printf("overlap:      %.2f%s%s\n", p.options.overlap, p.options.multirow_optimization ? ", multi-row" : "",
                p.options.legacy_arrangement ? ", legacy arrangement" : "");
    if (p.hdri.enabled)
        std::printf("bracketing:   %u images, step %d/3 EV, order %u\n", p.hdri.count, p.hdri.step,
                    unsigned(p.hdri.order));
    else
        std::printf("bracketing:   off\n");
    std::printf("tiles:        %u (%u variants, %u images, %u with files)\n", p.TileCount(), variants, images, named);
    std::printf("path:         %u nodes\n", p.path.GetItemCount());
}

}  // namespace

int InfoCommand(const std::vector<std::string>& args) {
    std::string file;
    bool json = false;
    const auto usage = OptionReader()
                           .Others([&](const std::string& a, ArgumentReader&, std::string&) {
                               if (a != "--json") return OptionReader::Result::NotMine;
                               json = true;
                               return OptionReader::Result::Handled;
                           })
                           .Unknown([](const std::string& a) { return "unknown argument \"" + a + "\" for info"; })
                           .Positional(file, [](const std::string&) { return "info takes one project file"; })
                           .Read(args);
    if (usage) return Fail(kExitUsage, *usage);
    if (file.empty()) return Fail(kExitUsage, "info needs a FILE.vpp");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return Fail(kExitFailure, "no such project file \"" + file + "\"");
    if (!std::ifstream(file, std::ios::binary)) return Fail(kExitFailure, "cannot read \"" + file + "\"");
    VELDANPanoramaProject project;
    if (!project.LoadFromFile(FromUtf8(file).c_str()))
        return Fail(kExitFailure, "\"" + file + "\" is not a readable VELDAN panorama project");
    if (json)
        std::printf("%s\n", Json(project).c_str());
    else
        Summary(project);
    return kExitOk;
}

}  // namespace veldan::cli
