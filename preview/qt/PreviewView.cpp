// CVELDANpreviewView: drawing the flow chart, the warped pictures and the
// composite, and the mouse on tiles.
#include "PreviewView.h"
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include "ImagePreviewDlg.h"
#include "QtPicture.h"
#include "VELDANPanoramaProject.h"
#include "preview/document/DocumentUi.h"
#include "preview/document/VELDANpreviewDoc.h"
#include "preview/view/ViewWarping.h"

namespace veldan::preview {

using platform::Message;
using platform::RegisterWindow;
using platform::UnregisterWindow;

namespace {

// WM_TILE_CHANGED on its way to the window thread.
class TileChangedEvent : public QEvent {
public:
    static QEvent::Type Kind() {
        static const int kind = QEvent::registerEventType();
        return static_cast<QEvent::Type>(kind);
    }
    explicit TileChangedEvent(uint32_t tile) : QEvent(Kind()), tile_(tile) {}
    uint32_t Tile() const { return tile_; }

private:
    uint32_t tile_;
};

QColor Argb(uint32_t argb) { return QColor::fromRgba(argb); }
QRect ToQRect(const IntRect& r) { return QRect(r.left, r.top, r.width, r.height); }

// A stand-in picture: a light frame with a simple landscape in its lower
// right part, so that the upper left stays one plain colour.
QImage MakePlaceholder(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0xC8, 0xC8, 0xC8));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x90, 0x90, 0x90));
    QPolygonF hills;
    hills << QPointF(w * 0.45, h * 0.9) << QPointF(w * 0.65, h * 0.6) << QPointF(w * 0.75, h * 0.72)
          << QPointF(w * 0.85, h * 0.55) << QPointF(w * 0.95, h * 0.9);
    p.drawPolygon(hills);
    p.setBrush(QColor(0xF0, 0xF0, 0xF0));
    p.drawEllipse(QPointF(w * 0.8, h * 0.3), w * 0.07, w * 0.07);
    return image;
}

bool HasFile(VELDANPanoramaImage* image) {
    const wchar_t* name = image ? image->GetFilename() : nullptr;
    return name && *name;
}

// Read access on a lock for as long as a borrowed picture is drawn.
class ReadAccess {
public:
    ReadAccess() = default;
    ReadAccess(const ReadAccess&) = delete;
    ReadAccess& operator=(const ReadAccess&) = delete;
    ~ReadAccess() { Leave(); }
    bool Enter(AccessControl& lock) {
        Leave();
        if (!lock.EnterReadAccess()) return false;
        lock_ = &lock;
        return true;
    }
    void Leave() {
        if (lock_) lock_->LeaveReadAccess();
        lock_ = nullptr;
    }

private:
    AccessControl* lock_ = nullptr;
};

}  // namespace

CVELDANpreviewView::CVELDANpreviewView(CVELDANpreviewDoc& doc, DocumentUi& ui, QWidget* parent)
    : QWidget(parent), doc_(doc), ui_(ui), warping_(&DefaultViewWarping()) {
    setObjectName(QStringLiteral("PreviewView"));
    setMouseTracking(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setMinimumSize(120, 120);
    placeholders_[static_cast<int>(Placeholder::Square)] = MakePlaceholder(64, 64);
    placeholders_[static_cast<int>(Placeholder::Wide)] = MakePlaceholder(96, 64);
    placeholders_[static_cast<int>(Placeholder::Tall)] = MakePlaceholder(64, 96);
    // The project library posts from its worker threads: the sink only queues
    // an event for the window thread.
    hwnd_ = RegisterWindow([this](const Message& m) {
        if (m.message == WM_TILE_CHANGED)
            QCoreApplication::postEvent(this, new TileChangedEvent(static_cast<uint32_t>(m.wParam)));
    });
}

CVELDANpreviewView::~CVELDANpreviewView() {
    // Images may still name this window; their posts fail from here on.
    UnregisterWindow(hwnd_);
}

const QImage& CVELDANpreviewView::PlaceholderPicture(Placeholder kind) const {
    return placeholders_[static_cast<int>(kind)];
}

bool CVELDANpreviewView::SetMode(int command) {
    const uint32_t mode = ModeForCommand(command);
    if (mode == 0) return false;
    mode_ = mode;
    if (command == kCmdBlended) refresh_ = true;
    if (mode_ & kModeBlended) {
        hoverTimer_.stop();
    }
    update();
    emit modeChanged(mode_);
    return true;
}

void CVELDANpreviewView::SetShownExposure(uint32_t e) {
    exposure_ = e;
    update();
}

void CVELDANpreviewView::MarkModified() {
    doc_.SetModifiedFlag();
    emit documentModified();
}

bool CVELDANpreviewView::event(QEvent* event) {
    if (event->type() == TileChangedEvent::Kind()) {
        OnTileChanged(static_cast<TileChangedEvent*>(event)->Tile());
        return true;
    }
    return QWidget::event(event);
}

void CVELDANpreviewView::OnTileChanged(uint32_t tile) {
    MarkModified();
    RedrawTile(tile);
    emit tileChanged(tile);
}

// ---- drawing

void CVELDANpreviewView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    paintRegion_ = &event->region();
    Render(painter, rect());
    paintRegion_ = nullptr;
}

void CVELDANpreviewView::resizeEvent(QResizeEvent* event) {
    refresh_ = true;
    QWidget::resizeEvent(event);
}

void CVELDANpreviewView::Render(QPainter& painter, const QRect& area, bool printing) {
    printing_ = printing;
    if (printing) refresh_ = true;
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
    const IntRect a{area.x(), area.y(), area.width(), area.height()};
    if (mode_ & (kModeBlended | kModeMeasuring))
        DrawBlended(painter, a);
    else if (mode_ & kModeWarped)
        DrawWarped(painter, a);
    else if (mode_ & kModeFlowChart)
        DrawFlowChart(painter, a, printing);
    if (printing) refresh_ = true;  // the window's layout comes back on its next paint
    printing_ = false;
}

void CVELDANpreviewView::DrawFlowChart(QPainter& p, const IntRect& area, bool printing) {
    if (area.width < kMinimumDrawSize || area.height < kMinimumDrawSize) return;
    VELDANPanoramaProject& project = doc_.Project();
    const uint32_t n = project.TileCount();
    if (n > kMaximumFlowChartTiles) {
        p.drawText(ToQRect(area), Qt::AlignCenter, QStringLiteral("Too many images to display!"));
        return;
    }
    area_ = area;
    const bool relayout = FlowChartNeedsRelayout(project, exposure_) || refresh_;
    if (relayout) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        LayoutFlowChart(project, area.width, area.height, extent_);
        refresh_ = false;
        QApplication::restoreOverrideCursor();
        // A partial paint showed only part of the new layout.
        if (paintRegion_ && !printing && !paintRegion_->contains(rect())) update();
    }
    p.save();
    p.translate(area.left, area.top);
    const QRectF extent(extent_.left, extent_.top, extent_.right - extent_.left, extent_.bottom - extent_.top);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(extent, Argb(0xFFF5F5DC));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(extent);
    if (!printing) {
        const uint32_t nodes = project.path.GetItemCount();
        for (uint32_t k = 1; k < nodes; ++k) {
            VELDANPanoramaPathNode* from = project.path.Node(k - 1);
            VELDANPanoramaPathNode* to = project.path.Node(k);
            if (from && to && from->tile_nr >= 0 && to->tile_nr >= 0)
                DrawPathLink(p, static_cast<uint32_t>(from->tile_nr), static_cast<uint32_t>(to->tile_nr));
        }
    }
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (uint32_t t = 0; t < n; ++t) {
        if (paintRegion_ && !printing && !paintRegion_->intersects(TileUpdateRect(t))) continue;
        DrawTile(p, t);
    }
    p.restore();
}

void CVELDANpreviewView::DrawWarped(QPainter& p, const IntRect& full) {
    if (full.width < kMinimumDrawSize || full.height < kMinimumDrawSize) return;
    VELDANPanoramaProject& project = doc_.Project();
    p.fillRect(ToQRect(full), Qt::white);
    const IntRect area = (mode_ & kModeLetterbox) ? LetterboxArea(full, project.fov) : full;
    area_ = area;
    PlaceWarpedBoxes(project, *warping_, area);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(ToQRect(area), Argb(0xFF000000));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t) {
        if (paintRegion_ && !printing_ && !paintRegion_->intersects(TileUpdateRect(t))) continue;
        DrawTile(p, t);
    }
}

void CVELDANpreviewView::DrawBlended(QPainter& p, const IntRect& full) {
    if (full.width < kMinimumDrawSize || full.height < kMinimumDrawSize) return;
    VELDANPanoramaProject& project = doc_.Project();
    p.fillRect(ToQRect(full), Qt::white);
    const IntRect area = (mode_ & kModeLetterbox) ? LetterboxArea(full, project.fov) : full;
    area_ = area;
    PlaceWarpedBoxes(project, *warping_, area);
    const uint32_t n = project.TileCount();
    for (uint32_t t = 0; t < n; ++t)
        SetNotifyTarget(ShownImage(project.Tile(t), exposure_), hwnd_, WM_TILE_CHANGED, t, 0);
    const uint32_t flags = PREVIEW_BACKGROUND | PREVIEW_BLEND | (refresh_ ? PREVIEW_REFRESH : 0);
    void* composite = warping_->GetComposite(doc_, static_cast<uint32_t>(area.width),
                                             static_cast<uint32_t>(area.height), flags, exposure_, 0, 0, 0, 0);
    const QImage picture = WrapPicture(composite);
    if (!picture.isNull()) {
        p.drawImage(QPoint(area.left, area.top), picture);
        refresh_ = false;
    } else {
        // No composite yet: the panorama's area stays dark, as before any
        // picture is warped.
        p.fillRect(ToQRect(area), Argb(0xFF000000));
    }
}

bool CVELDANpreviewView::DrawTile(QPainter& p, uint32_t n) {
    VELDANPanoramaProject& project = doc_.Project();
    if (n >= project.TileCount()) return false;
    VELDANPanoramaTile* tile = project.Tile(n);
    if (!tile || !tile->Bracketing(tile->variant)) return false;
    VELDANPanoramaImage* image = ShownImage(tile, exposure_);
    const IntRect box = TileBox(*tile);
    const uint32_t W = static_cast<uint32_t>(std::max(area_.width, 0));
    const uint32_t H = static_cast<uint32_t>(std::max(area_.height, 0));
    uint32_t status = 0x200;
    QImage picture;
    ReadAccess held;  // keeps the borrowed picture alive while it is drawn

    if (mode_ & kModeWarped) {
        SetNotifyTarget(image, hwnd_, WM_TILE_CHANGED, n, 0);
        status = warping_->WarpImage(&project, tile, image, W, H, PREVIEW_BACKGROUND);
        if (status == VELDAN_IMAGE_CANNOT_LOAD && !HasFile(image)) status = 0x200;  // not shot yet
        if (image) {
            if (!held.Enter(image->warped.lock)) return false;
            picture = WrapPicture(image->warped.bitmap);
        }
    } else if (mode_ & kModeBlended) {
        SetNotifyTarget(image, hwnd_, WM_TILE_CHANGED, n, 0);
        status = warping_->WarpImage(&project, tile, image, W, H, PREVIEW_BACKGROUND);
        if (image) {
            // Only the warped picture's size is needed here; the lock is
            // given back before the composite is made, which takes the
            // image's lock and then the warped picture's: holding the warped
            // picture's lock across it would take them in the wrong order and
            // deadlock with a thumbnail job (image, then warped picture).
            if (!held.Enter(image->warped.lock)) return false;
            const QImage warped = WrapPicture(image->warped.bitmap);
            const bool hasWarped = !warped.isNull();
            const int warpedWidth = warped.width(), warpedHeight = warped.height();
            held.Leave();
            if (hasWarped) {
                int32_t L = 0, T = 0;
                uint32_t TW = 0, TH = 0;
                if (!warping_->GetDrawingRect(&project, tile, W, H, L, T, TW, TH)) return false;
                // A warped picture of another preview size is composed by the next
                // full paint.
                if (static_cast<uint32_t>(warpedWidth) != TW || static_cast<uint32_t>(warpedHeight) != TH) return false;
                int64_t left = L, top = T, width = TW, height = TH;
                if (left < 0) {
                    width += left;
                    left = 0;
                }
                if (top < 0) {
                    height += top;
                    top = 0;
                }
                if (width <= 0 || height <= 0) return true;
                void* composite =
                    warping_->GetComposite(doc_, W, H, PREVIEW_REFRESH | PREVIEW_BACKGROUND | PREVIEW_BLEND, exposure_,
                                           static_cast<uint32_t>(left), static_cast<uint32_t>(top),
                                           static_cast<uint32_t>(width), static_cast<uint32_t>(height));
                picture = WrapPicture(composite);
            }
        }
    } else if (mode_ & kModeFlowChart) {
        if (box.width > 15 || box.height > 15) {
            SetNotifyTarget(image, hwnd_, WM_TILE_CHANGED, n, 0);
            // An image without a file has not been shot yet: it shows the
            // placeholder untinted instead of the red of an unreadable picture.
            if (image && HasFile(image) && held.Enter(image->access)) {
                void* thumb = nullptr;
                status = image->GetImage(&thumb, static_cast<uint32_t>(std::max(box.width, 1)),
                                         static_cast<uint32_t>(std::max(box.height, 1)));
                picture = WrapPicture(thumb);
            }
        }
    } else {
        return true;  // VR tour and measuring draw no tiles
    }

    const uint32_t tint = TileTint(tile->display_flags, status);
    const QColor border = Argb(TileBorder(tile->display_flags));

    if (mode_ & kModeFlowChart) {
        const QPainter::CompositionMode before = p.compositionMode();
        if (IsSmallBox(box)) {
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(ToQRect(SmallBoxRect(box)), border);
        } else {
            const QImage& source = picture.isNull() ? PlaceholderPicture(PlaceholderFor(tile->aspect_ratio)) : picture;
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(QRectF(box.left, box.top, box.width, box.height), TintedPicture(source, tint));
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            p.setPen(QPen(border, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(box.left, box.top, box.width, box.height));
        }
        p.setCompositionMode(before);
    } else if (mode_ & kModeWarped) {
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (!picture.isNull()) {
            p.drawImage(QRectF(box.left, box.top, box.width, box.height), TintedPicture(picture, tint));
        } else if ((status == VELDAN_IMAGE_FAILURE && image) || status == VELDAN_IMAGE_CANNOT_LOAD) {
            // No warped picture can be had: the tile's place is outlined (and
            // tinted) so that it can still be found, chosen and opened.
            if (tint >> 24) p.fillRect(ToQRect(box), Argb(tint));
            p.setPen(QPen(border == Qt::black ? QColor(0x60, 0x60, 0x60) : border, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(box.left + 0.5, box.top + 0.5, box.width - 1, box.height - 1));
        }
    } else if (mode_ & kModeBlended) {
        if (!picture.isNull()) p.drawImage(QPoint(area_.left, area_.top), picture);
    }
    return true;
}

bool CVELDANpreviewView::DrawPathLink(QPainter& p, uint32_t from, uint32_t to) {
    VELDANPanoramaProject& project = doc_.Project();
    VELDANPanoramaTile* a = project.Tile(from);
    VELDANPanoramaTile* b = project.Tile(to);
    PathLinkShape s;
    if (!a || !b || !PathLinkGeometry(*a, *b, s)) return false;
    QPainterPath curve(QPointF(s.start.x, s.start.y));
    curve.cubicTo(QPointF(s.control1.x, s.control1.y), QPointF(s.control2.x, s.control2.y), QPointF(s.end.x, s.end.y));
    p.setPen(QPen(Qt::black, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    QPolygonF arrow;
    for (const PointI& q : s.triangle) arrow << QPointF(q.x, q.y);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPolygon(arrow);
    return true;
}

QRect CVELDANpreviewView::TileUpdateRect(uint32_t n) const {
    VELDANPanoramaTile* tile = doc_.Project().Tile(n);
    if (!tile) return {};
    QRect r = ToQRect(TileBox(*tile));
    if (mode_ & kModeFlowChart) r.translate(area_.left, area_.top);
    // The border, the smallest boxes' rectangle and the arrow tips reach a
    // little beyond the box.
    return r.adjusted(-9, -9, 9, 9);
}

void CVELDANpreviewView::RedrawTile(uint32_t n) {
    if (mode_ & kModeBlended) {
        // Recomposes the tile's region of the composite; the paint that follows
        // shows the stored composite.
        if (area_.width > 0 && area_.height > 0) {
            // What DrawTile paints here is thrown away (clipped to one pixel);
            // the composite itself is what changes.
            QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
            QPainter p(&scratch);
            DrawTile(p, n);
        }
        update();
        return;
    }
    update(TileUpdateRect(n));
}

void CVELDANpreviewView::RedrawAll() { update(); }

int CVELDANpreviewView::HitTest(int x, int y) { return veldan::preview::HitTest(doc_.Project(), x, y); }

// ---- mouse

void CVELDANpreviewView::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    lastMouse_ = event->position().toPoint();
    hoverTimer_.stop();
    if (!MouseIgnored()) hoverTimer_.start(10, this);
}

void CVELDANpreviewView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    hoverTimer_.stop();
    if (!MouseIgnored()) UpdateHover(doc_.Project(), -1, *this);
}

void CVELDANpreviewView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != hoverTimer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    hoverTimer_.stop();
    UpdateHover(doc_.Project(), HitTest(lastMouse_.x(), lastMouse_.y()), *this);
}

void CVELDANpreviewView::mousePressEvent(QMouseEvent* event) {
    if (MouseIgnored()) return;
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        ClickTile(doc_.Project(), HitTest(pos.x(), pos.y()), *this);
    } else if (event->button() == Qt::RightButton) {
        ShowContextMenu(HitTest(pos.x(), pos.y()), event->globalPosition().toPoint());
    }
}

void CVELDANpreviewView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    if (VELDANPanoramaImage* image = PreviewableImage(doc_.Project(), HitTest(pos.x(), pos.y()), exposure_))
        ShowImagePreview(image);
}

void CVELDANpreviewView::ShowContextMenu(int hit, const QPoint& globalPos) {
    const ContextMenuModel model = RightClickTile(doc_.Project(), hit, exposure_, *this);
    QMenu menu(this);
    auto add = [&menu](const QString& text, int command) {
        QAction* a = menu.addAction(text);
        a->setData(command);
        return a;
    };
    if (model.tileMenu) {
        menu.setObjectName(QStringLiteral("TILE_CONTEXT_MENU"));
        add(QStringLiteral("Refresh"), kCmdRefresh);
        add(QStringLiteral("Locate Imagefile..."), kCmdLocateImagefile);
        add(QStringLiteral("View Image"), kCmdViewImage)->setEnabled(model.canShowImage);
        add(QStringLiteral("Open with associated program..."), kCmdOpenWith)->setEnabled(model.canShowImage);
        menu.addSeparator();
        add(QStringLiteral("New Variant"), kCmdNewVariant);
        for (uint32_t k = 0; k < model.variantCount; ++k) {
            QAction* a = add(QString::asprintf("Variant %lu", static_cast<unsigned long>(k + 1)),
                             kCmdVariantFirst + static_cast<int>(k));
            a->setCheckable(true);
            a->setChecked(!model.multiple && static_cast<int>(k) == model.checkedVariant);
        }
    } else {
        menu.setObjectName(QStringLiteral("VIEW_CONTEXT_MENU"));
        add(QStringLiteral("Select all"), kCmdSelectAll);
    }
    int chosen = 0;
    if (menuRunner_) {
        chosen = menuRunner_(menu, globalPos);
    } else if (QAction* a = menu.exec(globalPos)) {
        chosen = a->data().toInt();
    }
    if (chosen) OnCommand(chosen);
}

void CVELDANpreviewView::OnCommand(int command) {
    const bool wasModified = doc_.IsModified();
    if (!RunTileCommand(command, doc_, exposure_, ui_, *this)) return;
    if (doc_.IsModified() && !wasModified) emit documentModified();
}

void CVELDANpreviewView::ShowImagePreview(VELDANPanoramaImage* image) {
    if (!image) return;
    if (previewRunner_) {
        previewRunner_(image);
        return;
    }
    CImagePreviewDlg dialog(image, this);
    dialog.exec();
}

}  // namespace veldan::preview
