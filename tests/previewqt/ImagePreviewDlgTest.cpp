// The image preview dialog: the fitting scale and title, a smaller
// thumbnail standing in with the progress bar at 50 until the exact one
// arrives from the worker pool, and the thumbnails given back on closing.
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include "ImagePreviewDlg.h"
#include "TestSupport.h"
#include "ViewTestSupport.h"
#include "preview/view/ImagePreviewFit.h"

namespace veldan::test {

using namespace veldan::preview;

namespace {

class ImagePreviewDlgTest : public ::testing::Test {
protected:
    TempHome home;
};

TEST(ImagePreviewFitTest, SixThousandByFourThousandInTwelveHundredByThousand) {
    ImagePreviewFit fit;
    ASSERT_TRUE(FitImagePreview(1200, 1000, 6000, 4000, fit));
    EXPECT_EQ(fit.width, 1200u);
    EXPECT_EQ(fit.height, 800u);
    EXPECT_EQ(fit.percent, 20u);
    EXPECT_EQ(ImagePreviewTitle(L"/p/a.jpg", fit.percent), L"/p/a.jpg (20%)");
    EXPECT_EQ(ImagePreviewProgress(fit, 6000, 4000, 600, 400), 50u);
    EXPECT_EQ(ImagePreviewProgress(fit, 6000, 4000, 1200, 800), 100u);
    // A picture smaller than the area is shown at its own size at most once
    // its thumbnail is as large as the picture.
    ASSERT_TRUE(FitImagePreview(1200, 1000, 300, 200, fit));
    EXPECT_EQ(fit.percent, 400u);
    EXPECT_EQ(ImagePreviewProgress(fit, 300, 200, 300, 200), 100u);
    EXPECT_FALSE(FitImagePreview(9, 1000, 300, 200, fit));
    EXPECT_FALSE(FitImagePreview(100, 100, 0, 200, fit));
}

TEST_F(ImagePreviewDlgTest, SmallerThumbnailStandsInUntilTheExactOneArrives) {
    const fs::path file = home.Root() / "big.jpg";
    WriteColouredJpeg(file, 6000, 4000, 0xFF3070B0);
    VELDANPanoramaImage image;
    image.SetFilename(Wide(file).c_str());
    ASSERT_EQ(image.GetWidth(), 6000u);
    image.GenerateThumb(nullptr, 600, 400);

    CImagePreviewDlg dialog(&image);
    QImage canvas(1200, 1000, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        dialog.PaintPicture(p, canvas.rect());
    }
    EXPECT_EQ(dialog.windowTitle(), QString::fromStdWString(Wide(file)) + QStringLiteral(" (20%)"));
    EXPECT_EQ(dialog.Progress()->value(), 50);
    EXPECT_EQ(dialog.Progress()->maximum(), 100);
    // Drawn at 1200 x 800, centred: rows 100 to 899.
    EXPECT_EQ(canvas.pixel(600, 50), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(600, 950), qRgb(255, 255, 255));
    EXPECT_LE(ColourDistance(canvas.pixel(600, 500), qRgb(0x30, 0x70, 0xB0)), 6);
    EXPECT_LE(ColourDistance(canvas.pixel(2, 101), qRgb(0x30, 0x70, 0xB0)), 6);

    // The exact thumbnail is made in the background and announced.
    ASSERT_TRUE(AwaitGui([&] { return dialog.Progress()->value() == 100; }));
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        dialog.PaintPicture(p, canvas.rect());
    }
    EXPECT_EQ(dialog.Progress()->value(), 100);
    EXPECT_LE(ColourDistance(canvas.pixel(600, 500), qRgb(0x30, 0x70, 0xB0)), 6);

    dialog.done(1);
    void* left = nullptr;
    EXPECT_EQ(image.GetImage(&left, 600, 400), VELDAN_IMAGE_OK);
    EXPECT_EQ(left, nullptr);  // closing gave every thumbnail back
}

TEST_F(ImagePreviewDlgTest, UnreadablePictureLeavesTheAreaEmptyAndTheBarAtZero) {
    const fs::path file = home.Root() / "broken.jpg";
    WriteText(file, "not a picture");
    VELDANPanoramaImage image;
    image.SetFilename(Wide(file).c_str());
    CImagePreviewDlg dialog(&image);
    QImage canvas(400, 300, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QImage before = canvas;
    {
        QPainter p(&canvas);
        dialog.PaintPicture(p, canvas.rect());
    }
    EXPECT_EQ(canvas, before);
    EXPECT_EQ(dialog.Progress()->value(), 0);
}

TEST_F(ImagePreviewDlgTest, DoubleClickEndsTheDialogAndDropsTheThumbnails) {
    const fs::path file = home.Root() / "small.jpg";
    WriteColouredJpeg(file, 320, 240, 0xFF3070B0);
    VELDANPanoramaImage image;
    image.SetFilename(Wide(file).c_str());
    image.GenerateThumb(nullptr, 160, 120);
    CImagePreviewDlg dialog(&image);
    dialog.show();
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(20, 20), QPointF(20, 20), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.PictureArea(), &click);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    void* left = nullptr;
    image.GetImage(&left, 160, 120);
    EXPECT_EQ(left, nullptr);
}

}  // namespace

}  // namespace veldan::test
