#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace berthkeep {

// The failures of the telemetry bridge; what() is the description.
class RustBerthkeepTelemetryBridgeError final : public std::exception {
public:
    enum class Kind {
        symbolMissing,
        callFailed,
        processFailed,
        dlopenFailed,
        transportUnavailable,
        libraryNotFound,
        executableNotFound,
        invalidResponse,
    };

    static RustBerthkeepTelemetryBridgeError symbolMissing(std::string symbolName);
    static RustBerthkeepTelemetryBridgeError callFailed(std::string message);
    static RustBerthkeepTelemetryBridgeError processFailed(std::int32_t status, std::string error);
    static RustBerthkeepTelemetryBridgeError dlopenFailed(std::string message);
    static RustBerthkeepTelemetryBridgeError transportUnavailable();
    static RustBerthkeepTelemetryBridgeError libraryNotFound();
    static RustBerthkeepTelemetryBridgeError executableNotFound();
    static RustBerthkeepTelemetryBridgeError invalidResponse();

    Kind kind() const noexcept { return m_kind; }
    const std::string& text() const noexcept { return m_text; }
    std::int32_t status() const noexcept { return m_status; }
    const std::string& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_description.c_str(); }

    bool operator==(const RustBerthkeepTelemetryBridgeError& other) const {
        return m_kind == other.m_kind && m_text == other.m_text && m_status == other.m_status;
    }

private:
    RustBerthkeepTelemetryBridgeError(Kind kind, std::string text, std::int32_t status);

    Kind m_kind;
    std::string m_text;
    std::int32_t m_status;
    std::string m_description;
};

} // namespace berthkeep
