#pragma once

#include <memory>

#include <QCoroTask>

#include "Berthkeep/Actions/RemountGroup.hpp"
#include "Berthkeep/Actions/RemountTarget.hpp"
#include "BerthkeepShared/CancelToken.hpp"

namespace berthkeep {

// Mounts drives again. Both calls end when the mount has succeeded and throw
// otherwise; cancelling the token stops the tool, and a run that still ends well
// after a cancel throws CancellationError.
class DriveRemounting {
public:
    virtual ~DriveRemounting() = default;

    // One volume, by its BSD name.
    virtual QCoro::Task<void> mount(RemountTarget target, std::shared_ptr<CancelToken> cancel) = 0;
    // Every volume of one whole disk.
    virtual QCoro::Task<void> mountDisk(RemountGroup group,
                                        std::shared_ptr<CancelToken> cancel) = 0;
};

} // namespace berthkeep
