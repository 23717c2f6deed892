#pragma once

#include <functional>

namespace berthkeep {

// Tells the store that the set of disks changed. Main thread only.
class DriveInventoryMonitoring {
public:
    using ChangeAction = std::function<void()>; // runs on the main thread

    virtual ~DriveInventoryMonitoring() = default;

    // A second start while started changes nothing.
    virtual void start(ChangeAction onChange) = 0;
    virtual void stop() = 0;
};

} // namespace berthkeep
