// The document on real files: new, save, open, save as, atomic saving,
// relocation of a moved project, and the busy counter's hold on closing and
// destruction.
#include <gtest/gtest.h>
#include <atomic>
#include <regex>
#include <thread>
#include "TestSupport.h"
#include "platform/Text.h"
#include "preview/document/DocumentList.h"
#include "preview/document/VELDANpreviewDoc.h"

// The image keeps its thumbnail list to itself; the test only counts it
// (through the friend that the image class names at global scope).
struct VELDANPanoramaImageTestAccess {
    static uint32_t ThumbnailCount(VELDANPanoramaImage& image) { return image.GetThumbnailCount(); }
};

namespace veldan::test {

using namespace veldan::preview;

namespace fs = std::filesystem;

namespace {

class DocumentTest : public ::testing::Test {
protected:
    TempHome home;
    DocumentList list;
    ScriptedUi ui;

    fs::path Dir(const char* name) {
        fs::path p = home.Root() / name;
        fs::create_directories(p);
        return p;
    }
};

// A project with two tiles of two images each, files in folder.
void FillProject(VELDANPanoramaProject& p, const fs::path& folder) {
    for (int t = 0; t < 2; ++t) {
        auto* tile = new VELDANPanoramaTile();
        tile->pos_x = 90.0 * t;
        tile->fov_x = 40;
        tile->fov_y = 30;
        auto* b = new VELDANPanoramaBracketing();
        b->SetImageCnt(2);
        for (int i = 0; i < 2; ++i) {
            const fs::path file = folder / ("img" + std::to_string(t * 2 + i) + ".jpg");
            b->GetImage(i)->SetFilename(veldan::platform::PathToWide(file).c_str());
        }
        tile->bracketings.AddItem(b, 0u);
        p.AppendTile(tile);
    }
}

// A saved project file without its modification time, which every save
// sets to the current second.
std::string ContentOf(const fs::path& file) {
    return std::regex_replace(ReadAll(file), std::regex("<modification_time [^>]*/>"), "");
}

std::wstring FileOf(VELDANPanoramaProject& p, uint32_t t, uint32_t i) {
    const wchar_t* f = p.Tile(t)->Bracketing(0)->GetImage(i)->GetFilename();
    return f ? f : L"";
}

}  // namespace

TEST_F(DocumentTest, NewProjectIsWrittenAtOnceUnderItsDescription) {
    const fs::path shots = home.Root() / "Shots";
    CVELDANpreviewDoc doc(list);
    doc.Project().description.Set(L"Pano");
    doc.Project().project_path.Set(veldan::platform::PathToWide(shots).c_str());
    auto* tile = new VELDANPanoramaTile();
    tile->fov_x = 60;
    tile->fov_y = 40;
    doc.Project().AppendTile(tile);
    ASSERT_TRUE(doc.OnNewDocument(ui));
    EXPECT_EQ(doc.PathName(), shots / "Pano.vpp");
    EXPECT_EQ(doc.Title(), L"Pano");
    EXPECT_TRUE(fs::is_regular_file(shots / "Pano.vpp"));
    EXPECT_DOUBLE_EQ(doc.Project().Tile(0)->aspect_ratio, 1.5);
    EXPECT_FALSE(doc.IsModified());

    CVELDANpreviewDoc reopened(list);
    ASSERT_TRUE(reopened.OnOpenDocument(shots / "Pano.vpp"));
    EXPECT_STREQ(reopened.Project().description.Get(), L"Pano");
    EXPECT_EQ(reopened.Project().TileCount(), 1u);
}

TEST_F(DocumentTest, NewProjectNeverOverwritesAnotherFileUnasked) {
    const fs::path shots = Dir("Shots");
    WriteText(shots / "Pano.vpp", "precious");
    CVELDANpreviewDoc doc(list);
    doc.Project().description.Set(L"Pano");
    doc.Project().project_path.Set(veldan::platform::PathToWide(shots).c_str());
    ui.answers = {DocumentUi::Answer::No};
    EXPECT_FALSE(doc.OnNewDocument(ui));
    EXPECT_EQ(ReadAll(shots / "Pano.vpp"), "precious");
    ui.answers = {DocumentUi::Answer::Yes};
    EXPECT_TRUE(doc.OnNewDocument(ui));
    EXPECT_NE(ReadAll(shots / "Pano.vpp"), "precious");
}

TEST_F(DocumentTest, NewProjectWithoutFolderGoesToTheDocumentsFolder) {
    CVELDANpreviewDoc doc(list);
    doc.Project().description.Set(L"a/b");  // a slash cannot name a sub-folder
    ASSERT_TRUE(doc.OnNewDocument(ui));
    EXPECT_EQ(doc.PathName(), home.Root() / "Documents" / "a_b.vpp");
    EXPECT_TRUE(fs::exists(doc.PathName()));
    EXPECT_EQ(doc.Project().project_path.Get(), veldan::platform::PathToWide(home.Root() / "Documents"));
}

TEST_F(DocumentTest, SaveOpenAndSaveAsRoundTrip) {
    const fs::path a = Dir("A");
    CVELDANpreviewDoc doc(list);
    doc.Project().description.Set(L"Round");
    doc.Project().project_path.Set(veldan::platform::PathToWide(a).c_str());
    FillProject(doc.Project(), a);
    ASSERT_TRUE(doc.OnSaveDocument(a / "Round.vpp"));
    const std::string first = ContentOf(a / "Round.vpp");

    CVELDANpreviewDoc opened(list);
    ASSERT_TRUE(opened.OnOpenDocument(a / "Round.vpp"));
    EXPECT_FALSE(opened.IsModified());  // opened where it was saved
    EXPECT_EQ(opened.Title(), L"Round");
    ASSERT_EQ(opened.Project().TileCount(), 2u);
    EXPECT_EQ(FileOf(opened.Project(), 1, 1), veldan::platform::PathToWide(a / "img3.jpg"));

    // Save as: a second file with the same content; the document follows it.
    ASSERT_TRUE(opened.OnSaveDocument(a / "Copy.vpp"));
    EXPECT_EQ(opened.PathName(), a / "Copy.vpp");
    EXPECT_EQ(opened.Title(), L"Copy");
    EXPECT_EQ(ContentOf(a / "Copy.vpp"), first);
    EXPECT_EQ(ContentOf(a / "Round.vpp"), first);
    EXPECT_TRUE(opened.DoFileSave(ui));
}

TEST_F(DocumentTest, FailedSaveLeavesThePreviousFile) {
    const fs::path a = Dir("A");
    CVELDANpreviewDoc doc(list);
    doc.Project().description.Set(L"Keep");
    ASSERT_TRUE(doc.OnSaveDocument(a / "Keep.vpp"));
    const std::string before = ReadAll(a / "Keep.vpp");
    FillProject(doc.Project(), a);
    doc.SetModifiedFlag();
    {
        ReadOnlyFolder ro(a);
        if (!ro.Active()) GTEST_SKIP() << "cannot make a folder read-only here";
        std::string error;
        EXPECT_FALSE(doc.OnSaveDocument(a / "Keep.vpp", &error));
        EXPECT_NE(error.find("Keep.vpp"), std::string::npos) << error;
        EXPECT_FALSE(doc.DoFileSave(ui));
        EXPECT_EQ(ui.messages.size(), 1u);
    }
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(ReadAll(a / "Keep.vpp"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(a), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(DocumentTest, UnreadableFilesAreRefusedAndChangeNothing) {
    const fs::path a = Dir("A");
    WriteText(a / "bad.vpp", "this is not a project");
    CVELDANpreviewDoc doc(list);
    doc.Project().description.Set(L"Mine");
    std::string error;
    EXPECT_FALSE(doc.OnOpenDocument(a / "bad.vpp", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(doc.OnOpenDocument(a / "missing.vpp", &error));
    EXPECT_NE(error.find("missing.vpp"), std::string::npos);
    EXPECT_STREQ(doc.Project().description.Get(), L"Mine");
    EXPECT_TRUE(doc.PathName().empty());
}

TEST_F(DocumentTest, MovedProjectRewritesImagePathsAndIsModified) {
    const fs::path a = Dir("A");
    WriteJpeg(a / "img0.jpg", 64, 48);
    {
        CVELDANpreviewDoc doc(list);
        doc.Project().description.Set(L"Trip");
        doc.Project().project_path.Set(veldan::platform::PathToWide(a).c_str());
        FillProject(doc.Project(), a);
        // An image outside the project folder keeps its path.
        doc.Project().Tile(1)->Bracketing(0)->GetImage(1)->SetFilename(L"/elsewhere/x.jpg");
        ASSERT_TRUE(doc.OnSaveDocument(a / "Trip.vpp"));
    }
    const fs::path b = home.Root() / "B";
    fs::rename(a, b);

    CVELDANpreviewDoc moved(list);
    ASSERT_TRUE(moved.OnOpenDocument(b / "Trip.vpp"));
    EXPECT_TRUE(moved.IsModified());
    EXPECT_EQ(moved.Project().project_path.Get(), veldan::platform::PathToWide(b));
    EXPECT_EQ(FileOf(moved.Project(), 0, 0), veldan::platform::PathToWide(b / "img0.jpg"));
    EXPECT_EQ(FileOf(moved.Project(), 1, 0), veldan::platform::PathToWide(b / "img2.jpg"));
    EXPECT_EQ(FileOf(moved.Project(), 1, 1), L"/elsewhere/x.jpg");
    // The picture found at its new place gives the tile its proportions.
    EXPECT_EQ(moved.Project().Tile(0)->Bracketing(0)->GetImage(0)->GetWidth(), 64u);
    EXPECT_DOUBLE_EQ(moved.Project().Tile(0)->aspect_ratio, 64.0 / 48.0);
    EXPECT_DOUBLE_EQ(moved.Project().Tile(1)->aspect_ratio, 1.0);

    // Saved at the new place, it opens there unchanged.
    ASSERT_TRUE(moved.DoFileSave(ui));
    CVELDANpreviewDoc again(list);
    ASSERT_TRUE(again.OnOpenDocument(b / "Trip.vpp"));
    EXPECT_FALSE(again.IsModified());
    EXPECT_EQ(FileOf(again.Project(), 0, 1), veldan::platform::PathToWide(b / "img1.jpg"));
}

TEST_F(DocumentTest, StoredFolderWithFinalSlashIsNotAMove) {
    const fs::path a = Dir("A");
    CVELDANpreviewDoc doc(list);
    doc.Project().project_path.Set((veldan::platform::PathToWide(a) + L"/").c_str());
    ASSERT_TRUE(doc.OnSaveDocument(a / "P.vpp"));
    CVELDANpreviewDoc opened(list);
    ASSERT_TRUE(opened.OnOpenDocument(a / "P.vpp"));
    EXPECT_FALSE(opened.IsModified());
}

TEST_F(DocumentTest, BusyDocumentRefusesToClose) {
    CVELDANpreviewDoc doc(list);
    ASSERT_TRUE(list.Hold(&doc));
    EXPECT_EQ(doc.BusyCount(), 1);
    EXPECT_FALSE(doc.CanCloseFrame(ui));
    EXPECT_EQ(doc.BusyCount(), 1);
    list.Release(&doc);
    EXPECT_TRUE(doc.CanCloseFrame(ui));
    EXPECT_EQ(doc.BusyCount(), -1);
    // A closing document is no longer open for background work.
    EXPECT_FALSE(list.Hold(&doc));
    EXPECT_TRUE(list.OpenDocuments().empty());
}

TEST_F(DocumentTest, CancelledSaveQuestionKeepsTheDocumentClosableLater) {
    const fs::path a = Dir("A");
    CVELDANpreviewDoc doc(list);
    ASSERT_TRUE(doc.OnSaveDocument(a / "P.vpp"));
    doc.SetModifiedFlag();
    ui.answers = {DocumentUi::Answer::Cancel};
    EXPECT_FALSE(doc.CanCloseFrame(ui));
    EXPECT_EQ(doc.BusyCount(), 0);
    EXPECT_TRUE(list.Hold(&doc));
    list.Release(&doc);
    ui.answers = {DocumentUi::Answer::Yes};
    EXPECT_TRUE(doc.CanCloseFrame(ui));
    EXPECT_FALSE(doc.IsModified());  // saved on the way out
}

TEST_F(DocumentTest, DestructionWaitsForBackgroundWork) {
    auto doc = std::make_unique<CVELDANpreviewDoc>(list);
    CVELDANpreviewDoc* raw = doc.get();
    ASSERT_TRUE(list.Hold(raw));
    std::atomic<bool> released{false};
    std::atomic<bool> destroyedBeforeRelease{false};
    std::thread closer([&] {
        doc.reset();
        if (!released.load()) destroyedBeforeRelease = true;
    });
    // The background work still uses the project while the closer waits.
    EXPECT_EQ(raw->Project().TileCount(), 0u);
    released = true;
    list.Release(raw);
    closer.join();
    EXPECT_FALSE(destroyedBeforeRelease.load());
    EXPECT_EQ(list.Count(), 0u);
}

TEST_F(DocumentTest, ExportOpensTheChosenFileWithTheShell) {
    const fs::path a = Dir("A");
    CVELDANpreviewDoc doc(list);
    doc.Project().project_path.Set(veldan::platform::PathToWide(a).c_str());
    FillProject(doc.Project(), a);
    ui.exportFile = veldan::platform::PathToWide(a / "out.pts");
    ui.exportFilter = 1;
    // Whatever the export wrote (or failed to write) is handed to the shell,
    // which reports a missing file itself.
    doc.OnFileExport(ui);
    ui.exportFile = veldan::platform::PathToWide(a / "out.pano");
    ui.exportFilter = 3;
    doc.OnFileExport(ui);
    ASSERT_EQ(ui.opened.size(), 2u);
    EXPECT_EQ(ui.opened[0], a / "out.pts");
    EXPECT_EQ(ui.opened[1], a / "out.pano");
    ui.exportFilter = 0;  // cancelled: nothing
    doc.OnFileExport(ui);
    EXPECT_EQ(ui.opened.size(), 2u);
}

TEST_F(DocumentTest, PreviewExportWritesCopiesAndLeavesNoThumbnailsBehind) {
    const fs::path a = Dir("A");
    CVELDANpreviewDoc doc(list);
    doc.Project().project_path.Set(veldan::platform::PathToWide(a).c_str());
    for (int n = 0; n < 4; ++n) WriteJpeg(a / ("img" + std::to_string(n) + ".jpg"), 300, 200);
    FillProject(doc.Project(), a);  // sizes are read from the files as they are named
    ui.exportFile = veldan::platform::PathToWide(a / "prev.pts");
    ui.exportFilter = 2;
    doc.OnFileExport(ui);
    ASSERT_EQ(ui.opened.size(), 1u);
    for (int n = 0; n < 4; ++n) {
        const fs::path copy = a / ("img" + std::to_string(n) + "_prev.jpg");
        EXPECT_TRUE(fs::exists(copy)) << copy;
    }
    const std::string pts = ReadAll(a / "prev.pts");
    EXPECT_NE(pts.find("img3_prev.jpg"), std::string::npos);
    for (uint32_t t = 0; t < 2; ++t)
        for (uint32_t i = 0; i < 2; ++i) {
            VELDANPanoramaImage* image = doc.Project().Tile(t)->Bracketing(0)->GetImage(i);
            EXPECT_EQ(VELDANPanoramaImageTestAccess::ThumbnailCount(*image), 0u);
        }
}

TEST_F(DocumentTest, HuginFilterWritesAProjectForHugin) {
    const fs::path a = Dir("A");
    CVELDANpreviewDoc doc(list);
    doc.Project().project_path.Set(veldan::platform::PathToWide(a).c_str());
    for (int n = 0; n < 4; ++n) WriteJpeg(a / ("img" + std::to_string(n) + ".jpg"), 300, 200);
    FillProject(doc.Project(), a);
    ui.exportFile = veldan::platform::PathToWide(a / "pano.pto");
    ui.exportFilter = 5;
    doc.OnFileExport(ui);
    ASSERT_EQ(ui.opened.size(), 1u);
    const std::string pto = ReadAll(a / "pano.pto");
    EXPECT_EQ(pto.rfind("# hugin project file", 0), 0u) << pto.substr(0, 80);
    EXPECT_NE(pto.find("img3.jpg"), std::string::npos);
}

}  // namespace veldan::test
