#pragma once
#include <QDialog>
#include "platform/Window.h"

class QProgressBar;
class QPushButton;
class VELDANPanoramaImage;

namespace veldan::preview {

// "Image Preview": one image of the project as large as the window allows.
// The picture is the image's thumbnail of exactly the displayed size; while
// it is being made a smaller one stands in and the progress bar shows 50,
// then 100 when the exact one has arrived. Closing the dialog gives the
// image's thumbnails back, so that the large ones do not stay in memory.
class CImagePreviewDlg : public QDialog {
    Q_OBJECT
public:
    // image is not owned and must outlive the dialog.
    CImagePreviewDlg(VELDANPanoramaImage* image, QWidget* parent = nullptr);
    ~CImagePreviewDlg() override;

    QWidget* PictureArea() const { return picture_; }
    QProgressBar* Progress() const { return progress_; }
    platform::HWND Handle() const { return hwnd_; }
    // Draws the picture into area (the picture area's rectangle); also sets
    // the title and the progress bar.
    void PaintPicture(QPainter& painter, const QRect& area);

    int exec() override;
    void done(int result) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void DiscardThumbnails();
    // Progress bar position and (when not empty) window title.
    void ShowState(int progress, const QString& title);

    VELDANPanoramaImage* image_;
    QWidget* picture_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* ok_ = nullptr;
    platform::HWND hwnd_ = nullptr;
    bool discarded_ = false;
    bool inPaint_ = false;
};

}  // namespace veldan::preview
