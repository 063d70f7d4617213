// The --check-libraries report: loading the control and DSLR Remote Pro
// libraries by the program's own search.
#include "preview/app/LibraryCheck.h"
#include <filesystem>
#include <system_error>
#include "platform/DynamicLibrary.h"
#include "platform/Folders.h"
#include "preview/app/ManualFile.h"

namespace veldan::preview {

using platform::DynamicLibrary;
using platform::SystemDataFolder;
namespace fs = std::filesystem;

namespace {

using VersionFn = void (*)(int*, int*, int*);
using CharsetFn = int (*)();

bool CheckControlLibrary(std::string& report) {
    std::string error;
    auto library = DynamicLibrary::Load("libVELDANcontrol.so", &error);
    if (!library) {
        report += "libVELDANcontrol.so: MISSING (" + error + ")\n";
        return false;
    }
    report += "libVELDANcontrol.so: " + library->Path().string();
    auto version = library->Function<VersionFn>("VELDANcontrol_version");
    auto charset = library->Function<CharsetFn>("VELDANcontrol_charset");
    if (!version || !charset) {
        report += " (BROKEN: no VELDANcontrol_version or VELDANcontrol_charset)\n";
        return false;
    }
    int major = 0;
    int minor = 0;
    version(&major, &minor, nullptr);
    const int textKind = charset();
    report += " (interface " + std::to_string(major) + "." + std::to_string(minor) + ", charset " +
              std::to_string(textKind) + ")";
    if (major != 1 || minor < 5 || textKind != 1) {
        report += " REFUSED: the program needs interface 1.5 or later with charset 1\n";
        return false;
    }
    report += "\n";
    return true;
}

bool CheckRemoteLibrary(std::string& report) {
    std::string error;
    auto library = DynamicLibrary::Load("libDSLRRemoteLib.so", &error);
    if (!library) {
        report += "libDSLRRemoteLib.so: MISSING (" + error + ")\n";
        return false;
    }
    report += "libDSLRRemoteLib.so: " + library->Path().string();
    if (!library->Symbol("PingCamera") || !library->Symbol("ReleaseShutter")) {
        report += " (BROKEN: no PingCamera or ReleaseShutter)\n";
        return false;
    }
    report += " (PingCamera, ReleaseShutter)\n";
    return true;
}

}  // namespace

bool CheckRuntimeLibraries(std::string& report) {
    const bool control = CheckControlLibrary(report);
    const bool remote = CheckRemoteLibrary(report);

    const fs::path data = SystemDataFolder();
    std::error_code ec;
    report += "assemblies: " + data.string() +
              (fs::is_regular_file(data / "vrhead.asm", ec) ? " (vrhead.asm)\n" : " (no vrhead.asm)\n");
    const fs::path manual = ManualFile();
    report += "manual: " + (manual.empty() ? std::string("not found") : manual.string()) + "\n";
    return control && remote;
}

}  // namespace veldan::preview
