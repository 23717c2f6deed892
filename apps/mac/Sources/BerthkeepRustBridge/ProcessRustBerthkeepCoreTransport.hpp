#pragma once

#include <chrono>
#include <string>

#include "BerthkeepRustBridge/RustBerthkeepCoreTransport.hpp"

namespace berthkeep {

// Runs the helper executable once per request: one argument (the operation's raw
// value), the request on standard input followed by end of file, the response on
// standard output. The shared runner drains both output pipes while it writes, and
// stops a helper that overruns the deadline, so a hung helper costs the caller at
// most the deadline plus the runner's grace period.
class ProcessRustBerthkeepCoreTransport final : public RustBerthkeepCoreTransport {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{5000};

    explicit ProcessRustBerthkeepCoreTransport(std::string executableURL,
                                               std::chrono::milliseconds timeout = defaultTimeout);

    // Exit status 0 gives standard output (standard error is dropped). A non-zero
    // status, a signal or the deadline throws processFailed with the status (or
    // signal number) and the trimmed standard error; an output past the runner's
    // limit throws processFailed whatever the status. A helper that cannot be
    // started throws the runner's ProcessLaunchError.
    std::string call(RustBerthkeepCoreOperation operation,
                     const std::string& standardInput) override;

    const std::string& executableURL() const noexcept { return m_executableURL; }
    std::chrono::milliseconds timeout() const noexcept { return m_timeout; }

private:
    std::string m_executableURL;
    std::chrono::milliseconds m_timeout;
};

} // namespace berthkeep
