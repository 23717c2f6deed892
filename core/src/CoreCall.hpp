#pragma once

#include <exception>
#include <new>
#include <string>
#include <string_view>

namespace berthkeep::core {

// The calling thread's last failure message; entry points clear it on entry.
void clearLastError() noexcept;
void setLastError(std::string_view message) noexcept;
// A heap copy of the message for the caller, or null when there is none.
char* copyLastError() noexcept;

// A heap copy the caller releases with berthkeep_core_free_string; null (with the last
// error set) when memory runs out.
char* heapCopy(std::string_view text) noexcept;

// What a caught exception says, for the last error.
std::string describeCurrentException(std::string_view context) noexcept;

// Runs one entry point body: clears the last error, turns every exception into the
// given failure value and a last-error message. Nothing escapes to the C caller.
template <typename Result, typename Body>
Result guardedCall(std::string_view context, Result failure, Body&& body) noexcept {
    clearLastError();
    try {
        return body();
    } catch (...) {
        setLastError(describeCurrentException(context));
        return failure;
    }
}

// A C string argument that must be present.
std::string_view requireText(const char* text, std::string_view what);

} // namespace berthkeep::core
