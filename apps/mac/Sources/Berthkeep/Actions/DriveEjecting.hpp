#pragma once

#include <QCoroTask>

#include "Berthkeep/Actions/DriveEjectMode.hpp"
#include "Berthkeep/Drive/DetectedDrive.hpp"

namespace berthkeep {

// Ejects one drive. Main thread only.
class DriveEjecting {
public:
    virtual ~DriveEjecting() = default;

    // Ends when the eject or unmount has succeeded; throws otherwise.
    virtual QCoro::Task<void> eject(DetectedDrive drive, DriveEjectMode mode) = 0;
};

} // namespace berthkeep
