// Tests of the project model: defaults, factories, bracketing slots, equality,
// copies and tile distances.
#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "VELDANPanoramaProject.h"

namespace veldan::test {

namespace {

VELDANPanoramaImage Named(const wchar_t* name, int32_t ev = 0) {
    VELDANPanoramaImage image;
    image.SetFilename(name);
    image.ev = ev;
    return image;
}

}  // namespace

TEST(ProjectModel, NewProjectHasItsDefaults) {
    const std::time_t before = std::time(nullptr);
    VELDANPanoramaProject p;
    EXPECT_EQ(p.GetItemCount(), 0u);
    EXPECT_EQ(p.path.GetItemCount(), 0u);
    ASSERT_NE(p.description.Get(), nullptr);
    EXPECT_STREQ(p.description.Get(), L"VELDANmodular Panorama Project");
    EXPECT_EQ(p.project_path.Get(), nullptr);
    EXPECT_EQ(p.fov.begin_theta, 0);
    EXPECT_EQ(p.fov.end_theta, 360);
    EXPECT_EQ(p.fov.begin_phi, -90);
    EXPECT_EQ(p.fov.end_phi, 90);
    EXPECT_FALSE(p.hdri.enabled);
    EXPECT_EQ(p.hdri.count, 3u);
    EXPECT_EQ(p.hdri.step, 3);
    EXPECT_EQ(p.hdri.order, 1);
    EXPECT_EQ(p.hdri.shutter, 1);
    EXPECT_DOUBLE_EQ(p.options.overlap, 0.1);
    EXPECT_FALSE(p.options.multirow_optimization);
    EXPECT_FALSE(p.options.legacy_arrangement);
    EXPECT_EQ(p.options.path, 0u);
    EXPECT_EQ(p.lens.focal_length, 0);
    EXPECT_EQ(p.camera.orientation, 0u);
    // Both dates are the creation time (local calendar).
    std::tm local{};
    localtime_r(&before, &local);
    EXPECT_EQ(p.capture_time.year, local.tm_year + 1900);
    EXPECT_EQ(p.capture_time.month, local.tm_mon + 1);
    EXPECT_EQ(p.modification_time.year, p.capture_time.year);
    EXPECT_EQ(p.modification_time.day, p.capture_time.day);
}

TEST(ProjectModel, FactoriesGiveNullOneOrAnArray) {
    EXPECT_EQ(new_VELDANPanoramaTile(0), nullptr);
    std::unique_ptr<VELDANPanoramaTile[]> tiles(new_VELDANPanoramaTile(3));
    ASSERT_NE(tiles, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tiles[i].variant, 0u);
        EXPECT_EQ(tiles[i].bracketings.GetItemCount(), 0u);
        EXPECT_EQ(tiles[i].height_factor, 1.0);
        EXPECT_EQ(tiles[i].aspect_ratio, 1.0);
    }
    std::unique_ptr<VELDANPanoramaProject> one(new_VELDANPanoramaProject(1));
    ASSERT_NE(one, nullptr);
    EXPECT_STREQ(one->description.Get(), L"VELDANmodular Panorama Project");
    std::unique_ptr<VELDANPanoramaImage[]> images(new_VELDANPanoramaImage(2));
    EXPECT_EQ(images[1].GetFilename(), nullptr);
    std::unique_ptr<VELDANPanoramaPathNode> node(new_VELDANPanoramaPathNode(1));
    EXPECT_EQ(node->tile_nr, 0);
    std::unique_ptr<VELDANPanoramaPath> path(new_VELDANPanoramaPath(1));
    EXPECT_EQ(path->GetItemCount(), 0u);
    std::unique_ptr<VELDANPanoramaBracketing> b(new_VELDANPanoramaBracketing(1));
    EXPECT_EQ(b->GetImageCnt(), 0u);
}

TEST(ProjectModel, BracketingSlots) {
    VELDANPanoramaBracketing b;
    b.SetImageCnt(3);
    VELDANPanoramaImage* first = b.GetImage(0);
    ASSERT_NE(first, nullptr);
    b.SetImageCnt(3);  // same count keeps the images
    EXPECT_EQ(b.GetImage(0), first);
    VELDANPanoramaImage source = Named(L"/x/a.jpg", -3);
    EXPECT_FALSE(b.SetImage(5, &source));
    EXPECT_TRUE(b.SetImage(1, &source));
    EXPECT_STREQ(b.GetImage(1)->GetFilename(), L"/x/a.jpg");
    EXPECT_EQ(b.GetImage(1)->ev, -3);
    EXPECT_NE(b.GetImage(1), &source);
    b.SetImageCnt(2);  // a different count: every image destroyed
    EXPECT_EQ(b.GetImageCnt(), 2u);
    EXPECT_EQ(b.images[0], nullptr);
    EXPECT_EQ(b.images[1], nullptr);
    EXPECT_EQ(b.GetImage(2), nullptr);
    b.GetImage(0);
    b.DeleteImage(0);
    EXPECT_EQ(b.images[0], nullptr);
    b.CleanUp();
    EXPECT_EQ(b.GetImageCnt(), 0u);
    EXPECT_EQ(b.GetImage(0), nullptr);
}

TEST(ProjectModel, BracketingEqualityIsIdentityOfImages) {
    VELDANPanoramaBracketing a;
    EXPECT_FALSE(a == a);  // no array
    a.SetImageCnt(2);
    EXPECT_TRUE(a == a);
    a.GetImage(0)->SetFilename(L"/x/a.jpg");
    VELDANPanoramaBracketing copy(a);
    EXPECT_FALSE(copy == a);  // copies of the same images are other objects
    ASSERT_NE(copy.GetImage(0), nullptr);
    EXPECT_STREQ(copy.GetImage(0)->GetFilename(), L"/x/a.jpg");
    EXPECT_NE(copy.GetImage(0), a.GetImage(0));
    VELDANPanoramaBracketing empty1, empty2;
    empty1.SetImageCnt(2);
    empty2.SetImageCnt(2);
    EXPECT_TRUE(empty1 == empty2);  // all slots empty on both
}

TEST(ProjectModel, TileEqualityComparesThePositionOnly) {
    VELDANPanoramaTile a, b;
    a.pos_x = b.pos_x = 30;
    a.fov_x = 10;
    b.fov_x = 20;
    EXPECT_TRUE(a == b);
    b.pos_y = 1e-12;
    EXPECT_FALSE(a == b);
}

TEST(ProjectModel, SensorAssignmentKeepsTheTargetsType) {
    VELDANPanoramaProject::_SENSOR builtin;
    builtin.type.Set(L"Built-In");
    builtin.manufacturer.Set(L"Acme");
    builtin.dimension_x = 36;
    EXPECT_TRUE(builtin.IsBuiltIn());
    VELDANPanoramaProject::_SENSOR target;
    target = builtin;
    EXPECT_FALSE(target.IsBuiltIn());
    EXPECT_STREQ(target.manufacturer.Get(), L"Acme");
    EXPECT_NE(target.manufacturer.Get(), builtin.manufacturer.Get());  // duplicated
    EXPECT_EQ(target.dimension_x, 36);
    VELDANPanoramaProject::_SENSOR constructed(builtin);
    EXPECT_TRUE(constructed.IsBuiltIn());
}

TEST(ProjectModel, StringSetCopiesAndNullLeavesItAbsent) {
    VELDANPanoramaProject::_STRING s;
    EXPECT_EQ(s.Get(), nullptr);
    wchar_t text[] = L"abc";
    s.Set(text);
    text[0] = L'z';
    EXPECT_STREQ(s.Get(), L"abc");
    s.Set(s.Get());  // its own text
    EXPECT_STREQ(s.Get(), L"abc");
    s.Set(nullptr);
    EXPECT_EQ(s.Get(), nullptr);
}

TEST(ProjectModel, ProjectCopyDuplicatesTilesPathAndRecords) {
    VELDANPanoramaProject p;
    p.sensor.type.Set(L"built-in");
    p.lens.model.Set(L"50mm");
    auto* tile = new VELDANPanoramaTile();
    tile->pos_x = 12;
    auto* b = new VELDANPanoramaBracketing();
    b->SetImageCnt(1);
    b->GetImage(0)->SetFilename(L"/p/one.jpg");
    tile->bracketings.AddItem(b, 0u);
    p.AppendTile(tile);
    p.path.Append(0);

    VELDANPanoramaProject copy(p);
    ASSERT_EQ(copy.TileCount(), 1u);
    EXPECT_NE(copy.Tile(0), p.Tile(0));
    EXPECT_EQ(copy.Tile(0)->pos_x, 12);
    ASSERT_EQ(copy.Tile(0)->bracketings.GetItemCount(), 1u);
    EXPECT_STREQ(copy.Tile(0)->Bracketing(0)->GetImage(0)->GetFilename(), L"/p/one.jpg");
    EXPECT_NE(copy.Tile(0)->Bracketing(0)->GetImage(0), p.Tile(0)->Bracketing(0)->GetImage(0));
    EXPECT_EQ(copy.path.GetItemCount(), 1u);
    EXPECT_TRUE(copy.sensor.IsBuiltIn());  // copy construction copies the type

    VELDANPanoramaProject assigned;
    assigned = p;
    EXPECT_FALSE(assigned.sensor.IsBuiltIn());  // assignment keeps the target's type
    EXPECT_STREQ(assigned.lens.model.Get(), L"50mm");
    EXPECT_EQ(assigned.TileCount(), 1u);
}

TEST(ProjectModel, ImagesCompareByNameIgnoringCase) {
    VELDANPanoramaImage a = Named(L"/Shots/IMG_0001.JPG");
    VELDANPanoramaImage b = Named(L"/shots/img_0001.jpg");
    VELDANPanoramaImage none;
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == none);
    EXPECT_FALSE(none == none);
    VELDANPanoramaImage c = a;
    EXPECT_TRUE(c == a);
    EXPECT_NE(c.GetFilename(), a.GetFilename());
}

TEST(ProjectModel, DistancesBetweenTiles) {
    VELDANPanoramaTile a, b;
    b.pos_x = 3;
    b.pos_y = 4;
    EXPECT_EQ(VELDANPanoramaTile::Distance(a, b), 5.0L);
    EXPECT_EQ(VELDANPanoramaTile::MovingDistance(a, b), 4.0L);
}

}  // namespace veldan::test
