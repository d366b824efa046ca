#include "platform/ManualScheduler.h"
#include "platform/ThreadedScheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

using namespace keyglass;
using namespace std::chrono_literals;

TEST(ManualScheduler, RunsDueTasksInDeadlineThenSubmissionOrder)
{
    ManualScheduler scheduler;
    std::vector<std::string> order;
    scheduler.postMainAfter(20ms, [&] { order.push_back("main+20"); });
    scheduler.postIOAfter(10ms, [&] { order.push_back("io+10"); });
    scheduler.postMain([&] {
        order.push_back("main");
        scheduler.postIO([&] { order.push_back("io posted by main"); });
    });
    scheduler.postIO([&] { order.push_back("io"); });
    const auto cancelled = scheduler.postMainAfter(15ms, [&] { order.push_back("cancelled"); });
    cancelled.cancel();

    scheduler.runUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"main", "io", "io posted by main"}));
    scheduler.advance(9ms);
    EXPECT_EQ(order.size(), 3u);
    scheduler.advance(11ms);
    EXPECT_EQ(order, (std::vector<std::string>{"main", "io", "io posted by main", "io+10", "main+20"}));
    EXPECT_EQ(scheduler.pendingDelayedTasks(), 0);
}

TEST(ManualScheduler, TasksScheduledWhileAdvancingRunWhenTheirTimeComes)
{
    ManualScheduler scheduler;
    std::vector<TimePoint> ticks;
    std::function<void()> tick = [&] {
        ticks.push_back(scheduler.now());
        if (ticks.size() < 4)
            scheduler.postMainAfter(100ms, tick);
    };
    scheduler.postMainAfter(100ms, tick);
    scheduler.advance(1s);
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks[3] - ticks[0], 300ms);
}

TEST(ThreadedScheduler, IoTasksRunOneAtATimeOnOneThreadInOrder)
{
    ThreadedScheduler scheduler;
    std::vector<int> order;
    std::set<std::thread::id> threads;
    std::atomic<int> running{0};
    bool overlapped = false;
    for (int i = 0; i < 50; ++i) {
        scheduler.postIO([&, i] {
            overlapped |= running.fetch_add(1) != 0;
            order.push_back(i);
            threads.insert(std::this_thread::get_id());
            running.fetch_sub(1);
        });
    }
    scheduler.settle();
    ASSERT_EQ(order.size(), 50u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
    EXPECT_FALSE(overlapped);
}

TEST(ThreadedScheduler, ResultsHopBackToTheMainThread)
{
    ThreadedScheduler scheduler;
    const auto mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    int result = 0;
    scheduler.postIO([&] {
        const int computed = 42;
        scheduler.postMain([&, computed] {
            ranOn = std::this_thread::get_id();
            result = computed;
        });
    });
    scheduler.settle();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(ranOn, mainThread);
}

TEST(ThreadedScheduler, CancelledDelayedTasksNeverRun)
{
    ThreadedScheduler scheduler;
    std::atomic<int> ran{0};
    auto io = scheduler.postIOAfter(2ms, [&] { ran += 1; });
    auto main = scheduler.postMainAfter(2ms, [&] { ran += 10; });
    io.cancel();
    main.cancel();
    bool done = false;
    scheduler.postMainAfter(5ms, [&] { done = true; });
    scheduler.runMainUntil(Clock::now() + 2s, [&] { return done; });
    scheduler.settle();
    EXPECT_TRUE(done);
    EXPECT_EQ(ran.load(), 0);
}

TEST(ThreadedScheduler, DestroyingItWithPendingWorkIsSafe)
{
    std::atomic<int> ran{0};
    {
        ThreadedScheduler scheduler;
        scheduler.postIOAfter(10s, [&] { ran += 1; });
        scheduler.postIO([&] { ran += 1; });
        scheduler.postMain([&] { ran += 100; });
    }
    EXPECT_LE(ran.load(), 1);
}
