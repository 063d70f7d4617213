// Tests of ShellOpen against a stand-in xdg-open.
#include "platform/Shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"

namespace veldan::test {

using platform::ShellOpen;

namespace {

namespace fs = std::filesystem;

// A stand-in xdg-open on PATH that records its argument and fails for
// names ending in ".none", as the real one does for unknown types.
class ShellTest : public ::testing::Test {
protected:
    TempDir bin;
    ScopedEnv path{"PATH", bin.Path().string()};
    void SetUp() override {
        WriteAll(bin / "xdg-open",
                 "#!/bin/sh\n"
                 "printf '%s' \"$1\" > \"" +
                     (bin / "opened").string() +
                     "\"\n"
                     "case \"$1\" in *.none) exit 3;; esac\n"
                     "exit 0\n");
        fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    }
};

TEST_F(ShellTest, OpensThroughXdgOpen) {
    std::string error;
    ASSERT_TRUE(ShellOpen("/tmp/My Panorama.vpp", &error)) << error;
    EXPECT_EQ(ReadAll(bin / "opened"), "/tmp/My Panorama.vpp");
}

TEST_F(ShellTest, ReportsAFailureOfXdgOpen) {
    std::string error;
    EXPECT_FALSE(ShellOpen("/tmp/picture.none", &error));
    EXPECT_NE(error.find("exit code 3"), std::string::npos) << error;
}

TEST_F(ShellTest, ANameLikeAnOptionIsPassedAsAPath) {
    ASSERT_TRUE(ShellOpen("-v"));
    EXPECT_EQ(ReadAll(bin / "opened"), "./-v");
}

TEST(Shell, MissingXdgOpenIsAnError) {
    TempDir empty;
    ScopedEnv path("PATH", empty.Path().string());
    std::string error;
    EXPECT_FALSE(ShellOpen("/tmp/x.jpg", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace veldan::test
