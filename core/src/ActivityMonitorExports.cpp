// Activity-monitor entry points. This build has no monitor: every call fails cleanly
// with a message, so the program falls back as it does for a missing capability.

#include "berthkeep_core.h"

#include "CoreCall.hpp"

using namespace berthkeep::core;

namespace {

constexpr const char* kUnavailable = "activity monitor is not available in this build";

} // namespace

extern "C" {

berthkeep_core_activity_monitor* berthkeep_core_activity_monitor_create(const char*) {
    clearLastError();
    setLastError(kUnavailable);
    return nullptr;
}

bool berthkeep_core_activity_monitor_update_json(berthkeep_core_activity_monitor*, const char*) {
    clearLastError();
    setLastError(kUnavailable);
    return false;
}

char* berthkeep_core_activity_monitor_snapshot_json(berthkeep_core_activity_monitor*) {
    clearLastError();
    setLastError(kUnavailable);
    return nullptr;
}

// No handle is ever created here, so there is nothing to end.
void berthkeep_core_activity_monitor_destroy(berthkeep_core_activity_monitor*) {
    clearLastError();
}

} // extern "C"
