#pragma once
#include <cstdint>
#include "platform/Window.h"
#include "preview/view/TileAppearance.h"

class VELDANPanoramaImage;
class VELDANPanoramaProject;
class VELDANPanoramaTile;
class _FOV;

// The preview view's geometry without any widget: the letterbox, when the
// flow chart must be laid out again, the tile boxes of the warped displays,
// the tile under the mouse and the arrows of the shooting path.
namespace veldan::preview {

class ViewWarping;

// Below this width or height nothing is laid out or drawn.
constexpr int kMinimumDrawSize = 100;
// The flow chart refuses more tiles than this.
constexpr uint32_t kMaximumFlowChartTiles = 4000;
constexpr double kFlowChartMargin = 5;

// The area of the flow chart's layout (view pixels).
struct LayoutExtent {
    double left = 0;
    double right = 0;
    double top = 0;
    double bottom = 0;
};

// The largest rectangle centred in area with the panorama's proportions
// (|end_theta - begin_theta| wide to |end_phi - begin_phi| high), the rest
// split evenly on both sides. An empty range keeps the area.
IntRect LetterboxArea(const IntRect& area, const _FOV& fov);

// The image of the tile that the view shows: the selected bracketing's image
// at the shown exposure; null when missing.
VELDANPanoramaImage* ShownImage(VELDANPanoramaTile* tile, uint32_t exposure);

// The tile's box (display left, top, right, bottom) as integers.
IntRect TileBox(const VELDANPanoramaTile& tile);

// Checks every tile's box against its proportions and brings the aspect
// ratios up to date (the shown image's size, else fov_x / fov_y). True when
// the flow chart must be laid out again: a box of zero size, a box whose
// width / (height * aspect ratio) lies outside 0.95 ... 1.05, or a changed
// aspect ratio.
bool FlowChartNeedsRelayout(VELDANPanoramaProject& project, uint32_t exposure);

// Lays the flow chart out for a canvas of width x height with the margin 5
// (the project's UpdateDisplayPositions). When the project cannot lay out,
// a simple layout stands in: every box at its angular position with a size
// proportional to its field of view. Boxes are relative to the canvas.
void LayoutFlowChart(VELDANPanoramaProject& project, double width, double height, LayoutExtent& extent);
void SimpleFlowChartLayout(VELDANPanoramaProject& project, double width, double height, LayoutExtent& extent);

// Boxes of the warped and blended displays for the area: the drawing
// rectangle of every tile offset by the area's corner; display x and y the
// pixel of the tile's position in the preview mapping. A tile without a
// drawing rectangle gets the rectangle of its position and field of view.
void PlaceWarpedBoxes(VELDANPanoramaProject& project, ViewWarping& warping, const IntRect& area);

// The tile under (x, y): among the boxes containing the point (edges
// included) the one whose centre (display x, y) is nearest, the lower number
// on a tie; -1 for none.
int HitTest(VELDANPanoramaProject& project, int x, int y);

// The arrow of the shooting path from box a to box b: a cubic curve and the
// filled triangle at its end (tip first). False for overlapping boxes.
struct PointI {
    int x = 0;
    int y = 0;
    bool operator==(const PointI&) const = default;
};
struct PathLinkShape {
    PointI start, control1, control2, end;
    PointI triangle[3];
};
bool PathLinkGeometry(const VELDANPanoramaTile& a, const VELDANPanoramaTile& b, PathLinkShape& shape);

// Makes window the image's notification target (under the image's write
// access); nothing changes when it is already the target.
void SetNotifyTarget(VELDANPanoramaImage* image, platform::HWND window, platform::UINT message, platform::WPARAM wParam,
                     platform::LPARAM lParam);

}  // namespace veldan::preview
