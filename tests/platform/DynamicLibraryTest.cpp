// Tests of DynamicLibrary: the folders searched, the current directory never,
// and files that are no library.
#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "TestSupport.h"
#include "platform/Folders.h"

namespace veldan::test {

using platform::DynamicLibrary;

namespace {

namespace fs = std::filesystem;

constexpr const char* kModule = "libveldan_platform_test_module.so";

TEST(DynamicLibrary, LoadsByNameBesideTheProgramAndFindsSymbols) {
    std::string error;
    auto library = DynamicLibrary::Load(kModule, &error);
    ASSERT_TRUE(library) << error;
    EXPECT_TRUE(library->Path().is_absolute());
    auto answer = library->Function<int (*)(int)>("VeldanTestModuleAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(20), 41);
    EXPECT_EQ(library->Symbol("NoSuchSymbol"), nullptr);
}

TEST(DynamicLibrary, NeverLoadsFromTheCurrentDirectory) {
    auto library = DynamicLibrary::Load(kModule);
    ASSERT_TRUE(library);
    TempDir dir;
    fs::copy_file(library->Path(), dir / "libonly_in_cwd.so");
    const fs::path oldCwd = fs::current_path();
    fs::current_path(dir.Path());
    std::string error;
    auto fromCwd = DynamicLibrary::Load("libonly_in_cwd.so", &error);
    fs::current_path(oldCwd);
    EXPECT_FALSE(fromCwd);
    EXPECT_NE(error.find("not found"), std::string::npos) << error;
}

TEST(DynamicLibrary, RefusesPathsAsNamesAndRelativePaths) {
    std::string error;
    EXPECT_FALSE(DynamicLibrary::Load("../lib/libveldan_platform_test_module.so", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(DynamicLibrary::LoadPath("relative.so", &error));
    EXPECT_FALSE(DynamicLibrary::Load("", &error));
}

TEST(DynamicLibrary, ReportsAFileThatIsNoLibrary) {
    TempDir dir;
    WriteAll(dir / "libbroken.so", "not an ELF file");
    std::string error;
    EXPECT_FALSE(DynamicLibrary::LoadPath(dir / "libbroken.so", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace veldan::test
