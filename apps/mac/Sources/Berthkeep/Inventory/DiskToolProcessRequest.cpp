#include "Berthkeep/Inventory/DiskToolProcessRequest.hpp"

namespace berthkeep::DiskToolProcessRequest {

std::chrono::milliseconds clampedInterval(std::chrono::milliseconds duration) {
    return duration.count() < 0 ? std::chrono::milliseconds(0) : duration;
}

ProcessRequest make(std::string executablePath, std::vector<std::string> arguments,
                    std::chrono::milliseconds timeout,
                    std::chrono::milliseconds terminationGracePeriod) {
    ProcessRequest request;
    request.executablePath = std::move(executablePath);
    request.arguments = std::move(arguments);
    request.timeout = clampedInterval(timeout);
    request.terminationGracePeriod = clampedInterval(terminationGracePeriod);
    return request;
}

} // namespace berthkeep::DiskToolProcessRequest
