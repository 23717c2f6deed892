#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"

#include "Berthkeep/Inventory/DiskImagePlistInventoryParser.hpp"
#include "Berthkeep/Inventory/DiskToolProcessRequest.hpp"
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
    const ProcessRequest request = DiskToolProcessRequest::make(
        m_executablePath, {"info", "-plist"}, m_timeout, m_terminationGracePeriod);
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
