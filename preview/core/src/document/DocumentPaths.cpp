// Project file paths and titles, and moving a project's image paths with its
// folder.
#include "preview/document/DocumentPaths.h"
#include <algorithm>
#include "VELDANPanoramaProject.h"
#include "platform/Folders.h"
#include "platform/Text.h"

namespace veldan::preview {

using platform::DocumentsFolder;
using platform::PathFromWide;

namespace {

constexpr const wchar_t* kDefaultDescription = L"VELDANmodular Panorama Project";

std::wstring WithSlash(std::wstring folder) {
    if (folder.empty() || folder.back() != L'/') folder += L'/';
    return folder;
}

std::wstring WithoutSlash(std::wstring folder) {
    while (folder.size() > 1 && folder.back() == L'/') folder.pop_back();
    return folder;
}

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    if (from.empty()) return;
    for (size_t pos = text.find(from); pos != std::wstring::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

template <typename Fn>
void ForEachImage(VELDANPanoramaTile& tile, Fn&& fn) {
    for (uint32_t b = 0; b < tile.bracketings.GetItemCount(); ++b) {
        VELDANPanoramaBracketing* bracketing = tile.Bracketing(b);
        if (!bracketing || !bracketing->images) continue;
        for (uint32_t i = 0; i < bracketing->GetImageCnt(); ++i)
            if (VELDANPanoramaImage* image = bracketing->images[i].get()) fn(*image);
    }
}

}  // namespace

std::wstring ProjectTitle(const VELDANPanoramaProject& project) {
    const wchar_t* d = project.description.Get();
    return d && *d ? std::wstring(d) : std::wstring(kDefaultDescription);
}

std::filesystem::path ProjectFilePath(const VELDANPanoramaProject& project) {
    std::wstring name = ProjectTitle(project);
    std::replace(name.begin(), name.end(), L'/', L'_');
    if (name == L"." || name == L"..") name = kDefaultDescription;
    const wchar_t* folder = project.project_path.Get();
    std::filesystem::path dir = folder && *folder ? PathFromWide(folder) : DocumentsFolder();
    return dir / PathFromWide(name + L".vpp");
}

bool RelocateProject(VELDANPanoramaProject& project, const std::wstring& folder) {
    const wchar_t* stored = project.project_path.Get();
    if (!stored || !*stored) return false;
    // A stored folder with a final "/" names the same folder.
    if (WithoutSlash(stored) == WithoutSlash(folder)) return false;
    const std::wstring from = WithSlash(stored);
    const std::wstring to = WithSlash(WithoutSlash(folder));
    for (uint32_t t = 0; t < project.TileCount(); ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) continue;
        ForEachImage(*tile, [&](VELDANPanoramaImage& image) {
            const wchar_t* name = image.GetFilename();
            if (!name) return;
            std::wstring moved = name;
            ReplaceAll(moved, from, to);
            image.SetFilename(moved.c_str());
        });
    }
    project.project_path.Set(WithoutSlash(folder).c_str());
    return true;
}

void UpdateAspectRatios(VELDANPanoramaProject& project) {
    for (uint32_t t = 0; t < project.TileCount(); ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) continue;
        bool known = false;
        ForEachImage(*tile, [&](VELDANPanoramaImage& image) {
            const uint32_t w = image.GetWidth(), h = image.GetHeight();
            if (w && h) {
                tile->aspect_ratio = static_cast<double>(w) / h;
                known = true;
            }
        });
        if (!known) tile->aspect_ratio = 1.0;
    }
}

}  // namespace veldan::preview
