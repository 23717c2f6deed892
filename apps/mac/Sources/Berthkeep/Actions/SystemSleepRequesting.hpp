#pragma once

namespace berthkeep {

// Asks the system to sleep now. Main thread only.
class SystemSleepRequesting {
public:
    virtual ~SystemSleepRequesting() = default;

    // Returns when the system has accepted the request; throws when it has not.
    virtual void requestSleep() = 0;
};

} // namespace berthkeep
