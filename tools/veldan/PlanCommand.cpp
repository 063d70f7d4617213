// veldan plan: plans the tiles and the path of a project and saves it.
#include <cstdio>

#include "Commands.h"
#include "ProjectOptions.h"
#include "platform/Text.h"

namespace veldan::cli {

using platform::FromUtf8;

int PlanCommand(const std::vector<std::string>& args) {
    VELDANPanoramaProject project;
    project.camera.orientation = 1;  // landscape unless asked otherwise
    std::string output;
    int pathType = 0;
    bool haveFocal = false, haveSensor = false;
    const auto usage = ProjectCommandOptions("plan", output)
                           .Others([&](const std::string& option, ArgumentReader& reader, std::string& error) {
                               if (option == "--path") {
                                   const auto v = reader.Value();
                                   const auto t = v ? ParseInteger(*v) : std::nullopt;
                                   if (!t || *t < 0 || *t > 255) {
                                       error = "option --path needs a path type 0-255 (0-7 are the orders)";
                                       return OptionReader::Result::Error;
                                   }
                                   pathType = static_cast<int>(*t);
                                   return OptionReader::Result::Handled;
                               }
                               const OptionReader::Result r = ApplyProjectOption(option, reader, project, error);
                               if (r == OptionReader::Result::Handled) {
                                   haveFocal = haveFocal || option == "--focal";
                                   haveSensor = haveSensor || option == "--sensor";
                               }
                               return r;
                           })
                           .Read(args);
    if (usage) return Fail(kExitUsage, *usage);
    if (!haveFocal) return Fail(kExitUsage, "plan needs --focal MM");
    if (!haveSensor) return Fail(kExitUsage, "plan needs --sensor WxH");
    if (output.empty()) return Fail(kExitUsage, "plan needs -o FILE.vpp");

    const uint32_t tiles = project.ComputeTiles(false);
    if (tiles == 0) return Fail(kExitFailure, "the lens, sensor and field of view give no usable plan");
    project.options.path = static_cast<uint32_t>(pathType);
    project.ComputePath(static_cast<uint8_t>(pathType));
    if (!project.SaveToFile(FromUtf8(output).c_str()))
        return Fail(kExitFailure, "cannot write the project file \"" + output + "\"");
    std::printf("%u\n", tiles);
    return kExitOk;
}

}  // namespace veldan::cli
