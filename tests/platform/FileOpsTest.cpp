// Tests of copying, moving and deleting files, within and across file systems,
// and their failures.
#include "platform/FileOps.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "TestSupport.h"

namespace veldan::test {

using platform::CopyFile;
using platform::DeleteFile;
using platform::FileOpResult;
using platform::MoveFile;

namespace {

namespace fs = std::filesystem;

// A second file system for moves that cannot be renames: /dev/shm (tmpfs)
// when it lies on another device than the temporary folder.
std::optional<fs::path> OtherFileSystem() {
    struct stat a {
    }, b{};
    if (stat("/dev/shm", &a) != 0 || stat(fs::temp_directory_path().c_str(), &b) != 0) return std::nullopt;
    if (a.st_dev == b.st_dev || access("/dev/shm", W_OK) != 0) return std::nullopt;
    return fs::path("/dev/shm");
}

class OtherDir {
public:
    explicit OtherDir(const fs::path& base) {
        std::string pattern = (base / "veldan-fileops-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~OtherDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

std::string Picture(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7919) >> 3);
    return data;
}

TEST(FileOps, CopyKeepsContentsPermissionsAndTime) {
    TempDir dir;
    const std::string data = Picture(3 << 20);
    WriteAll(dir / "IMG_1.JPG", data);
    fs::permissions(dir / "IMG_1.JPG", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    const auto time = fs::file_time_type::clock::now() - std::chrono::hours(30);
    fs::last_write_time(dir / "IMG_1.JPG", time);
    const FileOpResult result = CopyFile(dir / "IMG_1.JPG", dir / "copy.jpg");
    ASSERT_TRUE(result) << result.message;
    EXPECT_EQ(ReadAll(dir / "copy.jpg"), data);
    EXPECT_EQ(fs::status(dir / "copy.jpg").permissions(), fs::status(dir / "IMG_1.JPG").permissions());
    EXPECT_EQ(fs::last_write_time(dir / "copy.jpg"), time);
    EXPECT_EQ(ReadAll(dir / "IMG_1.JPG"), data);
}

TEST(FileOps, CopyReplacesOrRefusesAnExistingTarget) {
    TempDir dir;
    WriteAll(dir / "a", "new");
    WriteAll(dir / "b", "old");
    FileOpResult refused = CopyFile(dir / "a", dir / "b", true);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error, EEXIST);
    EXPECT_NE(refused.message.find("File exists"), std::string::npos) << refused.message;
    EXPECT_EQ(ReadAll(dir / "b"), "old");
    ASSERT_TRUE(CopyFile(dir / "a", dir / "b"));
    EXPECT_EQ(ReadAll(dir / "b"), "new");
}

TEST(FileOps, FailedCopyLeavesNoPartialTarget) {
    TempDir dir;
    WriteAll(dir / "big.tif", Picture(200000));
    WriteAll(dir / "target.tif", "previous");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 65536;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileOpResult result = CopyFile(dir / "big.tif", dir / "target.tif");
    const FileOpResult fresh = CopyFile(dir / "big.tif", dir / "fresh.tif");
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.error, EFBIG) << result.message;
    EXPECT_EQ(ReadAll(dir / "target.tif"), "previous");
    EXPECT_FALSE(fresh);
    EXPECT_FALSE(fs::exists(dir / "fresh.tif"));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 2u) << "no temporary file is left";
}

TEST(FileOps, CopyRefusesWhatIsNoFile) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    FileOpResult missing = CopyFile(dir / "missing", dir / "x");
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_NE(missing.message.find("missing"), std::string::npos);
    FileOpResult folder = CopyFile(dir / "folder", dir / "x");
    EXPECT_FALSE(folder);
    EXPECT_EQ(folder.error, EISDIR);
    EXPECT_FALSE(fs::exists(dir / "x"));
}

TEST(FileOps, MoveRenamesAndRefusesToOverwrite) {
    TempDir dir;
    WriteAll(dir / "a.jpg", "a");
    WriteAll(dir / "b.jpg", "b");
    FileOpResult refused = MoveFile(dir / "a.jpg", dir / "b.jpg");
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error, EEXIST);
    EXPECT_EQ(ReadAll(dir / "a.jpg"), "a");
    EXPECT_EQ(ReadAll(dir / "b.jpg"), "b");
    fs::create_directory(dir / "project");
    ASSERT_TRUE(MoveFile(dir / "a.jpg", dir / "project/a.jpg"));
    EXPECT_FALSE(fs::exists(dir / "a.jpg"));
    EXPECT_EQ(ReadAll(dir / "project/a.jpg"), "a");
    ASSERT_TRUE(MoveFile(dir / "b.jpg", dir / "project/a.jpg", true));
    EXPECT_EQ(ReadAll(dir / "project/a.jpg"), "b");
    EXPECT_FALSE(MoveFile(dir / "gone.jpg", dir / "x.jpg"));
}

TEST(FileOps, MoveOfTwoNamesOfOneFileRemovesTheSource) {
    TempDir dir;
    WriteAll(dir / "a", "data");
    fs::create_hard_link(dir / "a", dir / "b");
    ASSERT_TRUE(MoveFile(dir / "a", dir / "b"));
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(ReadAll(dir / "b"), "data");
    ASSERT_TRUE(MoveFile(dir / "b", dir / "b"));
    EXPECT_EQ(ReadAll(dir / "b"), "data");
}

TEST(FileOps, MoveAcrossFileSystemsCopiesThenDeletes) {
    const auto other = OtherFileSystem();
    if (!other) GTEST_SKIP() << "no second file system";
    OtherDir card(*other);
    ASSERT_FALSE(card.Path().empty());
    TempDir project;
    const std::string data = Picture(5 << 20);
    WriteAll(card.Path() / "IMG_9.CR2", data);
    const FileOpResult moved = MoveFile(card.Path() / "IMG_9.CR2", project / "IMG_9.CR2");
    ASSERT_TRUE(moved) << moved.message;
    EXPECT_FALSE(moved.sourceKept);
    EXPECT_FALSE(fs::exists(card.Path() / "IMG_9.CR2"));
    EXPECT_EQ(ReadAll(project / "IMG_9.CR2"), data);

    // An existing target stops the move before anything is copied or deleted.
    WriteAll(card.Path() / "IMG_10.CR2", "new");
    WriteAll(project / "IMG_10.CR2", "old");
    FileOpResult refused = MoveFile(card.Path() / "IMG_10.CR2", project / "IMG_10.CR2");
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error, EEXIST);
    EXPECT_EQ(ReadAll(card.Path() / "IMG_10.CR2"), "new");
    EXPECT_EQ(ReadAll(project / "IMG_10.CR2"), "old");

    // A folder cannot be copied across.
    fs::create_directory(card.Path() / "DCIM");
    FileOpResult folder = MoveFile(card.Path() / "DCIM", project / "DCIM");
    EXPECT_FALSE(folder);
    EXPECT_EQ(folder.error, EXDEV);
    EXPECT_TRUE(fs::is_directory(card.Path() / "DCIM"));
}

TEST(FileOps, FailedCopyAcrossFileSystemsKeepsTheSource) {
    const auto other = OtherFileSystem();
    if (!other) GTEST_SKIP() << "no second file system";
    OtherDir card(*other);
    TempDir project;
    const std::string data = Picture(300000);
    WriteAll(card.Path() / "IMG.JPG", data);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileOpResult moved = MoveFile(card.Path() / "IMG.JPG", project / "IMG.JPG");
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(moved);
    EXPECT_EQ(ReadAll(card.Path() / "IMG.JPG"), data);
    EXPECT_FALSE(fs::exists(project / "IMG.JPG"));
}

TEST(FileOps, MoveFromAWriteProtectedCardKeepsTheCopy) {
    const auto other = OtherFileSystem();
    if (!other) GTEST_SKIP() << "no second file system";
    OtherDir card(*other);
    TempDir project;
    WriteAll(card.Path() / "IMG.JPG", "picture");
    FileOpResult moved;
    {
        ReadOnlyFolder locked(card.Path());
        if (!locked.Active()) GTEST_SKIP() << "cannot make a folder read-only here";
        moved = MoveFile(card.Path() / "IMG.JPG", project / "IMG.JPG");
    }
    ASSERT_TRUE(moved) << moved.message;
    EXPECT_TRUE(moved.sourceKept);
    EXPECT_NE(moved.message.find("cannot remove"), std::string::npos) << moved.message;
    EXPECT_EQ(ReadAll(project / "IMG.JPG"), "picture");
    EXPECT_EQ(ReadAll(card.Path() / "IMG.JPG"), "picture");
}

TEST(FileOps, DeleteReportsWhatWentWrong) {
    TempDir dir;
    WriteAll(dir / "a", "x");
    EXPECT_TRUE(DeleteFile(dir / "a"));
    FileOpResult again = DeleteFile(dir / "a");
    EXPECT_FALSE(again);
    EXPECT_EQ(again.error, ENOENT);
    fs::create_directory(dir / "d");
    EXPECT_FALSE(DeleteFile(dir / "d"));
    EXPECT_TRUE(fs::is_directory(dir / "d"));
}

}  // namespace
}  // namespace veldan::test
