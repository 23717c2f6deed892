#include <gtest/gtest.h>

#include <QDateTime>

#include <cstdlib>
#include <ctime>
#include <optional>

#include "platform/Log/ProcessLog.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {
namespace {

TEST(UnifiedLogTypeTest, TextsMatchSystemLogTypeNames) {
    EXPECT_EQ(toString(UnifiedLogType::debug), "debug");
    EXPECT_EQ(toString(UnifiedLogType::info), "info");
    EXPECT_EQ(toString(UnifiedLogType::defaultType), "default");
    EXPECT_EQ(toString(UnifiedLogType::error), "error");
    EXPECT_EQ(toString(UnifiedLogType::fault), "fault");
}

TEST(CaptureUnifiedLogTest, RecordsEntriesInOrderAndHonoursDisabledTypes) {
    CaptureUnifiedLog log;
    EXPECT_TRUE(log.isEnabled("s", "c", UnifiedLogType::debug));
    log.write({"s", "Inventory", UnifiedLogType::defaultType, "one"});
    log.write({"s", "State", UnifiedLogType::error, "two"});
    ASSERT_EQ(log.entries().size(), 2u);
    EXPECT_EQ(log.entries()[0].message, "one");
    EXPECT_EQ(log.entries()[1].category, "State");

    log.setEnabled(UnifiedLogType::debug, false);
    EXPECT_FALSE(log.isEnabled("s", "c", UnifiedLogType::debug));
    EXPECT_TRUE(log.isEnabled("s", "c", UnifiedLogType::error));
    log.setEnabled(UnifiedLogType::debug, true);
    EXPECT_TRUE(log.isEnabled("s", "c", UnifiedLogType::debug));

    log.clear();
    EXPECT_TRUE(log.entries().empty());
}

TEST(StandardErrorUnifiedLogTest, DebugIsOffUnlessAskedFor) {
    StandardErrorUnifiedLog quiet;
    EXPECT_FALSE(quiet.isEnabled("s", "c", UnifiedLogType::debug));
    EXPECT_TRUE(quiet.isEnabled("s", "c", UnifiedLogType::defaultType));
    EXPECT_TRUE(quiet.isEnabled("s", "c", UnifiedLogType::fault));
    StandardErrorUnifiedLog verbose(true);
    EXPECT_TRUE(verbose.isEnabled("s", "c", UnifiedLogType::debug));
}

TEST(StandardErrorUnifiedLogTest, LineCarriesTypeSubsystemCategoryAndMessage) {
    const std::string line = StandardErrorUnifiedLog::formatLine(
        {"app.example", "Audit", UnifiedLogType::error, "payload 100%"});
    EXPECT_NE(line.find("<error> [app.example:Audit] payload 100%"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

// The zone is set in the test, so a line in UTC (or in a zone read once) shows.
TEST(StandardErrorUnifiedLogTest, LineStartsWithTheLocalTimeToTheMillisecond) {
    const char* savedZone = std::getenv("TZ");
    const std::optional<std::string> saved =
        savedZone ? std::optional<std::string>(savedZone) : std::nullopt;
    for (const char* zone : {"XST-5:45", "YST+9:30"}) {
        setenv("TZ", zone, 1);
        const QDateTime before = QDateTime::currentDateTime();
        const std::string line = StandardErrorUnifiedLog::formatLine(
            {"app.example", "Audit", UnifiedLogType::info, "m"});
        const QDateTime after = QDateTime::currentDateTime();
        const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
        ASSERT_GT(line.size(), 23u);
        const QDateTime stamped =
            QDateTime::fromString(QString::fromStdString(line.substr(0, 23)), format);
        ASSERT_TRUE(stamped.isValid()) << line;
        EXPECT_EQ(line[23], ' ');
        EXPECT_LE(before.toMSecsSinceEpoch(), stamped.toMSecsSinceEpoch()) << zone << ": " << line;
        EXPECT_LE(stamped.toMSecsSinceEpoch(), after.toMSecsSinceEpoch()) << zone << ": " << line;
    }
    if (saved) {
        setenv("TZ", saved->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(ProcessLogTest, CaptureKeepsLinesVerbatim) {
    CaptureProcessLog log;
    log.write("BerthkeepAudit [debug] %s %n");
    log.write("second");
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0], "BerthkeepAudit [debug] %s %n");
    log.clear();
    EXPECT_TRUE(log.lines().empty());
}

TEST(ProcessLogTest, SharedInstanceCanBeReplaced) {
    auto capture = std::make_shared<CaptureProcessLog>();
    ProcessLog::setShared(capture);
    ProcessLog::shared()->write("x");
    EXPECT_EQ(capture->lines().size(), 1u);
    ProcessLog::setShared(nullptr);
    EXPECT_NE(ProcessLog::shared(), nullptr);
}

} // namespace
} // namespace berthkeep
