// Tests of the text conversions: every Unicode plane, invalid input, non-UTF-8
// file names and case folding.
#include "platform/Text.h"

#include <gtest/gtest.h>

namespace veldan::test {

using platform::EqualsNoCase;
using platform::FoldCase;
using platform::FromUtf8;
using platform::PathFromWide;
using platform::PathToWide;
using platform::ToUtf8;

namespace {

TEST(Text, RoundTripsEveryPlane) {
    const std::wstring text = L"a\u00e9\u20ac\U0001F600\u0416Z";
    const std::string utf8 = ToUtf8(text);
    EXPECT_EQ(utf8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xD0\x96Z");
    EXPECT_EQ(FromUtf8(utf8), text);
}

TEST(Text, InvalidUtf8BecomesReplacementCharacters) {
    const std::wstring r = L"\uFFFD";
    EXPECT_EQ(FromUtf8("a\xFF"
                       "b"),
              L"a" + r + L"b");
    EXPECT_EQ(FromUtf8("\xC0\xAF"), r + r) << "overlong encodings are refused";
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), r + r + r) << "encoded surrogates are refused";
    EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), r + r + r + r) << "above U+10FFFF";
    EXPECT_EQ(FromUtf8("x\xE2\x82"), L"x" + r) << "a truncated sequence is one replacement";
    EXPECT_EQ(FromUtf8("\xE2\x82"
                       "A"),
              r + L"A")
        << "the byte after a broken sequence is kept";
    EXPECT_EQ(FromUtf8(std::string("\0z", 2)), std::wstring(L"\0z", 2));
}

TEST(Text, InvalidWideTextBecomesReplacementCharacters) {
    std::wstring bad;
    bad.push_back(static_cast<wchar_t>(0xD800));  // lone high surrogate
    bad.push_back(L'x');
    bad.push_back(static_cast<wchar_t>(0x110000));
    EXPECT_EQ(ToUtf8(bad), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    std::wstring pair;
    pair.push_back(static_cast<wchar_t>(0xD83D));
    pair.push_back(static_cast<wchar_t>(0xDE00));
    EXPECT_EQ(ToUtf8(pair), "\xF0\x9F\x98\x80") << "a UTF-16 pair is joined";
}

TEST(Text, PathsKeepBytesThatAreNotUtf8) {
    const std::filesystem::path latin1("/tmp/caf\xE9/IMG_0001.JPG");
    const std::wstring wide = PathToWide(latin1);
    EXPECT_EQ(PathFromWide(wide), latin1);
    EXPECT_EQ(PathFromWide(L"/tmp/\u00e9t\u00e9"), std::filesystem::path("/tmp/\xC3\xA9t\xC3\xA9"));
    // Plain text conversion does not produce the raw byte.
    EXPECT_EQ(ToUtf8(wide).find('\xE9'), std::string::npos);
}

TEST(Text, CaseInsensitiveComparison) {
    EXPECT_TRUE(EqualsNoCase(L"Settings", L"SETTINGS"));
    EXPECT_TRUE(EqualsNoCase(L"\u00c4rger", L"\u00e4RGER"));
    EXPECT_FALSE(EqualsNoCase(L"settings", L"setting"));
    EXPECT_FALSE(EqualsNoCase(L"abc", L"abd"));
    EXPECT_TRUE(EqualsNoCase(std::string_view("IMG.Tmp"), std::string_view("img.TMP")));
    EXPECT_TRUE(EqualsNoCase(std::string_view("\xC3\x84"), std::string_view("\xC3\xA4")));
    EXPECT_EQ(FoldCase(L"CAPTURE_Directory"), L"capture_directory");
}

}  // namespace
}  // namespace veldan::test
