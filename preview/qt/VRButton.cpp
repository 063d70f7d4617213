// CVRButton: the manual-move pad painting its current motion and forwarding
// clicks to the head control.
#include "VRButton.h"
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include "preview/head/HeadPictures.h"

namespace veldan::preview {

CVRButton::CVRButton(QWidget* parent) : QWidget(parent) {
    setFixedSize(144, 144);
    picture_ = kPadDisabled;
}

void CVRButton::SetPicture(int picture) {
    if (picture == picture_) return;
    picture_ = picture;
    update();
}

void CVRButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        emit clicked(p.x(), p.y());
    }
    QWidget::mousePressEvent(event);
}

namespace {

// An arrow in the cell at (cx, cy) pointing in direction (dx, dy).
void Arrow(QPainter& p, QPointF centre, QPointF dir, const QColor& color) {
    const QPointF n(-dir.y(), dir.x());
    QPainterPath path;
    path.moveTo(centre + dir * 18);
    path.lineTo(centre - dir * 10 + n * 14);
    path.lineTo(centre - dir * 10 - n * 14);
    path.closeSubpath();
    p.fillPath(path, color);
}

}  // namespace

void CVRButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool disabled = picture_ == kPadDisabled;
    const QColor cell = disabled ? QColor(225, 225, 225) : QColor(200, 215, 235);
    const QColor idle = disabled ? QColor(170, 170, 170) : QColor(70, 90, 120);
    const QColor active(220, 120, 0);
    for (QRect r : {QRect(0, 48, 48, 48), QRect(96, 48, 48, 48), QRect(48, 0, 48, 48), QRect(48, 96, 48, 48),
                    QRect(48, 48, 48, 48)})
        p.fillRect(r.adjusted(1, 1, -1, -1), cell);
    const bool left = picture_ == kPadLeft || picture_ == kPadLeftUp || picture_ == kPadLeftDown;
    const bool right = picture_ == kPadRight || picture_ == kPadRightUp || picture_ == kPadRightDown;
    const bool up = picture_ == kPadUp || picture_ == kPadLeftUp || picture_ == kPadRightUp;
    const bool down = picture_ == kPadDown || picture_ == kPadLeftDown || picture_ == kPadRightDown;
    Arrow(p, QPointF(24, 72), QPointF(-1, 0), left ? active : idle);
    Arrow(p, QPointF(120, 72), QPointF(1, 0), right ? active : idle);
    Arrow(p, QPointF(72, 24), QPointF(0, -1), up ? active : idle);
    Arrow(p, QPointF(72, 120), QPointF(0, 1), down ? active : idle);
    // The centre: a stop square, red while a halt is shown.
    p.fillRect(QRectF(60, 60, 24, 24), picture_ == kPadHalt ? QColor(200, 30, 30) : idle);
}

QPixmap BatteryPixmap(int picture) {
    QPixmap pixmap(48, 20);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    p.drawRect(0, 2, 42, 15);
    p.fillRect(43, 7, 4, 6, Qt::black);
    const int tenths = std::clamp(picture - kBatteryEmpty, 0, 10);
    const QColor fill = tenths <= 2 ? QColor(200, 30, 30) : tenths <= 4 ? QColor(230, 170, 0) : QColor(40, 160, 60);
    if (tenths > 0) p.fillRect(2, 4, 4 * tenths - 1, 12, fill);
    return pixmap;
}

}  // namespace veldan::preview
