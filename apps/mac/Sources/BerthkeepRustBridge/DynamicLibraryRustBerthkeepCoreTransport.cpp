#include "BerthkeepRustBridge/DynamicLibraryRustBerthkeepCoreTransport.hpp"

#include "BerthkeepRustBridge/RustBerthkeepCoreBridgeError.hpp"
#include "BerthkeepShared/BerthkeepRustLibraryCall.hpp"

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
    BerthkeepRustLibraryCall::resolveOrClose(m_handle, [this] {
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
    });
}

DynamicLibraryRustBerthkeepCoreTransport::~DynamicLibraryRustBerthkeepCoreTransport() {
    BerthkeepRustFFI::closeLibrary(m_handle);
}

std::string DynamicLibraryRustBerthkeepCoreTransport::call(RustBerthkeepCoreOperation operation,
                                                           const std::string& standardInput) {
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

    return BerthkeepRustLibraryCall::callJSON(function, standardInput, m_lastErrorFunction,
                                              m_freeStringFunction, "Rust core call failed",
                                              RustBerthkeepCoreBridgeError::callFailed);
}

} // namespace berthkeep
