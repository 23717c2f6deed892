#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"

#include "Berthkeep/Inventory/DiskImagePlistInventoryParser.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"

namespace berthkeep {

LiveDiskImageRegistry::LiveDiskImageRegistry(std::string executablePath,
                                             std::chrono::milliseconds timeout,
                                             std::chrono::milliseconds terminationGracePeriod)
    : m_executablePath(std::move(executablePath))
    , m_timeout(timeout)
    , m_terminationGracePeriod(terminationGracePeriod) {}

std::map<std::string, DiskImageAttachment>
LiveDiskImageRegistry::currentImagesByDeviceIdentifier() const {
    ProcessRequest request;
    request.executablePath = m_executablePath;
    request.arguments = {"info", "-plist"};
    request.timeout = m_timeout.count() < 0 ? std::chrono::milliseconds(0) : m_timeout;
    request.terminationGracePeriod = m_terminationGracePeriod.count() < 0
                                         ? std::chrono::milliseconds(0)
                                         : m_terminationGracePeriod;
    ProcessResult result;
    try {
        // The runner drains both pipes while the child runs, so no output size can
        // keep it from exiting.
        result = runProcess(request);
    } catch (...) {
        return {};
    }
    if (!result.succeeded()) {
        return {};
    }
    return DiskImagePlistInventoryParser::attachmentsByDeviceIdentifier(result.standardOutput);
}

} // namespace berthkeep
