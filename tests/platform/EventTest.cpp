// Tests of Event: reset modes, time-outs, pulses, lost wake-ups under
// contention, WaitAny and WaitAll.
#include "platform/Event.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace veldan::test {

using platform::Event;
using platform::kInfinite;
using platform::kWaitTimeout;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A counter that a test can wait on until it reaches a value.
class Counter {
public:
    void Increment() {
        std::lock_guard lock(mutex_);
        ++value_;
        cv_.notify_all();
    }
    bool WaitFor(int value, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return value_ >= value; });
    }
    int Value() {
        std::lock_guard lock(mutex_);
        return value_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int value_ = 0;
};

TEST(Event, InitialStateAndReset) {
    Event manual(true, true);
    EXPECT_TRUE(manual.IsManualReset());
    EXPECT_TRUE(manual.IsSet());
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0)) << "a manual-reset event stays set";
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0));

    Event automatic(false, true);
    EXPECT_FALSE(automatic.IsManualReset());
    EXPECT_TRUE(automatic.Wait(0));
    EXPECT_FALSE(automatic.Wait(0)) << "an auto-reset event is consumed by the wait";
}

TEST(Event, TimedWaitWaitsAtLeastTheTimeout) {
    Event event(false);
    const auto start = Clock::now();
    EXPECT_FALSE(event.Wait(60));
    EXPECT_GE(Clock::now() - start, 60ms);
}

TEST(Event, ManualResetReleasesEveryWaiter) {
    Event event(true);
    Counter released;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            if (event.Wait(kInfinite)) released.Increment();
        });
    event.Set();
    EXPECT_TRUE(released.WaitFor(8));
    for (auto& t : threads) t.join();
    EXPECT_TRUE(event.IsSet());
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
    Event event(false);
    Counter released;
    constexpr int kWaiters = 6;
    std::vector<std::thread> threads;
    for (int i = 0; i < kWaiters; ++i)
        threads.emplace_back([&] {
            if (event.Wait(kInfinite)) released.Increment();
        });
    for (int i = 1; i <= kWaiters; ++i) {
        event.Set();
        // Whether or not a waiter had arrived yet, exactly one is released per
        // set: the set stays pending until one comes.
        ASSERT_TRUE(released.WaitFor(i));
        EXPECT_EQ(released.Value(), i);
    }
    for (auto& t : threads) t.join();
    EXPECT_FALSE(event.IsSet());
}

TEST(Event, PulseOfAutoResetIsNeverLost) {
    Event event(false);
    event.Pulse();  // nobody waits yet
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, PulseOfManualResetReleasesWaitersAndStaysReset) {
    Event event(true);
    event.Pulse();
    EXPECT_FALSE(event.IsSet()) << "a pulse without waiters leaves nothing behind";
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        EXPECT_TRUE(event.Wait(kInfinite));
        returned = true;
    });
    // The waiter may not be waiting yet; pulse until it has been released.
    const auto deadline = Clock::now() + 10s;
    while (!returned && Clock::now() < deadline) {
        event.Pulse();
        std::this_thread::yield();
    }
    waiter.join();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(event.IsSet());
}

TEST(Event, PingPongUnderContentionLosesNoWakeUp) {
    Event ping(false), pong(false);
    constexpr int kRounds = 20000;
    std::atomic<int> failures{0};
    std::thread partner([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (!ping.Wait(10000)) ++failures;
            pong.Set();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        ping.Set();
        if (!pong.Wait(10000)) ++failures;
    }
    partner.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(Event, ManySettersOneAutoResetConsumer) {
    // Producers hand items over one at a time through an auto-reset event; the
    // consumer must see every item although sets coincide.
    Event itemReady(false);
    Event slotFree(false, true);
    std::mutex mutex;
    int item = 0, consumed = 0;
    constexpr int kProducers = 4, kItems = 2000;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&] {
            for (int i = 0; i < kItems; ++i) {
                ASSERT_TRUE(slotFree.Wait(10000));
                {
                    std::lock_guard lock(mutex);
                    ++item;
                }
                itemReady.Set();
            }
        });
    for (int i = 0; i < kProducers * kItems; ++i) {
        ASSERT_TRUE(itemReady.Wait(10000));
        {
            std::lock_guard lock(mutex);
            consumed += item;
            item = 0;
        }
        slotFree.Set();
    }
    for (auto& t : producers) t.join();
    EXPECT_EQ(consumed, kProducers * kItems);
}

TEST(Event, WaitAnyReturnsTheSetEventAndConsumesIt) {
    Event a(false), b(false), c(true);
    std::array<Event*, 3> events{&a, &b, &c};
    EXPECT_EQ(Event::WaitAny(events, 0), kWaitTimeout);
    b.Set();
    EXPECT_EQ(Event::WaitAny(events, 0), 1);
    EXPECT_FALSE(b.IsSet());
    a.Set();
    c.Set();
    EXPECT_EQ(Event::WaitAny(events, 0), 0) << "the first set event in order wins";
    EXPECT_EQ(Event::WaitAny(events, 0), 2);
    EXPECT_TRUE(c.IsSet()) << "manual-reset events are not consumed";
}

TEST(Event, WaitAnyTimesOut) {
    Event a(false), b(true);
    std::array<Event*, 2> events{&a, &b};
    const auto start = Clock::now();
    EXPECT_EQ(Event::WaitAny(events, 50), kWaitTimeout);
    EXPECT_GE(Clock::now() - start, 50ms);
}

TEST(Event, WaitAnyWakesOnASetFromAnotherThread) {
    Event data(false), stop(true);
    std::array<Event*, 2> events{&data, &stop};
    Counter received;
    std::atomic<bool> stopped{false};
    std::thread consumer([&] {
        for (;;) {
            const int which = Event::WaitAny(events, kInfinite);
            if (which == 1) break;
            if (which == 0) received.Increment();
        }
        stopped = true;
    });
    for (int i = 1; i <= 500; ++i) {
        data.Set();
        ASSERT_TRUE(received.WaitFor(i));
    }
    stop.Set();
    consumer.join();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(received.Value(), 500);
}

TEST(Event, WaitAnyOnAPulsedManualEvent) {
    Event a(false), pulsed(true);
    std::array<Event*, 2> events{&a, &pulsed};
    std::atomic<int> result{-2};
    std::thread waiter([&] { result = Event::WaitAny(events, kInfinite); });
    const auto deadline = Clock::now() + 10s;
    while (result == -2 && Clock::now() < deadline) {
        pulsed.Pulse();
        std::this_thread::yield();
    }
    waiter.join();
    EXPECT_EQ(result.load(), 1);
}

TEST(Event, WaitAllNeedsEveryEventAndConsumesThemTogether) {
    Event a(false), b(false), m(true);
    std::array<Event*, 3> events{&a, &b, &m};
    a.Set();
    m.Set();
    EXPECT_FALSE(Event::WaitAll(events, 20));
    EXPECT_TRUE(a.IsSet()) << "a failed WaitAll consumes nothing";
    b.Set();
    EXPECT_TRUE(Event::WaitAll(events, 0));
    EXPECT_FALSE(a.IsSet());
    EXPECT_FALSE(b.IsSet());
    EXPECT_TRUE(m.IsSet());
}

TEST(Event, WaitAllWakesWhenTheLastEventIsSetElsewhere) {
    Event a(false), b(false), c(false);
    std::array<Event*, 3> events{&a, &b, &c};
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        EXPECT_TRUE(Event::WaitAll(events, 10000));
        done = true;
    });
    std::thread s1([&] { a.Set(); });
    std::thread s2([&] { b.Set(); });
    s1.join();
    s2.join();
    c.Set();
    waiter.join();
    EXPECT_TRUE(done);
    EXPECT_FALSE(a.IsSet() || b.IsSet() || c.IsSet());
}

TEST(Event, CompetingWaitAllAndSingleWaitsShareEvents) {
    // Two threads compete for the same auto-reset events, one with WaitAll and
    // one with single waits; every set is consumed exactly once.
    Event a(false), b(false);
    std::array<Event*, 2> both{&a, &b};
    std::atomic<int> consumedA{0}, consumedB{0};
    std::atomic<bool> stop{false};
    std::thread all([&] {
        while (!stop)
            if (Event::WaitAll(both, 5)) {
                ++consumedA;
                ++consumedB;
            }
    });
    std::thread single([&] {
        while (!stop)
            if (a.Wait(5)) ++consumedA;
    });
    constexpr int kSets = 2000;
    for (int i = 0; i < kSets; ++i) {
        a.Set();
        b.Set();
        // Wait until this round's "a" has been taken by one of them.
        const auto deadline = Clock::now() + 10s;
        while (consumedA < i + 1 && Clock::now() < deadline) std::this_thread::yield();
        ASSERT_EQ(consumedA.load(), i + 1);
    }
    stop = true;
    all.join();
    single.join();
    EXPECT_EQ(consumedA.load(), kSets);
    EXPECT_LE(consumedB.load(), kSets);
}

}  // namespace
}  // namespace veldan::test
