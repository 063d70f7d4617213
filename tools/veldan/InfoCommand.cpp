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

namespace {

void WriteImage(JsonWriter& json, VELDANPanoramaImage* image) {
    if (!image) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Key("filename");
    json.WideString(image->GetFilename());
    json.Key("width");
    json.Integer(image->GetWidth());
    json.Key("height");
    json.Integer(image->GetHeight());
    json.Key("ev");
    json.Integer(image->ev);
    json.Key("orientation");
    json.Integer(image->orientation);
    json.EndObject();
}

std::string Json(VELDANPanoramaProject& p) {
    JsonWriter json;
    json.BeginObject();
    json.Key("description");
    json.WideString(p.description.Get());
    json.Key("project_path");
    json.WideString(p.project_path.Get());
    json.Key("fov");
    json.BeginObject();
    json.Key("begin_theta");
    json.Number(p.fov.begin_theta);
    json.Key("end_theta");
    json.Number(p.fov.end_theta);
    json.Key("begin_phi");
    json.Number(p.fov.begin_phi);
    json.Key("end_phi");
    json.Number(p.fov.end_phi);
    json.EndObject();
    json.Key("hdri");
    json.BeginObject();
    json.Key("enabled");
    json.Bool(p.hdri.enabled);
    json.Key("count");
    json.Integer(p.hdri.count);
    json.Key("step");
    json.Integer(p.hdri.step);
    json.Key("order");
    json.Integer(p.hdri.order);
    json.Key("shutter");
    json.Integer(p.hdri.shutter);
    json.EndObject();
    json.Key("options");
    json.BeginObject();
    json.Key("multirow_optimization");
    json.Bool(p.options.multirow_optimization);
    json.Key("legacy_arrangement");
    json.Bool(p.options.legacy_arrangement);
    json.Key("overlap");
    json.Number(p.options.overlap);
    json.Key("path");
    json.Integer(p.options.path);
    json.EndObject();
    json.Key("lens");
    json.BeginObject();
    json.Key("focal_length");
    json.Number(p.lens.focal_length);
    json.Key("manufacturer");
    json.WideString(p.lens.manufacturer.Get());
    json.Key("model");
    json.WideString(p.lens.model.Get());
    json.EndObject();
    json.Key("camera");
    json.BeginObject();
    json.Key("manufacturer");
    json.WideString(p.camera.manufacturer.Get());
    json.Key("model");
    json.WideString(p.camera.model.Get());
    json.Key("orientation");
    json.Integer(p.camera.orientation);
    json.EndObject();
    json.Key("sensor");
    json.BeginObject();
    json.Key("manufacturer");
    json.WideString(p.sensor.manufacturer.Get());
    json.Key("model");
    json.WideString(p.sensor.model.Get());
    json.Key("type");
    json.WideString(p.sensor.type.Get());
    json.Key("dimension_x");
    json.Number(p.sensor.dimension_x);
    json.Key("dimension_y");
    json.Number(p.sensor.dimension_y);
    json.Key("resolution_x");
    json.Integer(p.sensor.resolution_x);
    json.Key("resolution_y");
    json.Integer(p.sensor.resolution_y);
    json.EndObject();
    json.Key("path");
    json.BeginArray();
    for (uint32_t k = 0; k < p.path.GetItemCount(); ++k)
        if (auto* node = p.path.Node(k)) json.Integer(node->tile_nr);
    json.EndArray();
    json.Key("tiles");
    json.BeginArray();
    for (uint32_t t = 0; t < p.TileCount(); ++t) {
        VELDANPanoramaTile* tile = p.Tile(t);
        if (!tile) continue;
        json.BeginObject();
        json.Key("pos_x");
        json.Number(tile->pos_x);
        json.Key("pos_y");
        json.Number(tile->pos_y);
        json.Key("fov_x");
        json.Number(tile->fov_x);
        json.Key("fov_y");
        json.Number(tile->fov_y);
        json.Key("variant");
        json.Integer(tile->variant);
        json.Key("bracketings");
        json.BeginArray();
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
