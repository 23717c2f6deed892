#pragma once

#include <string>
#include <string_view>

namespace berthkeep::core {

// Where a batch is posted, checked before anything leaves: HTTPS to any host, plain
// HTTP only to a loopback address (a local test server), since the app key travels
// in a header and must never cross a network in clear text.
struct TelemetryEndpoint {
    std::string url;            // the base URL without trailing slashes, then the upload path
    bool plainLoopback = false; // http:// to a loopback address

    // Throws std::invalid_argument saying why the base URL is refused.
    static TelemetryEndpoint fromBaseURL(std::string_view baseURL);

    // True for "localhost", 127.0.0.0/8 written as four decimal parts, and [::1].
    static bool isLoopbackHost(std::string_view host);
};

} // namespace berthkeep::core
