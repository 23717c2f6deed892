#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace berthkeep {

// What the core bridge and its transports throw. It has no message texts of its
// own: what() is the case rendered with its payload, as the fallback and fatal
// lines print it, for example callFailed("Rust core call failed") or
// processFailed(status: 3, error: "boom").
class RustBerthkeepCoreBridgeError final : public std::exception {
public:
    enum class Kind {
        symbolMissing,        // text: the symbol's name
        callFailed,           // text: the message
        processFailed,        // status and text: the helper's exit status and standard error
        dlopenFailed,         // text: the loader's message
        transportUnavailable, // no payload
        invalidResponse,      // no payload
    };

    static RustBerthkeepCoreBridgeError symbolMissing(std::string symbolName);
    static RustBerthkeepCoreBridgeError callFailed(std::string message);
    static RustBerthkeepCoreBridgeError processFailed(std::int32_t status, std::string error);
    static RustBerthkeepCoreBridgeError dlopenFailed(std::string message);
    static RustBerthkeepCoreBridgeError transportUnavailable();
    static RustBerthkeepCoreBridgeError invalidResponse();

    Kind kind() const noexcept { return m_kind; }
    // The string payload; empty for the cases without one.
    const std::string& text() const noexcept { return m_text; }
    // The exit status of processFailed; 0 otherwise.
    std::int32_t status() const noexcept { return m_status; }

    const char* what() const noexcept override { return m_rendering.c_str(); }

    bool operator==(const RustBerthkeepCoreBridgeError& other) const {
        return m_kind == other.m_kind && m_text == other.m_text && m_status == other.m_status;
    }

    // The text in double quotes, with '"', '\\' and control characters escaped.
    static std::string quoted(std::string_view text);

private:
    RustBerthkeepCoreBridgeError(Kind kind, std::string text, std::int32_t status);

    Kind m_kind;
    std::string m_text;
    std::int32_t m_status;
    std::string m_rendering;
};

std::string toString(RustBerthkeepCoreBridgeError::Kind kind);

} // namespace berthkeep
