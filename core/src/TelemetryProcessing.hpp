#pragma once

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
        std::string body; // compact JSON
    };
    virtual std::optional<std::string> upload(const Request& request) = 0;
};

// One processing pass: the request JSON (snake_case keys) in, the response JSON out.
// Keeps the queue within max_queue_len (oldest events go first), drops anonymous-
// improvement events without consent, skips events whose id is already queued,
// uploads due batches of batch_size in order, and backs off after a failed upload.
// Upload problems are reported in "last_error"; a request that is not valid throws.
std::string processTelemetry(std::string_view request, TelemetryUploader& uploader);

// The path batches are posted to, below the configured base URL.
inline constexpr const char* telemetryUploadPath = "/v1/events";

} // namespace berthkeep::core
