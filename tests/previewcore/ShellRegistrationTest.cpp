// The project file type's registration with the desktop.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "preview/app/ShellRegistration.h"

namespace veldan::test {

using namespace veldan::preview;
namespace fs = std::filesystem;

TEST(ShellRegistration, RegisterWritesMimeTypeAndEntryUnregisterRemovesThem) {
    TempHome home;
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(UserDataFolder(), home.Root() / ".local" / "share");
    setenv("XDG_DATA_HOME", (home.Root() / "data").c_str(), 1);
    ASSERT_TRUE(RegisterDocumentType("/opt/my \"pano\" 100%/VELDANpreview"));
    const std::string entry = ReadAll(home.Root() / "data/applications/VELDANpreview.desktop");
    EXPECT_NE(entry.find("MimeType=application/x-veldan-panorama-project;"), std::string::npos);
    EXPECT_NE(entry.find("Exec=\"/opt/my \\\\\"pano\\\\\" 100%%/VELDANpreview\" %f\n"), std::string::npos) << entry;
    const std::string mime = ReadAll(MimeTypeFile());
    EXPECT_NE(mime.find("<glob pattern=\"*.vpp\"/>"), std::string::npos);
    ASSERT_TRUE(UnregisterDocumentType());
    EXPECT_FALSE(fs::exists(DesktopEntryFile()));
    EXPECT_FALSE(fs::exists(MimeTypeFile()));
    EXPECT_TRUE(UnregisterDocumentType());  // nothing left to remove is fine
}

TEST(ShellRegistration, Switches) {
    EXPECT_EQ(ParseShellSwitch("/unregister"), ShellSwitch::Unregister);
    EXPECT_EQ(ParseShellSwitch("/UnregServer"), ShellSwitch::Unregister);
    EXPECT_EQ(ParseShellSwitch("--register"), ShellSwitch::Register);
    EXPECT_EQ(ParseShellSwitch("/home/me/pano.vpp"), ShellSwitch::None);
}

}  // namespace veldan::test
