#include "BerthkeepTelemetry/ProcessRustBerthkeepTelemetryTransport.hpp"

#include <QString>

#include "BerthkeepShared/ProcessRunner.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridgeError.hpp"

namespace berthkeep {

namespace {

std::string replacingInvalidUTF8(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
}

} // namespace

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
