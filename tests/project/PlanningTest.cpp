// Tests of tile planning, exposure offsets, shooting paths and tile merging.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "settings/VeldanScript.h"

namespace veldan::test {

namespace {

VELDANPanoramaProject FullSphere(bool legacy, bool multirow) {
    VELDANPanoramaProject p;
    p.sensor.dimension_x = 36;
    p.sensor.dimension_y = 24;
    p.lens.focal_length = 50;
    p.camera.orientation = 1;
    p.options.overlap = 0.1;
    p.options.legacy_arrangement = legacy;
    p.options.multirow_optimization = multirow;
    return p;
}

// Column counts per row, rows in planning order.
std::vector<int> RowColumns(VELDANPanoramaProject& p) {
    std::vector<int> counts;
    double phi = NAN;
    for (uint32_t i = 0; i < p.TileCount(); ++i) {
        if (counts.empty() || p.Tile(i)->pos_y != phi) {
            counts.push_back(0);
            phi = p.Tile(i)->pos_y;
        }
        ++counts.back();
    }
    return counts;
}

std::vector<int> PathOf(VELDANPanoramaProject& p) {
    std::vector<int> nodes;
    for (uint32_t k = 0; k < p.path.GetItemCount(); ++k) nodes.push_back(p.path.Node(k)->tile_nr);
    return nodes;
}

VELDANPanoramaTile* AddTile(VELDANPanoramaProject& p, double theta, double phi, int images = 0) {
    auto* t = new VELDANPanoramaTile();
    t->pos_x = theta;
    t->pos_y = phi;
    if (images > 0) {
        auto* b = new VELDANPanoramaBracketing();
        b->SetImageCnt(images);
        for (int i = 0; i < images; ++i) b->GetImage(i)->ev = i;
        t->bracketings.AddItem(b, 0u);
    }
    p.AppendTile(t);
    return t;
}

std::vector<int32_t> Offsets(VELDANPanoramaBracketing* b) {
    std::vector<int32_t> ev;
    for (uint32_t i = 0; i < b->GetImageCnt(); ++i) ev.push_back(b->GetImage(i)->ev);
    return ev;
}

}  // namespace

TEST(TilePlanning, DefaultArrangementFullSphere) {
    VELDANPanoramaProject p = FullSphere(false, false);
    EXPECT_EQ(p.ComputeTiles(false), 88u);
    ASSERT_EQ(p.TileCount(), 88u);
    EXPECT_EQ(RowColumns(p), std::vector<int>(8, 11));
    const double rows[] = {-77.92, -55.66, -33.39, -11.13, 11.13, 33.39, 55.66, 77.92};
    for (int r = 0; r < 8; ++r) EXPECT_NEAR(p.Tile(r * 11)->pos_y, rows[r], 0.01);
    VELDANPanoramaTile* t = p.Tile(0);
    EXPECT_NEAR(t->fov_x, 39.5978, 1e-4);
    EXPECT_NEAR(t->fov_y, 26.9915, 1e-4);
    EXPECT_NEAR(t->pos_x, 360.0 / 11 / 2, 1e-9);
    EXPECT_NEAR(p.Tile(1)->pos_x, 360.0 / 11 * 1.5, 1e-9);
    // The range was widened by the margin d on both sides.
    EXPECT_LT(p.fov.begin_phi, -90.0);
    EXPECT_NEAR(p.fov.begin_phi + p.fov.end_phi, 0.0, 1e-9);
    EXPECT_NEAR(p.Tile(0)->pos_y - 25.4525 / 2, p.fov.begin_phi, 0.01);
    // One bracketing of one blank image, turned a quarter for orientation 1? No: upright.
    ASSERT_EQ(t->bracketings.GetItemCount(), 1u);
    ASSERT_EQ(t->Bracketing(0)->GetImageCnt(), 1u);
    EXPECT_EQ(t->Bracketing(0)->GetImage(0)->orientation, 0);
    EXPECT_EQ(t->Bracketing(0)->GetImage(0)->ev, 0);
    EXPECT_EQ(t->variant, 0u);
    EXPECT_EQ(p.path.GetItemCount(), 0u);
}

TEST(TilePlanning, TheFourArrangementsOfTheFullSphere) {
    VELDANPanoramaProject multi = FullSphere(false, true);
    EXPECT_EQ(multi.ComputeTiles(false), 70u);
    EXPECT_EQ(RowColumns(multi), (std::vector<int>{6, 8, 10, 11, 11, 10, 8, 6}));

    VELDANPanoramaProject legacy = FullSphere(true, false);
    EXPECT_EQ(legacy.ComputeTiles(false), 79u);
    EXPECT_EQ(RowColumns(legacy), (std::vector<int>{1, 11, 11, 11, 11, 11, 11, 11, 1}));
    EXPECT_EQ(legacy.Tile(0)->pos_y, -90.0);
    EXPECT_EQ(legacy.Tile(1)->pos_y, -67.5);
    EXPECT_EQ(legacy.Tile(78)->pos_y, 90.0);
    EXPECT_EQ(legacy.Tile(0)->pos_x, 180.0);
    EXPECT_EQ(legacy.fov.begin_phi, -90.0);  // not widened

    VELDANPanoramaProject legacyMulti = FullSphere(true, true);
    EXPECT_EQ(legacyMulti.ComputeTiles(false), 62u);
    EXPECT_EQ(RowColumns(legacyMulti), (std::vector<int>{1, 6, 9, 10, 10, 10, 9, 6, 1}));
}

TEST(TilePlanning, CountingLeavesThePlanButNormalisesTheRange) {
    VELDANPanoramaProject p = FullSphere(false, false);
    AddTile(p, 1, 2);
    p.path.Append(0);
    p.options.overlap = 1.5;
    p.fov.begin_theta = 300;
    p.fov.end_theta = 60;
    p.fov.begin_phi = 120;
    p.fov.end_phi = -100;
    const uint32_t counted = p.ComputeTiles(true);
    EXPECT_GT(counted, 0u);
    EXPECT_EQ(p.TileCount(), 1u);
    EXPECT_EQ(p.path.GetItemCount(), 1u);
    EXPECT_EQ(p.options.overlap, 0.99);
    EXPECT_EQ(p.fov.begin_theta, 60);
    EXPECT_EQ(p.fov.end_theta, 300);
    EXPECT_EQ(p.fov.begin_phi, -90);
    EXPECT_EQ(p.fov.end_phi, 90);

    VELDANPanoramaProject q = FullSphere(false, false);
    EXPECT_EQ(q.ComputeTiles(true), 88u);
    EXPECT_EQ(q.TileCount(), 0u);
    EXPECT_EQ(q.fov.begin_phi, -90);  // counting does not widen
}

TEST(TilePlanning, UnusableLensEmptiesThePlan) {
    VELDANPanoramaProject p = FullSphere(false, false);
    ASSERT_EQ(p.ComputeTiles(false), 88u);
    p.ComputePath(0);
    p.lens.focal_length = 0;
    EXPECT_EQ(p.ComputeTiles(true), 0u);
    EXPECT_EQ(p.TileCount(), 88u);
    EXPECT_EQ(p.ComputeTiles(false), 0u);
    EXPECT_EQ(p.TileCount(), 0u);
    EXPECT_EQ(p.path.GetItemCount(), 0u);
    p.lens.focal_length = 50;
    p.sensor.dimension_y = -1;
    EXPECT_EQ(p.ComputeTiles(false), 0u);
    // Absurd lens data that would plan billions of tiles is refused.
    p.sensor.dimension_y = 24;
    p.lens.focal_length = 1e9;
    EXPECT_EQ(p.ComputeTiles(false), 0u);
    // So is a bracketing of more exposures than any camera shoots.
    p.lens.focal_length = 50;
    p.hdri.enabled = true;
    p.hdri.count = 100000;
    EXPECT_EQ(p.ComputeTiles(false), 0u);
    p.hdri.count = 5;
    EXPECT_EQ(p.ComputeTiles(false), 88u);
}

TEST(TilePlanning, LegacySingleRowAndPortraitCamera) {
    VELDANPanoramaProject p = FullSphere(true, false);
    p.fov.begin_phi = p.fov.end_phi = 0;
    EXPECT_EQ(p.ComputeTiles(false), 11u);  // ceil(360 / (39.60 * 0.9))
    EXPECT_EQ(RowColumns(p), std::vector<int>{11});
    EXPECT_EQ(p.Tile(0)->pos_y, 0.0);
    p.options.multirow_optimization = true;
    EXPECT_EQ(p.ComputeTiles(false), 11u);

    VELDANPanoramaProject portrait = FullSphere(true, false);
    portrait.camera.orientation = 0;  // dimension_y runs horizontally
    portrait.fov.begin_phi = portrait.fov.end_phi = 0;
    EXPECT_EQ(portrait.ComputeTiles(false), 15u);  // ceil(360 / (26.99 * 0.9))
    EXPECT_NEAR(portrait.Tile(0)->fov_x, 26.9915, 1e-4);
    EXPECT_EQ(portrait.Tile(0)->Bracketing(0)->GetImage(0)->orientation, 1);
}

TEST(TilePlanning, ZeroAzimuthRangeCentresTheFrame) {
    VELDANPanoramaProject p = FullSphere(false, false);
    p.fov.begin_theta = p.fov.end_theta = 90;
    const uint32_t n = p.ComputeTiles(false);
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(p.Tile(0)->pos_x, 90);
    EXPECT_NEAR(p.fov.begin_theta, -39.5978 / 2, 1e-3);
    EXPECT_NEAR(p.fov.end_theta, 39.5978 / 2, 1e-3);
}

TEST(TilePlanning, BracketedTilesCarryTheirOffsets) {
    VELDANPanoramaProject p = FullSphere(false, false);
    p.hdri.enabled = true;
    p.hdri.count = 3;
    p.hdri.step = 3;
    p.hdri.order = 1;
    ASSERT_EQ(p.ComputeTiles(false), 88u);
    for (uint32_t i = 0; i < p.TileCount(); i += 17) {
        ASSERT_EQ(p.Tile(i)->bracketings.GetItemCount(), 1u);
        EXPECT_EQ(Offsets(p.Tile(i)->Bracketing(0)), (std::vector<int32_t>{-3, 0, 3}));
    }
}

TEST(ExposureOffsets, OrdersAndCounts) {
    auto row = [](uint32_t n, int32_t step, uint32_t order) {
        std::vector<int32_t> v;
        for (uint32_t i = 0; i < n; ++i) v.push_back(VELDANExposureOffset(n, i, step, order));
        return v;
    };
    EXPECT_EQ(row(3, 3, 1), (std::vector<int32_t>{-3, 0, 3}));
    EXPECT_EQ(row(3, 3, 2), (std::vector<int32_t>{3, 0, -3}));
    EXPECT_EQ(row(3, 3, 3), (std::vector<int32_t>{0, -3, 3}));
    EXPECT_EQ(row(3, 3, 4), (std::vector<int32_t>{0, 3, -3}));
    EXPECT_EQ(row(4, 1, 1), (std::vector<int32_t>{-2, -1, 1, 2}));
    EXPECT_EQ(row(4, 1, 2), (std::vector<int32_t>{2, 1, -1, -2}));
    EXPECT_EQ(row(4, 1, 3), row(4, 1, 1));
    EXPECT_EQ(row(4, 1, 4), row(4, 1, 2));
    EXPECT_EQ(row(5, 2, 3), (std::vector<int32_t>{0, -4, -2, 2, 4}));
    EXPECT_EQ(row(5, 2, 4), (std::vector<int32_t>{0, 4, 2, -2, -4}));
    EXPECT_EQ(row(1, 3, 1), (std::vector<int32_t>{0}));
    EXPECT_EQ(row(3, -3, 9), (std::vector<int32_t>{3, 0, -3}));
}

TEST(ShootingPath, TheEightOrders) {
    VELDANPanoramaProject p;
    AddTile(p, 0, 0);
    AddTile(p, 90, 0);
    AddTile(p, 0, 30);
    AddTile(p, 90, 30);
    const std::map<int, std::vector<int>> expected = {{0, {0, 1, 2, 3}}, {1, {2, 3, 0, 1}},  {2, {1, 0, 3, 2}},
                                                      {3, {3, 2, 1, 0}}, {4, {0, 2, 1, 3}},  {5, {1, 3, 0, 2}},
                                                      {6, {2, 0, 3, 1}}, {7, {3, 1, 2, 0}},  {8, {0, 1, 2, 3}},
                                                      {9, {0, 1, 2, 3}}, {255, {0, 1, 2, 3}}};
    for (const auto& [type, order] : expected) {
        EXPECT_TRUE(p.ComputePath(static_cast<uint8_t>(type)));
        EXPECT_EQ(PathOf(p), order) << "type " << type;
    }
}

TEST(ShootingPath, EdgeCases) {
    VELDANPanoramaProject empty;
    empty.path.Append(3);
    EXPECT_TRUE(empty.ComputePath(0));
    EXPECT_EQ(empty.path.GetItemCount(), 0u);

    VELDANPanoramaProject p;
    AddTile(p, 50, 10.000000001);
    AddTile(p, 10, 10.0);
    AddTile(p, 20, 10.0);
    AddTile(p, 20, 10.0);  // same position: keeps the list order
    AddTile(p, NAN, 10.0);
    ASSERT_TRUE(p.ComputePath(0));
    EXPECT_EQ(PathOf(p), (std::vector<int>{1, 2, 3, 4, 0}));  // rounding makes a separate row
    ASSERT_TRUE(p.ComputePath(2));
    EXPECT_EQ(PathOf(p), (std::vector<int>{2, 3, 1, 4, 0}));
}

TEST(ShootingPath, PlannedGridInRowsMatchesPlanningOrder) {
    VELDANPanoramaProject p = FullSphere(false, true);
    ASSERT_EQ(p.ComputeTiles(false), 70u);
    ASSERT_TRUE(p.ComputePath(0));
    const auto path = PathOf(p);
    for (int i = 0; i < 70; ++i) EXPECT_EQ(path[i], i);
}

TEST(TileMerging, SamePositionBecomesVariantsAndThePathIsRenumbered) {
    VELDANPanoramaProject p;
    AddTile(p, 30, 0, 1);
    AddTile(p, 30, 0, 2);
    AddTile(p, 60, 0, 1);
    p.path.Append(0);
    p.path.Append(1);
    p.path.Append(2);
    EXPECT_TRUE(p.MergeSimilarTiles());
    ASSERT_EQ(p.TileCount(), 2u);
    EXPECT_EQ(p.Tile(0)->bracketings.GetItemCount(), 2u);
    EXPECT_EQ(p.Tile(0)->Bracketing(1)->GetImageCnt(), 2u);
    EXPECT_EQ(p.Tile(1)->pos_x, 60);
    EXPECT_EQ(PathOf(p), (std::vector<int>{0, 0, 1}));
}

TEST(TileMerging, SharedImagesMergeIntoOneVariantAndEmptyTilesStayEmpty) {
    VELDANPanoramaTile a, b;
    a.pos_x = b.pos_x = 30;
    auto* own = new VELDANPanoramaBracketing();
    own->SetImageCnt(2);
    own->GetImage(0);
    a.bracketings.AddItem(own, 0u);
    b.bracketings.AddItem(new VELDANPanoramaBracketing(), 0u);
    a += a;  // the very same image objects: nothing new to merge
    EXPECT_EQ(a.bracketings.GetItemCount(), 1u);

    VELDANPanoramaTile none;
    none += a;
    EXPECT_EQ(none.bracketings.GetItemCount(), 0u);

    a += b;  // b's bracketing has no slots: not equal to any, appended as a copy
    EXPECT_EQ(a.bracketings.GetItemCount(), 2u);
    EXPECT_EQ(b.bracketings.GetItemCount(), 1u);  // the other tile is unchanged
}

TEST(TileMerging, MergedVariantsAreCopiesWithEmptySlotsKept) {
    VELDANPanoramaTile a, b;
    a.bracketings.AddItem(new VELDANPanoramaBracketing(), 0u);
    auto* theirs = new VELDANPanoramaBracketing();
    theirs->SetImageCnt(3);
    theirs->GetImage(0)->SetFilename(L"/x/1.jpg");
    theirs->GetImage(2)->ev = 3;
    b.bracketings.AddItem(theirs, 0u);
    a += b;
    ASSERT_EQ(a.bracketings.GetItemCount(), 2u);
    VELDANPanoramaBracketing* copy = a.Bracketing(1);
    EXPECT_NE(copy, theirs);
    EXPECT_STREQ(copy->images[0]->GetFilename(), L"/x/1.jpg");
    EXPECT_EQ(copy->images[1], nullptr);
    EXPECT_EQ(copy->images[2]->ev, 3);
}

namespace {

std::unique_ptr<CVeldanScript> Script(std::initializer_list<const char*> lines) {
    auto s = std::make_unique<CVeldanScript>();
    for (const char* l : lines) EXPECT_TRUE(s->AddOpFromString(l)) << l;
    return s;
}

}  // namespace

TEST(ScriptImport, ShotsBecomeTilesVariantsAndPath) {
    VELDANPanoramaProject p;
    auto s = Script({"H 0", "V 0", "SHOOT", "H 90", "SHOOT", "H 0", "SHOOT", "H 180"});
    ASSERT_TRUE(p.ImportVELDANscript(s.get(), 0));
    ASSERT_EQ(p.TileCount(), 2u);  // the last move creates no tile
    EXPECT_EQ(p.Tile(0)->pos_x, 0);
    EXPECT_EQ(p.Tile(0)->bracketings.GetItemCount(), 2u);
    EXPECT_EQ(p.Tile(1)->pos_x, 90);
    EXPECT_EQ(p.Tile(1)->bracketings.GetItemCount(), 1u);
    EXPECT_EQ(PathOf(p), (std::vector<int>{0, 1, 0}));
    // Focal length 0: the ratios of a 24 x 36 frame at 50 mm, camera turned.
    EXPECT_NEAR(p.Tile(0)->fov_x, 26.99, 0.01);
    EXPECT_NEAR(p.Tile(0)->fov_y, 39.60, 0.01);
    EXPECT_EQ(p.Tile(0)->Bracketing(0)->GetImage(0)->orientation, 1);
}

TEST(ScriptImport, PositionsAndImageCounts) {
    auto s = Script({"POS 45 -30", "SHOOT", "V 20", "SHOOT"});
    VELDANPanoramaProject forced;
    forced.hdri.enabled = true;
    ASSERT_TRUE(forced.ImportVELDANscript(s.get(), 3));
    ASSERT_EQ(forced.TileCount(), 2u);
    EXPECT_EQ(forced.Tile(0)->pos_x, 45);
    EXPECT_EQ(forced.Tile(0)->pos_y, -30);
    EXPECT_EQ(forced.Tile(1)->pos_x, 45);
    EXPECT_EQ(forced.Tile(1)->pos_y, 20);
    EXPECT_EQ(Offsets(forced.Tile(0)->Bracketing(0)), (std::vector<int32_t>{0, 0, 0}));

    VELDANPanoramaProject single;
    single.hdri.enabled = true;
    single.hdri.shutter = 1;  // every exposure fired on its own: one image per shot
    ASSERT_TRUE(single.ImportVELDANscript(s.get(), 0));
    EXPECT_EQ(single.Tile(0)->Bracketing(0)->GetImageCnt(), 1u);

    VELDANPanoramaProject burst;
    burst.hdri.enabled = true;
    burst.hdri.shutter = 0;
    ASSERT_TRUE(burst.ImportVELDANscript(s.get(), 0));
    EXPECT_EQ(Offsets(burst.Tile(0)->Bracketing(0)), (std::vector<int32_t>{-3, 0, 3}));

    VELDANPanoramaProject lens;
    lens.lens.focal_length = 24;
    lens.sensor.dimension_x = 36;
    lens.sensor.dimension_y = 24;
    lens.camera.orientation = 1;
    ASSERT_TRUE(lens.ImportVELDANscript(s.get(), 0));
    EXPECT_NEAR(lens.Tile(0)->fov_x, 73.74, 0.01);
    EXPECT_EQ(lens.Tile(0)->Bracketing(0)->GetImage(0)->orientation, 0);
}

TEST(ScriptImport, RefusalsLeaveTheProjectUnchanged) {
    VELDANPanoramaProject p;
    AddTile(p, 5, 5, 1);
    p.path.Append(0);
    EXPECT_FALSE(p.ImportVELDANscript(static_cast<void*>(nullptr), 0));
    CVeldanScript empty;
    EXPECT_FALSE(p.ImportVELDANscript(static_cast<void*>(&empty), 0));
    auto moves = Script({"H 10", "V 20", "WAIT 100"});
    EXPECT_FALSE(p.ImportVELDANscript(moves.get(), 0));
    EXPECT_FALSE(p.ImportVELDANscript(static_cast<const wchar_t*>(nullptr), 0));
    EXPECT_FALSE(p.ImportVELDANscript(L"/nonexistent/script.txt", 0));
    EXPECT_EQ(p.TileCount(), 1u);
    EXPECT_EQ(p.path.GetItemCount(), 1u);
}

TEST(ScriptImport, FromAFileWrittenByTheSettingsLibrary) {
    TempHome home;
    const auto file = home.Dir() / "run.txt";
    {
        std::ofstream out(file);
        out << "# a two-row run\nH 0\nV -20\nSHOOT\nRELEASE\nH 120\nSHOOT\nH 240\nSHOOT\nV 20\nH 0\nSHOOT\n";
    }
    VELDANPanoramaProject p;
    ASSERT_TRUE(p.ImportVELDANscript(file.wstring().c_str(), 0));
    ASSERT_EQ(p.TileCount(), 4u);
    EXPECT_EQ(p.Tile(3)->pos_y, 20);
    EXPECT_EQ(PathOf(p), (std::vector<int>{0, 1, 2, 3}));

    const auto broken = home.Dir() / "broken.txt";
    std::ofstream(broken) << "H 0\nFLY AWAY\nSHOOT\n";
    EXPECT_FALSE(p.ImportVELDANscript(broken.wstring().c_str(), 0));
    EXPECT_EQ(p.TileCount(), 4u);
}

TEST(ScriptExport, AlwaysFailsAndCreatesNoFile) {
    TempHome home;
    VELDANPanoramaProject p;
    AddTile(p, 0, 0, 1);
    CVeldanScript s;
    EXPECT_FALSE(p.ExportVELDANscript(static_cast<void*>(&s)));
    EXPECT_EQ(s.GetOpCnt(), 0);
    const auto file = home.Dir() / "out.txt";
    EXPECT_FALSE(p.ExportVELDANscript(file.wstring().c_str()));
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(ImageAssignment, SortedFilesGoToTheImagesInShootingOrder) {
    VELDANPanoramaProject p;
    AddTile(p, 0, 0, 2);
    VELDANPanoramaTile* second = AddTile(p, 90, 0, 1);
    auto* variant = new VELDANPanoramaBracketing();
    variant->SetImageCnt(1);
    second->bracketings.AddItem(variant, 1u);
    const uint32_t n =
        VELDANAssignImageFiles(p, {L"/d/img2.jpg", L"/d/img10.jpg", L"/d/img1.jpg", L"/d/IMG9.jpg", L"/d/zzz.jpg"});
    EXPECT_EQ(n, 4u);  // four image slots
    EXPECT_STREQ(p.Tile(0)->Bracketing(0)->GetImage(0)->GetFilename(), L"/d/IMG9.jpg");
    EXPECT_STREQ(p.Tile(0)->Bracketing(0)->GetImage(1)->GetFilename(), L"/d/img1.jpg");
    EXPECT_STREQ(p.Tile(1)->Bracketing(0)->GetImage(0)->GetFilename(), L"/d/img10.jpg");
    EXPECT_STREQ(p.Tile(1)->Bracketing(1)->GetImage(0)->GetFilename(), L"/d/img2.jpg");
}

}  // namespace veldan::test
