// Where the Help command finds the manual PDF: beside the program, then in the
// installation's documentation.
#include "preview/app/ManualFile.h"
#include <system_error>
#include "platform/Folders.h"

namespace veldan::preview {

using platform::ProgramFolder;

namespace fs = std::filesystem;

namespace {
constexpr const char* kManualName = "VELDANpreview.pdf";
}

std::vector<fs::path> ManualCandidates() {
    std::vector<fs::path> candidates;
    auto add = [&](const fs::path& folder) {
        if (folder.empty()) return;
        const fs::path file = (folder / kManualName).lexically_normal();
        for (const fs::path& known : candidates)
            if (known == file) return;
        candidates.push_back(file);
    };
    const fs::path program = ProgramFolder();
    add(program);
    if (!program.empty()) add(program.parent_path() / VELDAN_INSTALL_RELDOCDIR);
    add(fs::path(VELDAN_INSTALL_FULLDOCDIR));
    return candidates;
}

fs::path ManualFile() {
    for (const fs::path& candidate : ManualCandidates()) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) return candidate;
    }
    return {};
}

}  // namespace veldan::preview
