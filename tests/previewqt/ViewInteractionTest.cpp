// Working with tiles through simulated mouse events on a shown view: the
// hover highlight after its timer, selection by clicks, both context menus
// with their items, the tile commands, the image preview on double click,
// and the blended display that ignores the mouse.
#include <QAction>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include "ImagePreviewDlg.h"
#include "PreviewView.h"
#include "TestSupport.h"
#include "ViewTestSupport.h"
#include "platform/Window.h"

namespace veldan::test {

using namespace veldan::preview;

namespace {

struct MenuSeen {
    QString name;
    QStringList texts;
    QList<bool> enabled;
    QList<bool> checked;
    int calls = 0;
};

class ViewInteractionTest : public ::testing::Test {
protected:
    TempHome home;
    DocumentList list;
    CVELDANpreviewDoc doc{list};
    ScriptedUi ui;
    VELDANPanoramaProject& project = doc.Project();
    std::unique_ptr<CVELDANpreviewView> view;
    MenuSeen menu;
    int menuAnswer = 0;
    std::vector<VELDANPanoramaImage*> previewed;

    // n tiles in one row across the panorama, each with a bracketing of the
    // offsets -3, 0, 3.
    void MakeRow(int n) {
        for (int t = 0; t < n; ++t) {
            auto* tile = new VELDANPanoramaTile();
            tile->pos_x = (t + 0.5) * 360.0 / n;
            tile->pos_y = 0;
            tile->fov_x = 300.0 / n;
            tile->fov_y = 300.0 / n * 0.75;
            auto* b = new VELDANPanoramaBracketing();
            b->SetImageCnt(3);
            for (int i = 0; i < 3; ++i) b->GetImage(i)->ev = (i - 1) * 3;
            tile->bracketings.AddItem(b, 0);
            project.AppendTile(tile);
        }
    }
    bool scriptedPreview = true;
    void Show() {
        view = std::make_unique<CVELDANpreviewView>(doc, ui);
        view->SetMenuRunner([this](QMenu& m, const QPoint&) {
            ++menu.calls;
            menu = MenuSeen{m.objectName(), {}, {}, {}, menu.calls};
            for (QAction* a : m.actions()) {
                if (a->isSeparator()) continue;
                menu.texts << a->text();
                menu.enabled << a->isEnabled();
                menu.checked << a->isChecked();
            }
            return menuAnswer;
        });
        if (scriptedPreview) view->SetPreviewRunner([this](VELDANPanoramaImage* image) { previewed.push_back(image); });
        view->resize(600, 300);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        ASSERT_TRUE(AwaitGui([&] { return !view->RefreshPending(); }));
    }
    QPoint Centre(uint32_t t) {
        const VELDANPanoramaTile* tile = project.Tile(t);
        return QPoint(static_cast<int>((tile->display_left + tile->display_right) / 2),
                      static_cast<int>((tile->display_top + tile->display_bottom) / 2));
    }
    uint32_t Flags(uint32_t t) { return project.Tile(t)->display_flags; }
    QPoint Empty() { return QPoint(2, 2); }
};

TEST_F(ViewInteractionTest, HoverFollowsTheMouseAfterItsTimer) {
    MakeRow(3);
    Show();
    ASSERT_EQ(view->HitTest(Empty().x(), Empty().y()), -1);
    QTest::mouseMove(view.get(), Centre(1));
    ASSERT_TRUE(AwaitGui([&] { return Flags(1) & 1; }));
    QTest::mouseMove(view.get(), Centre(2));
    ASSERT_TRUE(AwaitGui([&] { return Flags(2) & 1; }));
    EXPECT_FALSE(Flags(1) & 1);
    QTest::mouseMove(view.get(), Empty());
    ASSERT_TRUE(AwaitGui([&] { return !(Flags(2) & 1); }));
    for (uint32_t t = 0; t < 3; ++t) EXPECT_EQ(Flags(t) & 1, 0u);
}

TEST_F(ViewInteractionTest, LeftClicksToggleTilesAndAClickBesideClearsAll) {
    MakeRow(3);
    Show();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(0));
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(2));
    EXPECT_EQ(SelectedTiles(project), (std::vector<uint32_t>{0, 2}));
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(0));
    EXPECT_EQ(SelectedTiles(project), (std::vector<uint32_t>{2}));
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(1));
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Empty());
    EXPECT_TRUE(SelectedTiles(project).empty());
}

TEST_F(ViewInteractionTest, RightClickOnAnotherTileSelectsOnlyItAndShowsTheTileMenu) {
    MakeRow(3);
    Show();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(0));
    QTest::mouseClick(view.get(), Qt::RightButton, {}, Centre(1));
    EXPECT_EQ(SelectedTiles(project), (std::vector<uint32_t>{1}));
    EXPECT_EQ(menu.name, QStringLiteral("TILE_CONTEXT_MENU"));
    EXPECT_EQ(menu.texts, (QStringList{"Refresh", "Locate Imagefile...", "View Image",
                                       "Open with associated program...", "New Variant", "Variant 1"}));
    // Nothing has been shot: the picture commands are greyed.
    EXPECT_EQ(menu.enabled, (QList<bool>{true, true, false, false, true, true}));
    EXPECT_TRUE(menu.checked.back());

    // Beside the tiles: the view menu, and the selection is gone.
    menuAnswer = kCmdSelectAll;
    QTest::mouseClick(view.get(), Qt::RightButton, {}, Empty());
    EXPECT_EQ(menu.name, QStringLiteral("VIEW_CONTEXT_MENU"));
    EXPECT_EQ(menu.texts, QStringList{"Select all"});
    EXPECT_EQ(SelectedTiles(project).size(), 3u);  // "Select all" was chosen
}

TEST_F(ViewInteractionTest, NewVariantCopiesTheOffsetsAndBecomesTheCheckedVariant) {
    MakeRow(2);
    Show();
    menuAnswer = kCmdNewVariant;
    QTest::mouseClick(view.get(), Qt::RightButton, {}, Centre(0));
    VELDANPanoramaTile* tile = project.Tile(0);
    ASSERT_EQ(tile->bracketings.GetItemCount(), 2u);
    EXPECT_EQ(tile->variant, 1u);
    VELDANPanoramaBracketing* made = tile->Bracketing(1);
    ASSERT_EQ(made->GetImageCnt(), 3u);
    EXPECT_EQ(made->images[0]->ev, -3);
    EXPECT_EQ(made->images[1]->ev, 0);
    EXPECT_EQ(made->images[2]->ev, 3);
    EXPECT_TRUE(SelectedTiles(project).empty());
    EXPECT_TRUE(doc.IsModified());

    menuAnswer = 0;
    QTest::mouseClick(view.get(), Qt::RightButton, {}, Centre(0));
    ASSERT_GE(menu.texts.size(), 7);
    EXPECT_EQ(menu.texts.mid(5), (QStringList{"Variant 1", "Variant 2"}));
    EXPECT_EQ(menu.checked.mid(5), (QList<bool>{false, true}));

    // Variant 1 again; an index past the count changes nothing but still
    // deselects.
    view->OnCommand(kCmdVariantFirst);
    EXPECT_EQ(tile->variant, 0u);
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(0));
    view->OnCommand(kCmdVariantFirst + 5);
    EXPECT_EQ(tile->variant, 0u);
    EXPECT_TRUE(SelectedTiles(project).empty());
}

TEST_F(ViewInteractionTest, MultipleSelectionMenuGreysPicturesAndListsTheMostVariants) {
    MakeRow(3);
    Show();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(0));
    view->OnCommand(kCmdNewVariant);  // tile 0 has two variants now
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(0));
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(1));
    QTest::mouseClick(view.get(), Qt::RightButton, {}, Centre(2));
    EXPECT_EQ(SelectedTiles(project), (std::vector<uint32_t>{0, 1}));  // a multiple selection stays
    EXPECT_EQ(menu.texts.mid(5), (QStringList{"Variant 1", "Variant 2"}));
    EXPECT_EQ(menu.checked.mid(5), (QList<bool>{false, false}));
    EXPECT_FALSE(menu.enabled[2]);
}

TEST_F(ViewInteractionTest, LocateImagefileGivesFilesInOrderUntilTheyRunOut) {
    MakeRow(5);
    Show();
    for (int i = 0; i < 3; ++i) {
        const fs::path f = home.Root() / ("shot" + std::to_string(i) + ".jpg");
        WriteColouredJpeg(f, 300 + 100 * i, 200, 0xFF808080);
        ui.files.push_back(Wide(f));
    }
    view->OnCommand(kCmdSelectAll);
    view->OnCommand(kCmdLocateImagefile);
    for (uint32_t t = 0; t < 3; ++t) {
        VELDANPanoramaImage* image = project.Tile(t)->Bracketing(0)->images[0].get();
        ASSERT_NE(image->GetFilename(), nullptr);
        EXPECT_EQ(std::wstring(image->GetFilename()), ui.files[t]);
        EXPECT_DOUBLE_EQ(project.Tile(t)->aspect_ratio, (300.0 + 100 * t) / 200);
    }
    EXPECT_EQ(project.Tile(3)->Bracketing(0)->images[0]->GetFilename(), nullptr);
    EXPECT_EQ(SelectedTiles(project), (std::vector<uint32_t>{3, 4}));
    EXPECT_EQ(ui.progress, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(ViewInteractionTest, DoubleClickAndViewImageOpenThePreviewForShotImagesOnly) {
    MakeRow(3);
    const fs::path f = home.Root() / "taken.jpg";
    WriteColouredJpeg(f, 320, 240, 0xFF2060A0);
    VELDANPanoramaImage* shot = project.Tile(1)->Bracketing(0)->images[0].get();
    shot->SetFilename(Wide(f).c_str());
    ASSERT_EQ(shot->taken, 1u);
    Show();
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, Centre(0));
    EXPECT_TRUE(previewed.empty());
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, Centre(1));
    ASSERT_EQ(previewed.size(), 1u);
    EXPECT_EQ(previewed[0], shot);

    // The single menu of a shot tile enables the picture commands.
    QTest::mouseClick(view.get(), Qt::RightButton, {}, Centre(1));
    EXPECT_TRUE(menu.enabled[2]);
    EXPECT_TRUE(menu.enabled[3]);

    // "View Image" for the whole selection keeps it.
    view->OnCommand(kCmdSelectAll);
    view->OnCommand(kCmdViewImage);
    EXPECT_EQ(previewed.size(), 2u);
    EXPECT_EQ(SelectedTiles(project).size(), 3u);

    // "Open with..." hands only named files to the desktop and deselects.
    view->OnCommand(kCmdOpenWith);
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0], f);
    EXPECT_TRUE(SelectedTiles(project).empty());
}

TEST_F(ViewInteractionTest, RefreshDropsTheThumbnailsOfTheSelectedTiles) {
    MakeRow(2);
    const fs::path f = home.Root() / "thumbs.jpg";
    WriteColouredJpeg(f, 320, 240, 0xFF2060A0);
    VELDANPanoramaImage* image = project.Tile(0)->Bracketing(0)->images[0].get();
    image->SetFilename(Wide(f).c_str());
    image->GenerateThumb(nullptr, 64, 48);
    void* thumb = nullptr;
    ASSERT_EQ(image->GetImage(&thumb, 64, 48), VELDAN_IMAGE_OK);
    ASSERT_NE(thumb, nullptr);
    Show();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, Centre(0));
    doc.SetModifiedFlag(false);
    view->OnCommand(kCmdRefresh);
    void* after = nullptr;
    EXPECT_EQ(image->GetImage(&after, 64, 48), VELDAN_IMAGE_OK);
    EXPECT_EQ(after, nullptr);  // asked again, made anew in the background
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(SelectedTiles(project).empty());
}

TEST_F(ViewInteractionTest, TileChangedMarksTheDocumentModified) {
    MakeRow(2);
    Show();
    doc.SetModifiedFlag(false);
    int signals_ = 0;
    QObject::connect(view.get(), &CVELDANpreviewView::documentModified, [&] { ++signals_; });
    ASSERT_TRUE(veldan::platform::PostMessage(view->Handle(), WM_TILE_CHANGED, 1, 0));
    ASSERT_TRUE(AwaitGui([&] { return doc.IsModified(); }));
    EXPECT_EQ(signals_, 1);
}

TEST_F(ViewInteractionTest, BlendedDisplayIgnoresClicksHoverAndTheContextMenu) {
    MakeRow(3);
    Show();
    const QPoint c = Centre(1);
    ASSERT_TRUE(view->SetMode(kCmdBlended));
    QTest::mouseMove(view.get(), c);
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, c);
    QTest::mouseClick(view.get(), Qt::RightButton, {}, c);
    QTest::qWait(50);  // longer than the hover timer, which must not be running
    for (uint32_t t = 0; t < 3; ++t) EXPECT_EQ(Flags(t), 0u);
    EXPECT_EQ(menu.calls, 0);
}

TEST_F(ViewInteractionTest, DoubleClickShowsTheImagePreviewDialogModally) {
    MakeRow(2);
    const fs::path f = home.Root() / "modal.jpg";
    WriteColouredJpeg(f, 320, 240, 0xFF2060A0);
    project.Tile(0)->Bracketing(0)->images[0]->SetFilename(Wide(f).c_str());
    scriptedPreview = false;
    Show();
    QString title;
    QDeadlineTimer giveUp(30000);  // a dialog that never shows its picture still closes
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<CImagePreviewDlg*>(w); dialog && dialog->isVisible()) {
                // Closed once it has shown the picture at its size.
                if (!dialog->windowTitle().endsWith(QStringLiteral("%)")) && !giveUp.hasExpired()) return;
                title = dialog->windowTitle();
                dialog->done(1);
            }
    });
    closer.start(10);
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, Centre(0));  // returns when the dialog is closed
    closer.stop();
    EXPECT_TRUE(title.startsWith(QString::fromStdWString(Wide(f)))) << title.toStdString();
}

}  // namespace

}  // namespace veldan::test
