// Telemetry entry point. This build does not process telemetry: every call fails
// cleanly with a message and nothing is sent anywhere.

#include "berthkeep_core.h"

#include "CoreCall.hpp"

using namespace berthkeep::core;

extern "C" {

char* berthkeep_core_process_telemetry_json(const char*) {
    clearLastError();
    setLastError("telemetry processing is not available in this build");
    return nullptr;
}

} // extern "C"
