// The image preview dialog's fitting scale, drawn size, title and progress
// position.
#include "preview/view/ImagePreviewFit.h"
#include <algorithm>
#include <cmath>
#include <cwchar>

namespace veldan::preview {

bool FitImagePreview(uint32_t areaWidth, uint32_t areaHeight, uint32_t imageWidth, uint32_t imageHeight,
                     ImagePreviewFit& fit) {
    if (areaWidth < 10 || areaHeight < 10 || imageWidth == 0 || imageHeight == 0) return false;
    fit.scale = std::min(static_cast<double>(areaWidth) / imageWidth, static_cast<double>(areaHeight) / imageHeight);
    fit.width = static_cast<uint32_t>(std::floor(imageWidth * fit.scale));
    fit.height = static_cast<uint32_t>(std::floor(imageHeight * fit.scale));
    fit.percent = static_cast<uint32_t>(std::floor(fit.scale * 100));
    return true;
}

std::wstring ImagePreviewTitle(const wchar_t* fileName, uint32_t percent) {
    wchar_t suffix[32];
    std::swprintf(suffix, 32, L" (%lu%%)", static_cast<unsigned long>(percent));
    return std::wstring(fileName ? fileName : L"") + suffix;
}

uint32_t ImagePreviewProgress(const ImagePreviewFit& fit, uint32_t imageWidth, uint32_t imageHeight,
                              uint32_t pictureWidth, uint32_t pictureHeight) {
    const bool smaller =
        pictureWidth < std::min(fit.width, imageWidth) || pictureHeight < std::min(fit.height, imageHeight);
    return smaller ? 50 : 100;
}

}  // namespace veldan::preview
