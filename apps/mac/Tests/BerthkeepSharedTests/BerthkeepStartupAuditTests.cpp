#include <gtest/gtest.h>

#include <QtGlobal>

#include <cstdlib>

#include <thread>

#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "platform/Log/ProcessLog.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {
namespace {

class BerthkeepStartupAuditTest : public ::testing::Test {
protected:
    void install(bool debugEnabled) {
        BerthkeepStartupAudit::setOutputsForTesting(
            BerthkeepStartupAudit::Outputs{m_unified, m_process, "app.example", debugEnabled});
    }
    void TearDown() override { BerthkeepStartupAudit::setOutputsForTesting(std::nullopt); }

    std::shared_ptr<CaptureUnifiedLog> m_unified = std::make_shared<CaptureUnifiedLog>();
    std::shared_ptr<CaptureProcessLog> m_process = std::make_shared<CaptureProcessLog>();
};

TEST(BerthkeepAuditWorkPhaseTest, RawValues) {
    EXPECT_EQ(toString(BerthkeepAuditWorkPhase::appLaunch), "app_launch");
    EXPECT_EQ(toString(BerthkeepAuditWorkPhase::initialRefresh), "initial_refresh");
    EXPECT_EQ(toString(BerthkeepAuditWorkPhase::backgroundWork), "background_work");
    EXPECT_EQ(berthkeepAuditWorkPhaseFromString("background_work"),
              BerthkeepAuditWorkPhase::backgroundWork);
    EXPECT_EQ(berthkeepAuditWorkPhaseFromString("appLaunch"), std::nullopt);
}

TEST(BerthkeepStartupAuditSwitchTest, OnlyTheExactValueOneEnablesDebug) {
    EXPECT_TRUE(BerthkeepStartupAudit::debugLoggingEnabledForValue("1"));
    for (const char* value : {"0", "true", " 1", "1 ", "11", "", "yes"}) {
        EXPECT_FALSE(BerthkeepStartupAudit::debugLoggingEnabledForValue(value)) << value;
    }
    EXPECT_FALSE(BerthkeepStartupAudit::debugLoggingEnabledForValue(nullptr));
}

TEST(BerthkeepStartupAuditSwitchTest, DefaultOutputsReadTheEnvironmentOnce) {
    ::setenv("BERTHKEEP_STARTUP_AUDIT", "1", 1);
    BerthkeepStartupAudit::setOutputsForTesting(std::nullopt);
    auto process = std::make_shared<CaptureProcessLog>();
    ProcessLog::setShared(process);
    auto unified = std::make_shared<CaptureUnifiedLog>();
    UnifiedLog::setShared(unified);

    BerthkeepStartupAudit::debug("C", "m", std::nullopt, BerthkeepAuditWorkPhase::appLaunch,
                                 "first", std::nullopt);
    ::setenv("BERTHKEEP_STARTUP_AUDIT", "0", 1);
    BerthkeepStartupAudit::debug("C", "m", std::nullopt, BerthkeepAuditWorkPhase::appLaunch,
                                 "second", std::nullopt);
    EXPECT_EQ(process->lines().size(), 2u) << "a later change of the environment has no effect";
    ASSERT_EQ(unified->entries().size(), 2u);
    EXPECT_EQ(unified->entries()[0].category, "Audit");

    BerthkeepStartupAudit::setOutputsForTesting(std::nullopt);
    ProcessLog::setShared(nullptr);
    UnifiedLog::setShared(nullptr);
    ::unsetenv("BERTHKEEP_STARTUP_AUDIT");
}

TEST_F(BerthkeepStartupAuditTest, DebugWithSwitchOffWritesNothingAnywhere) {
    install(false);
    BerthkeepStartupAudit::debug("C", "m", ActivityDetectionMode::standard,
                                 BerthkeepAuditWorkPhase::appLaunch, "msg", "/Volumes/X");
    EXPECT_TRUE(m_unified->entries().empty());
    EXPECT_TRUE(m_process->lines().empty());
}

TEST_F(BerthkeepStartupAuditTest, ErrorsAndViolationsWithSwitchOffGoOnlyToUnifiedLog) {
    install(false);
    BerthkeepStartupAudit::error("C", "m", std::nullopt, BerthkeepAuditWorkPhase::backgroundWork,
                                 "failed", std::nullopt);
    BerthkeepStartupAudit::coreOnlyViolation("C", "m", BerthkeepAuditWorkPhase::backgroundWork,
                                             "touched", std::nullopt);
    ASSERT_EQ(m_unified->entries().size(), 2u);
    EXPECT_EQ(m_unified->entries()[0].type, UnifiedLogType::error);
    EXPECT_EQ(m_unified->entries()[1].type, UnifiedLogType::fault);
    EXPECT_TRUE(m_process->lines().empty());
}

TEST_F(BerthkeepStartupAuditTest, FactoryDebugLineWithSwitchOn) {
    install(true);
    BerthkeepStartupAudit::debug(
        "BerthkeepCoreFactory", "makeLive", std::nullopt, BerthkeepAuditWorkPhase::appLaunch,
        "Resolved live core implementation", std::nullopt, {{"implementation", "swift"}});
    const std::string payload =
        "Resolved live core implementation | component=BerthkeepCoreFactory "
        "implementation=swift method=makeLive mode=n/a phase=app_launch";
    ASSERT_EQ(m_unified->entries().size(), 1u);
    const auto entry = m_unified->entries()[0];
    EXPECT_EQ(entry.message, payload);
    EXPECT_EQ(entry.type, UnifiedLogType::debug);
    EXPECT_EQ(entry.subsystem, "app.example");
    EXPECT_EQ(entry.category, "Audit");
    EXPECT_EQ(m_process->lines(), std::vector<std::string>{"BerthkeepAudit [debug] " + payload});
}

TEST_F(BerthkeepStartupAuditTest, ProcessLogLabelsPerLevel) {
    install(true);
    BerthkeepStartupAudit::error("C", "m", ActivityDetectionMode::enhanced,
                                 BerthkeepAuditWorkPhase::initialRefresh, "e", std::nullopt);
    BerthkeepStartupAudit::coreOnlyViolation("C", "m", BerthkeepAuditWorkPhase::initialRefresh, "v",
                                             std::nullopt);
    const auto lines = m_process->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(
        lines[0],
        "BerthkeepAudit [error] e | component=C method=m mode=enhanced phase=initial_refresh");
    EXPECT_EQ(
        lines[1],
        "BerthkeepAudit [fault] v | component=C method=m mode=core_only phase=initial_refresh");
}

TEST_F(BerthkeepStartupAuditTest, TargetPathAddsItsTwoKeys) {
    struct Row {
        const char* volumesFolder;
        const char* path;
        const char* underVolumes;
    };
    for (const Row& row :
         {Row{"/Volumes", "/Volumes/Backup/file", "true"}, Row{"/Volumes", "/Users/x", "false"},
          Row{"/Volumes", "/Volumes", "true"},
          Row{"/tmp/sim/Volumes", "/tmp/sim/Volumes/USB", "true"},
          Row{"/tmp/sim/Volumes", "/Volumes/USB", "false"}}) {
        BerthkeepStartupAudit::setOutputsForTesting(BerthkeepStartupAudit::Outputs{
            m_unified, m_process, "app.example", true, VolumesFolder(row.volumesFolder)});
        m_unified->clear();
        BerthkeepStartupAudit::debug("C", "m", ActivityDetectionMode::coreOnly,
                                     BerthkeepAuditWorkPhase::appLaunch, "msg",
                                     std::string(row.path));
        ASSERT_EQ(m_unified->entries().size(), 1u);
        EXPECT_EQ(
            m_unified->entries()[0].message,
            std::string("msg | component=C method=m mode=core_only phase=app_launch target_path=") +
                row.path + " target_path_under_volumes=" + row.underVolumes);
    }
}

TEST_F(BerthkeepStartupAuditTest, FixedKeysReplaceCallerValuesAndCallerKeysSortIn) {
    install(true);
    BerthkeepStartupAudit::error(
        "C", "m", std::nullopt, BerthkeepAuditWorkPhase::backgroundWork, "msg", std::nullopt,
        {{"phase", "x"}, {"attempt", "2"}, {"mode", "fake"}, {"zeta", "z"}});
    ASSERT_EQ(m_unified->entries().size(), 1u);
    EXPECT_EQ(m_unified->entries()[0].message,
              "msg | attempt=2 component=C method=m mode=n/a phase=background_work zeta=z");
}

TEST_F(BerthkeepStartupAuditTest, PercentSignsAndVolumeNamesAreWrittenLiterally) {
    install(true);
    BerthkeepStartupAudit::error("C", "m", std::nullopt, BerthkeepAuditWorkPhase::appLaunch,
                                 "100% %s",
                                 std::string("/Volumes/Evil\nBerthkeepAudit [fault] forged"));
    ASSERT_EQ(m_process->lines().size(), 1u);
    const std::string line = m_process->lines()[0];
    EXPECT_NE(line.find("100% %s"), std::string::npos);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_NE(line.find("target_path=/Volumes/Evil\\nBerthkeepAudit [fault] forged"),
              std::string::npos);
}

TEST_F(BerthkeepStartupAuditTest, DisabledUnifiedTypeStillReachesProcessLog) {
    install(true);
    m_unified->setEnabled(UnifiedLogType::debug, false);
    BerthkeepStartupAudit::debug("C", "m", std::nullopt, BerthkeepAuditWorkPhase::appLaunch, "msg",
                                 std::nullopt);
    EXPECT_TRUE(m_unified->entries().empty());
    EXPECT_EQ(m_process->lines().size(), 1u);
}

TEST_F(BerthkeepStartupAuditTest, CallableFromManyThreads) {
    install(true);
    std::vector<std::thread> threads;
    for (int index = 0; index < 8; ++index) {
        threads.emplace_back([] {
            for (int repeat = 0; repeat < 50; ++repeat) {
                BerthkeepStartupAudit::debug("C", "m", std::nullopt,
                                             BerthkeepAuditWorkPhase::backgroundWork, "msg",
                                             std::nullopt);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(m_unified->entries().size(), 400u);
    EXPECT_EQ(m_process->lines().size(), 400u);
}

} // namespace
} // namespace berthkeep
