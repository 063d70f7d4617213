// The shooting path: the tiles in one of eight line-by-line orders.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "VELDANPanorama/PanoramaProject.h"

namespace {

// Strict order of one key; `highest` reverses it. Values that are not
// numbers come after all others, so the order stays a strict weak order.
bool Better(double a, double b, bool highest) {
    const bool an = std::isnan(a), bn = std::isnan(b);
    if (an || bn) return !an && bn;
    return highest ? a > b : a < b;
}

bool SameKey(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace

bool VELDANPanoramaProject::ComputePath(uint8_t path_type) {
    path.DeleteAllItems();
    const uint32_t n = GetItemCount();
    std::vector<double> theta(n), phi(n);
    for (uint32_t i = 0; i < n; ++i) {
        auto* tile = Tile(i);
        theta[i] = tile ? tile->pos_x : 0.0;
        phi[i] = tile ? tile->pos_y : 0.0;
    }
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    if (path_type < 8) {
        // Bit 0 reverses the order of the lines, bit 1 the direction within
        // every line, bit 2 makes the lines columns instead of rows.
        const bool linesReversed = path_type & 1;
        const bool withinReversed = path_type & 2;
        const bool columns = path_type & 4;
        const std::vector<double>& primary = columns ? theta : phi;
        const std::vector<double>& secondary = columns ? phi : theta;
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            if (!SameKey(primary[a], primary[b])) return Better(primary[a], primary[b], linesReversed);
            if (!SameKey(secondary[a], secondary[b])) return Better(secondary[a], secondary[b], withinReversed);
            return false;
        });
    }
    for (uint32_t index : order) path.Append(static_cast<int32_t>(index));
    return true;
}
