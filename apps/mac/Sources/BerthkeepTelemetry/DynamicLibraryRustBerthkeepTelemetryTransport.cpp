#include "BerthkeepTelemetry/DynamicLibraryRustBerthkeepTelemetryTransport.hpp"

#include "BerthkeepShared/BerthkeepRustLibraryCall.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridgeError.hpp"

namespace berthkeep {

DynamicLibraryRustBerthkeepTelemetryTransport::DynamicLibraryRustBerthkeepTelemetryTransport(
    const std::string& libraryURL)
    : m_handle(BerthkeepRustFFI::openLibrary(libraryURL,
                                             RustBerthkeepTelemetryBridgeError::dlopenFailed)) {
    BerthkeepRustLibraryCall::resolveOrClose(m_handle, [this] {
        m_processTelemetryFunction = BerthkeepRustFFI::resolveSymbol<ProcessTelemetryFunction>(
            "berthkeep_core_process_telemetry_json", m_handle,
            RustBerthkeepTelemetryBridgeError::symbolMissing);
        m_lastErrorFunction = BerthkeepRustFFI::resolveSymbol<LastErrorFunction>(
            "berthkeep_core_last_error_message", m_handle,
            RustBerthkeepTelemetryBridgeError::symbolMissing);
        m_freeStringFunction = BerthkeepRustFFI::resolveSymbol<FreeStringFunction>(
            "berthkeep_core_free_string", m_handle,
            RustBerthkeepTelemetryBridgeError::symbolMissing);
    });
}

DynamicLibraryRustBerthkeepTelemetryTransport::~DynamicLibraryRustBerthkeepTelemetryTransport() {
    BerthkeepRustFFI::closeLibrary(m_handle);
}

std::string DynamicLibraryRustBerthkeepTelemetryTransport::call(const std::string& standardInput) {
    return BerthkeepRustLibraryCall::callJSON(
        m_processTelemetryFunction, standardInput, m_lastErrorFunction, m_freeStringFunction,
        "Rust telemetry call failed", RustBerthkeepTelemetryBridgeError::callFailed);
}

} // namespace berthkeep
