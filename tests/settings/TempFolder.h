#pragma once
// A fresh temporary folder per test, used as HOME and documents folder so
// that no test touches the real home; removed afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "stream/DynStream.h"

namespace veldan::test {

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path Path(const std::string& name) const { return folder_ / name; }
    // Writes bytes to a file directly (not through the stream library).
    void WriteRaw(const std::string& name, const std::string& bytes) const;
    std::string ReadRaw(const std::string& name) const;
    DynStream* OpenRead(const std::string& name) const { return dyn_fopen(Path(name).c_str(), "r"); }
    DynStream* OpenWrite(const std::string& name) const { return dyn_fopen(Path(name).c_str(), "w"); }

    std::filesystem::path folder_;
};

// Loads a file into any object with Load(DynStream*), closing the stream.
template <class T>
bool LoadFile(T& object, const std::filesystem::path& path) {
    DynStream* s = dyn_fopen(path.c_str(), "r");
    if (!s) return false;
    bool ok = object.Load(s);
    dyn_fclose(s);
    return ok;
}

template <class T>
bool SaveFile(T& object, const std::filesystem::path& path) {
    DynStream* s = dyn_fopen(path.c_str(), "w");
    if (!s) return false;
    bool ok = object.Save(s);
    return (dyn_fclose(s) == 0) && ok;
}

}  // namespace veldan::test
