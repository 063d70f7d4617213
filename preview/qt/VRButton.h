#pragma once
#include <QWidget>
#include <functional>

namespace veldan::preview {

// The manual-move pad: a 144 x 144 cross of 48-pixel cells that paints the
// picture of the current motion (arrows drawn with QPainter) and forwards
// every left click to the head control.
class CVRButton : public QWidget {
    Q_OBJECT
public:
    explicit CVRButton(QWidget* parent = nullptr);
    // The picture number of the pad (HeadPictures.h).
    void SetPicture(int picture);
    int Picture() const { return picture_; }
    QSize sizeHint() const override { return QSize(144, 144); }

signals:
    void clicked(int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int picture_ = 0;
};

// A battery picture for a picture number (398 empty .. 408 full).
QPixmap BatteryPixmap(int picture);

}  // namespace veldan::preview
