// Exposure offsets of a bracketing, planned bracketings, and the merging of
// tiles that share a position into one tile with several variants.
#include "PlannedBracketing.h"
#include "VELDANPanorama/PanoramaProject.h"

int32_t VELDANExposureOffset(uint32_t n, uint32_t i, int32_t step, uint32_t order) {
    const int64_t m = n / 2;
    const int64_t k = i;
    const int64_t s = step;
    int64_t ev;
    if (n % 2 == 1) {
        switch (order) {
            case 2: ev = (m - k) * s; break;
            case 3: ev = k == 0 ? 0 : (k <= m ? (k - m - 1) * s : (k - m) * s); break;
            case 4: ev = k == 0 ? 0 : (k <= m ? (m - k + 1) * s : (m - k) * s); break;
            default: ev = (k - m) * s; break;
        }
    } else if (order == 2 || order == 4) {
        ev = k < m ? (m - k) * s : (m - k - 1) * s;
    } else {
        ev = k < m ? (k - m) * s : (k - m + 1) * s;
    }
    return static_cast<int32_t>(ev);
}

namespace veldan::project::plan {

void AddPlannedBracketing(VELDANPanoramaTile& tile, const VELDANPanoramaProject::_HDRI& hdri,
                          uint32_t camera_orientation, uint32_t slots, bool bracketed) {
    if (slots == 0) slots = 1;
    auto* bracketing = new VELDANPanoramaBracketing();
    bracketing->SetImageCnt(slots);
    VELDANPanoramaImage blank;
    blank.orientation = camera_orientation == 1 ? 0 : 1;
    if (bracketed) {
        for (uint32_t i = 0; i < slots; ++i) {
            blank.ev = VELDANExposureOffset(slots, i, hdri.step, hdri.order);
            bracketing->SetImage(i, &blank);
        }
    } else {
        blank.ev = 0;
        bracketing->SetImage(0, &blank);
    }
    tile.bracketings.AddItem(bracketing, tile.bracketings.GetItemCount(), true);
}

}  // namespace veldan::project::plan

void VELDANPanoramaTile::operator+=(const VELDANPanoramaTile& other) {
    if (bracketings.GetItemCount() == 0) return;
    auto& theirs = const_cast<VELDANPanoramaBracketingList&>(other.bracketings);
    const uint32_t n = theirs.GetItemCount();
    for (uint32_t k = 0; k < n; ++k) {
        const auto* b = theirs.Bracketing(k);
        if (!b) continue;
        bool known = false;
        const uint32_t mine = bracketings.GetItemCount();
        for (uint32_t i = 0; i < mine && !known; ++i) {
            const auto* own = Bracketing(i);
            known = own && *own == *b;
        }
        if (!known) bracketings.AddItem(new VELDANPanoramaBracketing(*b), bracketings.GetItemCount(), true);
    }
}

bool VELDANPanoramaProject::MergeSimilarTiles() {
    GoChanging();
    for (uint32_t i = 0; i < GetItemCount(); ++i) {
        auto* a = Tile(i);
        if (!a) continue;
        for (uint32_t j = i + 1; j < GetItemCount();) {
            auto* b = Tile(j);
            if (!b || !(*a == *b)) {
                ++j;
                continue;
            }
            ExcludeItem(j, false);
            std::unique_ptr<VELDANPanoramaTile> removed(b);
            *a += *removed;
            const uint32_t nodes = path.GetItemCount();
            for (uint32_t k = 0; k < nodes; ++k) {
                auto* node = path.Node(k);
                if (!node) continue;
                if (node->tile_nr == static_cast<int32_t>(j))
                    node->tile_nr = static_cast<int32_t>(i);
                else if (node->tile_nr > static_cast<int32_t>(j))
                    --node->tile_nr;
            }
        }
    }
    LeaveChanging();
    return true;
}
