#pragma once

#include <optional>
#include <string>

#include "BerthkeepShared/BerthkeepRustFFI.hpp"

namespace berthkeep {

// The parts every in-process transport to the core library shares: closing the
// library when a constructor fails half-way, and one call of a JSON-in, JSON-out C
// function with the library's own string rules (last error on null, every returned
// string copied and freed at once). Stateless; callable from any thread.
class BerthkeepRustLibraryCall {
public:
    using JSONFunction = char* (*)(const char*);
    using LastErrorFunction = char* (*)();
    using FreeStringFunction = BerthkeepRustFFI::FreeStringFunction;

    static constexpr const char* invalidInputMessage = "failed to encode bridge input as UTF-8";

    BerthkeepRustLibraryCall() = delete;

    // Runs resolve(); when it throws, closes the handle, sets it to null and rethrows
    // (a constructor that throws never reaches its destructor).
    template <typename Resolve>
    static void resolveOrClose(BerthkeepRustFFI::Handle& handle, Resolve&& resolve) {
        try {
            resolve();
        } catch (...) {
            BerthkeepRustFFI::closeLibrary(handle);
            handle = nullptr;
            throw;
        }
    }

    // The response text, or, when there is none, why.
    struct Outcome {
        std::optional<std::string> response;
        std::string failure;
    };

    // Input that is not UTF-8 or holds a NUL is refused (invalidInputMessage) without
    // a call. A null answer fails with the library's last error, read at once on this
    // thread, or with fallbackFailure when there is none.
    static Outcome callJSON(JSONFunction function, const std::string& input,
                            LastErrorFunction lastError, FreeStringFunction freeString,
                            const char* fallbackFailure);

    // The same, throwing mapCallFailed(message) on failure.
    template <typename MapCallFailed>
    static std::string callJSON(JSONFunction function, const std::string& input,
                                LastErrorFunction lastError, FreeStringFunction freeString,
                                const char* fallbackFailure, MapCallFailed&& mapCallFailed) {
        Outcome outcome = callJSON(function, input, lastError, freeString, fallbackFailure);
        if (!outcome.response) {
            throw mapCallFailed(outcome.failure);
        }
        return std::move(*outcome.response);
    }
};

} // namespace berthkeep
