#pragma once

#include <QCoroTask>

#include "Berthkeep/Actions/RemountGroup.hpp"
#include "Berthkeep/Actions/RemountTarget.hpp"

namespace berthkeep {

// Mounts drives again. Both calls end when the mount has succeeded and throw
// otherwise.
class DriveRemounting {
public:
    virtual ~DriveRemounting() = default;

    // One volume, by its BSD name.
    virtual QCoro::Task<void> mount(RemountTarget target) = 0;
    // Every volume of one whole disk.
    virtual QCoro::Task<void> mountDisk(RemountGroup group) = 0;
};

} // namespace berthkeep
