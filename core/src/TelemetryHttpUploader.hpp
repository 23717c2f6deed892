#pragma once

#include "TelemetryProcessing.hpp"

namespace berthkeep::core {

// Posts batches with libcurl: HTTP or HTTPS only, no redirects, a connect and a
// total deadline, no signals (callable from any thread).
class TelemetryHttpUploader final : public TelemetryUploader {
public:
    static constexpr long connectTimeoutSeconds = 5;
    static constexpr long totalTimeoutSeconds = 15;

    std::optional<std::string> upload(const Request& request) override;
};

} // namespace berthkeep::core
