// A tile: one head position with its variants, and its project-file form.
#include <cmath>

#include "VELDANPanorama/PanoramaModel.h"
#include "XmlIo.h"

using namespace veldan::project::xml;

// ---- bracketing list

VELDANPanoramaBracketingList::VELDANPanoramaBracketingList()
    : CMemoryBlock(CreateMemoryItem<VELDANPanoramaBracketing>) {}

VELDANPanoramaBracketingList::VELDANPanoramaBracketingList(const VELDANPanoramaBracketingList& other)
    : CMemoryBlock(other) {}

VELDANPanoramaBracketingList& VELDANPanoramaBracketingList::operator=(const VELDANPanoramaBracketingList& other) {
    CMemoryBlock::operator=(other);
    return *this;
}

VELDANPanoramaBracketingList::~VELDANPanoramaBracketingList() = default;

// ---- tile

VELDANPanoramaTile::VELDANPanoramaTile() = default;

VELDANPanoramaTile::VELDANPanoramaTile(const VELDANPanoramaTile& other)
    : CMemoryItem(),
      pos_x(other.pos_x),
      pos_y(other.pos_y),
      fov_x(other.fov_x),
      fov_y(other.fov_y),
      warped_fov(other.warped_fov),
      display_x(other.display_x),
      display_y(other.display_y),
      display_left(other.display_left),
      display_right(other.display_right),
      display_top(other.display_top),
      display_bottom(other.display_bottom),
      display_flags(other.display_flags),
      display_scale(other.display_scale),
      height_factor(other.height_factor),
      aspect_ratio(other.aspect_ratio),
      fixed(other.fixed),
      bracketings(other.bracketings),
      variant(other.variant) {}

VELDANPanoramaTile& VELDANPanoramaTile::operator=(const VELDANPanoramaTile& other) {
    if (this == &other) return *this;
    pos_x = other.pos_x;
    pos_y = other.pos_y;
    fov_x = other.fov_x;
    fov_y = other.fov_y;
    warped_fov = other.warped_fov;
    display_x = other.display_x;
    display_y = other.display_y;
    display_left = other.display_left;
    display_right = other.display_right;
    display_top = other.display_top;
    display_bottom = other.display_bottom;
    display_flags = other.display_flags;
    display_scale = other.display_scale;
    height_factor = other.height_factor;
    aspect_ratio = other.aspect_ratio;
    fixed = other.fixed;
    bracketings = other.bracketings;
    variant = other.variant;
    return *this;
}

VELDANPanoramaTile::~VELDANPanoramaTile() = default;

bool VELDANPanoramaTile::operator==(const VELDANPanoramaTile& other) const {
    return pos_x == other.pos_x && pos_y == other.pos_y;
}

long double VELDANPanoramaTile::Distance(const VELDANPanoramaTile& a, const VELDANPanoramaTile& b) {
    return std::sqrt(std::pow(static_cast<long double>(a.pos_x) - b.pos_x, 2) +
                     std::pow(static_cast<long double>(a.pos_y) - b.pos_y, 2));
}

long double VELDANPanoramaTile::MovingDistance(const VELDANPanoramaTile& a, const VELDANPanoramaTile& b) {
    const long double dx = std::fabs(static_cast<long double>(a.pos_x) - b.pos_x);
    const long double dy = std::fabs(static_cast<long double>(a.pos_y) - b.pos_y);
    return dx > dy ? dx : dy;
}

bool VELDANPanoramaTile::Save(void* writer) {
    if (!WriteAttr(writer, "pos_x", "%.9lf", pos_x) || !WriteAttr(writer, "pos_y", "%.9lf", pos_y) ||
        !WriteAttr(writer, "fov_x", "%.9lf", fov_x) || !WriteAttr(writer, "fov_y", "%.9lf", fov_y))
        return false;
    const uint32_t n = bracketings.GetItemCount();
    if (n > 1 && !WriteAttr(writer, "variant", "%u", variant)) return false;
    for (uint32_t i = 0; i < n; ++i) {
        auto* b = Bracketing(i);
        if (!b) continue;
        if (!StartElement(writer, "BRACKETING") || !b->Save(writer) || !EndElement(writer)) return false;
    }
    return true;
}

bool VELDANPanoramaTile::Load(void* reader) {
    if (!reader) return false;
    if (auto v = DoubleAttr(reader, "pos_x")) pos_x = *v;
    if (auto v = DoubleAttr(reader, "pos_y")) pos_y = *v;
    if (auto v = DoubleAttr(reader, "fov_x")) fov_x = *v;
    if (auto v = DoubleAttr(reader, "fov_y")) fov_y = *v;
    auto v = IntAttr(reader, "variant");
    int64_t wanted = v ? *v : 0;
    ReadContent(reader, [this](void* r) {
        if (!NameIs(r, "BRACKETING")) return;
        auto* b = new VELDANPanoramaBracketing();
        b->Load(r);  // appended also when its own load failed
        bracketings.AddItem(b, bracketings.GetItemCount(), true);
    });
    const uint32_t n = bracketings.GetItemCount();
    if (n == 0)
        variant = 0;
    else if (wanted < 0 || wanted >= n)
        variant = n - 1;
    else
        variant = static_cast<uint32_t>(wanted);
    return true;
}
