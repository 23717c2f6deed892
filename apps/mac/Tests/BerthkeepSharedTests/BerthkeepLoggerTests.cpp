#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <mutex>
#include <thread>

#include "BerthkeepShared/BerthkeepLogRouter.hpp"
#include "BerthkeepShared/BerthkeepLogText.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepShared/BerthkeepOSLogSink.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {
namespace {

struct RecordingSink : BerthkeepLogSink {
    explicit RecordingSink(std::string label = {}, std::vector<std::string>* order = nullptr)
        : label(std::move(label))
        , order(order) {}
    void record(const BerthkeepLogEvent& event) override {
        std::lock_guard lock(mutex);
        events.push_back(event);
        threads.push_back(QThread::currentThread());
        if (order) {
            order->push_back(label);
        }
    }
    std::string label;
    std::vector<std::string>* order;
    std::mutex mutex;
    std::vector<BerthkeepLogEvent> events;
    std::vector<QThread*> threads;
};

BerthkeepLogEvent event(std::string name, std::string message, BerthkeepLogMetadata metadata = {},
                        BerthkeepLogLevel level = BerthkeepLogLevel::notice,
                        BerthkeepLogCategory category = BerthkeepLogCategory::state) {
    return BerthkeepLogEvent{std::chrono::system_clock::now(),
                             level,
                             category,
                             std::move(name),
                             std::move(message),
                             std::move(metadata)};
}

TEST(BerthkeepLogLevelTest, RawValuesAndUnifiedLogTypes) {
    struct Row {
        BerthkeepLogLevel level;
        const char* raw;
        UnifiedLogType type;
    };
    for (const Row& row : {Row{BerthkeepLogLevel::debug, "debug", UnifiedLogType::debug},
                           Row{BerthkeepLogLevel::notice, "notice", UnifiedLogType::defaultType},
                           Row{BerthkeepLogLevel::error, "error", UnifiedLogType::error},
                           Row{BerthkeepLogLevel::fault, "fault", UnifiedLogType::fault}}) {
        EXPECT_EQ(toString(row.level), row.raw);
        EXPECT_EQ(berthkeepLogLevelFromString(row.raw), row.level);
        EXPECT_EQ(unifiedLogType(row.level), row.type);
    }
    EXPECT_EQ(berthkeepLogLevelFromString("Notice"), std::nullopt);
}

TEST(BerthkeepLogCategoryTest, RawValuesAreCapitalised) {
    EXPECT_EQ(toString(BerthkeepLogCategory::reliability), "Reliability");
    EXPECT_EQ(toString(BerthkeepLogCategory::inventory), "Inventory");
    EXPECT_EQ(toString(BerthkeepLogCategory::state), "State");
    EXPECT_EQ(toString(BerthkeepLogCategory::settings), "Settings");
    EXPECT_EQ(berthkeepLogCategoryFromString("Inventory"), BerthkeepLogCategory::inventory);
    EXPECT_EQ(berthkeepLogCategoryFromString("inventory"), std::nullopt);
}

TEST(BerthkeepOSLogSinkTest, RendersLines) {
    struct Row {
        BerthkeepLogMetadata metadata;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {{}, "[state.transition] Menubar state changed"},
        {{{"b", "2"}, {"a", "1"}}, "[state.transition] Menubar state changed | a=1 b=2"},
        {{{"empty", ""}}, "[state.transition] Menubar state changed | empty="},
        {{{"k", "has blanks = and equals"}},
         "[state.transition] Menubar state changed | k=has blanks = and equals"},
        {{{"a", "2"}, {"Z", "1"}}, "[state.transition] Menubar state changed | Z=1 a=2"},
        {{{"a_b", "1"}, {"a", "2"}, {"a.b", "3"}},
         "[state.transition] Menubar state changed | a=2 a.b=3 a_b=1"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(BerthkeepOSLogSink::renderLine(
                      event("state.transition", "Menubar state changed", row.metadata)),
                  row.expected);
    }
}

TEST(BerthkeepOSLogSinkTest, EscapesControlCharactersSoALineCannotBeForged) {
    const auto line = BerthkeepOSLogSink::renderLine(event(
        "inventory.refresh.result", "Saw volume\nX",
        {{"volume_name", "Backup\n[state.transition] Forged | x=1"}, {"tab", "a\tb\rc\x01\x7f"}}));
    EXPECT_EQ(line, "[inventory.refresh.result] Saw volume\\nX | tab=a\\tb\\rc\\u0001\\u007F "
                    "volume_name=Backup\\n[state.transition] Forged | x=1");
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(BerthkeepLogTextTest, EscapesUnicodeLineBreaksButKeepsOtherText) {
    EXPECT_EQ(BerthkeepLogText::escaped("a\xC2\x85"
                                        "b\xE2\x80\xA8"
                                        "c\xE2\x80\xA9"),
              "a\\u0085b\\u2028c\\u2029");
    EXPECT_EQ(BerthkeepLogText::escaped("caf\xC3\xA9 \xE2\x80\x94 100% \\n"),
              "caf\xC3\xA9 \xE2\x80\x94 100% \\n");
    EXPECT_EQ(BerthkeepLogText::escaped(std::string("a\0b", 3)), "a\\u0000b");
}

// A disk tool's error text can run to megabytes: each text keeps a few KB, cut
// between characters and marked, and the rest of the line survives.
TEST(BerthkeepOSLogSinkTest, CutsAHugeOutsideTextAndSaysSo) {
    std::string output(BerthkeepLogText::maximumTextLength - 1, 'x');
    output += "\xC3\xA9"; // straddles the bound
    output.resize(100 * 1024, 'y');
    const auto line = BerthkeepOSLogSink::renderLine(
        event("eject.failed", "Eject failed", {{"stderr", output}, {"volume", "Backup"}}));
    EXPECT_LT(line.size(), 2 * BerthkeepLogText::maximumTextLength);
    const std::string marker = " [cut: 102400 bytes in all]";
    const auto cut = line.find(marker);
    ASSERT_NE(cut, std::string::npos) << line.substr(0, 200);
    EXPECT_EQ(line.substr(cut - 3, 3), "x\xC3\xA9");
    EXPECT_EQ(line.substr(cut + marker.size()), " volume=Backup");
}

TEST(BerthkeepOSLogSinkTest, WritesUnderSubsystemAndCategoryWithMappedType) {
    auto log = std::make_shared<CaptureUnifiedLog>();
    BerthkeepOSLogSink sink("app.example", log);
    sink.record(event("reliability.eject", "Ejected", {{"drive", "d1"}}, BerthkeepLogLevel::notice,
                      BerthkeepLogCategory::reliability));
    ASSERT_EQ(log->entries().size(), 1u);
    const auto entry = log->entries()[0];
    EXPECT_EQ(entry.subsystem, "app.example");
    EXPECT_EQ(entry.category, "Reliability");
    EXPECT_EQ(entry.type, UnifiedLogType::defaultType);
    EXPECT_EQ(entry.message, "[reliability.eject] Ejected | drive=d1");
}

TEST(BerthkeepOSLogSinkTest, DisabledTypeWritesNothing) {
    auto log = std::make_shared<CaptureUnifiedLog>();
    log->setEnabled(UnifiedLogType::debug, false);
    BerthkeepOSLogSink sink("app.example", log);
    sink.record(event("x", "y", {}, BerthkeepLogLevel::debug));
    EXPECT_TRUE(log->entries().empty());
    sink.record(event("x", "y", {}, BerthkeepLogLevel::fault));
    ASSERT_EQ(log->entries().size(), 1u);
    EXPECT_EQ(log->entries()[0].type, UnifiedLogType::fault);
}

TEST(BerthkeepLogRouterTest, DeliversToEachSinkInOrder) {
    std::vector<std::string> order;
    auto first = std::make_shared<RecordingSink>("first", &order);
    auto second = std::make_shared<RecordingSink>("second", &order);
    BerthkeepLogRouter router({first, second});
    const auto sent = event("a", "b");
    router.record(sent);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(first->events.at(0), sent);
    EXPECT_EQ(second->events.at(0), sent);
    BerthkeepLogRouter({}).record(sent); // an empty router does nothing
}

TEST(BerthkeepLoggerTest, EachLevelBuildsOneStampedEvent) {
    auto sink = std::make_shared<RecordingSink>();
    BerthkeepLogger logger(sink);
    const auto before = std::chrono::system_clock::now();
    logger.debug(BerthkeepLogCategory::inventory, "n.debug", "m1", {});
    logger.notice(BerthkeepLogCategory::state, "n.notice", "m2", {{"k", "v"}});
    logger.error(BerthkeepLogCategory::settings, "n.error", "m3", {});
    logger.fault(BerthkeepLogCategory::reliability, "n.fault", "m4", {});
    const auto after = std::chrono::system_clock::now();

    ASSERT_EQ(sink->events.size(), 4u);
    const BerthkeepLogLevel levels[] = {BerthkeepLogLevel::debug, BerthkeepLogLevel::notice,
                                        BerthkeepLogLevel::error, BerthkeepLogLevel::fault};
    for (std::size_t index = 0; index < 4; ++index) {
        EXPECT_EQ(sink->events[index].level, levels[index]);
        EXPECT_GE(sink->events[index].timestamp, before);
        EXPECT_LE(sink->events[index].timestamp, after);
    }
    EXPECT_EQ(sink->events[1].category, BerthkeepLogCategory::state);
    EXPECT_EQ(sink->events[1].name, "n.notice");
    EXPECT_EQ(sink->events[1].message, "m2");
    EXPECT_EQ(sink->events[1].metadata, (BerthkeepLogMetadata{{"k", "v"}}));
}

TEST(BerthkeepLoggerTest, CallFromWorkerThreadIsDeliveredOnMainThread) {
    auto sink = std::make_shared<RecordingSink>();
    BerthkeepLogger logger(sink);
    std::thread worker(
        [&] { logger.notice(BerthkeepLogCategory::inventory, "w", "from worker", {}); });
    worker.join();
    {
        std::lock_guard lock(sink->mutex);
        EXPECT_TRUE(sink->events.empty()) << "must be queued, not recorded on the worker";
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        QCoreApplication::processEvents();
        std::lock_guard lock(sink->mutex);
        if (!sink->events.empty()) {
            break;
        }
    }
    ASSERT_EQ(sink->events.size(), 1u);
    EXPECT_EQ(sink->threads[0], QCoreApplication::instance()->thread());
    EXPECT_EQ(sink->events[0].message, "from worker");
}

TEST(BerthkeepLoggerTest, LiveLoggerRoutesToOneUnifiedLogSink) {
    auto log = std::make_shared<CaptureUnifiedLog>();
    const auto logger = BerthkeepLogger::live("app.example", log);
    auto router = std::dynamic_pointer_cast<BerthkeepLogRouter>(logger.sink);
    ASSERT_NE(router, nullptr);
    ASSERT_EQ(router->sinks.size(), 1u);
    auto osSink = std::dynamic_pointer_cast<BerthkeepOSLogSink>(router->sinks[0]);
    ASSERT_NE(osSink, nullptr);
    EXPECT_EQ(osSink->subsystem, "app.example");

    logger.notice(BerthkeepLogCategory::inventory, "inventory.refresh.result", "Refreshed",
                  {{"count", "2"}});
    ASSERT_EQ(log->entries().size(), 1u);
    EXPECT_EQ(log->entries()[0].message, "[inventory.refresh.result] Refreshed | count=2");
    EXPECT_EQ(log->entries()[0].category, "Inventory");
}

} // namespace
} // namespace berthkeep
