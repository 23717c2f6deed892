#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"

#include <QString>

#include "Berthkeep/Inventory/DiskToolProcessRequest.hpp"
#include "Berthkeep/Inventory/DiskUtilityError.hpp"
#include "Berthkeep/Inventory/DriveInventoryText.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"

namespace berthkeep {

namespace {

bool isValidUtf8(const std::string& bytes) {
    const QByteArray data =
        QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const QString decoded = QString::fromUtf8(data);
    return decoded.toUtf8() == data;
}

std::string failureDescription(const std::string& standardError) {
    if (isValidUtf8(standardError)) {
        const std::string text = DriveInventoryText::trimmed(standardError);
        if (!text.empty()) {
            return text;
        }
    }
    return "diskutil command failed";
}

} // namespace

LiveDiskUtilityRunner::LiveDiskUtilityRunner(std::string executablePath,
                                             std::chrono::milliseconds timeout,
                                             std::chrono::milliseconds terminationGracePeriod)
    : m_executablePath(std::move(executablePath))
    , m_timeout(timeout)
    , m_terminationGracePeriod(terminationGracePeriod) {}

std::string LiveDiskUtilityRunner::run(const std::vector<std::string>& arguments) const {
    const ProcessRequest request = DiskToolProcessRequest::make(
        m_executablePath, arguments, m_timeout, m_terminationGracePeriod);
    // ProcessLaunchError passes through unchanged.
    ProcessResult result = runProcess(request);

    if (result.outcome == ProcessOutcome::timedOut || result.outcome == ProcessOutcome::cancelled) {
        throw DiskUtilityError(DiskUtilityError::timedOutCode, "diskutil command timed out");
    }
    if (result.outcome == ProcessOutcome::outputTooLarge) {
        // Its exit status may well be 0: only the kept part of the output is there.
        throw DiskUtilityError(DiskUtilityError::outputTooLargeCode, "diskutil output too large");
    }
    if (result.exitCode != 0) {
        throw DiskUtilityError(result.exitCode, failureDescription(result.standardError));
    }
    return std::move(result.standardOutput);
}

} // namespace berthkeep
