// veldan import: a project from a shooting script and the image files shot
// with it.
#include <cstdio>
#include <filesystem>

#include "Commands.h"
#include "ProjectOptions.h"
#include "platform/Text.h"

namespace veldan::cli {

int ImportCommand(const std::vector<std::string>& args) {
    VELDANPanoramaProject project;
    std::string script, output;
    std::vector<std::wstring> images;
    ArgumentReader reader(args);
    while (!reader.Done()) {
        const std::string option = reader.Next();
        std::string error;
        if (option == "-o" || option == "--output") {
            const auto v = reader.Value();
            if (!v || v->empty()) return Fail(kExitUsage, "option " + option + " needs a file name");
            output = *v;
            continue;
        }
        if (option == "--images") {
            if (!reader.NextIsValue()) return Fail(kExitUsage, "option --images needs at least one image file");
            while (reader.NextIsValue()) {
                const std::string& file = reader.Next();
                std::error_code ec;
                if (!std::filesystem::is_regular_file(file, ec))
                    return Fail(kExitFailure, "image file \"" + file + "\" does not exist");
                images.push_back(FromUtf8(std::filesystem::absolute(file, ec).string()));
            }
            continue;
        }
        if (!option.empty() && option[0] != '-') {
            if (!script.empty()) return Fail(kExitUsage, "import takes one script, got \"" + option + "\" too");
            script = option;
            continue;
        }
        switch (ApplyProjectOption(option, reader, project, error)) {
            case OptionResult::Applied: continue;
            case OptionResult::Error: return Fail(kExitUsage, error);
            case OptionResult::NotMine: return Fail(kExitUsage, "unknown argument \"" + option + "\" for import");
        }
    }
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
