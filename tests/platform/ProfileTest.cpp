// Tests of Profile: file round trips, case-blind names, other instances'
// values and failed saves.
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace veldan::test {

using platform::Profile;

namespace {

namespace fs = std::filesystem;

TEST(Profile, RoundTripThroughTheFile) {
    TempDir dir;
    const fs::path file = dir / "VELDANpreview/VELDANpreview.conf";
    {
        Profile profile(file);
        EXPECT_EQ(profile.GetString(L"settings", L"CAPTURE_DIRECTORY", L"none"), L"none");
        ASSERT_TRUE(profile.WriteString(L"settings", L"CAPTURE_DIRECTORY", L"/media/card/DCIM/100CANON"));
        ASSERT_TRUE(profile.WriteInt(L"Workspace", L"ApplicationLook", 215));
        ASSERT_TRUE(profile.WriteString(L"settings", L"Odd", L" two\nlines \\ \u00e9 "));
        ASSERT_TRUE(profile.WriteInt(L"settings", L"EXPOSURE TIME", -12));
    }
    Profile again(file);
    EXPECT_EQ(again.GetString(L"settings", L"CAPTURE_DIRECTORY"), L"/media/card/DCIM/100CANON");
    EXPECT_EQ(again.GetInt(L"Workspace", L"ApplicationLook", 0), 215);
    EXPECT_EQ(again.GetString(L"settings", L"Odd"), L" two\nlines \\ \u00e9 ");
    EXPECT_EQ(again.GetInt(L"settings", L"EXPOSURE TIME", 0), -12);
}

TEST(Profile, SectionsAndKeysIgnoreCase) {
    TempDir dir;
    Profile profile(dir / "p.conf");
    ASSERT_TRUE(profile.WriteString(L"Settings", L"Capture_Directory", L"a"));
    ASSERT_TRUE(profile.WriteString(L"SETTINGS", L"capture_directory", L"b"));
    EXPECT_EQ(profile.GetString(L"settings", L"CAPTURE_DIRECTORY"), L"b");
    const std::string text = ReadAll(dir / "p.conf");
    EXPECT_EQ(text, "[Settings]\nCapture_Directory=b\n") << "one section, one key, first spelling kept";
}

TEST(Profile, ReadsHandWrittenFiles) {
    TempDir dir;
    WriteAll(dir / "p.conf",
             "\xEF\xBB\xBF; comment\r\n[ Settings ]\r\n  Width = 640 \r\nbroken line\r\nText=abc=def\r\n"
             "Bad=12abc\r\nHuge=99999999999\r\n[settings]\r\nwidth=800\r\n");
    Profile profile(dir / "p.conf");
    EXPECT_EQ(profile.GetInt(L"SETTINGS", L"WIDTH", 0), 800) << "a later duplicate wins";
    EXPECT_EQ(profile.GetString(L"settings", L"text"), L"abc=def");
    EXPECT_EQ(profile.GetInt(L"settings", L"Bad", -1), 12);
    EXPECT_EQ(profile.GetInt(L"settings", L"Huge", -1), 2147483647);
    EXPECT_EQ(profile.GetInt(L"settings", L"Text", -1), -1) << "no number: the default";
    EXPECT_EQ(profile.GetInt(L"settings", L"missing", 42), 42);
}

TEST(Profile, KeepsValuesWrittenByAnotherInstance) {
    TempDir dir;
    Profile first(dir / "p.conf");
    Profile second(dir / "p.conf");
    ASSERT_TRUE(first.WriteString(L"settings", L"A", L"1"));
    ASSERT_TRUE(second.WriteString(L"settings", L"B", L"2"));
    first.Reload();
    EXPECT_EQ(first.GetString(L"settings", L"A"), L"1");
    EXPECT_EQ(first.GetString(L"settings", L"B"), L"2");
}

TEST(Profile, RefusesNamesTheFileCannotHold) {
    TempDir dir;
    Profile profile(dir / "p.conf");
    EXPECT_FALSE(profile.WriteString(L"a]b", L"k", L"v"));
    EXPECT_FALSE(profile.WriteString(L"s", L"k=1", L"v"));
    EXPECT_FALSE(profile.WriteString(L"s", L"", L"v"));
    EXPECT_FALSE(profile.WriteString(L"s", L"line\nbreak", L"v"));
    EXPECT_FALSE(fs::exists(dir / "p.conf"));
}

TEST(Profile, FailedSaveKeepsTheOldFileAndValues) {
    TempDir dir;
    const fs::path folder = dir / "cfg";
    Profile profile(folder / "p.conf");
    ASSERT_TRUE(profile.WriteString(L"s", L"k", L"old"));
    // A file where the folder should be makes every save fail.
    fs::remove_all(folder);
    WriteAll(folder, "not a folder");
    EXPECT_FALSE(profile.WriteString(L"s", L"k", L"new"));
    EXPECT_EQ(profile.GetString(L"s", L"k"), L"old");
}

}  // namespace
}  // namespace veldan::test
