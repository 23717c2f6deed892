#include "Berthkeep/Actions/DriveOperationError.hpp"

namespace berthkeep {

DriveOperationError::DriveOperationError(std::string domain, std::int64_t code,
                                         std::string localizedDescription)
    : std::runtime_error(localizedDescription)
    , m_domain(std::move(domain))
    , m_code(code)
    , m_localizedDescription(std::move(localizedDescription)) {}

DriveOperationError DriveOperationError::notMounted() {
    return DriveOperationError(ejectDomain, notMountedCode, "Drive is not mounted");
}

DriveOperationError DriveOperationError::timedOut() {
    return DriveOperationError(ejectDomain, timedOutCode, "Eject attempt timed out");
}

DriveOperationError DriveOperationError::mountTimedOut() {
    return DriveOperationError(remountDomain, timedOutCode, "Mount attempt timed out");
}

DriveOperationError DriveOperationError::noLongerAttached(std::string domain) {
    return DriveOperationError(std::move(domain), noLongerAttachedCode, "Drive no longer attached");
}

DriveOperationError DriveOperationError::stillMounted(std::string reason) {
    return DriveOperationError(ejectDomain, stillMountedCode, std::move(reason));
}

bool DriveOperationError::isNoLongerAttached(const std::exception_ptr& error) {
    if (!error) {
        return false;
    }
    try {
        std::rethrow_exception(error);
    } catch (const DriveOperationError& failure) {
        return failure.code() == noLongerAttachedCode;
    } catch (...) {
        return false;
    }
}

std::string DriveOperationError::describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const DriveOperationError& failure) {
        return failure.localizedDescription();
    } catch (const std::exception& failure) {
        return failure.what();
    } catch (...) {
        return "Unknown error";
    }
}

} // namespace berthkeep
