#include "PreviewChild.h"
#include <QCloseEvent>
#include <QPainter>
#include "AppCommands.h"
#include "platform/Text.h"

namespace veldan::preview {

CVELDANpreviewView::CVELDANpreviewView(CVELDANpreviewDoc& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), mode_(cmd::kFlowChart) {
  setObjectName(QStringLiteral("PreviewView"));
  setAutoFillBackground(true);
  setMinimumSize(120, 120);
}

void CVELDANpreviewView::SetMode(int mode) {
  mode_ = mode;
  update();
}

void CVELDANpreviewView::SetShownExposure(uint32_t e) {
  exposure_ = e;
  update();
}

void CVELDANpreviewView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  Render(p, rect());
}

void CVELDANpreviewView::Render(QPainter& p, const QRect& area) {
  p.fillRect(area, Qt::white);
  if (area.width() < 100 || area.height() < 100) return;
  VELDANPanoramaProject& project = doc_.Project();
  const uint32_t n = project.TileCount();
  // Tile boxes at their angular positions: azimuth left to right, elevation
  // top (90) to bottom (-90).
  const QRectF inner = QRectF(area).adjusted(10, 30, -10, -10);
  p.setPen(QPen(Qt::black, 1));
  for (uint32_t t = 0; t < n; ++t) {
    VELDANPanoramaTile* tile = project.Tile(t);
    if (!tile) continue;
    const double w = inner.width() * tile->fov_x / 360.0;
    const double h = inner.height() * tile->fov_y / 180.0;
    const double cx = inner.left() + inner.width() * tile->pos_x / 360.0;
    const double cy = inner.top() + inner.height() * (90.0 - tile->pos_y) / 180.0;
    p.setBrush((tile->display_flags & 2) ? QColor(255, 220, 120) : QColor(220, 220, 220));
    p.drawRect(QRectF(cx - w / 2, cy - h / 2, w, h));
  }
  p.drawText(QRectF(area).adjusted(6, 4, -6, 0), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("%1 — %2 tiles").arg(QString::fromStdWString(doc_.Title())).arg(n));
}

CChildFrame::CChildFrame(std::unique_ptr<CVELDANpreviewDoc> doc, DocumentUi& ui, QWidget* parent)
    : QMdiSubWindow(parent), doc_(std::move(doc)), ui_(ui) {
  setAttribute(Qt::WA_DeleteOnClose);
  view_ = new CVELDANpreviewView(*doc_, this);
  setWidget(view_);
  UpdateTitle();
}

// The view does not touch the document while it is destroyed, so the
// document (a member) may go before the view (a child widget).
CChildFrame::~CChildFrame() = default;

void CChildFrame::UpdateTitle() {
  setWindowTitle(QString::fromStdWString(doc_->Title()) + (doc_->IsModified() ? QStringLiteral("*") : QString()));
  setToolTip(QString::fromStdString(doc_->PathName().string()));
}

void CChildFrame::closeEvent(QCloseEvent* event) {
  if (!doc_->CanCloseFrame(ui_)) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace veldan::preview
