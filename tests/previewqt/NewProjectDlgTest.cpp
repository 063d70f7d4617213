// The New Project dialog: the tile count follows every planning input, and
// the accepted dialog leaves a planned project with its path.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include "NewProjectDlg.h"
#include "TestSupport.h"
#include "ViewTestSupport.h"

namespace veldan::test {

using namespace veldan::preview;

namespace {

class NewProjectDlgTest : public ::testing::Test {
protected:
    TempHome home;
    DocumentList list;
    CVELDANpreviewDoc doc{list};

    template <typename T>
    T* Field(CNewProjectDlg& dialog, const char* name) {
        T* w = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

TEST_F(NewProjectDlgTest, TileCountFollowsEveryPlanningInput) {
    CNewProjectDlg dialog(doc.Project());
    // Defaults: full sphere, 36 x 24 sensor, 50 mm, landscape, 10 % overlap.
    EXPECT_EQ(dialog.TileCount(), 88u);
    auto* label = Field<QLabel>(dialog, "TileCount");
    EXPECT_EQ(label->text(), QStringLiteral("88 tiles"));
    Field<QCheckBox>(dialog, "MultirowOptimization")->setChecked(true);
    EXPECT_EQ(dialog.TileCount(), 70u);
    Field<QCheckBox>(dialog, "LegacyArrangement")->setChecked(true);
    EXPECT_EQ(dialog.TileCount(), 62u);
    Field<QCheckBox>(dialog, "MultirowOptimization")->setChecked(false);
    EXPECT_EQ(dialog.TileCount(), 79u);
    EXPECT_EQ(label->text(), QStringLiteral("79 tiles"));
    Field<QCheckBox>(dialog, "LegacyArrangement")->setChecked(false);

    // A longer lens needs more tiles; a narrower range fewer.
    Field<QDoubleSpinBox>(dialog, "FocalLength")->setValue(100);
    EXPECT_GT(dialog.TileCount(), 88u);
    Field<QDoubleSpinBox>(dialog, "FocalLength")->setValue(50);
    Field<QDoubleSpinBox>(dialog, "BeginPhi")->setValue(0);
    Field<QDoubleSpinBox>(dialog, "EndPhi")->setValue(0);
    EXPECT_EQ(dialog.TileCount(), 11u);
    Field<QComboBox>(dialog, "Orientation")->setCurrentIndex(1);  // portrait: narrower frames
    EXPECT_GT(dialog.TileCount(), 11u);
    Field<QDoubleSpinBox>(dialog, "Overlap")->setValue(50);
    EXPECT_GT(dialog.TileCount(), 16u);
    // The entered range stays as typed (counting normalises a scratch copy).
    EXPECT_EQ(Field<QDoubleSpinBox>(dialog, "EndPhi")->value(), 0);
}

TEST_F(NewProjectDlgTest, AcceptedDialogPlansTilesBracketingAndPath) {
    CNewProjectDlg dialog(doc.Project());
    Field<QLineEdit>(dialog, "Description")->setText(QStringLiteral("Lake"));
    Field<QLineEdit>(dialog, "Folder")->setText(QString::fromStdString((home.Root() / "Shots").string()));
    Field<QCheckBox>(dialog, "Bracketing")->setChecked(true);
    Field<QSpinBox>(dialog, "ExposureCount")->setValue(3);
    Field<QComboBox>(dialog, "PathOrder")->setCurrentIndex(1);  // rows from the top
    EXPECT_EQ(dialog.TileCount(), 88u);
    dialog.Apply();
    VELDANPanoramaProject& p = doc.Project();
    ASSERT_EQ(p.TileCount(), 88u);
    EXPECT_EQ(p.path.GetItemCount(), 88u);
    EXPECT_EQ(p.options.path, 1u);
    EXPECT_TRUE(p.hdri.enabled);
    // Rows from the top: the first node names a tile of the highest row.
    const double firstPhi = p.Tile(static_cast<uint32_t>(p.path.Node(0)->tile_nr))->pos_y;
    for (uint32_t t = 0; t < p.TileCount(); ++t) EXPECT_LE(p.Tile(t)->pos_y, firstPhi + 1e-9);
    VELDANPanoramaBracketing* b = p.Tile(0)->Bracketing(0);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->GetImageCnt(), 3u);
    EXPECT_EQ(b->images[0]->ev, -3);
    EXPECT_EQ(b->images[2]->ev, 3);
    EXPECT_NEAR(p.Tile(0)->fov_x, 39.60, 0.01);

    ScriptedUi ui;
    ASSERT_TRUE(doc.OnNewDocument(ui));
    EXPECT_EQ(doc.PathName(), home.Root() / "Shots" / "Lake.vpp");
    EXPECT_NEAR(p.Tile(0)->aspect_ratio, 39.60 / 26.99, 0.01);
    CVELDANpreviewDoc reopened(list);
    ASSERT_TRUE(reopened.OnOpenDocument(doc.PathName()));
    EXPECT_EQ(reopened.Project().TileCount(), 88u);
    EXPECT_EQ(reopened.Project().path.GetItemCount(), 88u);
}

}  // namespace

}  // namespace veldan::test
