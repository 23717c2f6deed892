#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridgeError.hpp"

namespace berthkeep {

namespace {

std::string describe(RustBerthkeepTelemetryBridgeError::Kind kind, const std::string& text,
                     std::int32_t status) {
    using Kind = RustBerthkeepTelemetryBridgeError::Kind;
    switch (kind) {
    case Kind::symbolMissing:
        return "Berthkeep Rust telemetry bridge is missing symbol " + text + ".";
    case Kind::callFailed:
        return "Berthkeep Rust telemetry bridge call failed: " + text;
    case Kind::processFailed:
        return "Berthkeep Rust telemetry bridge failed with status " + std::to_string(status) +
               ": " + text;
    case Kind::dlopenFailed:
        return "Berthkeep Rust telemetry bridge library failed to load: " + text;
    case Kind::transportUnavailable:
        return "Berthkeep Rust telemetry bridge transport is unavailable.";
    case Kind::libraryNotFound:
        return "Berthkeep Rust telemetry bridge library was not found.";
    case Kind::executableNotFound:
        return "Berthkeep Rust telemetry bridge executable was not found.";
    case Kind::invalidResponse:
        return "Berthkeep Rust telemetry bridge returned an invalid response.";
    }
    return {};
}

} // namespace

RustBerthkeepTelemetryBridgeError::RustBerthkeepTelemetryBridgeError(Kind kind, std::string text,
                                                                     std::int32_t status)
    : m_kind(kind)
    , m_text(std::move(text))
    , m_status(status)
    , m_description(describe(m_kind, m_text, m_status)) {}

RustBerthkeepTelemetryBridgeError
RustBerthkeepTelemetryBridgeError::symbolMissing(std::string symbolName) {
    return {Kind::symbolMissing, std::move(symbolName), 0};
}
RustBerthkeepTelemetryBridgeError
RustBerthkeepTelemetryBridgeError::callFailed(std::string message) {
    return {Kind::callFailed, std::move(message), 0};
}
RustBerthkeepTelemetryBridgeError
RustBerthkeepTelemetryBridgeError::processFailed(std::int32_t status, std::string error) {
    return {Kind::processFailed, std::move(error), status};
}
RustBerthkeepTelemetryBridgeError
RustBerthkeepTelemetryBridgeError::dlopenFailed(std::string message) {
    return {Kind::dlopenFailed, std::move(message), 0};
}
RustBerthkeepTelemetryBridgeError RustBerthkeepTelemetryBridgeError::transportUnavailable() {
    return {Kind::transportUnavailable, {}, 0};
}
RustBerthkeepTelemetryBridgeError RustBerthkeepTelemetryBridgeError::libraryNotFound() {
    return {Kind::libraryNotFound, {}, 0};
}
RustBerthkeepTelemetryBridgeError RustBerthkeepTelemetryBridgeError::executableNotFound() {
    return {Kind::executableNotFound, {}, 0};
}
RustBerthkeepTelemetryBridgeError RustBerthkeepTelemetryBridgeError::invalidResponse() {
    return {Kind::invalidResponse, {}, 0};
}

} // namespace berthkeep
