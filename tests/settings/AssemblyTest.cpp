// Head assemblies: the shipped default file, round trips, names.
#include <cstring>

#include "TempFolder.h"
#include "settings/VeldanAssembly.h"

namespace veldan::test {

namespace {
class AssemblyTest : public TempFolderTest {};
}  // namespace

TEST_F(AssemblyTest, ShippedDefaultAssemblyLoads) {
    CVeldanAssembly assembly;
    ASSERT_TRUE(LoadFile(assembly, VELDAN_DEFAULT_ASSEMBLY)) << assembly.GetLoadError();
    ASSERT_NE(assembly.name, nullptr);
    EXPECT_STREQ(assembly.name, "VELDAN VR head");
    EXPECT_NE(assembly.description, nullptr);
    ASSERT_EQ(assembly.GetRowCnt(), 5);
    EXPECT_EQ(assembly.GetRow(0)->vertical, 0);
    EXPECT_EQ(assembly.GetRow(0)->shots, 12);
    EXPECT_EQ(assembly.GetRow(1)->start, 22.5);
    EXPECT_EQ(assembly.GetRow(5), nullptr);
}

TEST_F(AssemblyTest, RoundTripKeepsNameDescriptionAndRows) {
    CVeldanAssembly assembly;
    ASSERT_TRUE(assembly.SetName("Kopf \"Süd\" \\ 2"));
    ASSERT_TRUE(assembly.SetDescription(""));
    ASSERT_TRUE(assembly.AddRow({-12.5, 7, -30}));
    ASSERT_TRUE(assembly.AddRow({90, 1, 0}));
    ASSERT_TRUE(SaveFile(assembly, Path("a.asm")));

    CVeldanAssembly loaded;
    ASSERT_TRUE(LoadFile(loaded, Path("a.asm"))) << loaded.GetLoadError();
    EXPECT_STREQ(loaded.name, "Kopf \"Süd\" \\ 2");
    ASSERT_NE(loaded.description, nullptr);
    EXPECT_STREQ(loaded.description, "");
    ASSERT_EQ(loaded.GetRowCnt(), 2);
    EXPECT_EQ(loaded.GetRow(0)->vertical, -12.5);
    EXPECT_EQ(loaded.GetRow(0)->shots, 7);
    EXPECT_EQ(loaded.GetRow(0)->start, -30);

    // Copies own their texts.
    CVeldanAssembly copy(loaded);
    loaded.SetName("other");
    EXPECT_STREQ(copy.name, "Kopf \"Süd\" \\ 2");
}

TEST_F(AssemblyTest, FileWithoutNameHasNullName) {
    WriteRaw("plain.asm", "# only a pattern\nROW = 0 6   # six around\n  row=30 4 45\n");
    CVeldanAssembly assembly;
    ASSERT_TRUE(LoadFile(assembly, Path("plain.asm"))) << assembly.GetLoadError();
    EXPECT_EQ(assembly.name, nullptr);
    EXPECT_EQ(assembly.description, nullptr);
    EXPECT_EQ(assembly.GetRowCnt(), 2);
    EXPECT_EQ(assembly.GetRow(1)->start, 45);
}

TEST_F(AssemblyTest, MalformedFilesAreRefusedAndPreviousContentsKept) {
    CVeldanAssembly assembly;
    ASSERT_TRUE(LoadFile(assembly, VELDAN_DEFAULT_ASSEMBLY));
    const char* bad[] = {
        "name = VELDAN\n",  // unquoted
        "name = \"open\n",  // unterminated
        "row = 0\n",        // shots missing
        "row = 0 0\n",      // no shots
        "row = 0 361\n",    // too many
        "row = 91 4\n",     // beyond the zenith
        "row = 0 4 400\n",  // start out of range
        "row = 0 4 5 6\n",  // trailing value
        "rows = 0 4\n",     // unknown key
        "name \"x\"\n",     // no "="
    };
    for (const char* text : bad) {
        WriteRaw("bad.asm", text);
        EXPECT_FALSE(LoadFile(assembly, Path("bad.asm"))) << text;
        EXPECT_FALSE(assembly.GetLoadError().empty());
        EXPECT_STREQ(assembly.name, "VELDAN VR head") << text;
        EXPECT_EQ(assembly.GetRowCnt(), 5) << text;
    }
    std::string many;
    for (int i = 0; i <= CVeldanAssembly::kMaxRows; ++i) many += "row = 0 1\n";
    WriteRaw("many.asm", many);
    EXPECT_FALSE(LoadFile(assembly, Path("many.asm")));
}

}  // namespace veldan::test
