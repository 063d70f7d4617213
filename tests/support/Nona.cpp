// Running Hugin's nona on a project export, and setting the panorama size of a
// Hugin script.
#include "Nona.h"

#include <cstdlib>
#include <utility>

#include "TempFolder.h"

namespace veldan::test {

bool HaveNona() { return std::system("command -v nona >/dev/null 2>&1") == 0; }

bool SetHuginPanoramaSize(std::string& text, uint32_t w, uint32_t h) {
    const size_t p = text.find("\np f2 ");
    if (p == std::string::npos) return false;
    const size_t lineEnd = text.find('\n', p + 1);
    for (const auto& [key, value] : {std::pair<char, uint32_t>{'w', w}, {'h', h}}) {
        const size_t at = text.find(std::string(" ") + key, p);
        const size_t end = text.find_first_of(" \r\n", at + 1);
        if (at == std::string::npos || end == std::string::npos || at > lineEnd) return false;
        text.replace(at + 2, end - at - 2, std::to_string(value));
    }
    return true;
}

bool RunNona(const std::filesystem::path& project, const std::filesystem::path& outBase, std::string& error) {
    const std::string log = outBase.string() + ".log";
    const std::string command =
        "nona -o '" + outBase.string() + "' -m TIFF '" + project.string() + "' >'" + log + "' 2>&1";
    if (std::system(command.c_str()) == 0) return true;
    error = "nona failed:\n" + ReadAll(log);
    return false;
}

}  // namespace veldan::test
