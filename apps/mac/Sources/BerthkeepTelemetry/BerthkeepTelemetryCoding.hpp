#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "BerthkeepTelemetry/BerthkeepTelemetryRecords.hpp"

namespace berthkeep {

// A value that does not decode as the record asked for: what() says why.
class BerthkeepTelemetryDecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// JSON coding of the telemetry records with their own (camel-case) keys. Decoding
// is strict about presence and type; absent optional values are left out when
// encoding.
namespace BerthkeepTelemetryCoding {

nlohmann::json encode(const BerthkeepTelemetryConfiguration& config);
nlohmann::json encode(const BerthkeepTelemetryConsent& consent);
nlohmann::json encode(const BerthkeepTelemetryEvent& event);
nlohmann::json encode(const BerthkeepTelemetryQueue& queue);
nlohmann::json encode(const BerthkeepTelemetryInput& input);
nlohmann::json encode(const BerthkeepTelemetryOutput& output);

BerthkeepTelemetryCategory decodeCategory(const nlohmann::json& json);
BerthkeepTelemetryConfiguration decodeConfiguration(const nlohmann::json& json);
BerthkeepTelemetryConsent decodeConsent(const nlohmann::json& json);
BerthkeepTelemetryEvent decodeEvent(const nlohmann::json& json);
BerthkeepTelemetryQueue decodeQueue(const nlohmann::json& json);
BerthkeepTelemetryInput decodeInput(const nlohmann::json& json);
BerthkeepTelemetryOutput decodeOutput(const nlohmann::json& json);

// Key conversions of the wire to the core library. Keys of a "payload" object
// are event details and pass unchanged both ways.
// "installId" -> "install_id", "macosMajorVersion" -> "macos_major_version".
std::string snakeCaseKey(std::string_view key);
// "install_id" -> "installId"; a key without underscores is kept as it is.
std::string camelCaseKey(std::string_view key);
nlohmann::json convertKeysToSnakeCase(const nlohmann::json& json);
nlohmann::json convertKeysFromSnakeCase(const nlohmann::json& json);

// Serialised text; invalid UTF-8 in a value is replaced, never thrown.
std::string dumpCompact(const nlohmann::json& json);
std::string dumpPretty(const nlohmann::json& json);
// Parses text; throws BerthkeepTelemetryDecodingError for anything not JSON.
nlohmann::json parse(std::string_view text);

} // namespace BerthkeepTelemetryCoding

} // namespace berthkeep
