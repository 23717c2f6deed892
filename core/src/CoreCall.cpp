#include "CoreCall.hpp"

#include "Berthkeep/Domain/UTF8Text.hpp"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace berthkeep::core {

namespace {

thread_local std::optional<std::string> t_lastError;

} // namespace

void clearLastError() noexcept {
    t_lastError.reset();
}

void setLastError(std::string_view message) noexcept {
    try {
        // Messages quote the request, which may hold any bytes; callers are promised UTF-8.
        t_lastError.emplace(replacingInvalidUTF8(message));
    } catch (...) {
        // Out of memory while recording: a short fixed text still tells the caller.
        t_lastError.reset();
        try {
            t_lastError.emplace("out of memory");
        } catch (...) {
        }
    }
}

char* copyLastError() noexcept {
    if (!t_lastError) {
        return nullptr;
    }
    // Not heapCopy: a failed copy must not overwrite the message it was copying.
    char* copy = static_cast<char*>(std::malloc(t_lastError->size() + 1));
    if (copy) {
        std::memcpy(copy, t_lastError->data(), t_lastError->size());
        copy[t_lastError->size()] = '\0';
    }
    return copy;
}

char* heapCopy(std::string_view text) noexcept {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (!copy) {
        setLastError("out of memory");
        return nullptr;
    }
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

std::string describeCurrentException(std::string_view context) noexcept {
    try {
        std::string message(context);
        try {
            throw;
        } catch (const std::bad_alloc&) {
            return message + ": out of memory";
        } catch (const std::exception& error) {
            return message + ": " + error.what();
        } catch (...) {
            return message + ": unknown failure";
        }
    } catch (...) {
        return {};
    }
}

std::string_view requireText(const char* text, std::string_view what) {
    if (!text) {
        throw std::invalid_argument(std::string(what) + " is null");
    }
    return std::string_view(text);
}

} // namespace berthkeep::core
