#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace berthkeep::core {

// Sends one batch to the upload service. Returns nothing on success, else a
// description of the failure.
class TelemetryUploader {
public:
    virtual ~TelemetryUploader() = default;

    struct Request {
        std::string url; // the full endpoint
        std::string appID;
        std::string appKey;
        std::string body;           // compact JSON
        bool plainLoopback = false; // plain http, allowed only to a loopback address
    };
    virtual std::optional<std::string> upload(const Request& request) = 0;
};

// One processing pass: the request JSON (snake_case keys) in, the response JSON out.
// Keeps the queue within max_queue_len (oldest events go first), drops anonymous-
// improvement events without consent, skips events whose id is already queued,
// uploads due batches of batch_size in order, and backs off after a failed upload.
// With no endpoint configured the events stay queued and nothing counts as failed.
// Upload problems are reported in "last_error"; a request that is not valid throws.
//
// No new batch starts once the upload budget is spent (the optional request key
// "upload_budget_ms", else the given default); what is left stays queued and is due
// at once. The default plus one upload's own deadline stays well inside the two
// minutes the program gives the helper, so a slow server never gets the pass killed
// after some batches went out.
std::string
processTelemetry(std::string_view request, TelemetryUploader& uploader,
                 std::chrono::milliseconds defaultUploadBudget = std::chrono::seconds(60));

// The path batches are posted to, below the configured base URL.
inline constexpr const char* telemetryUploadPath = "/v1/events";

} // namespace berthkeep::core
