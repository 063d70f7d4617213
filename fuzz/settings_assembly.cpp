// Fuzzes the assembly loader; an assembly that loads must round-trip.
#include <cstdint>
#include <cstring>

#include "FuzzFile.h"
#include "settings/VeldanAssembly.h"

using veldan::test::FuzzLoad;
using veldan::test::FuzzSave;
using veldan::test::FuzzWrite;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = FuzzWrite("head.asm", data, size);
    CVeldanAssembly assembly;
    if (!FuzzLoad(assembly, path)) return 0;
    FuzzSave(assembly, path + ".1");
    CVeldanAssembly again;
    if (!FuzzLoad(again, path + ".1")) std::abort();
    if ((assembly.name == nullptr) != (again.name == nullptr)) std::abort();
    if (assembly.name && std::strcmp(assembly.name, again.name) != 0) std::abort();
    if (assembly.GetRowCnt() != again.GetRowCnt()) std::abort();
    for (int i = 0; i < assembly.GetRowCnt(); ++i)
        if (assembly.GetRow(i)->vertical != again.GetRow(i)->vertical ||
            assembly.GetRow(i)->shots != again.GetRow(i)->shots || assembly.GetRow(i)->start != again.GetRow(i)->start)
            std::abort();
    return 0;
}
