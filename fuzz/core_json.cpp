// The core library's JSON entry points: the three decisions through the C
// interface itself, and the parsers behind the activity-monitor and telemetry
// entry points (called directly, so no monitor threads start and nothing is
// uploaded).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "ActivityMonitorRequests.hpp"
#include "TelemetryProcessing.hpp"
#include "berthkeep_core.h"

namespace {

using namespace berthkeep::core;

// Accepts every batch without a network.
class AcceptingUploader final : public TelemetryUploader {
public:
    std::optional<std::string> upload(const Request&) override { return std::nullopt; }
};

void callEntryPoint(char* (*entryPoint)(const char*), const std::string& request) {
    char* reply = entryPoint(request.c_str());
    if (reply == nullptr) {
        berthkeep_core_free_string(berthkeep_core_last_error_message());
    }
    berthkeep_core_free_string(reply);
}

// Only the errors the parsers document may come out; the entry points turn
// them into a null reply and a last error.
template <typename Parse> void parseExpectingOnlyRequestErrors(Parse parse) {
    try {
        parse();
    } catch (const std::invalid_argument&) {
    } catch (const nlohmann::json::parse_error&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The C interface reads up to the first NUL, as any C caller's string ends there.
    const std::string request(reinterpret_cast<const char*>(data), size);
    const std::string cRequest(request.c_str());
    callEntryPoint(berthkeep_core_evaluate_state_json, cRequest);
    callEntryPoint(berthkeep_core_plan_action_json, cRequest);
    callEntryPoint(berthkeep_core_summarize_action_json, cRequest);

    parseExpectingOnlyRequestErrors([&] { (void)parseActivityMonitorConfiguration(request); });
    parseExpectingOnlyRequestErrors([&] { (void)parseMonitoredVolumeSet(request); });
    parseExpectingOnlyRequestErrors([&] {
        AcceptingUploader uploader;
        (void)processTelemetry(request, uploader);
    });
    return 0;
}
