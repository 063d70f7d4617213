// The head pane's data without a device: the control table, the pictures,
// the pad zones, the exposure texts and the capture queue under threads.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "preview/capture/CaptureQueue.h"
#include "preview/head/HeadPictures.h"
#include "preview/head/HeadState.h"
#include "preview/head/VRHeadControl.h"

namespace veldan::test {

using namespace veldan::preview;

TEST(HeadLogic, ControlTableOfEveryState) {
    HeadControls off = ControlsForState(HeadState::Off, true, false);
    EXPECT_TRUE(off.prefs);
    EXPECT_TRUE(off.onOffTimer);
    EXPECT_FALSE(off.onOffShowsOn);
    EXPECT_TRUE(off.positionsDashed && off.emptyBattery);
    EXPECT_FALSE(off.start || off.stop || off.pause || off.pad || off.slow || off.zero || off.park || off.timings);

    HeadControls ready = ControlsForState(HeadState::Ready, true, true);
    EXPECT_TRUE(ready.start && ready.pad && ready.slow && ready.zero && ready.park && ready.timings);
    EXPECT_TRUE(ready.fillTimings && ready.releaseKeys && ready.onOffTimer && ready.onOffShowsOn);
    EXPECT_FALSE(ready.stop || ready.pause || ready.prefs);
    // Start needs a bound view with tiles and a handle.
    EXPECT_FALSE(ControlsForState(HeadState::Ready, false, true).start);
    EXPECT_FALSE(ControlsForState(HeadState::Ready, true, false).start);
    EXPECT_FALSE(ControlsForState(HeadState::Ready, true, false).slow);

    HeadControls capturing = ControlsForState(HeadState::Capturing, true, true);
    EXPECT_TRUE(capturing.stop && capturing.pause && capturing.grabKeys);
    EXPECT_FALSE(capturing.start || capturing.pad || capturing.onOffTimer);

    HeadControls paused = ControlsForState(HeadState::Paused, false, true);
    EXPECT_TRUE(paused.start && paused.stop);
    EXPECT_FALSE(paused.pause || paused.grabKeys);

    HeadControls manual = ControlsForState(HeadState::ManualMove, true, true);
    EXPECT_TRUE(manual.pad && manual.grabKeys);
    EXPECT_FALSE(manual.start || manual.zero);

    for (HeadState s : {HeadState::Starting, HeadState::Stopping, HeadState::Cancelling}) {
        HeadControls c = ControlsForState(s, true, true);
        EXPECT_FALSE(c.start || c.stop || c.pause || c.pad || c.prefs || c.onOffTimer) << HeadStateName(s);
    }
    EXPECT_FALSE(ControlsForState(HeadState::Starting, true, true).onOffShowsOn);
    EXPECT_TRUE(ControlsForState(HeadState::Stopping, true, true).onOffShowsOn);
}

TEST(HeadLogic, PicturesOfPadAndBattery) {
    EXPECT_EQ(PadPicture(0, false), kPadIdle);
    EXPECT_EQ(PadPicture(kMotionLeft | kMotionUp, false), kPadLeftUp);
    EXPECT_EQ(PadPicture(kMotionRight | kMotionDown, false), kPadRightDown);
    EXPECT_EQ(PadPicture(kMotionHalt, false), kPadHalt);
    EXPECT_EQ(PadPicture(1, false), kPadIdle);  // not a listed value
    EXPECT_EQ(PadPicture(kMotionLeft, true), kPadDisabled);
    EXPECT_EQ(BatteryPicture(9), 398);
    EXPECT_EQ(BatteryPicture(10), 399);
    EXPECT_EQ(BatteryPicture(55), 403);
    EXPECT_EQ(BatteryPicture(99), 407);
    EXPECT_EQ(BatteryPicture(100), 408);
    EXPECT_EQ(BatteryPicture(140), 408);
    EXPECT_EQ(BatteryPicture(-1), 398);  // no reading is not a full battery
}

TEST(HeadLogic, PadZonesAreTheCrossCells) {
    EXPECT_EQ(PadZoneAt(0, 48), PadZone::Left);
    EXPECT_EQ(PadZoneAt(47, 95), PadZone::Left);
    EXPECT_EQ(PadZoneAt(48, 48), PadZone::Centre);
    EXPECT_EQ(PadZoneAt(96, 60), PadZone::Right);
    EXPECT_EQ(PadZoneAt(143, 95), PadZone::Right);
    EXPECT_EQ(PadZoneAt(144, 60), PadZone::None);
    EXPECT_EQ(PadZoneAt(60, 0), PadZone::Up);
    EXPECT_EQ(PadZoneAt(60, 143), PadZone::Down);
    EXPECT_EQ(PadZoneAt(10, 10), PadZone::None);  // corners are outside the cross
}

TEST(HeadLogic, ExposureTexts) {
    double ms = 0;
    ASSERT_TRUE(CVRHeadControl::ExposureMilliseconds(L"1/100", ms));
    EXPECT_DOUBLE_EQ(ms, 10);
    ASSERT_TRUE(CVRHeadControl::ExposureMilliseconds(L"2.5", ms));
    EXPECT_DOUBLE_EQ(ms, 2500);
    ASSERT_TRUE(CVRHeadControl::ExposureMilliseconds(L"1", ms));
    EXPECT_DOUBLE_EQ(ms, 1000);
    EXPECT_FALSE(CVRHeadControl::ExposureMilliseconds(L"1/0", ms));
    EXPECT_FALSE(CVRHeadControl::ExposureMilliseconds(L"", ms));
    EXPECT_FALSE(CVRHeadControl::ExposureMilliseconds(L"fast", ms));
    EXPECT_FALSE(CVRHeadControl::ExposureMilliseconds(L"-2", ms));
    for (const std::wstring& item : CVRHeadControl::ExposureItems())
        EXPECT_TRUE(CVRHeadControl::ExposureMilliseconds(item, ms)) << std::string(item.begin(), item.end());
    EXPECT_EQ(CVRHeadControl::ExposureItems().size(), 55u);
    EXPECT_EQ(CVRHeadControl::MillisecondItems().size(), 10u);
}

TEST(CaptureQueueTest, FirstInFirstOutAcrossThreads) {
    CaptureQueue queue;
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.TakeHead(), nullptr);
    constexpr int kPerThread = 500;
    std::vector<std::thread> producers;
    for (int t = 0; t < 2; ++t)
        producers.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) queue.Append(nullptr, nullptr, t * kPerThread + i, t == 1);
        });
    std::vector<int> taken;
    std::thread consumer([&] {
        while (taken.size() < 2 * kPerThread)
            if (auto e = queue.TakeHead()) {
                EXPECT_EQ(e->next, nullptr);
                EXPECT_EQ(e->copy, e->tileNr >= kPerThread ? 1 : 0);
                taken.push_back(e->tileNr);
            }
    });
    for (auto& p : producers) p.join();
    consumer.join();
    // Each producer's entries come out in the order it appended them.
    int last[2] = {-1, kPerThread - 1};
    for (int n : taken) {
        int& l = last[n >= kPerThread];
        EXPECT_GT(n, l);
        l = n;
    }
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.AppendCounted(nullptr, nullptr, 1, false), 1u);
    EXPECT_EQ(queue.AppendCounted(nullptr, nullptr, 2, false), 2u);
    std::vector<int> order;
    queue.ForEach([&](const CaptureQueueEntry& e) { order.push_back(e.tileNr); });
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(queue.Count(), 2u);
    queue.Clear();
    EXPECT_TRUE(queue.Empty());
}

}  // namespace veldan::test
