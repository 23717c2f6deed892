#include "BerthkeepRustBridge/ProcessRustBerthkeepCoreTransport.hpp"

#include "BerthkeepRustBridge/RustBerthkeepCoreBridgeError.hpp"
#include "BerthkeepShared/BerthkeepText.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"

namespace berthkeep {

namespace {

std::string standardErrorText(const std::string& bytes) {
    if (!isValidUTF8(bytes)) {
        return {};
    }
    return trimmingWhitespaceAndNewlines(bytes);
}

} // namespace

ProcessRustBerthkeepCoreTransport::ProcessRustBerthkeepCoreTransport(
    std::string executableURL, std::chrono::milliseconds timeout)
    : m_executableURL(std::move(executableURL))
    , m_timeout(timeout) {}

std::string ProcessRustBerthkeepCoreTransport::call(RustBerthkeepCoreOperation operation,
                                                    const std::string& standardInput) {
    ProcessRequest request;
    request.executablePath = m_executableURL;
    request.arguments = {toString(operation)};
    request.standardInput = standardInput;
    request.timeout = m_timeout;

    const ProcessResult result = runProcess(request);

    switch (result.outcome) {
    case ProcessOutcome::exited:
        if (result.exitCode == 0) {
            return result.standardOutput;
        }
        throw RustBerthkeepCoreBridgeError::processFailed(result.exitCode,
                                                          standardErrorText(result.standardError));
    case ProcessOutcome::signaled:
        throw RustBerthkeepCoreBridgeError::processFailed(result.exitCode,
                                                          standardErrorText(result.standardError));
    case ProcessOutcome::timedOut:
    case ProcessOutcome::cancelled: {
        // Never an answer, however much the helper printed before it was stopped.
        std::string text = "timed out after " + std::to_string(m_timeout.count()) + " ms";
        const auto errorText = standardErrorText(result.standardError);
        if (!errorText.empty()) {
            text += ": " + errorText;
        }
        throw RustBerthkeepCoreBridgeError::processFailed(result.exitCode, text);
    }
    case ProcessOutcome::outputTooLarge:
        throw RustBerthkeepCoreBridgeError::processFailed(
            result.exitCode,
            "output larger than " + std::to_string(defaultProcessOutputLimit) + " bytes");
    }
    throw RustBerthkeepCoreBridgeError::processFailed(result.exitCode,
                                                      standardErrorText(result.standardError));
}

} // namespace berthkeep
