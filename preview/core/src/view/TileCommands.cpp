// The preview view's tile work without widgets: hover, selection, context
// menus and the tile commands.
#include "preview/view/TileCommands.h"
#include <algorithm>
#include <filesystem>
#include "VELDANPanoramaProject.h"
#include "platform/Text.h"
#include "preview/document/DocumentUi.h"
#include "preview/document/VELDANpreviewDoc.h"
#include "preview/view/DisplayMode.h"
#include "preview/view/ViewLayout.h"

namespace veldan::preview {

using platform::PathFromWide;

namespace {

// Clears flag on every tile but keep (-1: all) and redraws each changed one.
void ClearFlag(VELDANPanoramaProject& project, uint32_t flag, int keep, TileView& view) {
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile || static_cast<int>(t) == keep || !(tile->display_flags & flag)) continue;
        tile->display_flags &= ~flag;
        view.RedrawTile(t);
    }
}

// The first selected tile with its selection bit cleared; -1 when none.
int TakeFirstSelected(VELDANPanoramaProject& project) {
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (tile && (tile->display_flags & kTileSelected)) {
            tile->display_flags &= ~kTileSelected;
            return static_cast<int>(t);
        }
    }
    return -1;
}

bool HasSelection(VELDANPanoramaProject& project) {
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t)
        if (VELDANPanoramaTile* tile = project.Tile(t); tile && (tile->display_flags & kTileSelected)) return true;
    return false;
}

bool IsTaken(VELDANPanoramaImage* image) {
    if (!image || !image->access.EnterReadAccess()) return false;
    const bool taken = image->taken != 0;
    image->access.LeaveReadAccess();
    return taken;
}

}  // namespace

std::vector<uint32_t> SelectedTiles(VELDANPanoramaProject& project) {
    std::vector<uint32_t> out;
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t)
        if (VELDANPanoramaTile* tile = project.Tile(t); tile && (tile->display_flags & kTileSelected)) out.push_back(t);
    return out;
}

void UpdateHover(VELDANPanoramaProject& project, int hit, TileView& view) {
    VELDANPanoramaTile* tile = hit >= 0 ? project.Tile(static_cast<uint32_t>(hit)) : nullptr;
    if (!tile) {
        ClearFlag(project, kTileHovered, -1, view);
        return;
    }
    if (tile->display_flags & kTileHovered) return;
    ClearFlag(project, kTileHovered, hit, view);
    tile->display_flags |= kTileHovered;
    view.RedrawTile(static_cast<uint32_t>(hit));
}

void ClickTile(VELDANPanoramaProject& project, int hit, TileView& view) {
    VELDANPanoramaTile* tile = hit >= 0 ? project.Tile(static_cast<uint32_t>(hit)) : nullptr;
    if (!tile) {
        ClearFlag(project, kTileSelected, -1, view);
        return;
    }
    tile->display_flags ^= kTileSelected;
    view.RedrawTile(static_cast<uint32_t>(hit));
}

ContextMenuModel RightClickTile(VELDANPanoramaProject& project, int hit, uint32_t exposure, TileView& view) {
    ContextMenuModel menu;
    const std::vector<uint32_t> selected = SelectedTiles(project);
    if (selected.size() > 1) {
        menu.tileMenu = true;
        menu.multiple = true;
        for (uint32_t t : selected)
            if (VELDANPanoramaTile* tile = project.Tile(t))
                menu.variantCount = std::max(menu.variantCount, tile->bracketings.GetItemCount());
        return menu;
    }
    VELDANPanoramaTile* tile = hit >= 0 ? project.Tile(static_cast<uint32_t>(hit)) : nullptr;
    if (!tile) {
        ClearFlag(project, kTileSelected, -1, view);
        return menu;
    }
    if (!(tile->display_flags & kTileSelected)) {
        ClearFlag(project, kTileSelected, hit, view);
        tile->display_flags |= kTileSelected;
        view.RedrawTile(static_cast<uint32_t>(hit));
    }
    menu.tileMenu = true;
    menu.variantCount = tile->bracketings.GetItemCount();
    menu.checkedVariant = static_cast<int>(tile->variant);
    menu.canShowImage = IsTaken(ShownImage(tile, exposure));
    return menu;
}

VELDANPanoramaImage* PreviewableImage(VELDANPanoramaProject& project, int tile, uint32_t exposure) {
    if (tile < 0) return nullptr;
    VELDANPanoramaImage* image = ShownImage(project.Tile(static_cast<uint32_t>(tile)), exposure);
    return IsTaken(image) ? image : nullptr;
}

void SelectAll(VELDANPanoramaProject& project, TileView& view) {
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t)
        if (VELDANPanoramaTile* tile = project.Tile(t)) tile->display_flags |= kTileSelected;
    view.RedrawAll();
}

void RefreshSelected(CVELDANpreviewDoc& doc, uint32_t exposure, TileView& view) {
    VELDANPanoramaProject& project = doc.Project();
    for (int t = TakeFirstSelected(project); t >= 0; t = TakeFirstSelected(project)) {
        if (VELDANPanoramaImage* image = ShownImage(project.Tile(static_cast<uint32_t>(t)), exposure)) {
            image->DeleteAllThumbs();
            doc.SetModifiedFlag();
        }
        view.RedrawTile(static_cast<uint32_t>(t));
    }
}

uint32_t LocateImageFiles(CVELDANpreviewDoc& doc, uint32_t exposure, DocumentUi& ui, TileView& view) {
    const std::vector<std::wstring> files = ui.SelectImageFiles();
    if (files.empty()) return 0;
    VELDANPanoramaProject& project = doc.Project();
    doc.SetModifiedFlag();
    ui.ProgressBegin(static_cast<uint32_t>(files.size()));
    size_t next = 0;
    uint32_t handled = 0;
    while (next < files.size() && HasSelection(project)) {
        const int t = TakeFirstSelected(project);
        VELDANPanoramaTile* tile = project.Tile(static_cast<uint32_t>(t));
        if (VELDANPanoramaImage* image = ShownImage(tile, exposure)) {
            image->SetFilename(files[next++].c_str());
            image->UnloadImage();
            const uint32_t w = image->GetWidth(), h = image->GetHeight();
            if (w && h) tile->aspect_ratio = static_cast<double>(w) / h;
        }
        ui.ProgressSet(++handled);
    }
    ui.ProgressEnd();
    view.RedrawAll();
    return static_cast<uint32_t>(next);
}

void ViewSelectedImages(VELDANPanoramaProject& project, uint32_t exposure, TileView& view) {
    for (uint32_t t : SelectedTiles(project))
        if (VELDANPanoramaImage* image = PreviewableImage(project, static_cast<int>(t), exposure))
            view.ShowImagePreview(image);
}

void OpenSelectedWithProgram(CVELDANpreviewDoc& doc, uint32_t exposure, DocumentUi& ui, TileView& view) {
    VELDANPanoramaProject& project = doc.Project();
    const wchar_t* folder = project.project_path.Get();
    const std::filesystem::path workingFolder = folder ? PathFromWide(folder) : std::filesystem::path();
    for (int t = TakeFirstSelected(project); t >= 0; t = TakeFirstSelected(project)) {
        VELDANPanoramaImage* image = ShownImage(project.Tile(static_cast<uint32_t>(t)), exposure);
        const wchar_t* name = image ? image->GetFilename() : nullptr;
        if (name && *name) {
            const std::filesystem::path file = PathFromWide(name);
            ui.OpenWithShell(file, workingFolder);
        }
        view.RedrawTile(static_cast<uint32_t>(t));
    }
}

void NewVariant(CVELDANpreviewDoc& doc, TileView& view) {
    VELDANPanoramaProject& project = doc.Project();
    for (int t = TakeFirstSelected(project); t >= 0; t = TakeFirstSelected(project)) {
        VELDANPanoramaTile* tile = project.Tile(static_cast<uint32_t>(t));
        VELDANPanoramaBracketing* made = new_VELDANPanoramaBracketing(1);
        if (!made) continue;
        if (VELDANPanoramaBracketing* current = tile->Bracketing(tile->variant)) {
            made->SetImageCnt(current->GetImageCnt());
            for (uint32_t i = 0; i < current->GetImageCnt(); ++i) {
                VELDANPanoramaImage* from = current->images ? current->images[i].get() : nullptr;
                VELDANPanoramaImage* to = made->GetImage(i);
                if (!to) continue;
                to->ev = from ? from->ev : 0;
                // The same camera set-up shoots the new variant, so its pictures
                // are turned the same way.
                to->orientation = from ? from->orientation : 0;
            }
        }
        if (!tile->bracketings.AddItem(made, tile->bracketings.GetItemCount())) {
            delete made;
            continue;
        }
        tile->variant = tile->bracketings.GetItemCount() - 1;
        doc.SetModifiedFlag();
        view.RedrawTile(static_cast<uint32_t>(t));
    }
}

void ChooseVariant(CVELDANpreviewDoc& doc, uint32_t index, TileView& view) {
    VELDANPanoramaProject& project = doc.Project();
    for (int t = TakeFirstSelected(project); t >= 0; t = TakeFirstSelected(project)) {
        VELDANPanoramaTile* tile = project.Tile(static_cast<uint32_t>(t));
        if (index < tile->bracketings.GetItemCount()) tile->variant = index;
        doc.SetModifiedFlag();
        view.RedrawTile(static_cast<uint32_t>(t));
    }
}

bool RunTileCommand(int command, CVELDANpreviewDoc& doc, uint32_t exposure, DocumentUi& ui, TileView& view) {
    switch (command) {
        case kCmdSelectAll: SelectAll(doc.Project(), view); return true;
        case kCmdRefresh: RefreshSelected(doc, exposure, view); return true;
        case kCmdLocateImagefile: LocateImageFiles(doc, exposure, ui, view); return true;
        case kCmdViewImage: ViewSelectedImages(doc.Project(), exposure, view); return true;
        case kCmdOpenWith: OpenSelectedWithProgram(doc, exposure, ui, view); return true;
        case kCmdNewVariant: NewVariant(doc, view); return true;
        default:
            if (command >= kCmdVariantFirst && command <= kCmdVariantLast) {
                ChooseVariant(doc, static_cast<uint32_t>(command - kCmdVariantFirst), view);
                return true;
            }
            return false;
    }
}

}  // namespace veldan::preview
