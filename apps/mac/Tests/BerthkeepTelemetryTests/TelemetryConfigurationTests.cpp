#include <gtest/gtest.h>

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryConfiguration.hpp"

using namespace berthkeep;
using Config = BerthkeepTelemetryConfiguration;

namespace {

const std::string production = BerthkeepRuntimeIdentity::productionBundleIdentifier;
const std::string testIdentifier = BerthkeepRuntimeIdentity::testBundleIdentifier;

} // namespace

TEST(TelemetryConfiguration, DefaultsWithNothingConfigured) {
    const auto config = Config::resolve({}, {}, production, false);
    EXPECT_EQ(config.apiBaseURL, Config::defaultAPIBaseURL);
    // No endpoint unless one is configured: nothing leaves the machine by default.
    EXPECT_EQ(config.apiBaseURL, "");
    EXPECT_EQ(config.appID, "berthkeep");
    EXPECT_EQ(config.appKey, "quartz-lamp-token");
    EXPECT_EQ(config.flushIntervalSeconds, 21600);
    EXPECT_EQ(config.maxQueueLength, 500);
    EXPECT_EQ(config.batchSize, 20);
}

TEST(TelemetryConfiguration, FlushIntervalByBundleIdentifier) {
    EXPECT_EQ(Config::resolve({}, {}, testIdentifier).flushIntervalSeconds, 60);
    EXPECT_EQ(Config::resolve({}, {}, production).flushIntervalSeconds, 21600);
    EXPECT_EQ(Config::resolve({}, {}, "com.example.other").flushIntervalSeconds, 21600);
    EXPECT_EQ(Config::resolve({}, {}, "").flushIntervalSeconds, 21600);
}

TEST(TelemetryConfiguration, EnvironmentOverridesFollowTheDecision) {
    const Config::Environment environment{{Config::apiBaseURLEnvironmentKey, "http://env"},
                                          {Config::appIDEnvironmentKey, "env-id"},
                                          {Config::appKeyEnvironmentKey, "env-key"}};
    const Config::InfoDictionary info{{Config::apiBaseURLInfoKey, "https://info"}};

    struct Row {
        std::string identifier;
        std::optional<bool> decision;
        bool expectEnvironment;
    };
    const Row rows[] = {
        {testIdentifier, false, false},
        {production, true, true},
        {"com.example.other", std::nullopt, true},
        {testIdentifier, std::nullopt, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.identifier);
        const auto config = Config::resolve(environment, info, row.identifier, row.decision);
        EXPECT_EQ(config.apiBaseURL, row.expectEnvironment ? "http://env" : "https://info");
        EXPECT_EQ(config.appID, row.expectEnvironment ? "env-id" : "berthkeep");
        EXPECT_EQ(config.appKey, row.expectEnvironment ? "env-key" : "quartz-lamp-token");
    }
    // Production without a decision: only a debug build lets the environment in.
    const auto config = Config::resolve(environment, info, production);
    EXPECT_EQ(config.apiBaseURL,
              BerthkeepRuntimeIdentity::isDebugBuild ? "http://env" : "https://info");
}

TEST(TelemetryConfiguration, EmptyAndMistypedValuesAreSkipped) {
    Config::Environment environment{{Config::apiBaseURLEnvironmentKey, ""},
                                    {Config::apiBaseURLFallbackEnvironmentKey, "http://second"}};
    EXPECT_EQ(Config::resolve(environment, {}, "x", true).apiBaseURL, "http://second");
    environment[Config::apiBaseURLFallbackEnvironmentKey] = "";
    EXPECT_EQ(Config::resolve(environment, {{Config::apiBaseURLInfoKey, "https://info"}}, "x", true)
                  .apiBaseURL,
              "https://info");
    const Config::InfoDictionary mistyped{
        {Config::apiBaseURLInfoKey, 7}, {Config::appIDInfoKey, true}, {Config::appKeyInfoKey, ""}};
    const auto config = Config::resolve(environment, mistyped, "x", true);
    EXPECT_EQ(config.apiBaseURL, Config::defaultAPIBaseURL);
    EXPECT_EQ(config.appID, "berthkeep");
    EXPECT_EQ(config.appKey, "quartz-lamp-token");
}
