#include "Berthkeep/Domain/PendingSleepFailureNotification.hpp"

#include "Berthkeep/Domain/DriveCountText.hpp"

namespace berthkeep {

std::string PendingSleepFailureNotification::bodyText() const {
    return "Couldn\u2019t eject " + driveCountText(failedDriveCount) + " before sleep";
}

} // namespace berthkeep
