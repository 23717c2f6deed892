// Telemetry entry point: one processing pass per call. Uploads go only to the
// endpoint the request configures.

#include "berthkeep_core.h"

#include "CoreCall.hpp"
#include "TelemetryHttpUploader.hpp"
#include "TelemetryProcessing.hpp"

using namespace berthkeep::core;

extern "C" {

char* berthkeep_core_process_telemetry_json(const char* request) {
    return guardedCall<char*>("process telemetry failed", nullptr, [&]() -> char* {
        const auto text = requireText(request, "request");
        TelemetryHttpUploader uploader;
        return heapCopy(processTelemetry(text, uploader));
    });
}

} // extern "C"
