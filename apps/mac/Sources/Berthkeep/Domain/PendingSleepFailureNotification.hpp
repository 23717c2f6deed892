#pragma once

#include <cstdint>
#include <string>

namespace berthkeep {

// An eject before sleep left drives behind; persisted, and delivered after wake.
struct PendingSleepFailureNotification {
    std::int64_t failedDriveCount = 0;

    // "Couldn’t eject 1 drive before sleep", "Couldn’t eject 3 drives before sleep".
    std::string bodyText() const;

    bool operator==(const PendingSleepFailureNotification&) const = default;
};

} // namespace berthkeep
