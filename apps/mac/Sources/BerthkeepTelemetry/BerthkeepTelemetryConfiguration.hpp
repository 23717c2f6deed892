#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "BerthkeepShared/BerthkeepBundleConfiguration.hpp"
#include "BerthkeepShared/BerthkeepProcessInfo.hpp"

namespace berthkeep {

// Where and under which identity the core library uploads telemetry, and the
// bounds it keeps. Resolved once per controller; the program itself only hands
// it on (and logs the key masked).
struct BerthkeepTelemetryConfiguration {
    using Environment = BerthkeepBundleConfiguration::Environment;
    using InfoDictionary = BerthkeepBundleConfiguration::InfoDictionary;

    std::string apiBaseURL;
    std::string appID;
    std::string appKey;
    std::int64_t flushIntervalSeconds = 0;
    std::int64_t maxQueueLength = 0;
    std::int64_t batchSize = 0;

    bool operator==(const BerthkeepTelemetryConfiguration&) const = default;

    // No upload service is built in: events stay queued (within the queue bound)
    // until a deployment configures an endpoint through Info.plist or, where
    // overrides are allowed, the environment.
    static constexpr const char* defaultAPIBaseURL = "";
    static constexpr const char* defaultAppID = "berthkeep";
    static constexpr const char* defaultAppKey = "quartz-lamp-token";
    static constexpr std::int64_t productionFlushIntervalSeconds = 21600;
    static constexpr std::int64_t testFlushIntervalSeconds = 60;
    static constexpr std::int64_t defaultMaxQueueLength = 500;
    static constexpr std::int64_t defaultBatchSize = 20;

    // Environment variables, tried in this order, and Info.plist keys.
    static constexpr const char* apiBaseURLEnvironmentKey = "BERTHKEEP_TELEMETRY_API_BASE_URL";
    static constexpr const char* apiBaseURLFallbackEnvironmentKey = "BERTHKEEP_TELEMETRY_URL";
    static constexpr const char* appIDEnvironmentKey = "BERTHKEEP_TELEMETRY_APP_ID";
    static constexpr const char* appKeyEnvironmentKey = "BERTHKEEP_TELEMETRY_APP_KEY";
    static constexpr const char* apiBaseURLInfoKey = "BerthkeepTelemetryAPIBaseURL";
    static constexpr const char* appIDInfoKey = "BerthkeepTelemetryAppID";
    static constexpr const char* appKeyInfoKey = "BerthkeepTelemetryAppKey";

    // No side effects; cannot fail. allowsEnvironmentOverrides: when absent, the
    // runtime identity decides for the identifier and this build.
    static BerthkeepTelemetryConfiguration
    resolve(const BerthkeepBundleConfiguration::Environment& environment,
            const BerthkeepBundleConfiguration::InfoDictionary& infoDictionary,
            const std::string& bundleIdentifier,
            std::optional<bool> allowsEnvironmentOverrides = std::nullopt);

    // The process's environment, the main bundle's Info.plist and identifier.
    static BerthkeepTelemetryConfiguration live(const BerthkeepProcessInfo& processInfo);
};

} // namespace berthkeep
