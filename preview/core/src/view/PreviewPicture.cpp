// The preview's thumbnail jobs, the picture shown for a tile and the blended
// composite.
#include "preview/view/PreviewPicture.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include "platform/Thread.h"
#include "preview/view/ViewLayout.h"

namespace veldan::preview {

using imaging::Bitmap;

void MakeThumbnails(const std::vector<ThumbnailJob>& jobs) {
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    const unsigned n = std::max(1u, std::min<unsigned>(veldan::platform::ProcessorCount(), unsigned(jobs.size())));
    for (unsigned t = 0; t < n; ++t)
        threads.emplace_back([&] {
            for (size_t k; (k = next.fetch_add(1)) < jobs.size();)
                jobs[k].image->GenerateThumb(nullptr, jobs[k].w, jobs[k].h);
        });
    for (std::thread& t : threads) t.join();
}

VELDANPanoramaImage* ShownPicture(VELDANPanoramaTile* tile, uint32_t index) {
    VELDANPanoramaImage* image = ShownImage(tile, index);
    return image && image->GetFilename() ? image : nullptr;
}

ThumbnailJob ThumbJob(VELDANPanoramaImage* image, uint64_t w, uint64_t h) {
    const uint32_t pw = image->GetWidth(), ph = image->GetHeight();
    return {image, uint32_t(std::clamp<uint64_t>(w, 1, std::max(pw, 1u))),
            uint32_t(std::clamp<uint64_t>(h, 1, std::max(ph, 1u)))};
}

std::unique_ptr<Bitmap> ComposePreview(VELDANPanoramaProject& project, uint32_t W, uint32_t H, uint32_t index,
                                       bool blend) {
    std::vector<ThumbnailJob> jobs;
    for (uint32_t k = 0; k < project.TileCount(); ++k) {
        VELDANPanoramaTile* tile = project.Tile(k);
        VELDANPanoramaImage* image = ShownPicture(tile, index);
        int32_t l, t;
        uint32_t w, h;
        if (!image || !VELDANPanoramaStitcher::GetDrawingRect(&project, tile, W, H, l, t, w, h)) continue;
        if (int64_t(l) + w <= 0 || l >= int64_t(W) || int64_t(t) + h <= 0 || t >= int64_t(H)) continue;
        jobs.push_back(ThumbJob(image, uint64_t(w) * 2, uint64_t(h) * 2));
    }
    MakeThumbnails(jobs);
    VELDANPanoramaStitcher stitcher;
    stitcher.project = &project;
    void* picture = stitcher.GetImage(W, H, PREVIEW_REFRESH | (blend ? PREVIEW_BLEND : 0), index, 0, 0, 0, 0);
    if (!picture) return nullptr;
    auto copy = static_cast<Bitmap*>(picture)->Clone();
    return copy ? std::make_unique<Bitmap>(std::move(copy).value()) : nullptr;
}

}  // namespace veldan::preview
