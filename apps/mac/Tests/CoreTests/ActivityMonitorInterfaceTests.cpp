#include "ActivityMonitorTestSupport.hpp"
#include "DeepJson.hpp"

#include <gtest/gtest.h>

namespace berthkeep::coretest {
namespace {

// Exactly what the program sends when it builds its monitor.
constexpr const char* kProgramConfiguration =
    R"({"mode":"core_only","statfs_activity_window_ms":20000,"fsevents_activity_window_ms":20000,)"
    R"("viewer_assist_window_ms":10000,"statfs_sampling_burst_ms":30000})";

TEST(ActivityMonitorInterface, AcceptsTheProgramsPayloadsAndAnswersInItsShape) {
    CoreLibrary core;
    TemporaryFolder drive;
    MonitorUnderTest monitor(core, kProgramConfiguration);
    EXPECT_EQ(core.lastError(), std::nullopt);

    // Before any update nothing is watched.
    EXPECT_EQ(monitor.snapshot(), json::parse(R"({"usage_snapshots_by_drive_id":{},)"
                                              R"("debug_statfs_by_drive_id":{},)"
                                              R"("observed_targeted_assist_identities":[]})"));

    const std::string update = R"({"mode":"enhanced","volumes":[)"
                               R"({"drive_id":"disk4s1","mount_path":")" + drive.path().string() +
                               R"(","bsd_name":"disk4s1"},)"
                               R"({"drive_id":"disk5s1","mount_path":"/nonexistent/Volumes/Gone"}],)"
                               R"("adaptive_targeted_assist_enabled":true,)"
                               R"("promoted_targeted_assist_identities":[{"identity":"org.example.viewer","display_name":"Viewer"}]})";
    ASSERT_TRUE(core.monitorUpdate(monitor.handle(), update.c_str())) << core.lastError().value_or("");
    EXPECT_EQ(core.lastError(), std::nullopt);

    const json snapshot = monitor.snapshot();
    EXPECT_EQ(core.lastError(), std::nullopt);
    const json& usage = snapshot["usage_snapshots_by_drive_id"];
    ASSERT_EQ(usage.size(), 2u);
    for (const char* drive : {"disk4s1", "disk5s1"}) {
        const json& entry = usage[drive];
        EXPECT_EQ(entry["open_file_usage"], 0) << drive;
        EXPECT_EQ(entry["cwd_usage"], 0) << drive;
        for (const char* flag : {"statfs_activity", "fsevents_activity", "viewer_assist_activity", "is_busy"}) {
            EXPECT_EQ(entry[flag], false) << drive << " " << flag;
        }
        EXPECT_EQ(entry["eject_failure_risk_score"], 0.0) << drive;
        EXPECT_FALSE(entry.contains("dominant_attention_reason")) << drive;
    }
    // A missing mount path has no sample; the existing one has all eight fields.
    const json& samples = snapshot["debug_statfs_by_drive_id"];
    EXPECT_FALSE(samples.contains("disk5s1"));
    ASSERT_TRUE(samples.contains("disk4s1"));
    for (const char* field : {"block_size", "blocks_total", "blocks_free", "blocks_available", "used_bytes",
                              "free_bytes", "available_bytes", "sample_age_ms"}) {
        EXPECT_TRUE(samples["disk4s1"][field].is_number_unsigned()) << field;
    }
    EXPECT_EQ(snapshot["observed_targeted_assist_identities"], json::array());

    // Each update is the complete set: a drive left out is no longer reported.
    monitor.update(volumeSetJson("standard", json::array({volume("disk5s1", "/nonexistent/Volumes/Gone")})));
    EXPECT_EQ(monitor.snapshot()["usage_snapshots_by_drive_id"].size(), 1u);
    monitor.update(volumeSetJson("standard", json::array()));
    EXPECT_EQ(monitor.snapshot()["usage_snapshots_by_drive_id"], json::object());
}

TEST(ActivityMonitorInterface, MalformedConfigurationFailsWithAMessage) {
    CoreLibrary core;
    const std::string tooDeep = test::withNestedMember(kProgramConfiguration, 100'000);
    struct Case {
        const char* configuration;
        const char* fragment;
    };
    const Case cases[] = {
        {nullptr, "configuration is null"},
        {"", "parse error"},
        {"[]", "not a JSON object"},
        {"1e999999", "not valid JSON"},
        {tooDeep.c_str(), "nested deeper than 256 levels"},
        {R"({"mode":"core_only"})", "\"statfs_activity_window_ms\""},
        {R"({"mode":"fast","statfs_activity_window_ms":1,"fsevents_activity_window_ms":1,"viewer_assist_window_ms":1,"statfs_sampling_burst_ms":1})",
         "not a known mode"},
        {R"({"mode":"core_only","statfs_activity_window_ms":-1,"fsevents_activity_window_ms":1,"viewer_assist_window_ms":1,"statfs_sampling_burst_ms":1})",
         "out of range"},
        {R"({"mode":"core_only","statfs_activity_window_ms":1,"fsevents_activity_window_ms":1.5,"viewer_assist_window_ms":1,"statfs_sampling_burst_ms":1})",
         "not an integer"},
        {R"({"mode":"core_only","statfs_activity_window_ms":1,"fsevents_activity_window_ms":1,"viewer_assist_window_ms":"1","statfs_sampling_burst_ms":1})",
         "not an integer"},
        {R"({"mode":"core_only","statfs_activity_window_ms":1,"fsevents_activity_window_ms":1,"viewer_assist_window_ms":1,"statfs_sampling_burst_ms":18446744073709551615})",
         "out of range"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(core.monitorCreate(c.configuration), nullptr) << (c.configuration ? c.configuration : "null");
        const std::string message = core.lastError().value_or("");
        EXPECT_NE(message.find("activity monitor create failed"), std::string::npos) << message;
        EXPECT_NE(message.find(c.fragment), std::string::npos) << message;
    }
}

TEST(ActivityMonitorInterface, MalformedUpdateFailsAndKeepsTheVolumesItHad) {
    CoreLibrary core;
    TemporaryFolder drive;
    MonitorUnderTest monitor(core, kProgramConfiguration);
    monitor.update(volumeSetJson("standard", json::array({volume("disk4", drive.path())})));

    const std::string path = drive.path().string();
    struct Case {
        std::string volumeSet;
        const char* fragment;
    };
    const Case cases[] = {
        {"not json", "parse error"},
        {R"({"mode":"standard","volumes":[],"x":-1e400})", "not valid JSON"},
        {test::withNestedMember(volumeSetJson("standard", json::array()), 100'000),
         "nested deeper than 256 levels"},
        {"[]", "not a JSON object"},
        {R"({"mode":"standard","adaptive_targeted_assist_enabled":false,"promoted_targeted_assist_identities":[]})",
         "\"volumes\""},
        {volumeSetJson("Standard", json::array()), "not a known mode"},
        {volumeSetJson("standard", json::array({volume("disk9", "relative/path")})), "not an absolute path"},
        {volumeSetJson("standard", json::array({volume("", path)})), "\"drive_id\" is empty"},
        {volumeSetJson("standard", json::array({volume("disk9", path), volume("disk9", "/other")})),
         "repeats drive disk9"},
        {volumeSetJson("standard", json::array({json{{"drive_id", "disk9"}, {"mount_path", path}, {"bsd_name", 4}}})),
         "\"bsd_name\" is not a string"},
        {volumeSetJson("standard", json::array({json{{"drive_id", "disk9"}}})), "\"mount_path\""},
        {volumeSetJson("standard", json::array({"disk9"})), "not an object"},
        {R"({"mode":"standard","volumes":[],"adaptive_targeted_assist_enabled":"yes","promoted_targeted_assist_identities":[]})",
         "not a Boolean"},
        {volumeSetJson("standard", json::array(), true, json::array({json{{"identity", "x"}}})), "\"display_name\""},
        {R"({"mode":"standard","volumes":[],"adaptive_targeted_assist_enabled":true})",
         "\"promoted_targeted_assist_identities\""},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(core.monitorUpdate(monitor.handle(), c.volumeSet.c_str())) << c.volumeSet;
        const std::string message = core.lastError().value_or("");
        EXPECT_NE(message.find("activity monitor update failed"), std::string::npos) << message;
        EXPECT_NE(message.find(c.fragment), std::string::npos) << message;
    }
    EXPECT_FALSE(core.monitorUpdate(monitor.handle(), nullptr));
    EXPECT_NE(core.lastError().value_or("").find("volume set is null"), std::string::npos);

    // A null "bsd_name" is the same as none.
    const std::string nullName = volumeSetJson(
        "standard", json::array({json{{"drive_id", "disk4"}, {"mount_path", path}, {"bsd_name", nullptr}}}));
    EXPECT_TRUE(core.monitorUpdate(monitor.handle(), nullName.c_str()));

    const json usage = monitor.snapshot()["usage_snapshots_by_drive_id"];
    EXPECT_EQ(usage.size(), 1u);
    EXPECT_TRUE(usage.contains("disk4"));
}

TEST(ActivityMonitorInterface, NullHandlesFailCleanlyAndDestroyAcceptsNull) {
    CoreLibrary core;
    EXPECT_FALSE(core.monitorUpdate(nullptr, volumeSetJson("standard", json::array()).c_str()));
    EXPECT_NE(core.lastError().value_or("").find("monitor is null"), std::string::npos);
    EXPECT_EQ(core.monitorSnapshot(nullptr), nullptr);
    const std::string message = core.lastError().value_or("");
    EXPECT_NE(message.find("activity monitor snapshot failed"), std::string::npos) << message;
    EXPECT_NE(message.find("monitor is null"), std::string::npos) << message;
    core.monitorDestroy(nullptr);
    EXPECT_EQ(core.lastError(), std::nullopt);
}

TEST(ActivityMonitorInterface, DestroyEndsAMonitorThatIsStillSampling) {
    CoreLibrary core;
    TemporaryFolder drive;
    for (int round = 0; round < 5; ++round) {
        berthkeep_core_activity_monitor* handle =
            core.monitorCreate(configurationJson(50, 50, 50, 60000).c_str());
        ASSERT_NE(handle, nullptr);
        const std::string update = volumeSetJson("enhanced", json::array({volume("disk4", drive.path())}));
        ASSERT_TRUE(core.monitorUpdate(handle, update.c_str()));
        const auto started = std::chrono::steady_clock::now();
        core.monitorDestroy(handle);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    }
}

} // namespace
} // namespace berthkeep::coretest
