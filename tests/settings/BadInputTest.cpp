// Every loader against every class of bad input: binary files, NUL bytes,
// invalid UTF-8, huge lines and files, truncation, out-of-range numbers.
// A failed load returns false and keeps the object's previous contents.
#include <functional>
#include <random>

#include "TempFolder.h"
#include "settings/VELDANsettings.h"

namespace veldan::test {

namespace {

struct Format {
    const char* name;
    std::string valid;                          // a good file, loaded first
    std::vector<std::string> truncatedOrWrong;  // format-specific bad files
    size_t maxFile;
    // Loads the file into a fresh object that first holds `valid`; true when
    // the load failed and the object still holds exactly the valid contents.
    std::function<bool(const std::filesystem::path& good, const std::filesystem::path& bad)> failsAndKeeps;
};

bool ScriptFailsAndKeeps(const std::filesystem::path& good, const std::filesystem::path& bad) {
    CVeldanScript s;
    if (!LoadFile(s, good)) return false;
    int n = s.GetOpCnt();
    if (LoadFile(s, bad)) return false;
    return s.GetOpCnt() == n && s.GetOp(0)->kind == VELDAN_OP_H_ANGLE && !s.GetLoadError().empty();
}

bool AssemblyFailsAndKeeps(const std::filesystem::path& good, const std::filesystem::path& bad) {
    CVeldanAssembly a;
    if (!LoadFile(a, good)) return false;
    if (LoadFile(a, bad)) return false;
    return a.name && std::string(a.name) == "Rig" && a.GetRowCnt() == 1 && !a.GetLoadError().empty();
}

bool ConfigFailsAndKeeps(const std::filesystem::path& good, const std::filesystem::path& bad) {
    CVeldanConfig c;
    if (!LoadFile(c, good)) return false;
    if (LoadFile(c, bad)) return false;
    return c.serialPort == 4 && c.edition && std::string(c.edition) == "rig" && !c.GetLoadError().empty();
}

std::vector<Format> Formats() {
    return {
        {"script",
         "H 90\nV 0 \"x\"\nSHOOT\n",
         {"H 90\nV 0 \"x", "H 90\nV", "H 90\nSHO", "H 1e400\n", "V 180.5\n", "WAIT 99999999999\n", "RECOVER -5\n",
          "POS 1 nan\n", "H 0x5a\n"},
         CVeldanScript::kMaxFileSize,
         ScriptFailsAndKeeps},
        {"assembly",
         "name = \"Rig\"\nrow = 0 6\n",
         {"name = \"Rig", "name = \"Rig\"\nrow = 0", "name = \"Rig\"\nro", "row = 0 1e9\n", "row = -90.5 1\n",
          "row = 0 -3\n"},
         CVeldanAssembly::kMaxFileSize,
         AssemblyFailsAndKeeps},
        {"config",
         "port = 4\nedition = \"rig\"\n",
         {"port = 4\nedition = \"ri", "port = 4\nedition =", "port = 4\nedit", "packet_rate = 1e99\n",
          "port = 99999999999999999999\n", "recover_time = -1\n", "global_speed = 1e-300\n", "parking[1] = 720\n"},
         CVeldanConfig::kMaxFileSize,
         ConfigFailsAndKeeps},
    };
}

class BadInputTest : public TempFolderTest {
protected:
    void ExpectRefused(const Format& f, const std::string& bytes, const std::string& what) {
        WriteRaw("good", f.valid);
        WriteRaw("bad", bytes);
        EXPECT_TRUE(f.failsAndKeeps(Path("good"), Path("bad"))) << f.name << ": " << what;
    }
};

}  // namespace

TEST_F(BadInputTest, EveryLoaderRefusesEveryClassOfBadInput) {
    for (const auto& f : Formats()) {
        const std::string& v = f.valid;
        ExpectRefused(f, v + std::string("\0\n", 2), "NUL byte at a line start");
        ExpectRefused(f, v.substr(0, 3) + std::string(1, '\0') + v.substr(3), "NUL byte inside a line");
        ExpectRefused(f, v + "# \xC3\x28\n", "invalid UTF-8 in a comment");
        ExpectRefused(f, v + "# \xE0\x80\xAF\n", "overlong UTF-8");
        ExpectRefused(f, v + "# \xED\xA0\x80\n", "UTF-16 surrogate in UTF-8");
        ExpectRefused(f, v + "# \xF4\x90\x80\x80\n", "code point above U+10FFFF");
        ExpectRefused(f, v + "# \xE2\x82", "truncated UTF-8 sequence at the end");
        ExpectRefused(f, v + "# \x1B[31m\n", "escape character");
        ExpectRefused(f, v + "# \r \n", "carriage return inside a line");
        ExpectRefused(f, v + "# " + std::string(5000, 'x') + "\n", "line of 5000 bytes");
        ExpectRefused(f, v + std::string(f.maxFile, '\n'), "file above the size limit");
        for (const auto& wrong : f.truncatedOrWrong) ExpectRefused(f, wrong, "format-specific: " + wrong);

        std::mt19937 random(1234);
        for (int round = 0; round < 20; ++round) {
            std::string binary(256 + round * 97, '\0');
            for (auto& c : binary) c = static_cast<char>(random());
            binary[10] = '\0';  // surely binary
            ExpectRefused(f, binary, "random bytes, round " + std::to_string(round));
        }
    }
}

TEST_F(BadInputTest, LoadersRefuseStreamsThatCannotBeRead) {
    WriteRaw("good", "H 1\n");
    CVeldanScript script;
    ASSERT_TRUE(LoadFile(script, Path("good")));
    DynStream* writing = OpenWrite("other");
    ASSERT_NE(writing, nullptr);
    EXPECT_FALSE(script.Load(writing));
    CVeldanAssembly assembly;
    EXPECT_FALSE(assembly.Load(writing));
    CVeldanConfig config;
    EXPECT_FALSE(config.Load(writing));
    EXPECT_FALSE(script.Load(nullptr));
    EXPECT_FALSE(assembly.Load(nullptr));
    EXPECT_EQ(dyn_fclose(writing), 0);  // a failed read does not spoil the written file
    EXPECT_EQ(script.GetOpCnt(), 1);
}

TEST_F(BadInputTest, LargestAcceptedLinesAndFilesStillLoad) {
    // At the limits, not beyond them.
    std::string text(CVeldanScript::kMaxLineLength - 8, 'x');
    WriteRaw("long.txt", "NOTE \"" + text + "\"\n");
    CVeldanScript script;
    EXPECT_TRUE(LoadFile(script, Path("long.txt"))) << script.GetLoadError();
    std::string exact(CVeldanConfig::kMaxFileSize - 9, '\n');
    WriteRaw("big.cfg", exact + "port = 3\n");
    CVeldanConfig config;
    EXPECT_TRUE(LoadFile(config, Path("big.cfg"))) << config.GetLoadError();
    EXPECT_EQ(config.serialPort, 3);
}

}  // namespace veldan::test
