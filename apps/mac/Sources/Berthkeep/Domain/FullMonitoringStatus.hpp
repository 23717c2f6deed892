#pragma once

namespace berthkeep {

// The status shown for Full Monitoring: the first three while it is off (by
// onboarding state), the last three while it is on (by capability).
enum class FullMonitoringStatus {
    notDetermined,
    deferred,
    acknowledged,
    checking,
    setupRequired,
    active,
};

} // namespace berthkeep
