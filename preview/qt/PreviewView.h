#pragma once
#include <QBasicTimer>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include "platform/Window.h"
#include "preview/view/DisplayMode.h"
#include "preview/view/TileCommands.h"
#include "preview/view/ViewLayout.h"

class CVELDANpreviewDoc;
class QMenu;
class QPainter;

namespace veldan::preview {

class DocumentUi;
class ViewWarping;

// The preview view of a document: the project as a flow chart of tiles with
// the shooting path, as warped pictures on the equirectangular panorama, or
// as the blended composite. The tiles react to the mouse (hover, selection,
// context menus with the tile commands, the image preview on double click).
// Pictures come from the project library's background work, which tells the
// view by WM_TILE_CHANGED; the view then redraws that tile alone.
class CVELDANpreviewView : public QWidget, public TileView {
    Q_OBJECT
public:
    CVELDANpreviewView(CVELDANpreviewDoc& doc, DocumentUi& ui, QWidget* parent = nullptr);
    ~CVELDANpreviewView() override;

    CVELDANpreviewDoc& Document() { return doc_; }
    // Display mode command (32787, 32785, 32904, 32789, 32902): sets the mode
    // word and redraws; false for another command.
    bool SetMode(int command);
    uint32_t Mode() const { return mode_; }
    uint32_t ShownExposure() const { return exposure_; }
    void SetShownExposure(uint32_t e);
    bool RefreshPending() const { return refresh_; }
    void SetRefresh() { refresh_ = true; }
    platform::HWND Handle() const { return hwnd_; }
    const LayoutExtent& Extent() const { return extent_; }

    // Draws the view in its mode onto any paint device; printing leaves out the
    // path arrows and lays the flow chart out for the page (and again for the
    // window afterwards).
    void Render(QPainter& painter, const QRect& area, bool printing = false);
    void DrawFlowChart(QPainter& painter, const IntRect& area, bool printing);
    void DrawWarped(QPainter& painter, const IntRect& area);
    void DrawBlended(QPainter& painter, const IntRect& area);
    int HitTest(int x, int y);
    bool DrawTile(QPainter& painter, uint32_t tile);
    bool DrawPathLink(QPainter& painter, uint32_t from, uint32_t to);

    // TileView
    void RedrawTile(uint32_t tile) override;
    void RedrawAll() override;
    void ShowImagePreview(VELDANPanoramaImage* image) override;

    // Runs a tile or view command of the context menus.
    void OnCommand(int command);

    // The placeholder pictures (313 any shape, 396 wide, 397 tall).
    const QImage& PlaceholderPicture(Placeholder kind) const;

    // Hooks for tests and embedding: how a context menu is shown (returns the
    // chosen command, 0 for none) and how an image is previewed.
    using MenuRunner = std::function<int(QMenu& menu, const QPoint& globalPos)>;
    void SetMenuRunner(MenuRunner runner) { menuRunner_ = std::move(runner); }
    using PreviewRunner = std::function<void(VELDANPanoramaImage* image)>;
    void SetPreviewRunner(PreviewRunner runner) { previewRunner_ = std::move(runner); }
    void SetWarping(ViewWarping& warping) { warping_ = &warping; }

signals:
    // The document was marked modified.
    void documentModified();
    // A tile's picture arrived from the background work (WM_TILE_CHANGED).
    void tileChanged(uint32_t tile);
    void modeChanged(uint32_t mode);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnTileChanged(uint32_t tile);
    void ShowContextMenu(int hit, const QPoint& globalPos);
    void MarkModified();
    QRect TileUpdateRect(uint32_t tile) const;
    bool MouseIgnored() const { return (mode_ & kModeBlended) != 0; }

    CVELDANpreviewDoc& doc_;
    DocumentUi& ui_;
    ViewWarping* warping_;
    LayoutExtent extent_;
    bool refresh_ = true;
    uint32_t exposure_ = 0;
    uint32_t mode_ = kModeFlowChart;
    // While painting: the area of the current drawing and the region asked for.
    IntRect area_;
    bool printing_ = false;
    const QRegion* paintRegion_ = nullptr;
    QImage placeholders_[3];
    QBasicTimer hoverTimer_;
    QPoint lastMouse_;
    platform::HWND hwnd_ = nullptr;
    MenuRunner menuRunner_;
    PreviewRunner previewRunner_;
};

}  // namespace veldan::preview
