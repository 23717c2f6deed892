#include "BerthkeepShared/BerthkeepRustLibraryCall.hpp"

#include "BerthkeepShared/BerthkeepText.hpp"

namespace berthkeep {

BerthkeepRustLibraryCall::Outcome BerthkeepRustLibraryCall::callJSON(JSONFunction function,
                                                                     const std::string& input,
                                                                     LastErrorFunction lastError,
                                                                     FreeStringFunction freeString,
                                                                     const char* fallbackFailure) {
    if (!isValidUTF8(input) || input.find('\0') != std::string::npos) {
        return {std::nullopt, invalidInputMessage};
    }
    if (function == nullptr) {
        return {std::nullopt, fallbackFailure};
    }
    char* response = function(input.c_str());
    if (response != nullptr) {
        return {BerthkeepRustFFI::takeLibraryString(response, freeString), {}};
    }
    char* message = lastError != nullptr ? lastError() : nullptr;
    if (message == nullptr) {
        return {std::nullopt, fallbackFailure};
    }
    return {std::nullopt, BerthkeepRustFFI::takeLibraryString(message, freeString)};
}

} // namespace berthkeep
