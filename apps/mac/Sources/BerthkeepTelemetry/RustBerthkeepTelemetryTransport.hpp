#pragma once

#include <chrono>
#include <string>

#include "BerthkeepShared/BerthkeepRustFFI.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridgeError.hpp"

namespace berthkeep {

// Carries one encoded telemetry request to the core and brings the raw response
// back. Synchronous on the caller's thread; failures are thrown
// (RustBerthkeepTelemetryBridgeError, or the runner's ProcessLaunchError).
class RustBerthkeepTelemetryTransport {
public:
    virtual ~RustBerthkeepTelemetryTransport() = default;
    virtual std::string call(const std::string& standardInput) = 0;
};

// Stands in when neither the library nor the helper was found.
class MissingRustBerthkeepTelemetryTransport final : public RustBerthkeepTelemetryTransport {
public:
    // Always throws transportUnavailable.
    std::string call(const std::string& standardInput) override;
};

// The core library inside this process. Owns the loader handle until destruction.
class DynamicLibraryRustBerthkeepTelemetryTransport final : public RustBerthkeepTelemetryTransport {
public:
    using ProcessTelemetryFunction = char* (*)(const char*);
    using LastErrorFunction = char* (*)();
    using FreeStringFunction = void (*)(char*);

    // Throws dlopenFailed, or symbolMissing with the first missing name (the
    // library is closed again).
    explicit DynamicLibraryRustBerthkeepTelemetryTransport(const std::string& libraryURL);
    ~DynamicLibraryRustBerthkeepTelemetryTransport() override;

    DynamicLibraryRustBerthkeepTelemetryTransport(
        const DynamicLibraryRustBerthkeepTelemetryTransport&) = delete;
    DynamicLibraryRustBerthkeepTelemetryTransport&
    operator=(const DynamicLibraryRustBerthkeepTelemetryTransport&) = delete;

    // callFailed for input that is not UTF-8 (or holds a NUL), and for a null
    // answer: with the library's last error, or "Rust telemetry call failed".
    std::string call(const std::string& standardInput) override;

private:
    BerthkeepRustFFI::Handle m_handle = nullptr;
    ProcessTelemetryFunction m_processTelemetryFunction = nullptr;
    LastErrorFunction m_lastErrorFunction = nullptr;
    FreeStringFunction m_freeStringFunction = nullptr;
};

// The helper executable with "process-telemetry". The helper uploads, so its
// deadline is generous, but it has one.
class ProcessRustBerthkeepTelemetryTransport final : public RustBerthkeepTelemetryTransport {
public:
    static constexpr const char* operationArgument = "process-telemetry";
    static constexpr std::chrono::milliseconds defaultTimeout{120000};

    explicit ProcessRustBerthkeepTelemetryTransport(
        std::string executableURL, std::chrono::milliseconds timeout = defaultTimeout);

    // Status 0 gives standard output. Any other end throws processFailed with the
    // status (or signal number) and standard error as UTF-8 (invalid sequences
    // replaced, not trimmed); an output past the runner's limit throws
    // processFailed whatever the status.
    std::string call(const std::string& standardInput) override;

    const std::string& executableURL() const noexcept { return m_executableURL; }

private:
    std::string m_executableURL;
    std::chrono::milliseconds m_timeout;
};

} // namespace berthkeep
