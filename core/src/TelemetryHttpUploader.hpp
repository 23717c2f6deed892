#pragma once

#include "TelemetryProcessing.hpp"

namespace berthkeep::core {

// Posts batches with libcurl: HTTPS only (plain HTTP only when the request says the
// endpoint is a loopback address, and then past no proxy), no redirects, a connect
// and a total deadline, no signals (callable from any thread).
class TelemetryHttpUploader final : public TelemetryUploader {
public:
    static constexpr long connectTimeoutSeconds = 5;
    static constexpr long totalTimeoutSeconds = 15;

    std::optional<std::string> upload(const Request& request) override;
};

} // namespace berthkeep::core
