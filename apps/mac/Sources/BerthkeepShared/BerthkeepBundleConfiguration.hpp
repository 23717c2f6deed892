#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {

// Configuration values from the environment and Info.plist, environment first.
class BerthkeepBundleConfiguration {
public:
    using Environment = std::map<std::string, std::string>;
    using InfoDictionary = PropertyListValue::Dictionary;

    static constexpr const char* feedbackURLKey = "BerthkeepFeedbackURL";
    static constexpr const char* sparkleFeedURLKey = "SUFeedURL";
    static constexpr const char* sparklePublicEDKey = "SUPublicEDKey";

    // The first non-empty environment value in list order, else the non-empty
    // string under infoKey, else under fallbackInfoKey. Nothing is trimmed.
    static std::optional<std::string>
    stringValue(const Environment& environment, const std::vector<std::string>& environmentKeys,
                const InfoDictionary& infoDictionary, const std::string& infoKey,
                const std::optional<std::string>& fallbackInfoKey = std::nullopt);

    // A non-empty environment value decides alone (nothing when it does not read
    // as a number); else a non-empty Info.plist string, else an Info.plist number.
    static std::optional<std::uint64_t> uint64Value(const Environment& environment,
                                                    const std::string& environmentKey,
                                                    const InfoDictionary& infoDictionary,
                                                    const std::string& infoKey);

    static bool hasSparkleUpdateConfiguration(const InfoDictionary& infoDictionary);

    // Decimal digits with an optional "+" (or "-" for zero only); no blanks, no overflow.
    static std::optional<std::uint64_t> parseUInt64(std::string_view text);

    // The process's environment variables.
    static Environment processEnvironment();
    // The environment the value readers may use: the given one when overrides are
    // allowed for the identifier and build, an empty one otherwise.
    static Environment
    overridableEnvironment(const Environment& environment,
                           const std::optional<std::string>& bundleIdentifier,
                           bool isDebugBuild = BerthkeepRuntimeIdentity::isDebugBuild);
};

} // namespace berthkeep
