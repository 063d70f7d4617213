#pragma once
#include <cstdint>
#include <string>

// The image preview dialog's arithmetic: the scale that fits an image into
// the picture area, the size it is drawn at, the window title and the
// progress bar's position.
namespace veldan::preview {

struct ImagePreviewFit {
    double scale = 0;      // min(area width / image width, area height / image height)
    uint32_t width = 0;    // floor(image width * scale)
    uint32_t height = 0;   // floor(image height * scale)
    uint32_t percent = 0;  // floor(scale * 100)
};

// False when the area is smaller than 10 x 10 or the image has no size.
bool FitImagePreview(uint32_t areaWidth, uint32_t areaHeight, uint32_t imageWidth, uint32_t imageHeight,
                     ImagePreviewFit& fit);

// "<file name> (<percent>%)".
std::wstring ImagePreviewTitle(const wchar_t* fileName, uint32_t percent);

// The progress bar while a picture of pictureWidth x pictureHeight stands
// for the wanted fit: 50 when it is smaller than the fit (or the image)
// in either direction, 100 otherwise.
uint32_t ImagePreviewProgress(const ImagePreviewFit& fit, uint32_t imageWidth, uint32_t imageHeight,
                              uint32_t pictureWidth, uint32_t pictureHeight);

}  // namespace veldan::preview
