// veldan import: a project from a shooting script and the image files shot
// with it.
#include <cstdio>
#include <filesystem>

#include "Commands.h"
#include "ProjectOptions.h"
#include "platform/Text.h"

namespace veldan::cli {

using platform::FromUtf8;

int ImportCommand(const std::vector<std::string>& args) {
    VELDANPanoramaProject project;
    std::string script, output;
    std::vector<std::wstring> images;
    // A missing image file is a failure of the work, not of the usage.
    std::string missingImage;
    const auto usage = ProjectCommandOptions("import", output)
                           .Others([&](const std::string& option, ArgumentReader& reader, std::string& error) {
                               if (option == "--images") {
                                   if (!reader.NextIsValue()) {
                                       error = "option --images needs at least one image file";
                                       return OptionReader::Result::Error;
                                   }
                                   while (reader.NextIsValue()) {
                                       const std::string& file = reader.Next();
                                       std::error_code ec;
                                       if (!std::filesystem::is_regular_file(file, ec)) {
                                           missingImage = error = "image file \"" + file + "\" does not exist";
                                           return OptionReader::Result::Error;
                                       }
                                       images.push_back(FromUtf8(std::filesystem::absolute(file, ec).string()));
                                   }
                                   return OptionReader::Result::Handled;
                               }
                               // The script; an empty argument is no script.
                               if (!option.empty() && option[0] != '-') {
                                   if (!script.empty()) {
                                       error = "import takes one script, got \"" + option + "\" too";
                                       return OptionReader::Result::Error;
                                   }
                                   script = option;
                                   return OptionReader::Result::Handled;
                               }
                               return ApplyProjectOption(option, reader, project, error);
                           })
                           .Read(args);
    if (usage) return Fail(missingImage.empty() ? kExitUsage : kExitFailure, *usage);
    if (script.empty()) return Fail(kExitUsage, "import needs a SCRIPT");
    if (output.empty()) return Fail(kExitUsage, "import needs -o FILE.vpp");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(script, ec))
        return Fail(kExitFailure, "script file \"" + script + "\" does not exist");
    if (!project.ImportVELDANscript(FromUtf8(script).c_str(), 0))
        return Fail(kExitFailure, "cannot import \"" + script + "\": not a readable shooting script with shots");
    const uint32_t assigned = VELDANAssignImageFiles(project, std::move(images));
    if (!project.SaveToFile(FromUtf8(output).c_str()))
        return Fail(kExitFailure, "cannot write the project file \"" + output + "\"");
    std::printf("%u tiles, %u path nodes, %u images assigned\n", project.TileCount(), project.path.GetItemCount(),
                assigned);
    return kExitOk;
}

}  // namespace veldan::cli
