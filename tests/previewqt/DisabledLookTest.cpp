// Disabled controls look disabled in every visual style: the head pane's
// buttons tell the head's state (ready, capturing, paused) only this way.
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include "AppCommands.h"
#include "TestSupport.h"
#include "VRHeadPane.h"
#include "VisualStyle.h"

namespace veldan::test {

using namespace veldan::preview;

namespace {

int Luma(const QColor& c) { return (c.red() * 299 + c.green() * 587 + c.blue() * 114) / 1000; }

}  // namespace

TEST(DisabledLookTest, DisabledButtonTextDiffersFromEnabledButStaysReadable) {
    ASSERT_NE(QApplication::instance(), nullptr);
    TempHome home;
    DocumentList documents;
    // Off: On/Off is enabled, Start, Break and Stop are not.
    CVRHeadPane pane(documents, HeadControlOptions{});
    CVRHeadControlWidget* d = pane.Dialog();
    for (int look = cmd::kLookFirst; look <= cmd::kLookLast; ++look) {
        SCOPED_TRACE(LookName(look));
        ApplyVisualStyle(look);
        QCoreApplication::processEvents();
        ASSERT_FALSE(d->StartButton()->isEnabled());
        const QPalette enabled = d->PrefsButton()->palette(), disabled = d->StartButton()->palette();
        const QColor on = enabled.color(QPalette::Active, QPalette::ButtonText);
        const QColor off = disabled.color(QPalette::Disabled, QPalette::ButtonText);
        const QColor face = disabled.color(QPalette::Disabled, QPalette::Button);
        EXPECT_GE(std::abs(Luma(on) - Luma(off)), 60) << "disabled text looks enabled";
        EXPECT_GE(std::abs(Luma(off) - Luma(face)), 30) << "disabled text vanishes on its button";
        EXPECT_GE(std::abs(Luma(enabled.color(QPalette::Active, QPalette::ButtonText)) -
                           Luma(enabled.color(QPalette::Active, QPalette::Button))),
                  90)
            << "enabled text is hard to read";
    }
    ApplyVisualStyle(cmd::kLookDefault);
}

TEST(DisabledLookTest, TimingBoxesStayEmptyUntilTheHeadReportsItsTimes) {
    TempHome home;
    DocumentList documents;
    CVRHeadPane pane(documents, HeadControlOptions{});
    CVRHeadControlWidget* d = pane.Dialog();
    for (QComboBox* box : {d->RecoverBox(), d->PreshotBox(), d->ExposureBox()}) {
        EXPECT_FALSE(box->isEnabled());
        EXPECT_TRUE(box->currentText().isEmpty()) << box->currentText().toStdString();
        EXPECT_GT(box->count(), 0);
    }
}

}  // namespace veldan::test
