// The head pane on the offscreen platform against the virtual head: the
// On/Off button, the displays, the pad and a key press that stops it.
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include "QtTestSupport.h"
#include "TestSupport.h"
#include "VRButton.h"
#include "VRHeadPane.h"
#include "VirtualHead.h"
#include "preview/head/HeadPictures.h"

namespace veldan::test {

using namespace veldan::preview;
namespace fs = std::filesystem;

namespace {

void Click(QWidget* w, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
}

class HeadPaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
        const fs::path docs = home.Root() / "Documents";
        fs::create_directories(docs / "VELDANmodular");
        WriteText(docs / "VELDANmodular" / "settings.cfg",
                  "port = 62\nmax_device_id = 2\nhorizontal_drive = 0\nvertical_drive = 1\n"
                  "control_module = 2\nshutter_module = 2\nshutter_relay = 1\npreshot_module = 2\n"
                  "preshot_relay = 0\nbattery_empty = 10.5\nbattery_full = 12.6\n");
        std::string error;
        ASSERT_TRUE(head.Start(
            62, docs, {"--h-addr", "0", "--v-addr", "1", "--ctrl-addr", "2", "--time-scale", "10", "--voltage", "12.6"},
            error))
            << error;
        pane = std::make_unique<CVRHeadPane>(documents, HeadControlOptions{});
        pane->show();
    }
    void TearDown() override {
        pane.reset();
        head.Stop();
    }
    CVRHeadControlWidget* Dialog() { return pane->Dialog(); }

    TempHome home;
    VirtualHead head;
    DocumentList documents;
    std::unique_ptr<CVRHeadPane> pane;
};

}  // namespace

TEST_F(HeadPaneTest, OnOffPadAndKeys) {
    CVRHeadControlWidget* d = Dialog();
    EXPECT_EQ(pane->windowTitle(), QStringLiteral("VELDAN VR Head Control"));
    EXPECT_EQ(d->HorizontalText()->text(), QStringLiteral("----°"));
    EXPECT_TRUE(d->PrefsButton()->isEnabled());
    EXPECT_FALSE(d->StartButton()->isEnabled());
    EXPECT_EQ(d->Pad()->Picture(), kPadDisabled);
    QSignalSpy prefs(d, &CVRHeadControlWidget::preferencesRequested);
    d->PrefsButton()->click();
    EXPECT_EQ(prefs.count(), 1);
    EXPECT_EQ(d->ExposureBox()->count(), 55);

    ASSERT_TRUE(AwaitGui([&] { return d->OnOffButton()->isEnabled(); }));
    d->OnOffButton()->click();
    ASSERT_TRUE(AwaitGui([&] { return d->Control().State() == HeadState::Ready && d->Pad()->isEnabled(); }));
    EXPECT_FALSE(d->PrefsButton()->isEnabled());
    EXPECT_TRUE(d->ZeroButton()->isEnabled());
    EXPECT_TRUE(d->ParkButton()->isEnabled());
    EXPECT_EQ(d->ExposureBox()->currentText(), QStringLiteral("1/100"));
    ASSERT_TRUE(AwaitGui([&] { return d->HorizontalText()->text() == QStringLiteral("0.00°"); }));
    ASSERT_TRUE(AwaitGui([&] { return !d->Battery()->pixmap().isNull(); }));
    EXPECT_EQ(d->Pad()->Picture(), kPadIdle);

    // The pad's left cell turns the head; a key anywhere stops it.
    Click(d->Pad(), QPoint(10, 70));
    EXPECT_EQ(d->Pad()->Picture(), kPadLeft);
    ASSERT_TRUE(AwaitGui([&] { return d->Control().State() == HeadState::ManualMove; }));
    EXPECT_FALSE(d->OnOffButton()->isEnabled());
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(d->ExposureBox(), &key);
    EXPECT_EQ(d->Control().State(), HeadState::Cancelling);
    ASSERT_TRUE(AwaitGui([&] { return d->Control().State() == HeadState::Ready; }));
    ASSERT_TRUE(AwaitGui([&] { return d->Pad()->Picture() == kPadIdle; }));

    ASSERT_TRUE(AwaitGui([&] { return d->OnOffButton()->isEnabled(); }));
    d->OnOffButton()->click();
    ASSERT_TRUE(AwaitGui([&] { return d->Control().State() == HeadState::Off; }));
    ASSERT_TRUE(AwaitGui([&] { return d->HorizontalText()->text() == QStringLiteral("----°"); }));
    EXPECT_TRUE(d->PrefsButton()->isEnabled());
    EXPECT_EQ(d->Pad()->Picture(), kPadDisabled);
}

}  // namespace veldan::test
