#include "front/EventLoop.h"

#include <gtest/gtest.h>

#include <thread>

namespace tarvane {
namespace {

using namespace std::chrono_literals;

TEST(EventLoop, RunsPostedTasksInOrderFromAnyThreadAndQuits) {
    EventLoop loop;
    std::vector<int> seen;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) loop.post([&seen, i] { seen.push_back(i); });
        loop.post([&] { loop.quit(); });
    });
    EXPECT_TRUE(loop.run(5s));
    worker.join();
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
    EXPECT_FALSE(loop.run(50ms)); // nothing left: the limit ends it
}

TEST(EventLoop, TimerThatFallsBehindDuringAPauseTicksOnce) {
    EventLoop loop;
    int ticks = 0;
    loop.startTimer(2, 50, [&] {
        if (++ticks == 1) std::this_thread::sleep_for(300ms); // a blocking pause in a handler
    });
    loop.run(420ms);
    // One tick before the pause, one right after it, then one per period: not six catch-up ticks.
    EXPECT_GE(ticks, 2);
    EXPECT_LE(ticks, 4);
    loop.killTimer(2);
    const int before = ticks;
    loop.run(150ms);
    EXPECT_EQ(ticks, before);
}

} // namespace
} // namespace tarvane
