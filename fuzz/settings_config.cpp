// Fuzzes the configuration loader and SetParameter; a configuration that
// loads must save to a file that loads to the same text again.
#include <cctype>
#include <cstdint>
#include <string>

#include "FuzzFile.h"
#include "settings/VeldanConfig.h"

using veldan::test::FuzzLoad;
using veldan::test::FuzzRead;
using veldan::test::FuzzSave;
using veldan::test::FuzzWrite;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Inputs naming a traffic log file are skipped: they would make the
    // loader append to whatever file the input names.
    std::string lower(reinterpret_cast<const char*>(data), size);
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("log_file") != std::string::npos) return 0;
    std::string path = FuzzWrite("settings.cfg", data, size);
    CVeldanConfig config;
    if (FuzzLoad(config, path)) {
        FuzzSave(config, path + ".1");
        CVeldanConfig again;
        if (!FuzzLoad(again, path + ".1")) std::abort();
        FuzzSave(again, path + ".2");
        if (FuzzRead(path + ".1") != FuzzRead(path + ".2")) std::abort();
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        config.SetParameter(line.c_str());
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return 0;
}
