// Fuzzes the script loader and the single-line parser. A script that loads
// must save and load again to the very same file.
#include <cstdint>
#include <string>

#include "FuzzFile.h"
#include "settings/VeldanScript.h"

using veldan::test::FuzzLoad;
using veldan::test::FuzzRead;
using veldan::test::FuzzSave;
using veldan::test::FuzzWrite;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = FuzzWrite("script.txt", data, size);
    CVeldanScript script;
    if (FuzzLoad(script, path)) {
        FuzzSave(script, path + ".1");
        CVeldanScript again;
        if (!FuzzLoad(again, path + ".1") || again.GetOpCnt() != script.GetOpCnt()) std::abort();
        FuzzSave(again, path + ".2");
        if (FuzzRead(path + ".1") != FuzzRead(path + ".2")) std::abort();
    }
    // Each line of the input as a single operation, as the control library
    // feeds appended text.
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        int before = script.GetOpCnt();
        bool ok = script.AddOpFromString(line.c_str());
        if (!ok && script.GetOpCnt() != before) std::abort();
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return 0;
}
