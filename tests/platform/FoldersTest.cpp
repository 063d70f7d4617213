// Tests of the documents, profile, data and program folders under the XDG
// environment and user-dirs file.
#include "platform/Folders.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace veldan::test {

using platform::ConfigurationFolder;
using platform::DocumentsFolder;
using platform::InstalledLibraryFolder;
using platform::ProfileFile;
using platform::ProgramFolder;
using platform::SystemDataFolder;

namespace {

namespace fs = std::filesystem;

// Every folder test runs under a temporary home.
class FoldersTest : public ::testing::Test {
protected:
    TempDir home;
    ScopedEnv envHome{"HOME", home.Path().string()};
    ScopedEnv envConfig{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnv envDocuments{"XDG_DOCUMENTS_DIR", std::nullopt};
};

TEST_F(FoldersTest, DocumentsDefaultsToHomeDocumentsAndIsCreated) {
    const fs::path documents = DocumentsFolder();
    EXPECT_EQ(documents, home.Path() / "Documents");
    EXPECT_TRUE(fs::is_directory(documents));
    const fs::path config = ConfigurationFolder();
    EXPECT_EQ(config, documents / "VELDANmodular");
    EXPECT_TRUE(fs::is_directory(config));
}

TEST_F(FoldersTest, EnvironmentVariableWins) {
    ScopedEnv docs("XDG_DOCUMENTS_DIR", (home.Path() / "MyDocs").string());
    fs::create_directories(home.Path() / ".config");
    WriteAll(home.Path() / ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Other\"\n");
    EXPECT_EQ(DocumentsFolder(), home.Path() / "MyDocs");
    EXPECT_TRUE(fs::is_directory(home.Path() / "MyDocs"));
}

TEST_F(FoldersTest, UserDirsFileIsReadAsTheShellWould) {
    ScopedEnv config("XDG_CONFIG_HOME", (home.Path() / "cfg").string());
    fs::create_directories(home.Path() / "cfg");
    WriteAll(home.Path() / "cfg/user-dirs.dirs",
             "# written by xdg-user-dirs-update\n"
             "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
             "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
             "  XDG_DOCUMENTS_DIR=\"${HOME}/Meine \\\"Dokumente\\\"\"\n");
    EXPECT_EQ(DocumentsFolder(), home.Path() / "Meine \"Dokumente\"");
    EXPECT_TRUE(fs::is_directory(home.Path() / "Meine \"Dokumente\""));
}

TEST_F(FoldersTest, AbsolutePathInUserDirsAndRelativeEnvironmentIgnored) {
    ScopedEnv docs("XDG_DOCUMENTS_DIR", "relative/docs");
    fs::create_directories(home.Path() / ".config");
    const fs::path elsewhere = home.Path() / "elsewhere";
    WriteAll(home.Path() / ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + elsewhere.string() + "\"\n");
    EXPECT_EQ(DocumentsFolder(), elsewhere);
}

TEST_F(FoldersTest, ProfileFileFollowsXdgConfigHome) {
    EXPECT_EQ(ProfileFile("VELDANpreview"), home.Path() / ".config/VELDANpreview/VELDANpreview.conf");
    ScopedEnv config("XDG_CONFIG_HOME", (home.Path() / "cfg").string());
    EXPECT_EQ(ProfileFile("VELDANpreview"), home.Path() / "cfg/VELDANpreview/VELDANpreview.conf");
}

TEST_F(FoldersTest, SystemDataFolderCanBeOverridden) {
    EXPECT_FALSE(SystemDataFolder().empty());
    ScopedEnv data("VELDAN_DATA_DIR", (home.Path() / "share").string());
    EXPECT_EQ(SystemDataFolder(), home.Path() / "share");
}

TEST_F(FoldersTest, ProgramFolderHoldsTheRunningProgram) {
    const fs::path folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_TRUE(fs::exists(folder / "platform_tests"));
    EXPECT_TRUE(InstalledLibraryFolder().is_absolute());
}

}  // namespace
}  // namespace veldan::test
