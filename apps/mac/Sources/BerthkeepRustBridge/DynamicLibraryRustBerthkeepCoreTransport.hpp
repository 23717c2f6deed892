#pragma once

#include <string>

#include "BerthkeepRustBridge/RustBerthkeepCoreTransport.hpp"
#include "BerthkeepShared/BerthkeepRustFFI.hpp"

namespace berthkeep {

// Calls the core library inside this process. Owns the loader handle from a
// successful construction until destruction; the resolved entry points live
// exactly as long.
class DynamicLibraryRustBerthkeepCoreTransport final : public RustBerthkeepCoreTransport {
public:
    using DecisionFunction = char* (*)(const char*);
    using LastErrorFunction = char* (*)();
    using FreeStringFunction = void (*)(char*);

    // Loads the library and resolves its five entry points. Throws dlopenFailed
    // with the loader's message, or symbolMissing with the first missing name (the
    // handle is closed and later names are not looked up).
    explicit DynamicLibraryRustBerthkeepCoreTransport(const std::string& libraryURL);
    ~DynamicLibraryRustBerthkeepCoreTransport() override;

    DynamicLibraryRustBerthkeepCoreTransport(const DynamicLibraryRustBerthkeepCoreTransport&) =
        delete;
    DynamicLibraryRustBerthkeepCoreTransport&
    operator=(const DynamicLibraryRustBerthkeepCoreTransport&) = delete;

    // Throws callFailed for a request that is not UTF-8 (or holds a NUL, which a C
    // string cannot carry), and for a null answer: with the library's last error,
    // or "Rust core call failed" when it has none.
    std::string call(RustBerthkeepCoreOperation operation,
                     const std::string& standardInput) override;

private:
    BerthkeepRustFFI::Handle m_handle = nullptr;
    DecisionFunction m_evaluateStateFunction = nullptr;
    DecisionFunction m_planActionFunction = nullptr;
    DecisionFunction m_summarizeActionFunction = nullptr;
    LastErrorFunction m_lastErrorFunction = nullptr;
    FreeStringFunction m_freeStringFunction = nullptr;
};

} // namespace berthkeep
