// The flow-chart layout: every tile a box at its angular position scaled into
// the canvas, all boxes of one common size, the largest at which no two
// boxes come closer than the gap.
#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <vector>

#include "VELDANPanorama/PanoramaProject.h"

namespace {

struct Box {
    VELDANPanoramaTile* tile;
    double t_theta, t_phi;  // 0..1 across the panorama (phi: 0 at the top)
    double wk, hk;          // box size at scale 1
    bool fixed;
    double x = 0, y = 0;
    double scale = -1;
};

}  // namespace

bool VELDANPanoramaProject::UpdateDisplayPositions(double width, double height, double margin, double& left,
                                                   double& right, double& top, double& bottom) {
    const uint32_t count = TileCount();
    if (count == 0) return true;
    std::vector<Box> boxes;
    try {
        boxes.reserve(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const double c = margin;
    // A canvas smaller than its margins still gets a layout (of one pixel).
    const double mW = std::max(1.0, width - 2 * c), mH = std::max(1.0, height - 2 * c);
    const double g = 2 * c;
    const double dtheta = fov.end_theta - fov.begin_theta, dphi = fov.begin_phi - fov.end_phi;
    for (uint32_t k = 0; k < count; ++k) {
        VELDANPanoramaTile* tile = Tile(k);
        if (!tile) continue;
        Box b{tile, 0.5, 0.5, 1, 1, tile->fixed != 0};
        if (dtheta != 0) b.t_theta = (tile->pos_x - fov.begin_theta) / dtheta;
        if (dphi != 0) b.t_phi = (tile->pos_y - fov.end_phi) / dphi;
        b.hk = tile->height_factor != 0 ? tile->height_factor : 1;
        const double wk = tile->aspect_ratio * tile->height_factor;
        b.wk = wk != 0 ? wk : 1;
        boxes.push_back(b);
    }

    double u = 1, v = 1;
    std::optional<double> S;
    const auto place = [&] {
        for (Box& b : boxes) {
            b.x = mW * ((1 - u) / 2 + u * b.t_theta);
            b.y = mH * ((1 - v) / 2 + v * b.t_phi);
        }
    };
    for (int pass = 0; pass < 2; ++pass) {
        place();
        // Largest scale of every free box at which it keeps the gap to all
        // others in x or in y (fixed boxes keep scale 1).
        for (Box& k : boxes) {
            if (k.fixed) continue;
            std::optional<double> sk;
            for (const Box& l : boxes) {
                if (&l == &k) continue;
                const double dx = std::fabs(k.x - l.x), dy = std::fabs(k.y - l.y);
                double sx, sy;
                if (l.fixed) {
                    sx = (2 * (dx - g) - l.wk) / k.wk;
                    sy = (2 * (dy - g) - l.hk) / k.hk;
                } else {
                    sx = 2 * (dx - g) / (k.wk + l.wk);
                    sy = 2 * (dy - g) / (k.hk + l.hk);
                }
                const double s = std::max(sx, sy);
                if (!sk || s < *sk) sk = s;
            }
            k.scale = sk ? *sk : -1;
        }
        // The common scale: the smallest of the free boxes, also counting
        // the previous pass.
        for (const Box& b : boxes)
            if (!b.fixed && (!S || b.scale < *S)) S = b.scale;
        const double common = S ? *S : -1;
        double el = mW * (1 - u) / 2, er = mW * (1 + u) / 2;
        double et = mH * (1 - v) / 2, eb = mH * (1 + v) / 2;
        u = v = 1;
        // The spreads shrink so that the outermost boxes fit the canvas. A
        // box at the very centre of the panorama cannot change the spread.
        for (const Box& b : boxes) {
            const double bw = common * b.wk, bh = common * b.hk;
            const double sx = 2 * b.t_theta - 1, sy = 2 * b.t_phi - 1;
            if (b.x - bw / 2 < el) {
                el = b.x - bw / 2;
                if (sx != 0) u = std::min(u, (bw / mW - 1) / sx);
            }
            if (b.x + bw / 2 > er) {
                er = b.x + bw / 2;
                if (sx != 0) u = std::min(u, (1 - bw / mW) / sx);
            }
            if (b.y - bh / 2 < et) {
                et = b.y - bh / 2;
                if (sy != 0) v = std::min(v, (bh / mH - 1) / sy);
            }
            if (b.y + bh / 2 > eb) {
                eb = b.y + bh / 2;
                if (sy != 0) v = std::min(v, (1 - bh / mH) / sy);
            }
        }
        // Boxes larger than the canvas would mirror the layout.
        u = std::max(u, 0.0);
        v = std::max(v, 0.0);
        place();
    }

    left = c + mW * (1 - u) / 2;
    right = c + mW * (1 + u) / 2;
    top = c + mH * (1 - v) / 2;
    bottom = c + mH * (1 + v) / 2;
    const double common = S ? *S : -1;
    for (Box& b : boxes) {
        VELDANPanoramaTile& t = *b.tile;
        t.display_x = b.x;
        t.display_y = b.y;
        t.display_scale = b.fixed ? 1 : common;
        const double bw = b.wk * t.display_scale, bh = b.hk * t.display_scale;
        if (bw < 5) {
            t.display_left = c + b.x - 2.5;
            t.display_right = t.display_left + 5;
        } else {
            t.display_left = c + b.x - bw / 2;
            t.display_right = t.display_left + bw;
        }
        if (bh < 5) {
            t.display_top = c + b.y - 2.5;
            t.display_bottom = t.display_top + 5;
        } else {
            t.display_top = c + b.y - bh / 2;
            t.display_bottom = t.display_top + bh;
        }
    }
    return true;
}
