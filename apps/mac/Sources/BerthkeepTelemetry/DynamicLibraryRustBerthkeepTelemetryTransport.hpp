#pragma once

#include <string>

#include "BerthkeepShared/BerthkeepRustFFI.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryTransport.hpp"

namespace berthkeep {

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

} // namespace berthkeep
