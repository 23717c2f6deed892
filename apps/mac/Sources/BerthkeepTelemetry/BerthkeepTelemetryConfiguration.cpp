#include "BerthkeepTelemetry/BerthkeepTelemetryConfiguration.hpp"

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep {

BerthkeepTelemetryConfiguration BerthkeepTelemetryConfiguration::resolve(
    const BerthkeepBundleConfiguration::Environment& environment,
    const BerthkeepBundleConfiguration::InfoDictionary& infoDictionary,
    const std::string& bundleIdentifier, std::optional<bool> allowsEnvironmentOverrides) {
    BerthkeepTelemetryConfiguration config;

    const bool isTestBundle =
        BerthkeepRuntimeIdentity::effectiveBundleIdentifier(bundleIdentifier) ==
        BerthkeepRuntimeIdentity::testBundleIdentifier;
    config.flushIntervalSeconds =
        isTestBundle ? testFlushIntervalSeconds : productionFlushIntervalSeconds;

    const bool overrides = allowsEnvironmentOverrides.value_or(
        BerthkeepRuntimeIdentity::allowsEnvironmentConfigurationOverrides(bundleIdentifier));
    const BerthkeepBundleConfiguration::Environment empty;
    const auto& usable = overrides ? environment : empty;

    config.apiBaseURL = BerthkeepBundleConfiguration::stringValue(
                            usable, {apiBaseURLEnvironmentKey, apiBaseURLFallbackEnvironmentKey},
                            infoDictionary, apiBaseURLInfoKey)
                            .value_or(defaultAPIBaseURL);
    config.appID = BerthkeepBundleConfiguration::stringValue(usable, {appIDEnvironmentKey},
                                                             infoDictionary, appIDInfoKey)
                       .value_or(defaultAppID);
    config.appKey = BerthkeepBundleConfiguration::stringValue(usable, {appKeyEnvironmentKey},
                                                              infoDictionary, appKeyInfoKey)
                        .value_or(defaultAppKey);
    config.maxQueueLength = defaultMaxQueueLength;
    config.batchSize = defaultBatchSize;
    return config;
}

BerthkeepTelemetryConfiguration
BerthkeepTelemetryConfiguration::live(const BerthkeepProcessInfo& processInfo) {
    const auto bundle = AppBundle::main();
    return resolve(processInfo.environment, bundle->infoDictionary(),
                   BerthkeepRuntimeIdentity::currentBundleIdentifier());
}

} // namespace berthkeep
