// The export command of a document: a project for PTGui, Autopano or Hugin,
// opened with the desktop's program for it.
#include <utility>
#include <vector>

#include "platform/Text.h"
#include "preview/document/VELDANpreviewDoc.h"

using namespace veldan::preview;

namespace {

// The 1024-pixel preview thumbnail size of a picture (longer side 1024).
std::pair<uint32_t, uint32_t> PreviewThumbSize(uint32_t width, uint32_t height) {
    if (height < width) return {1024u, static_cast<uint32_t>(uint64_t(height) * 1024 / width)};
    return {static_cast<uint32_t>(uint64_t(width) * 1024 / height), 1024u};
}

struct MadeThumb {
    VELDANPanoramaImage* image;
    uint32_t width;
    uint32_t height;
};

// Makes the preview thumbnails of every image of each tile's selected
// variant, so the export can write its preview copies from them; returns
// exactly what was made so that it can be removed again afterwards.
std::vector<MadeThumb> MakePreviewThumbs(VELDANPanoramaProject& project, DocumentUi& ui) {
    std::vector<MadeThumb> made;
    const uint32_t tiles = project.TileCount();
    ui.ProgressBegin(tiles);
    for (uint32_t t = 0; t < tiles; ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        VELDANPanoramaBracketing* variant = tile ? tile->Bracketing(tile->variant) : nullptr;
        for (uint32_t i = 0; variant && i < variant->GetImageCnt(); ++i) {
            VELDANPanoramaImage* image = variant->GetImage(i);
            const wchar_t* name = image ? image->GetFilename() : nullptr;
            if (!name || !*name || image->GetWidth() == 0 || image->GetHeight() == 0) continue;
            const auto [w, h] = PreviewThumbSize(image->GetWidth(), image->GetHeight());
            if (w == 0 || h == 0) continue;
            image->GenerateThumb(name, w, h);
            made.push_back({image, w, h});
        }
        ui.ProgressSet(t + 1);
    }
    return made;
}

}  // namespace

void CVELDANpreviewDoc::OnFileExport(DocumentUi& ui) {
    std::wstring file;
    int filter = 0;
    if (!ui.ChooseExportFile(file, filter)) return;
    if (filter < 1 || filter > 5) return;
    // Filters 2 and 4 write the preview variants, which copy the pictures'
    // 1024-pixel thumbnails beside them.
    const bool preview = filter == 2 || filter == 4;
    std::vector<MadeThumb> made;
    if (preview) made = MakePreviewThumbs(*project_, ui);
    switch (filter) {
        case 1:
        case 2: project_->ExportPTgui(file.c_str(), preview); break;
        case 3:
        case 4: project_->ExportAutopano(file.c_str(), preview); break;
        case 5: project_->ExportHugin(file.c_str(), false); break;
    }
    // The export's own result does not stop the opening: whatever was
    // written is shown, and the shell reports a missing file itself.
    const wchar_t* folder = project_->project_path.Get();
    ui.OpenWithShell(veldan::platform::PathFromWide(file),
                     folder ? veldan::platform::PathFromWide(folder) : std::filesystem::path());
    if (preview) {
        for (const MadeThumb& m : made) m.image->DeleteThumb(m.width, m.height);
        ui.ProgressEnd();
    }
}
