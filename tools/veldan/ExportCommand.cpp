// veldan export: a project as a PTGui, Autopano or Hugin project for final
// stitching, as the desktop program's export commands write it.
#include <clocale>
#include <cstring>
#include <filesystem>
#include <memory>

#include "Arguments.h"
#include "Commands.h"
#include "VELDANPanoramaProject.h"
#include "platform/Text.h"

namespace veldan::cli {

int ExportCommand(const std::vector<std::string>& args) {
    std::string input, output, format;
    const auto error = OptionReader()
                           .Value({"--format"}, format)
                           .Value({"-o"}, output)
                           .Positional(input, [](const std::string&) { return "more than one project given"; })
                           .Read(args);
    if (error) return Fail(kExitUsage, *error);
    if (input.empty() || output.empty() || format.empty())
        return Fail(kExitUsage, "export needs FILE.vpp --format FORMAT -o OUT");
    const bool preview = format == "ptgui-preview" || format == "autopano-preview";
    const bool ptgui = format == "ptgui" || format == "ptgui-preview";
    const bool autopano = format == "autopano" || format == "autopano-preview";
    const bool hugin = format == "hugin";
    if (!ptgui && !autopano && !hugin)
        return Fail(kExitUsage, "--format must be ptgui, ptgui-preview, autopano, autopano-preview or hugin");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(input, ec)) return Fail(kExitFailure, "no such project: " + input);
    // The Autopano file is written in the locale's multibyte text; a plain
    // "C" environment would refuse every name outside ASCII.
    const char* locale = std::setlocale(LC_CTYPE, "");
    if (!locale || !std::strcmp(locale, "C") || !std::strcmp(locale, "POSIX")) std::setlocale(LC_CTYPE, "C.UTF-8");

    auto project = std::make_unique<VELDANPanoramaProject>();
    if (!project->LoadFromFile(veldan::platform::PathToWide(input).c_str()))
        return Fail(kExitFailure, "cannot read the project " + input);
    const std::wstring out = veldan::platform::PathToWide(output);
    bool ok = false;
    if (ptgui) ok = project->ExportPTgui(out.c_str(), preview);
    if (autopano) ok = project->ExportAutopano(out.c_str(), preview);
    if (hugin) ok = project->ExportHugin(out.c_str(), false);
    if (!ok) return Fail(kExitFailure, "cannot write " + output);
    return kExitOk;
}

}  // namespace veldan::cli
