#include "BerthkeepShared/BerthkeepBundleConfiguration.hpp"

#include <cmath>
#include <limits>

#include <unistd.h>

namespace berthkeep {

namespace {

const std::string* nonEmptyString(const BerthkeepBundleConfiguration::InfoDictionary& info,
                                  const std::string& key) {
    const auto found = info.find(key);
    if (found == info.end()) {
        return nullptr;
    }
    const std::string* text = found->second.string();
    return text && !text->empty() ? text : nullptr;
}

} // namespace

std::optional<std::string> BerthkeepBundleConfiguration::stringValue(
    const Environment& environment, const std::vector<std::string>& environmentKeys,
    const InfoDictionary& infoDictionary, const std::string& infoKey,
    const std::optional<std::string>& fallbackInfoKey) {
    for (const auto& name : environmentKeys) {
        const auto found = environment.find(name);
        if (found != environment.end() && !found->second.empty()) {
            return found->second;
        }
    }
    if (const auto* text = nonEmptyString(infoDictionary, infoKey)) {
        return *text;
    }
    if (fallbackInfoKey) {
        if (const auto* text = nonEmptyString(infoDictionary, *fallbackInfoKey)) {
            return *text;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> BerthkeepBundleConfiguration::uint64Value(
    const Environment& environment, const std::string& environmentKey,
    const InfoDictionary& infoDictionary, const std::string& infoKey) {
    const auto fromEnvironment = environment.find(environmentKey);
    if (fromEnvironment != environment.end() && !fromEnvironment->second.empty()) {
        return parseUInt64(fromEnvironment->second);
    }
    if (const auto* text = nonEmptyString(infoDictionary, infoKey)) {
        return parseUInt64(*text);
    }
    const auto found = infoDictionary.find(infoKey);
    if (found == infoDictionary.end()) {
        return std::nullopt;
    }
    if (const auto integer = found->second.integer()) {
        // A negative number is a configuration mistake, not a huge interval.
        if (*integer < 0) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(*integer);
    }
    if (const auto real = found->second.real()) {
        if (!std::isfinite(*real) || *real < 0 || *real >= 18446744073709551616.0) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(*real);
    }
    return std::nullopt;
}

bool BerthkeepBundleConfiguration::hasSparkleUpdateConfiguration(
    const InfoDictionary& infoDictionary) {
    return nonEmptyString(infoDictionary, sparkleFeedURLKey) &&
           nonEmptyString(infoDictionary, sparklePublicEDKey);
}

std::optional<std::uint64_t> BerthkeepBundleConfiguration::parseUInt64(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    constexpr auto maximum = std::numeric_limits<std::uint64_t>::max();
    for (const char character : text) {
        if (character < '0' || character > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(character - '0');
        if (value > (maximum - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    if (negative && value != 0) {
        return std::nullopt;
    }
    return value;
}

BerthkeepBundleConfiguration::Environment BerthkeepBundleConfiguration::processEnvironment() {
    Environment result;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        const auto separator = text.find('=');
        if (separator == std::string_view::npos) {
            continue;
        }
        result.emplace(std::string(text.substr(0, separator)),
                       std::string(text.substr(separator + 1)));
    }
    return result;
}

BerthkeepBundleConfiguration::Environment BerthkeepBundleConfiguration::overridableEnvironment(
    const Environment& environment, const std::optional<std::string>& bundleIdentifier,
    bool isDebugBuild) {
    if (!BerthkeepRuntimeIdentity::allowsEnvironmentConfigurationOverrides(bundleIdentifier,
                                                                           isDebugBuild)) {
        return {};
    }
    return environment;
}

} // namespace berthkeep
