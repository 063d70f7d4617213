#pragma once
// Helpers for the settings fuzz targets: the input goes into a real file
// that the loaders read through the stream library.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "stream/DynStream.h"

namespace veldan::test {

inline const std::string& FuzzFolder() {
    static const std::string folder = [] {
        // A memory file system when there is one: every save syncs its file.
        std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/veldan-fuzz-XXXXXX" : "/tmp/veldan-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern;
    }();
    return folder;
}

inline std::string FuzzWrite(const char* name, const uint8_t* data, size_t size) {
    std::string path = FuzzFolder() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}

template <class T>
bool FuzzLoad(T& object, const std::string& path) {
    DynStream* s = dyn_fopen(path.c_str(), "r");
    if (!s) std::abort();
    bool ok = object.Load(s);
    dyn_fclose(s);
    return ok;
}

template <class T>
void FuzzSave(T& object, const std::string& path) {
    DynStream* s = dyn_fopen(path.c_str(), "w");
    if (!s) std::abort();
    bool ok = object.Save(s);
    if (dyn_fclose(s) != 0 || !ok) std::abort();
}

inline std::string FuzzRead(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) std::abort();
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
}

}  // namespace veldan::test
