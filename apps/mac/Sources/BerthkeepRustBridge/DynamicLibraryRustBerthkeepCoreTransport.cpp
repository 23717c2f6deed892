#include "BerthkeepRustBridge/DynamicLibraryRustBerthkeepCoreTransport.hpp"

#include "BerthkeepShared/BerthkeepText.hpp"

namespace berthkeep {

namespace {

RustBerthkeepCoreBridgeError mapDlopenError(const std::string& message) {
    return RustBerthkeepCoreBridgeError::dlopenFailed(message);
}

RustBerthkeepCoreBridgeError mapSymbolMissing(const std::string& name) {
    return RustBerthkeepCoreBridgeError::symbolMissing(name);
}

} // namespace

DynamicLibraryRustBerthkeepCoreTransport::DynamicLibraryRustBerthkeepCoreTransport(
    const std::string& libraryURL)
    : m_handle(BerthkeepRustFFI::openLibrary(libraryURL, mapDlopenError)) {
    try {
        m_evaluateStateFunction = BerthkeepRustFFI::resolveSymbol<DecisionFunction>(
            "berthkeep_core_evaluate_state_json", m_handle, mapSymbolMissing);
        m_planActionFunction = BerthkeepRustFFI::resolveSymbol<DecisionFunction>(
            "berthkeep_core_plan_action_json", m_handle, mapSymbolMissing);
        m_summarizeActionFunction = BerthkeepRustFFI::resolveSymbol<DecisionFunction>(
            "berthkeep_core_summarize_action_json", m_handle, mapSymbolMissing);
        m_lastErrorFunction = BerthkeepRustFFI::resolveSymbol<LastErrorFunction>(
            "berthkeep_core_last_error_message", m_handle, mapSymbolMissing);
        m_freeStringFunction = BerthkeepRustFFI::resolveSymbol<FreeStringFunction>(
            "berthkeep_core_free_string", m_handle, mapSymbolMissing);
    } catch (...) {
        // The destructor does not run for a constructor that throws.
        BerthkeepRustFFI::closeLibrary(m_handle);
        m_handle = nullptr;
        throw;
    }
}

DynamicLibraryRustBerthkeepCoreTransport::~DynamicLibraryRustBerthkeepCoreTransport() {
    BerthkeepRustFFI::closeLibrary(m_handle);
}

std::string DynamicLibraryRustBerthkeepCoreTransport::call(RustBerthkeepCoreOperation operation,
                                                           const std::string& standardInput) {
    if (!isValidUTF8(standardInput) || standardInput.find('\0') != std::string::npos) {
        throw RustBerthkeepCoreBridgeError::callFailed("failed to encode bridge input as UTF-8");
    }

    DecisionFunction function = nullptr;
    switch (operation) {
    case RustBerthkeepCoreOperation::evaluateState:
        function = m_evaluateStateFunction;
        break;
    case RustBerthkeepCoreOperation::planAction:
        function = m_planActionFunction;
        break;
    case RustBerthkeepCoreOperation::summarizeAction:
        function = m_summarizeActionFunction;
        break;
    }

    char* response = function(standardInput.c_str());
    if (response == nullptr) {
        // The last error is per thread: read it now, before anything else calls in.
        char* lastError = m_lastErrorFunction();
        if (lastError == nullptr) {
            throw RustBerthkeepCoreBridgeError::callFailed("Rust core call failed");
        }
        throw RustBerthkeepCoreBridgeError::callFailed(
            BerthkeepRustFFI::takeLibraryString(lastError, m_freeStringFunction));
    }
    return BerthkeepRustFFI::takeLibraryString(response, m_freeStringFunction);
}

} // namespace berthkeep
