// File streams on real files: wide paths, modes, atomic replacement,
// appending, reading, failures.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "stream/DynStream.h"

namespace veldan::test {

namespace fs = std::filesystem;

namespace {

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veldan-stream-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        setenv("HOME", folder.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder / ".config").c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", (folder / "Documents").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
    size_t Entries() {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
        return n;
    }
    fs::path folder;
};

}  // namespace

TEST_F(StreamTest, WidePathIsUtf8OnDisk) {
    std::wstring wide = folder.wstring() + L"/Gr\u00F6\u00DFe \u20AC \U0001F4F7.txt";
    DynStream* s = dyn_wfopen(wide.c_str(), L"w");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(dyn_fprintf(s, "%d %s\n", 42, "x"), 5);
    ASSERT_EQ(dyn_fclose(s), 0);
    fs::path utf8 = folder /
                    "Gr\xC3\xB6\xC3\x9F"
                    "e \xE2\x82\xAC \xF0\x9F\x93\xB7.txt";
    EXPECT_EQ(Read(utf8), "42 x\n");
    EXPECT_STREQ(dyn_fpath(s = dyn_wfopen(wide.c_str(), "r")), utf8.c_str());
    dyn_fclose(s);

    // A path UTF-8 cannot carry is refused, not turned into another name.
    std::wstring broken = folder.wstring() + L"/x";
    broken += static_cast<wchar_t>(0xD800);
    errno = 0;
    EXPECT_EQ(dyn_wfopen(broken.c_str(), "w"), nullptr);
    EXPECT_EQ(errno, EILSEQ);
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(StreamTest, ModesAndRefusals) {
    std::string p = (folder / "f").string();
    for (const char* bad : {"", "x", "r+", "w+", "rw", "wa"}) {
        errno = 0;
        EXPECT_EQ(dyn_fopen(p.c_str(), bad), nullptr) << bad;
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_EQ(dyn_fopen(p.c_str(), nullptr), nullptr);
    EXPECT_EQ(dyn_fopen(nullptr, "r"), nullptr);
    EXPECT_EQ(dyn_wfopen(nullptr, "r"), nullptr);
    EXPECT_EQ(dyn_fopen(p.c_str(), "r"), nullptr);       // missing
    EXPECT_EQ(dyn_fopen(folder.c_str(), "r"), nullptr);  // a folder
    EXPECT_EQ(dyn_fopen(folder.c_str(), "w"), nullptr);
    EXPECT_EQ(dyn_fopen((folder / "no/such").c_str(), "w"), nullptr);  // no folder
    EXPECT_EQ(dyn_fclose(nullptr), EOF);
    EXPECT_EQ(dyn_fprintf(nullptr, "x"), -1);
    EXPECT_EQ(dyn_fflush(nullptr), EOF);
    EXPECT_EQ(Entries(), 0u);
}

TEST_F(StreamTest, WriteReplacesAtomicallyOnClose) {
    fs::path target = folder / "settings.cfg";
    Write(target, "old\n");
    chmod(target.c_str(), 0640);
    DynStream* s = dyn_fopen(target.c_str(), "wb");
    ASSERT_NE(s, nullptr);
    dyn_fprintf(s, "new line one\n");
    dyn_fputs("new line two\n", s);
    ASSERT_EQ(dyn_fflush(s), 0);
    // Until the stream is closed the old file stands; the new text lives in
    // a temporary beside it.
    EXPECT_EQ(Read(target), "old\n");
    EXPECT_EQ(Entries(), 2u);
    ASSERT_EQ(dyn_fclose(s), 0);
    EXPECT_EQ(Read(target), "new line one\nnew line two\n");
    EXPECT_EQ(Entries(), 1u);
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // permissions of the replaced file kept
}

TEST_F(StreamTest, CommitMakesTheFileCompleteAndLaterWritesFail) {
    fs::path target = folder / "s.txt";
    DynStream* s = dyn_fopen(target.c_str(), "w");
    ASSERT_NE(s, nullptr);
    dyn_fprintf(s, "partial line without end");
    ASSERT_EQ(dyn_fcommit(s), 0);
    EXPECT_EQ(Read(target), "partial line without end");
    EXPECT_EQ(dyn_fprintf(s, "more\n"), -1);
    EXPECT_EQ(dyn_fclose(s), 0);
    EXPECT_EQ(Read(target), "partial line without end");
}

TEST_F(StreamTest, SymbolicLinkTargetIsReplacedNotTheLink) {
    fs::path real = folder / "real.cfg";
    fs::path link = folder / "link.cfg";
    Write(real, "a");
    fs::create_symlink(real, link);
    DynStream* s = dyn_fopen(link.c_str(), "w");
    ASSERT_NE(s, nullptr);
    dyn_fputs("b", s);
    ASSERT_EQ(dyn_fclose(s), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(real), "b");
}

TEST_F(StreamTest, FailedWriteLeavesThePreviousFileAndNoTemporary) {
    fs::path target = folder / "big.txt";
    Write(target, "precious\n");
    // Limit the size of files this process may write; writing beyond it
    // fails with EFBIG instead of raising SIGXFSZ.
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    DynStream* s = dyn_fopen(target.c_str(), "w");
    ASSERT_NE(s, nullptr);
    std::string line(1000, 'x');
    line += '\n';
    for (int i = 0; i < 200; ++i) dyn_fputs(line.c_str(), s);
    int closed = dyn_fclose(s);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(closed, EOF);
    EXPECT_EQ(Read(target), "precious\n");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(StreamTest, AppendAddsToTheEndAndReadsBack) {
    fs::path log = folder / "log.txt";
    Write(log, "first\n");
    DynStream* s = dyn_fopen(log.c_str(), "a");
    ASSERT_NE(s, nullptr);
    dyn_fprintf(s, "second %s", "half");
    dyn_fprintf(s, " done\n");
    ASSERT_EQ(dyn_fclose(s), 0);
    EXPECT_EQ(Read(log), "first\nsecond half done\n");

    DynStream* both = dyn_fopen(log.c_str(), "a+");
    ASSERT_NE(both, nullptr);
    char line[64];
    ASSERT_NE(dyn_fgets(line, sizeof line, both), nullptr);  // reading starts at the beginning
    EXPECT_STREQ(line, "first\n");
    dyn_fputs("third\n", both);  // writing always at the end
    dyn_fclose(both);

    DynStream* r = dyn_fopen(log.c_str(), "rb");
    ASSERT_NE(r, nullptr);
    char all[128] = {};
    EXPECT_EQ(dyn_fread(all, 1, sizeof all, r), 29u);
    EXPECT_STREQ(all, "first\nsecond half done\nthird\n");
    EXPECT_TRUE(dyn_feof(r));
    EXPECT_FALSE(dyn_ferror(r));
    EXPECT_EQ(dyn_fprintf(r, "no\n"), -1);  // not open for writing
    dyn_fclose(r);
}

TEST_F(StreamTest, LongFormattedTextIsWrittenWhole) {
    fs::path p = folder / "long.txt";
    DynStream* s = dyn_fopen(p.c_str(), "w");
    ASSERT_NE(s, nullptr);
    std::string big(200000, 'y');
    EXPECT_EQ(dyn_fprintf(s, "<%s>\n", big.c_str()), 200003);
    ASSERT_EQ(dyn_fclose(s), 0);
    EXPECT_EQ(Read(p), "<" + big + ">\n");
}

}  // namespace veldan::test
