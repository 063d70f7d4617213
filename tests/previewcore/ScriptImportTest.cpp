// Script import on real files: order of assignment, surplus files, copy and
// move into the project folder, and the cancelled transfer.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "platform/Text.h"
#include "preview/document/VELDANpreviewDoc.h"

namespace veldan::test {

using namespace veldan::preview;

namespace fs = std::filesystem;

namespace {

class ScriptImportTest : public ::testing::Test {
protected:
    TempHome home;
    DocumentList list;
    ScriptedUi ui;
    fs::path project = home.Root() / "Project";
    fs::path cards = home.Root() / "Card";

    ScriptImportTest() { fs::create_directories(cards); }

    // A script of `shots` tiles side by side.
    std::wstring Script(int shots) {
        std::string text = "V 0\n";
        for (int i = 0; i < shots; ++i) text += "H " + std::to_string(i * 30) + "\nSHOOT\n";
        const fs::path file = home.Root() / "script.txt";
        WriteText(file, text);
        return veldan::platform::PathToWide(file);
    }
    std::wstring Card(const char* name) {
        WriteJpeg(cards / name, 30, 20);
        return veldan::platform::PathToWide(cards / name);
    }
    std::unique_ptr<CVELDANpreviewDoc> NewDoc() {
        auto doc = std::make_unique<CVELDANpreviewDoc>(list);
        doc->Project().description.Set(L"Imported");
        doc->Project().project_path.Set(veldan::platform::PathToWide(project).c_str());
        return doc;
    }
    static std::wstring FileOf(CVELDANpreviewDoc& d, uint32_t t, uint32_t i) {
        const wchar_t* f = d.Project().Tile(t)->Bracketing(0)->GetImage(i)->GetFilename();
        return f ? f : L"";
    }
};

}  // namespace

TEST_F(ScriptImportTest, FilesGoToImagesInPlainCodeUnitOrder) {
    auto doc = NewDoc();
    ui.files = {Card("img10.jpg"), Card("img2.jpg"), Card("img1.jpg")};
    ui.answers = {DocumentUi::Answer::No};  // leave the files where they are
    ASSERT_TRUE(doc->ImportScript(Script(3).c_str(), ui));
    ASSERT_EQ(doc->Project().TileCount(), 3u);
    EXPECT_EQ(FileOf(*doc, 0, 0), veldan::platform::PathToWide(cards / "img1.jpg"));
    EXPECT_EQ(FileOf(*doc, 1, 0), veldan::platform::PathToWide(cards / "img10.jpg"));
    EXPECT_EQ(FileOf(*doc, 2, 0), veldan::platform::PathToWide(cards / "img2.jpg"));
    // The script's camera is turned: the 30 x 20 picture stands upright.
    EXPECT_DOUBLE_EQ(doc->Project().Tile(0)->aspect_ratio, 20.0 / 30.0);
    EXPECT_EQ(ui.progress, (std::vector<uint32_t>{1, 2, 3}));
    // Saved at once under the project's own name.
    EXPECT_EQ(doc->PathName(), project / "Imported.vpp");
    CVELDANpreviewDoc reopened(list);
    ASSERT_TRUE(reopened.OnOpenDocument(project / "Imported.vpp"));
    EXPECT_EQ(FileOf(reopened, 2, 0), veldan::platform::PathToWide(cards / "img2.jpg"));
}

TEST_F(ScriptImportTest, BracketedShotsTakeFilesInShootingOrderAndSurplusIsIgnored) {
    auto doc = NewDoc();
    doc->Project().hdri.enabled = true;
    doc->Project().hdri.count = 3;
    doc->Project().hdri.shutter = 0;  // one release, three pictures
    for (int i = 1; i <= 7; ++i) ui.files.push_back(Card(("f" + std::to_string(i) + ".jpg").c_str()));
    ui.answers = {DocumentUi::Answer::No};
    ASSERT_TRUE(doc->ImportScript(Script(2).c_str(), ui));
    ASSERT_EQ(doc->Project().TileCount(), 2u);
    ASSERT_EQ(doc->Project().Tile(0)->Bracketing(0)->GetImageCnt(), 3u);
    EXPECT_EQ(FileOf(*doc, 0, 2), veldan::platform::PathToWide(cards / "f3.jpg"));
    EXPECT_EQ(FileOf(*doc, 1, 0), veldan::platform::PathToWide(cards / "f4.jpg"));
    EXPECT_EQ(FileOf(*doc, 1, 2), veldan::platform::PathToWide(cards / "f6.jpg"));
    EXPECT_EQ(ui.progress.back(), 6u);
}

TEST_F(ScriptImportTest, CopyKeepsOriginalsMoveTakesThem) {
    auto copied = NewDoc();
    ui.files = {Card("a.jpg"), Card("b.jpg")};
    ui.answers = {DocumentUi::Answer::Yes, DocumentUi::Answer::Yes};  // store in project, keep originals
    ASSERT_TRUE(copied->ImportScript(Script(2).c_str(), ui));
    EXPECT_EQ(ui.questions.at(0), L"Do you want to store the images within the project directory ? (recommended)");
    EXPECT_EQ(ui.questions.at(1), L"Do you want to keep the original files at their current location ?");
    EXPECT_EQ(FileOf(*copied, 1, 0), veldan::platform::PathToWide(project / "b.jpg"));
    EXPECT_TRUE(fs::exists(project / "b.jpg"));
    EXPECT_TRUE(fs::exists(cards / "b.jpg"));

    fs::remove_all(project);
    auto moved = NewDoc();
    ui.answers = {DocumentUi::Answer::Yes, DocumentUi::Answer::No};  // store in project, move
    ASSERT_TRUE(moved->ImportScript(Script(2).c_str(), ui));
    EXPECT_EQ(FileOf(*moved, 0, 0), veldan::platform::PathToWide(project / "a.jpg"));
    EXPECT_TRUE(fs::exists(project / "a.jpg"));
    EXPECT_FALSE(fs::exists(cards / "a.jpg"));
}

TEST_F(ScriptImportTest, ExistingTargetIsAskedAboutAndCancelImportsNothing) {
    fs::create_directories(project);
    WriteText(project / "a.jpg", "older picture");
    auto doc = NewDoc();
    ui.files = {Card("a.jpg"), Card("b.jpg")};
    ui.answers = {DocumentUi::Answer::Yes, DocumentUi::Answer::Yes, DocumentUi::Answer::Cancel};
    ASSERT_TRUE(doc->ImportScript(Script(2).c_str(), ui));
    EXPECT_EQ(ReadAll(project / "a.jpg"), "older picture");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], L"File operation cancelled. No Images will be imported!");
    EXPECT_EQ(FileOf(*doc, 0, 0), L"");
    EXPECT_TRUE(fs::exists(project / "Imported.vpp"));  // saved without images
}

TEST_F(ScriptImportTest, StoppedTransferImportsNothingAndLosesNothing) {
    auto doc = NewDoc();
    ui.files = {Card("a.jpg"), Card("b.jpg"), Card("c.jpg")};
    ui.answers = {DocumentUi::Answer::Yes, DocumentUi::Answer::No};  // move
    ui.cancelAfter = 1;                                              // the user stops after the first file
    ASSERT_TRUE(doc->ImportScript(Script(3).c_str(), ui));
    EXPECT_EQ(ui.messages.back(), L"File operation cancelled. No Images will be imported!");
    EXPECT_EQ(FileOf(*doc, 0, 0), L"");
    // Every picture is still somewhere: the moved one in the project folder.
    EXPECT_TRUE(fs::exists(project / "a.jpg"));
    EXPECT_TRUE(fs::exists(cards / "b.jpg"));
    EXPECT_TRUE(fs::exists(cards / "c.jpg"));
}

TEST_F(ScriptImportTest, FilesAlreadyInTheProjectFolderStayPut) {
    fs::create_directories(project);
    WriteJpeg(project / "p.jpg", 30, 20);
    auto doc = NewDoc();
    ui.files = {veldan::platform::PathToWide(project / "p.jpg")};
    ui.answers = {DocumentUi::Answer::Yes, DocumentUi::Answer::No};
    ASSERT_TRUE(doc->ImportScript(Script(1).c_str(), ui));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(fs::exists(project / "p.jpg"));
    EXPECT_EQ(FileOf(*doc, 0, 0), veldan::platform::PathToWide(project / "p.jpg"));
}

TEST_F(ScriptImportTest, UnreadableScriptStillOffersImages) {
    auto doc = NewDoc();
    ui.files = {};
    ASSERT_TRUE(doc->ImportScript(L"/nonexistent/script.txt", ui));
    EXPECT_EQ(doc->Project().TileCount(), 0u);
    EXPECT_TRUE(ui.questions.empty());  // no files chosen: no questions
    EXPECT_TRUE(fs::exists(project / "Imported.vpp"));
}

}  // namespace veldan::test
