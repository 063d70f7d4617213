#pragma once
#include <cstdint>
#include <vector>

class CVELDANpreviewDoc;
class VELDANPanoramaImage;
class VELDANPanoramaProject;

// The preview view's work on tiles without any widget: hover, selection,
// what the context menus offer and the tile commands. Drawing and dialogs
// are left to the view through TileView.
namespace veldan::preview {

class DocumentUi;

// Context menu commands of the view.
constexpr int kCmdSelectAll = 32773;
constexpr int kCmdRefresh = 32775;
constexpr int kCmdLocateImagefile = 32772;
constexpr int kCmdViewImage = 32774;
constexpr int kCmdOpenWith = 32780;
constexpr int kCmdNewVariant = 32778;
constexpr int kCmdVariantFirst = 32790;
constexpr int kCmdVariantLast = 32890;

// What the commands need of the view.
class TileView {
public:
    virtual ~TileView() = default;
    virtual void RedrawTile(uint32_t tile) = 0;
    virtual void RedrawAll() = 0;
    // Shows the image preview dialog modally for image.
    virtual void ShowImagePreview(VELDANPanoramaImage* image) = 0;
};

// Tiles whose selection bit is set, in tile order.
std::vector<uint32_t> SelectedTiles(VELDANPanoramaProject& project);

// Timer step of the hover highlight with the tile under the cursor (-1 for
// none): no tile clears every hover bit; a tile not yet hovered takes the
// hover from all others; each changed tile is redrawn.
void UpdateHover(VELDANPanoramaProject& project, int hit, TileView& view);
// Left click: on no tile the whole selection goes; a tile toggles its own.
void ClickTile(VELDANPanoramaProject& project, int hit, TileView& view);

// What the right button shows.
struct ContextMenuModel {
    bool tileMenu = false;      // false: the view menu ("Select all")
    bool multiple = false;      // more than one tile selected
    bool canShowImage = false;  // "View Image" and "Open with..." enabled
    uint32_t variantCount = 0;  // one "Variant %lu" item per variant
    int checkedVariant = -1;    // the single tile's variant, -1 for none
};
// Right click at the tile hit: changes the selection as the menu needs it
// (redrawing) and tells which menu to show.
ContextMenuModel RightClickTile(VELDANPanoramaProject& project, int hit, uint32_t exposure, TileView& view);

// The image the double click and "View Image" show: the shown image of the
// tile when it exists and has been taken; null otherwise.
VELDANPanoramaImage* PreviewableImage(VELDANPanoramaProject& project, int tile, uint32_t exposure);

// The commands. Unless noted each works on the selected tiles one by one,
// taking the first selected, clearing its selection bit and doing its work
// until none is selected.
void SelectAll(VELDANPanoramaProject& project, TileView& view);
// New thumbnails: every thumbnail of the tile's image goes.
void RefreshSelected(CVELDANpreviewDoc& doc, uint32_t exposure, TileView& view);
// The chosen files go to the selected tiles' images in order; tiles left
// when the files run out stay selected. Returns the files assigned.
uint32_t LocateImageFiles(CVELDANpreviewDoc& doc, uint32_t exposure, DocumentUi& ui, TileView& view);
// The image preview for every selected tile with a taken image, one after
// the other; the selection stays.
void ViewSelectedImages(VELDANPanoramaProject& project, uint32_t exposure, TileView& view);
// The selected tiles' image files with the desktop's program for them.
void OpenSelectedWithProgram(CVELDANpreviewDoc& doc, uint32_t exposure, DocumentUi& ui, TileView& view);
// A new bracketing per selected tile with the offsets (and orientation) of
// the selected one, which it then replaces as the selected one.
void NewVariant(CVELDANpreviewDoc& doc, TileView& view);
// Variant index of the selected tiles (unchanged where it does not exist).
void ChooseVariant(CVELDANpreviewDoc& doc, uint32_t index, TileView& view);

// Runs one of the commands above by number; false for another number.
bool RunTileCommand(int command, CVELDANpreviewDoc& doc, uint32_t exposure, DocumentUi& ui, TileView& view);

}  // namespace veldan::preview
