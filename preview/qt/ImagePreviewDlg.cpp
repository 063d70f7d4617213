// CImagePreviewDlg: one image shown as large as the window allows, with its
// thumbnail made in the background.
#include "ImagePreviewDlg.h"
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include "QtPicture.h"
#include "VELDANPanoramaProject.h"
#include "preview/view/DisplayMode.h"
#include "preview/view/ImagePreviewFit.h"
#include "preview/view/ViewLayout.h"

namespace veldan::preview {

using platform::Message;
using platform::RegisterWindow;
using platform::UnregisterWindow;

namespace {

// The image's notification (0x402) on its way to the window thread.
class PictureReadyEvent : public QEvent {
public:
    static QEvent::Type Kind() {
        static const int kind = QEvent::registerEventType();
        return static_cast<QEvent::Type>(kind);
    }
    PictureReadyEvent() : QEvent(Kind()) {}
};

constexpr int kPictureControl = 1057;
constexpr int kProgressControl = 1053;

}  // namespace

CImagePreviewDlg::CImagePreviewDlg(VELDANPanoramaImage* image, QWidget* parent) : QDialog(parent), image_(image) {
    setObjectName(QStringLiteral("ImagePreviewDlg"));
    setWindowTitle(QStringLiteral("Image Preview"));
    auto* grid = new QGridLayout(this);
    picture_ = new QWidget(this);
    picture_->setObjectName(QStringLiteral("Picture_%1").arg(kPictureControl));
    picture_->setMinimumSize(10, 10);
    picture_->installEventFilter(this);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("Progress_%1").arg(kProgressControl));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    // The picture grows with the window, the bar grows in width and the
    // button keeps to the lower right corner.
    grid->addWidget(picture_, 0, 0, 1, 2);
    grid->addWidget(progress_, 1, 0);
    grid->addWidget(ok_, 1, 1);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(0, 1);
    resize(576, 488);
    hwnd_ = RegisterWindow([this](const Message& m) {
        if (m.message == WM_TILE_CHANGED) QCoreApplication::postEvent(this, new PictureReadyEvent);
    });
}

CImagePreviewDlg::~CImagePreviewDlg() {
    UnregisterWindow(hwnd_);
    DiscardThumbnails();
}

int CImagePreviewDlg::exec() {
    setWindowState(windowState() | Qt::WindowMaximized);
    return QDialog::exec();
}

void CImagePreviewDlg::done(int result) {
    DiscardThumbnails();
    QDialog::done(result);
}

void CImagePreviewDlg::DiscardThumbnails() {
    if (discarded_ || !image_) return;
    discarded_ = true;
    image_->DeleteAllThumbs();
}

bool CImagePreviewDlg::event(QEvent* event) {
    if (event->type() == PictureReadyEvent::Kind()) {
        progress_->setRange(0, 100);
        progress_->setValue(100);
        picture_->update();
        return true;
    }
    return QDialog::event(event);
}

bool CImagePreviewDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picture_ && event->type() == QEvent::Paint) {
        QPainter painter(picture_);
        inPaint_ = true;
        PaintPicture(painter, picture_->rect());
        inPaint_ = false;
        return true;
    }
    if (watched == picture_ && event->type() == QEvent::MouseButtonDblClick) {
        mouseDoubleClickEvent(static_cast<QMouseEvent*>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CImagePreviewDlg::mouseDoubleClickEvent(QMouseEvent*) { done(0); }

void CImagePreviewDlg::closeEvent(QCloseEvent* event) {
    DiscardThumbnails();
    QDialog::closeEvent(event);
}

void CImagePreviewDlg::ShowState(int progress, const QString& title) {
    auto apply = [this, progress, title] {
        progress_->setRange(0, 100);
        progress_->setValue(progress);
        if (!title.isEmpty()) setWindowTitle(title);
    };
    // A progress bar repaints at once when its value changes; inside the
    // picture's own paint that would nest two paints of one window.
    if (inPaint_)
        QMetaObject::invokeMethod(this, apply, Qt::QueuedConnection);
    else
        apply();
}

void CImagePreviewDlg::PaintPicture(QPainter& painter, const QRect& area) {
    if (area.width() < 10 || area.height() < 10 || !image_) return;
    // A new request after the thumbnails were discarded would make them
    // again for a closed window.
    if (discarded_) return;
    SetNotifyTarget(image_, hwnd_, WM_TILE_CHANGED, 0, 0);
    const uint32_t iw = image_->GetWidth(), ih = image_->GetHeight();
    ImagePreviewFit fit;
    if (!FitImagePreview(static_cast<uint32_t>(area.width()), static_cast<uint32_t>(area.height()), iw, ih, fit)) {
        ShowState(0, QString());
        return;
    }
    const QString title = QString::fromStdWString(ImagePreviewTitle(image_->GetFilename(), fit.percent));
    // Read access keeps the borrowed picture alive while it is drawn.
    if (!image_->access.EnterReadAccess()) return;
    void* picture = nullptr;
    const uint32_t status = image_->GetImage(&picture, fit.width, fit.height);
    if (status == VELDAN_IMAGE_OK) {
        const QImage shown = WrapPicture(picture);
        if (!shown.isNull()) {
            ShowState(static_cast<int>(ImagePreviewProgress(fit, iw, ih, static_cast<uint32_t>(shown.width()),
                                                            static_cast<uint32_t>(shown.height()))),
                      title);
            const int left = (area.left() + area.right() + 1 - static_cast<int>(fit.width)) / 2;
            const int top = (area.top() + area.bottom() + 1 - static_cast<int>(fit.height)) / 2;
            painter.setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing);
            painter.drawImage(QRect(left, top, static_cast<int>(fit.width), static_cast<int>(fit.height)), shown);
        } else {
            ShowState(0, title);
        }
    } else {
        ShowState(progress_->value(), title);
    }
    image_->access.LeaveReadAccess();
}

}  // namespace veldan::preview
