#include "Berthkeep/MenuBar/MenuBarExtraActionDispatcher.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BerthkeepShared/ManualClock.hpp"
#include "TaskDriver.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

TEST(MenuBarExtraActionDispatcher, ClosesThePanelFirstAndRunsEachActionItsOwnDelayLater) {
    const auto clock = std::make_shared<ManualClock>();
    std::vector<std::string> events;
    const MenuBarExtraActionDispatcher dispatcher(
        [&] { events.push_back("dismiss"); },
        MenuBarExtraActionDispatcher::delayedScheduler(clock));

    dispatcher.dispatch([&] { events.push_back("first"); });
    test::processEventsUntil([] { return false; }, 20ms);
    clock->advance(100ms);
    dispatcher.dispatch([&] { events.push_back("second"); });
    test::processEventsUntil([] { return false; }, 20ms);
    EXPECT_EQ(events, (std::vector<std::string>{"dismiss", "dismiss"}));

    clock->advance(49ms);
    EXPECT_EQ(events.size(), 2u);
    clock->advance(1ms);
    EXPECT_EQ(events.back(), "first");
    clock->advance(99ms);
    EXPECT_EQ(events.size(), 3u);
    clock->advance(1ms);
    EXPECT_EQ(events, (std::vector<std::string>{"dismiss", "dismiss", "first", "second"}));
    clock->advance(1s);
    EXPECT_EQ(events.size(), 4u); // each ran once
}

TEST(MenuBarExtraActionDispatcher, ReplacedStepsRunInOrderAndTheActionOnlyWhenScheduled) {
    std::vector<std::string> events;
    MenuBarExtraActionDispatcher::Action scheduled;
    const MenuBarExtraActionDispatcher dispatcher([&] { events.push_back("dismiss"); },
                                                  [&](MenuBarExtraActionDispatcher::Action action) {
                                                      events.push_back("schedule");
                                                      scheduled = std::move(action);
                                                  });
    dispatcher.dispatch([&] { events.push_back("action"); });
    EXPECT_EQ(events, (std::vector<std::string>{"dismiss", "schedule"}));
    scheduled();
    EXPECT_EQ(events.back(), "action");
}

} // namespace
} // namespace berthkeep
