#pragma once

#include "TelemetryProcessing.hpp"

namespace berthkeep::core {

// Posts batches with libcurl, loaded at the first upload: HTTPS only (plain HTTP only
// when the request says the endpoint is a loopback address, and then past no proxy),
// no redirects, a connect and a total deadline, no signals (callable from any
// thread). A missing or unusable libcurl is an upload failure like any other.
class TelemetryHttpUploader final : public TelemetryUploader {
public:
    static constexpr long connectTimeoutSeconds = 5;
    static constexpr long totalTimeoutSeconds = 15;

    std::optional<std::string> upload(const Request& request) override;
};

} // namespace berthkeep::core
