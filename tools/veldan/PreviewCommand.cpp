// veldan preview: the picture that the desktop program's preview view shows
// for a project, written as PNG or JPEG: the warped or blended
// equirectangular preview, or the flow chart of tile boxes.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Bitmap.h"
#include "imaging/Draw.h"
#include "imaging/Jpeg.h"
#include "imaging/Png.h"
#include "imaging/Scale.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "preview/view/PreviewPicture.h"

namespace veldan::cli {

namespace {

using imaging::Bitmap;
using imaging::PixelLayout;
using preview::MakeThumbnails;
using preview::ShownPicture;
using preview::ThumbJob;

constexpr uint32_t kMaxFlowChartTiles = 4000;

void FillRect(Bitmap& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t argb) {
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, canvas.Width());
    y1 = std::min<int64_t>(y1, canvas.Height());
    for (int64_t y = y0; y < y1; ++y)
        for (int64_t x = x0; x < x1; ++x) canvas.SetArgb(uint32_t(x), uint32_t(y), argb);
}

void Outline(Bitmap& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t pen, uint32_t argb) {
    FillRect(canvas, x0, y0, x1, y0 + pen, argb);
    FillRect(canvas, x0, y1 - pen, x1, y1, argb);
    FillRect(canvas, x0, y0, x0 + pen, y1, argb);
    FillRect(canvas, x1 - pen, y0, x1, y1, argb);
}

// A tile without a picture: a light box with a cross, wider or higher as the
// tile is.
void Placeholder(Bitmap& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    FillRect(canvas, x0, y0, x1, y1, 0xFFD8D8D8);
    const int64_t w = x1 - x0, h = y1 - y0;
    const int64_t steps = std::max(w, h);
    for (int64_t i = 0; i < steps; ++i) {
        const int64_t x = x0 + i * w / steps, y = y0 + i * h / steps, y2 = y1 - 1 - i * h / steps;
        FillRect(canvas, x, y, x + 1, y + 1, 0xFFA0A0A0);
        FillRect(canvas, x, y2, x + 1, y2 + 1, 0xFFA0A0A0);
    }
}

std::unique_ptr<Bitmap> FlowChart(VELDANPanoramaProject& project, uint32_t W, uint32_t H, uint32_t index) {
    // Boxes take the proportions of their pictures once these are known,
    // else those of the tile's frame.
    for (uint32_t k = 0; k < project.TileCount(); ++k) {
        VELDANPanoramaTile* tile = project.Tile(k);
        VELDANPanoramaImage* image = ShownPicture(tile, index);
        if (image && image->GetWidth() && image->GetHeight())
            tile->aspect_ratio = double(image->GetWidth()) / image->GetHeight();
        else if (tile->fov_x > 0 && tile->fov_y > 0)
            tile->aspect_ratio = tile->fov_x / tile->fov_y;
    }
    double l = 0, r = 0, t = 0, b = 0;
    if (!project.UpdateDisplayPositions(W, H, 5, l, r, t, b)) return nullptr;
    auto made = Bitmap::Create(W, H, PixelLayout::kArgb32);
    if (!made) return nullptr;
    auto canvas = std::make_unique<Bitmap>(std::move(made).value());
    canvas->FillWith(0xFFFFFFFF);
    struct Box {
        VELDANPanoramaImage* image;
        int64_t x0, y0, x1, y1;
    };
    std::vector<Box> boxes;
    std::vector<preview::ThumbnailJob> jobs;
    for (uint32_t k = 0; k < project.TileCount(); ++k) {
        VELDANPanoramaTile* tile = project.Tile(k);
        Box box{ShownPicture(tile, index), int64_t(tile->display_left), int64_t(tile->display_top),
                int64_t(tile->display_right), int64_t(tile->display_bottom)};
        boxes.push_back(box);
        const int64_t bw = box.x1 - box.x0, bh = box.y1 - box.y0;
        if (box.image && bw > 15 && bh > 15) jobs.push_back(ThumbJob(box.image, uint64_t(bw), uint64_t(bh)));
    }
    MakeThumbnails(jobs);
    for (const Box& box : boxes) {
        const int64_t bw = box.x1 - box.x0, bh = box.y1 - box.y0;
        if (bw < 16 || bh < 16) {
            // Small boxes: a filled rectangle of at least 5 x 5, centred on
            // the box when a side is 4 pixels or less.
            const int64_t x0 = bw <= 4 ? box.x0 + bw / 2 - 2 : box.x0, y0 = bh <= 4 ? box.y0 + bh / 2 - 2 : box.y0;
            FillRect(*canvas, x0, y0, x0 + std::max<int64_t>(bw, 5), y0 + std::max<int64_t>(bh, 5), 0xFF000000);
            continue;
        }
        bool drawn = false;
        if (box.image && box.image->access.EnterReadAccess()) {
            void* thumb = nullptr;
            box.image->GetImage(&thumb, uint32_t(bw), uint32_t(bh));
            if (thumb && !static_cast<Bitmap*>(thumb)->Empty()) {
                auto scaled = imaging::ResizeArea(*static_cast<Bitmap*>(thumb), uint32_t(bw), uint32_t(bh));
                if (scaled) {
                    imaging::CopyInto(*canvas, *scaled, box.x0, box.y0);
                    drawn = true;
                }
            }
            box.image->access.LeaveReadAccess();
        }
        if (!drawn) Placeholder(*canvas, box.x0, box.y0, box.x1, box.y1);
        Outline(*canvas, box.x0, box.y0, box.x1, box.y1, 2, 0xFF000000);
    }
    return canvas;
}

}  // namespace

int PreviewCommand(const std::vector<std::string>& args) {
    std::string input, output, size, mode = "blended", exposure = "0";
    const auto error = OptionReader()
                           .Value({"--size"}, size)
                           .Value({"-o"}, output)
                           .Value({"--mode"}, mode)
                           .Value({"--exposure"}, exposure)
                           .Positional(input, [](const std::string&) { return "more than one project given"; })
                           .Read(args);
    if (error) return Fail(kExitUsage, *error);
    if (input.empty() || output.empty() || size.empty())
        return Fail(kExitUsage, "preview needs FILE.vpp -o OUT.png|OUT.jpg --size WxH");
    const std::vector<std::string> wh = Split(size, 'x');
    const std::optional<int64_t> w = wh.size() == 2 ? ParseInteger(wh[0]) : std::nullopt;
    const std::optional<int64_t> h = wh.size() == 2 ? ParseInteger(wh[1]) : std::nullopt;
    if (!w || !h || *w < 1 || *h < 1 || *w > 30000 || *h > 30000 || *w * *h > 400000000)
        return Fail(kExitUsage, "--size must be WxH in pixels (at most 30000 a side)");
    if (mode != "warped" && mode != "blended" && mode != "flowchart")
        return Fail(kExitUsage, "--mode must be warped, blended or flowchart");
    const std::optional<int64_t> n = ParseInteger(exposure);
    if (!n || *n < 0 || *n > 0xFFFFFFFFll) return Fail(kExitUsage, "--exposure must be an image index from 0");
    const std::string ext = LowerExtension(output);
    const bool png = ext == ".png";
    if (!png && ext != ".jpg" && ext != ".jpeg") return Fail(kExitUsage, "-o must name a .png or .jpg file");
    if (mode == "flowchart" && (*w < 100 || *h < 100))
        return Fail(kExitUsage, "the flow chart needs at least 100x100 pixels");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(input, ec)) return Fail(kExitFailure, "no such project: " + input);

    auto project = std::make_unique<VELDANPanoramaProject>();
    if (!project->LoadFromFile(veldan::platform::PathToWide(input).c_str()))
        return Fail(kExitFailure, "cannot read the project " + input);
    if (mode == "flowchart" && project->TileCount() > kMaxFlowChartTiles)
        return Fail(kExitFailure, "Too many images to display!");
    InitGlobalThreadPool();
    std::unique_ptr<Bitmap> picture =
        mode == "flowchart"
            ? FlowChart(*project, uint32_t(*w), uint32_t(*h), uint32_t(*n))
            : preview::ComposePreview(*project, uint32_t(*w), uint32_t(*h), uint32_t(*n), mode == "blended");
    project.reset();
    DeinitGlobalThreadPool();
    if (!picture) return Fail(kExitFailure, "cannot make the preview picture");
    const auto status = png ? imaging::SavePng(*picture, output) : imaging::SaveJpeg(*picture, output);
    if (!status.ok()) return Fail(kExitFailure, "cannot write " + output);
    return kExitOk;
}

}  // namespace veldan::cli
