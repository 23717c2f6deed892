#include "BerthkeepTelemetry/RustBerthkeepTelemetryTransport.hpp"

#include <QString>

#include "BerthkeepShared/BerthkeepRustLibraryCall.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"

namespace berthkeep {

namespace {

std::string replacingInvalidUTF8(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
}

} // namespace

std::string MissingRustBerthkeepTelemetryTransport::call(const std::string&) {
    throw RustBerthkeepTelemetryBridgeError::transportUnavailable();
}

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

ProcessRustBerthkeepTelemetryTransport::ProcessRustBerthkeepTelemetryTransport(
    std::string executableURL, std::chrono::milliseconds timeout)
    : m_executableURL(std::move(executableURL))
    , m_timeout(timeout) {}

std::string ProcessRustBerthkeepTelemetryTransport::call(const std::string& standardInput) {
    ProcessRequest request;
    request.executablePath = m_executableURL;
    request.arguments = {operationArgument};
    request.standardInput = standardInput;
    request.timeout = m_timeout;

    const ProcessResult result = runProcess(request);
    if (result.outcome == ProcessOutcome::exited && result.exitCode == 0) {
        return result.standardOutput;
    }
    std::string errorText = replacingInvalidUTF8(result.standardError);
    if (result.outcome == ProcessOutcome::timedOut || result.outcome == ProcessOutcome::cancelled) {
        // Never an answer, however much the helper printed before it was stopped.
        errorText = "timed out after " + std::to_string(m_timeout.count()) + " ms" +
                    (errorText.empty() ? std::string() : ": " + errorText);
    } else if (result.outcome == ProcessOutcome::outputTooLarge) {
        // Its exit status may be 0, but the answer is cut short.
        errorText = "output larger than " + std::to_string(defaultProcessOutputLimit) + " bytes";
    }
    throw RustBerthkeepTelemetryBridgeError::processFailed(result.exitCode, errorText);
}

} // namespace berthkeep
