// Fuzzes the project-file reader (and the Base64 decoder of its picture
// attributes): any input must load without a crash, leak or undefined
// behaviour, and whatever loaded must save and load again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "VELDANPanoramaProject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 'B') {
        std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
        uint32_t length = 0;
        void* bytes = VELDANPanoramaProject::DecodeBase64(text.data(), length);
        if (bytes && length == 0) __builtin_trap();
        std::free(bytes);
        return 0;
    }
    MemBlockDesc buffer(data, size);
    VELDANPanoramaProject project;
    if (!project.Load(&buffer)) return 0;
    MemBlockDesc saved;
    if (project.Save(&saved)) {
        VELDANPanoramaProject again;
        if (!again.Load(&saved)) __builtin_trap();  // our own output must load
        if (again.TileCount() != project.TileCount()) __builtin_trap();
    }
    project.ComputePath(static_cast<uint8_t>(size));
    project.MergeSimilarTiles();
    return 0;
}
