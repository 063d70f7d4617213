// The preview view's geometry: letterbox, flow-chart layout, warped tile
// boxes, hit testing and path arrows.
#include "preview/view/ViewLayout.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include "VELDANPanoramaProject.h"
#include "preview/view/ViewWarping.h"

namespace veldan::preview {

using platform::HWND;
using platform::LPARAM;
using platform::UINT;
using platform::WPARAM;

IntRect LetterboxArea(const IntRect& area, const _FOV& fov) {
    const double wide = std::fabs(fov.end_theta - fov.begin_theta);
    const double high = std::fabs(fov.end_phi - fov.begin_phi);
    if (wide <= 0 || high <= 0 || area.width <= 0 || area.height <= 0) return area;
    IntRect r = area;
    const double ratio = wide / high;
    if (static_cast<double>(area.width) / area.height > ratio) {
        r.width = static_cast<int>(area.height * ratio);
        r.left = area.left + (area.width - r.width) / 2;
    } else {
        r.height = static_cast<int>(area.width / ratio);
        r.top = area.top + (area.height - r.height) / 2;
    }
    return r;
}

VELDANPanoramaImage* ShownImage(VELDANPanoramaTile* tile, uint32_t exposure) {
    if (!tile) return nullptr;
    VELDANPanoramaBracketing* b = tile->Bracketing(tile->variant);
    // The slot itself, not GetImage, which would fill an empty slot.
    if (!b || !b->images || exposure >= b->count) return nullptr;
    return b->images[exposure].get();
}

IntRect TileBox(const VELDANPanoramaTile& tile) {
    IntRect r;
    r.left = static_cast<int>(tile.display_left);
    r.top = static_cast<int>(tile.display_top);
    r.width = static_cast<int>(tile.display_right) - r.left;
    r.height = static_cast<int>(tile.display_bottom) - r.top;
    return r;
}

bool FlowChartNeedsRelayout(VELDANPanoramaProject& project, uint32_t exposure) {
    bool relayout = false;
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) continue;
        const double w = tile->display_right - tile->display_left;
        const double h = tile->display_bottom - tile->display_top;
        if (w == 0 || h == 0) {
            relayout = true;
        } else {
            const double proportion = w / (h * tile->aspect_ratio);
            if (!(proportion >= 0.95 && proportion <= 1.05)) relayout = true;
        }
        // The aspect ratios are brought up to date for every tile, so that one
        // layout serves them all.
        VELDANPanoramaImage* image = ShownImage(tile, exposure);
        const uint32_t iw = image ? image->GetWidth() : 0;
        const uint32_t ih = image ? image->GetHeight() : 0;
        if (iw && ih) {
            const double aspect = static_cast<double>(iw) / ih;
            if (aspect != tile->aspect_ratio) {
                tile->aspect_ratio = aspect;
                relayout = true;
            }
        } else if (tile->fov_x != 0 && tile->fov_y != 0) {
            const double aspect = tile->fov_x / tile->fov_y;
            if (aspect != tile->aspect_ratio) {
                tile->aspect_ratio = aspect;
                relayout = true;
            }
        }
    }
    return relayout;
}

void SimpleFlowChartLayout(VELDANPanoramaProject& project, double width, double height, LayoutExtent& extent) {
    const double c = kFlowChartMargin;
    const double mW = width - 2 * c, mH = height - 2 * c;
    const _FOV& fov = project.fov;
    const double dTheta = fov.end_theta - fov.begin_theta;
    const double dPhi = fov.begin_phi - fov.end_phi;
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) continue;
        const double tTheta = dTheta != 0 ? (tile->pos_x - fov.begin_theta) / dTheta : 0.5;
        const double tPhi = dPhi != 0 ? (tile->pos_y - fov.end_phi) / dPhi : 0.5;
        tile->display_x = mW * tTheta;
        tile->display_y = mH * tPhi;
        const double fovY = tile->fov_y > 0 ? tile->fov_y : 20.0;
        double bh = std::fabs(dPhi) > 0 ? 0.75 * mH * fovY / std::fabs(dPhi) : 0.75 * mH;
        const double aspect = tile->aspect_ratio > 0 ? tile->aspect_ratio : 1.0;
        double bw = bh * aspect;
        const double maxW = std::fabs(dTheta) > 0 && tile->fov_x > 0 ? 0.75 * mW * tile->fov_x / std::fabs(dTheta) : mW;
        if (bw > maxW) {
            bw = maxW;
            bh = bw / aspect;
        }
        if (bw < 5) bw = 5;
        if (bh < 5) bh = 5;
        tile->display_scale = 1;
        tile->display_left = c + tile->display_x - bw / 2;
        tile->display_right = tile->display_left + bw;
        tile->display_top = c + tile->display_y - bh / 2;
        tile->display_bottom = tile->display_top + bh;
    }
    extent = {c, width - c, c, height - c};
}

void LayoutFlowChart(VELDANPanoramaProject& project, double width, double height, LayoutExtent& extent) {
    LayoutExtent e = extent;
    if (project.UpdateDisplayPositions(width, height, kFlowChartMargin, e.left, e.right, e.top, e.bottom)) {
        extent = e;
        return;
    }
    SimpleFlowChartLayout(project, width, height, extent);
}

namespace {

// The preview mapping: column of an azimuth, row of an elevation.
double PreviewColumn(const _FOV& fov, uint32_t W, double theta) {
    const double d = fov.end_theta - fov.begin_theta;
    if (d == 0) return 0;
    const double m = d == 360 ? W : (W > 0 ? W - 1.0 : 0.0);
    return (theta - fov.begin_theta) * m / d;
}
double PreviewRow(const _FOV& fov, uint32_t H, double phi) {
    const double d = fov.end_phi - fov.begin_phi;
    if (d == 0 || H == 0) return 0;
    return (H - 1.0) - (phi - fov.begin_phi) * (H - 1.0) / d;
}

}  // namespace

void PlaceWarpedBoxes(VELDANPanoramaProject& project, ViewWarping& warping, const IntRect& area) {
    const uint32_t W = static_cast<uint32_t>(std::max(area.width, 0));
    const uint32_t H = static_cast<uint32_t>(std::max(area.height, 0));
    const _FOV& fov = project.fov;
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) continue;
        int32_t L = 0, T = 0;
        uint32_t TW = 0, TH = 0;
        if (!warping.GetDrawingRect(&project, tile, W, H, L, T, TW, TH)) {
            // Without a drawing rectangle the box follows the tile's position and
            // field of view (a frame of unknown size counts as 30 x 40 degrees).
            const double fx = tile->fov_x != 0 ? tile->fov_x : 30.0;
            const double fy = tile->fov_x != 0 ? tile->fov_y : 40.0;
            const double x0 = PreviewColumn(fov, W, tile->pos_x - fx / 2);
            const double x1 = PreviewColumn(fov, W, tile->pos_x + fx / 2);
            const double y0 = PreviewRow(fov, H, tile->pos_y + fy / 2);
            const double y1 = PreviewRow(fov, H, tile->pos_y - fy / 2);
            L = static_cast<int32_t>(std::floor(std::min(x0, x1)));
            T = static_cast<int32_t>(std::floor(std::min(y0, y1)));
            TW = static_cast<uint32_t>(std::ceil(std::fabs(x1 - x0))) + 1;
            TH = static_cast<uint32_t>(std::ceil(std::fabs(y1 - y0))) + 1;
        }
        tile->display_left = area.left + static_cast<double>(L);
        tile->display_right = tile->display_left + static_cast<double>(TW);
        tile->display_top = area.top + static_cast<double>(T);
        tile->display_bottom = tile->display_top + static_cast<double>(TH);
        tile->display_x = PreviewColumn(fov, W, tile->pos_x) + area.left;
        tile->display_y = PreviewRow(fov, H, tile->pos_y) + area.top;
    }
}

int HitTest(VELDANPanoramaProject& project, int x, int y) {
    int best = -1;
    long long bestDistance = 0;
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) continue;
        if (x < tile->display_left || x > tile->display_right || y < tile->display_top || y > tile->display_bottom)
            continue;
        const long long dx = static_cast<long long>(x - tile->display_x);
        const long long dy = static_cast<long long>(y - tile->display_y);
        const long long d = dx * dx + dy * dy;
        if (best < 0 || d < bestDistance) {
            best = static_cast<int>(t);
            bestDistance = d;
        }
    }
    return best;
}

bool PathLinkGeometry(const VELDANPanoramaTile& a, const VELDANPanoramaTile& b, PathLinkShape& s) {
    const int aL = static_cast<int>(a.display_left), aR = static_cast<int>(a.display_right);
    const int aT = static_cast<int>(a.display_top), aB = static_cast<int>(a.display_bottom);
    const int bL = static_cast<int>(b.display_left), bR = static_cast<int>(b.display_right);
    const int bT = static_cast<int>(b.display_top), bB = static_cast<int>(b.display_bottom);
    const int ax = static_cast<int>((a.display_left + a.display_right) / 2);
    const int ay = static_cast<int>((a.display_top + a.display_bottom) / 2);
    const int bx = static_cast<int>((b.display_left + b.display_right) / 2);
    const int by = static_cast<int>((b.display_top + b.display_bottom) / 2);
    auto set = [&s](PointI start, PointI c1, PointI c2, PointI end, PointI tip, PointI t1, PointI t2) {
        s.start = start;
        s.control1 = c1;
        s.control2 = c2;
        s.end = end;
        s.triangle[0] = tip;
        s.triangle[1] = t1;
        s.triangle[2] = t2;
        return true;
    };
    const bool above = bB<aT, below = bT> aB, right = bL > aR, left = bR < aL;
    if (above && right) {
        const PointI tip{bL - 1, bB + 1};
        return set({aR, aT}, {aR + 50, aT - 50}, {bL - 50, bB + 50}, {bL - 3, bB + 3}, tip, {tip.x, tip.y + 7},
                   {tip.x - 7, tip.y});
    }
    if (above && left) {
        const PointI tip{bR + 1, bB + 1};
        return set({aL, aT}, {aL - 50, aT - 50}, {bR + 50, bB + 50}, {bR + 3, bB + 3}, tip, {tip.x + 7, tip.y},
                   {tip.x, tip.y + 7});
    }
    if (below && right) {
        const PointI tip{bL - 1, bT - 1};
        return set({aR, aB}, {aR + 50, aB + 50}, {bL - 50, bT - 50}, {bL - 3, bT - 3}, tip, {tip.x - 7, tip.y},
                   {tip.x, tip.y - 7});
    }
    if (below && left) {
        const PointI tip{bR + 1, bT - 1};
        return set({aL, aB}, {aL - 50, aB + 50}, {bR + 50, bT - 50}, {bR + 3, bT - 3}, tip, {tip.x, tip.y - 7},
                   {tip.x + 7, tip.y});
    }
    if (above) {
        const int ym = (bB + aT) / 2;
        const PointI tip{bx, bB + 2};
        return set({ax, aT}, {ax, ym}, {bx, ym}, {bx, bB + 7}, tip, {tip.x - 5, tip.y + 5}, {tip.x + 5, tip.y + 5});
    }
    if (below) {
        const int ym = (bT + aB) / 2;
        const PointI tip{bx, bT - 2};
        return set({ax, aB}, {ax, ym}, {bx, ym}, {bx, bT - 7}, tip, {tip.x + 5, tip.y - 5}, {tip.x - 5, tip.y - 5});
    }
    if (right) {
        const int xm = (bL + aR) / 2;
        const PointI tip{bL - 2, by};
        return set({aR, ay}, {xm, ay}, {xm, by}, {bL - 7, by}, tip, {tip.x - 5, tip.y - 5}, {tip.x - 5, tip.y + 5});
    }
    if (left) {
        const int xm = (bR + aL) / 2;
        const PointI tip{bR + 1, by};
        return set({aL, ay}, {xm, ay}, {xm, by}, {bR + 6, by}, tip, {tip.x + 5, tip.y - 5}, {tip.x + 5, tip.y + 5});
    }
    return false;
}

void SetNotifyTarget(VELDANPanoramaImage* image, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!image) return;
    if (!image->access.EnterReadAccess()) return;
    const bool same = image->notify_window == window && image->notify_message == message &&
                      image->notify_wparam == wParam && image->notify_lparam == lParam;
    image->access.LeaveReadAccess();
    if (same || !image->access.EnterWriteAccess()) return;
    image->notify_window = window;
    image->notify_message = message;
    image->notify_wparam = wParam;
    image->notify_lparam = lParam;
    image->access.LeaveWriteAccess();
}

}  // namespace veldan::preview
