#pragma once

#include <memory>

#include <QCoroTask>

#include "Berthkeep/Actions/DriveEjectMode.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "BerthkeepShared/CancelToken.hpp"

namespace berthkeep {

// Ejects one drive. Main thread only.
class DriveEjecting {
public:
    virtual ~DriveEjecting() = default;

    // Ends when the eject or unmount has succeeded; throws otherwise. Cancelling
    // the token stops the work (a time-out has won) and ends the call.
    virtual QCoro::Task<void> eject(DetectedDrive drive, DriveEjectMode mode,
                                    std::shared_ptr<CancelToken> cancel) = 0;
};

} // namespace berthkeep
