// The lens, sensor, camera, planning and bracketing options shared by "plan"
// and "import".
#include "ProjectOptions.h"

#include "platform/Text.h"

namespace veldan::cli {

using platform::FromUtf8;

namespace {

OptionResult Missing(const std::string& option, std::string& error) {
    error = "option " + option + " needs a value";
    return OptionResult::Error;
}

OptionResult Bad(const std::string& option, const std::string& value, const std::string& what, std::string& error) {
    error = "bad value \"" + value + "\" for " + option + ": " + what;
    return OptionResult::Error;
}

}  // namespace

OptionReader ProjectCommandOptions(const std::string& command, std::string& output) {
    OptionReader reader;
    reader.Value({"-o", "--output"}, output, true)
        .MissingValue([](const std::string& option) { return "option " + option + " needs a file name"; })
        .Unknown([command](const std::string& option) { return "unknown argument \"" + option + "\" for " + command; });
    return reader;
}

OptionResult ApplyProjectOption(const std::string& option, ArgumentReader& reader, VELDANPanoramaProject& project,
                                std::string& error) {
    if (option == "--multirow") {
        project.options.multirow_optimization = true;
        return OptionResult::Handled;
    }
    if (option == "--legacy") {
        project.options.legacy_arrangement = true;
        return OptionResult::Handled;
    }
    static const char* const withValue[] = {"--focal",   "--sensor", "--orientation", "--fov",
                                            "--overlap", "--hdr",    "--description"};
    bool known = false;
    for (const char* o : withValue) known = known || option == o;
    if (!known) return OptionResult::NotMine;
    const auto value = reader.Value();
    if (!value) return Missing(option, error);
    const std::string& v = *value;

    if (option == "--focal") {
        const auto f = ParseDouble(v);
        if (!f || *f <= 0) return Bad(option, v, "a focal length in millimetres above 0", error);
        project.lens.focal_length = *f;
    } else if (option == "--sensor") {
        const auto parts = Split(v, 'x');
        const auto w = parts.size() == 2 ? ParseDouble(parts[0]) : std::nullopt;
        const auto h = parts.size() == 2 ? ParseDouble(parts[1]) : std::nullopt;
        if (!w || !h || *w <= 0 || *h <= 0) return Bad(option, v, "WIDTHxHEIGHT in millimetres, e.g. 36x24", error);
        project.sensor.dimension_x = *w;
        project.sensor.dimension_y = *h;
    } else if (option == "--orientation") {
        if (v == "landscape")
            project.camera.orientation = 1;
        else if (v == "portrait")
            project.camera.orientation = 0;
        else
            return Bad(option, v, "landscape or portrait", error);
    } else if (option == "--fov") {
        const auto parts = Split(v, ':');
        if (parts.size() != 4) return Bad(option, v, "THETA0:THETA1:PHI0:PHI1 in degrees", error);
        double values[4];
        for (int i = 0; i < 4; ++i) {
            const auto d = ParseDouble(parts[i]);
            if (!d) return Bad(option, v, "THETA0:THETA1:PHI0:PHI1 in degrees", error);
            values[i] = *d;
        }
        if (values[0] < 0 || values[1] > 360 || values[2] < -90 || values[3] > 90 || values[0] > values[1] ||
            values[2] > values[3])
            return Bad(option, v, "azimuth within 0..360 and elevation within -90..90, each from low to high", error);
        project.fov.begin_theta = values[0];
        project.fov.end_theta = values[1];
        project.fov.begin_phi = values[2];
        project.fov.end_phi = values[3];
    } else if (option == "--overlap") {
        const auto o = ParseDouble(v);
        if (!o || *o < 0 || *o > 0.99) return Bad(option, v, "a fraction from 0 to 0.99", error);
        project.options.overlap = *o;
    } else if (option == "--hdr") {
        const auto parts = Split(v, ':');
        const char* what = "COUNT:STEP:ORDER (1-99 images, step in thirds of a stop, order 1-4)";
        if (parts.size() != 3) return Bad(option, v, what, error);
        const int64_t count = ParseInteger(parts[0]).value_or(0);
        const int64_t step = ParseInteger(parts[1]).value_or(1000);
        const int64_t order = ParseInteger(parts[2]).value_or(0);
        if (count < 1 || count > 99 || step < -99 || step > 99 || order < 1 || order > 4)
            return Bad(option, v, what, error);
        project.hdri.enabled = true;
        project.hdri.count = static_cast<uint32_t>(count);
        project.hdri.step = static_cast<int32_t>(step);
        project.hdri.order = static_cast<uint8_t>(order);
    } else if (option == "--description") {
        project.description.Set(FromUtf8(v).c_str());
    }
    return OptionResult::Handled;
}

}  // namespace veldan::cli
