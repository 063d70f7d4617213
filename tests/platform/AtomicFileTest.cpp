// Tests of atomic file writes: permissions, symbolic links, failures that keep
// the old file, no-replace commits.
#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestSupport.h"

namespace veldan::test {

using platform::AtomicFileWriter;
using platform::WriteFileAtomically;

namespace {

namespace fs = std::filesystem;

size_t EntriesIn(const fs::path& folder) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
    return n;
}

TEST(AtomicFile, CreatesAndReplacesKeepingPermissions) {
    TempDir dir;
    const fs::path file = dir / "project.vpp";
    ASSERT_TRUE(WriteFileAtomically(file, "first"));
    EXPECT_EQ(ReadAll(file), "first");
    EXPECT_NE(fs::status(file).permissions() & fs::perms::group_read, fs::perms::none)
        << "a new file gets the usual permissions, not those of a temporary file";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WriteFileAtomically(file, std::string(100000, 'x')));
    EXPECT_EQ(ReadAll(file), std::string(100000, 'x'));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(EntriesIn(dir.Path()), 1u) << "no temporary file is left behind";
}

TEST(AtomicFile, WritesThroughASymbolicLink) {
    TempDir dir;
    WriteAll(dir / "real.cfg", "old");
    fs::create_symlink("real.cfg", dir / "link.cfg");
    ASSERT_TRUE(WriteFileAtomically(dir / "link.cfg", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.cfg"));
    EXPECT_EQ(ReadAll(dir / "real.cfg"), "new");
}

TEST(AtomicFile, FailsWhenTheFolderIsGone) {
    TempDir dir;
    const fs::path folder = dir / "vanished";
    fs::create_directory(folder);
    AtomicFileWriter writer(folder / "a.txt");
    ASSERT_TRUE(writer.IsOpen());
    ASSERT_TRUE(writer.Write("data", 4));
    // The folder disappears while the file is written (an unplugged card).
    fs::remove_all(folder);
    EXPECT_FALSE(writer.Commit());
    EXPECT_FALSE(fs::exists(folder / "a.txt"));
    errno = 0;
    EXPECT_FALSE(WriteFileAtomically(folder / "b.txt", "x"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(AtomicFile, FailedWriteKeepsTheOldFile) {
    TempDir dir;
    const fs::path file = dir / "settings.cfg";
    WriteAll(file, "precious");
    // A file size limit makes the write fail part-way, as a full disk would.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = WriteFileAtomically(file, std::string(20000, 'y'));
    const int error = errno;
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(ReadAll(file), "precious");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(AtomicFile, ReadOnlyFolderKeepsTheOldFile) {
    TempDir dir;
    const fs::path folder = dir / "ro";
    fs::create_directory(folder);
    WriteAll(folder / "a.txt", "old");
    {
        ReadOnlyFolder readOnly(folder);
        if (!readOnly.Active()) GTEST_SKIP() << "cannot make a folder read-only here";
        errno = 0;
        EXPECT_FALSE(WriteFileAtomically(folder / "a.txt", "new"));
        EXPECT_TRUE(errno == EACCES || errno == EPERM) << errno;
    }
    EXPECT_EQ(ReadAll(folder / "a.txt"), "old");
    EXPECT_EQ(EntriesIn(folder), 1u);
}

TEST(AtomicFile, AbandonedWriterLeavesNothing) {
    TempDir dir;
    WriteAll(dir / "keep.txt", "keep");
    {
        AtomicFileWriter writer(dir / "keep.txt");
        ASSERT_TRUE(writer.Write("half", 4));
        EXPECT_EQ(EntriesIn(dir.Path()), 2u);
    }
    EXPECT_EQ(ReadAll(dir / "keep.txt"), "keep");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(AtomicFile, CommitNoReplaceRefusesAnExistingTarget) {
    TempDir dir;
    WriteAll(dir / "IMG_1.JPG", "camera");
    AtomicFileWriter writer(dir / "IMG_1.JPG");
    ASSERT_TRUE(writer.Write("copy", 4));
    EXPECT_FALSE(writer.CommitNoReplace());
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadAll(dir / "IMG_1.JPG"), "camera");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
    AtomicFileWriter second(dir / "IMG_2.JPG");
    ASSERT_TRUE(second.Write("copy", 4));
    EXPECT_TRUE(second.CommitNoReplace());
    EXPECT_EQ(ReadAll(dir / "IMG_2.JPG"), "copy");
}

}  // namespace
}  // namespace veldan::test
