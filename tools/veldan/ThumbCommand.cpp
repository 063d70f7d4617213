// veldan thumb: a JPEG thumbnail of a picture, made by the same image code
// that the project library uses for its previews (embedded preview or
// DCT-scaled decode, area-averaged scaling, turned upright).
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>

#include "Arguments.h"
#include "Commands.h"
#include "VELDANPanoramaProject.h"
#include "platform/Text.h"

namespace veldan::cli {

int ThumbCommand(const std::vector<std::string>& args) {
    std::string input, output, size;
    const auto error = OptionReader()
                           .Value({"--size"}, size)
                           .Value({"-o"}, output)
                           .Positional(input, [](const std::string&) { return "more than one picture given"; })
                           .Read(args);
    if (error) return Fail(kExitUsage, *error);
    if (input.empty() || output.empty() || size.empty())
        return Fail(kExitUsage, "thumb needs FILE --size WxH -o OUT.jpg");
    // Thumbnails are always written as JPEG; another name would hide that.
    const std::string ext = LowerExtension(output);
    if (ext != ".jpg" && ext != ".jpeg") return Fail(kExitUsage, "-o must name a .jpg file (thumbnails are JPEG)");
    const std::vector<std::string> wh = Split(size, 'x');
    const std::optional<int64_t> w = wh.size() == 2 ? ParseInteger(wh[0]) : std::nullopt;
    const std::optional<int64_t> h = wh.size() == 2 ? ParseInteger(wh[1]) : std::nullopt;
    if (!w || !h || *w < 1 || *h < 1 || *w > 30000 || *h > 30000)
        return Fail(kExitUsage, "--size must be WxH in pixels");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(input, ec)) return Fail(kExitFailure, "no such picture: " + input);

    auto image = std::make_unique<VELDANPanoramaImage>();
    image->SetFilename(veldan::platform::PathToWide(input).c_str());
    // Fit the picture's shown size (already turned by its orientation) into
    // the box, keeping its aspect; never larger than the picture itself.
    const double pw = image->GetWidth(), ph = image->GetHeight();
    if (pw < 1 || ph < 1) return Fail(kExitFailure, "cannot read the size of " + input);
    const double scale = std::min({double(*w) / pw, double(*h) / ph, 1.0});
    const auto tw = uint32_t(std::max(1.0, std::round(pw * scale)));
    const auto th = uint32_t(std::max(1.0, std::round(ph * scale)));
    if (!image->SaveThumbAs(veldan::platform::PathToWide(output).c_str(), tw, th))
        return Fail(kExitFailure, "cannot make a thumbnail of " + input + " as " + output);
    return kExitOk;
}

}  // namespace veldan::cli
