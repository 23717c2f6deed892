#include "BerthkeepRustBridge/WireDriveUsageMonitorCoding.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace berthkeep {
namespace {

using nlohmann::json;

TEST(WireDriveUsageMonitorCoding, PayloadsRoundTrip) {
    const WireDriveUsageMonitorConfig config{ActivityDetectionMode::coreOnly, 20000, 20000, 10000,
                                             30000};
    EXPECT_EQ(wireMonitorConfigFromJson(toJson(config)), config);

    const WireDriveUsageMonitorVolumeSet set{ActivityDetectionMode::enhanced,
                                             {{"a", "/media/A", "disk4s1"}, {"b", "/media/B", {}}},
                                             true,
                                             {{"vlc", "VLC"}}};
    const json encoded = toJson(set);
    EXPECT_FALSE(encoded["volumes"][1].contains("bsd_name"));
    EXPECT_EQ(wireMonitorVolumeSetFromJson(encoded), set);

    const WireActivityMonitorDebugStatFsSample sample{4096, 1, 2, 3, 4, 5, 6, UINT64_MAX};
    EXPECT_EQ(wireDebugStatFsSampleFromJson(toJson(sample)), sample);
}

TEST(WireDriveUsageMonitorCoding, RequiredKeysAndTypesAreEnforced) {
    const char* configs[] = {
        R"({"mode":"core_only","statfs_activity_window_ms":1,"fsevents_activity_window_ms":1,"viewer_assist_window_ms":1})",
        R"({"mode":"sometimes","statfs_activity_window_ms":1,"fsevents_activity_window_ms":1,"viewer_assist_window_ms":1,"statfs_sampling_burst_ms":1})",
        R"({"mode":"core_only","statfs_activity_window_ms":"1","fsevents_activity_window_ms":1,"viewer_assist_window_ms":1,"statfs_sampling_burst_ms":1})",
        R"([])",
    };
    for (const char* text : configs) {
        SCOPED_TRACE(text);
        EXPECT_THROW(wireMonitorConfigFromJson(json::parse(text)), RustRecentActivityCodingError);
    }
    const char* sets[] = {
        R"({"mode":"standard","volumes":[],"adaptive_targeted_assist_enabled":true})",
        R"({"mode":"standard","volumes":[{"drive_id":"a"}],"adaptive_targeted_assist_enabled":true,"promoted_targeted_assist_identities":[]})",
        R"({"mode":"standard","volumes":[],"adaptive_targeted_assist_enabled":1,"promoted_targeted_assist_identities":[]})",
    };
    for (const char* text : sets) {
        SCOPED_TRACE(text);
        EXPECT_THROW(wireMonitorVolumeSetFromJson(json::parse(text)),
                     RustRecentActivityCodingError);
    }
    EXPECT_THROW(
        wireDebugStatFsSampleFromJson(json::parse(
            R"({"block_size":-1,"blocks_total":1,"blocks_free":1,"blocks_available":1,"used_bytes":1,"free_bytes":1,"available_bytes":1,"sample_age_ms":1})")),
        RustRecentActivityCodingError);
}

TEST(WireDriveUsageMonitorCoding, SnapshotOptionalPartsReadAsEmpty) {
    const auto minimal = wireMonitorSnapshotFromJson(json::parse(
        R"({"usage_snapshots_by_drive_id":{},"debug_statfs_by_drive_id":null,"observed_targeted_assist_identities":null})"));
    EXPECT_EQ(minimal, WireDriveUsageMonitorSnapshot{});
    EXPECT_THROW(wireMonitorSnapshotFromJson(json::parse(R"({"usage_snapshots_by_drive_id":[]})")),
                 RustRecentActivityCodingError);
    EXPECT_THROW(
        wireMonitorSnapshotFromJson(json::parse(R"({"usage_snapshots_by_drive_id":null})")),
        RustRecentActivityCodingError);
}

} // namespace
} // namespace berthkeep
