#include "BerthkeepRustBridge/RustBerthkeepCoreBridgeError.hpp"

#include <cstdio>

namespace berthkeep {

std::string toString(RustBerthkeepCoreBridgeError::Kind kind) {
    using Kind = RustBerthkeepCoreBridgeError::Kind;
    switch (kind) {
    case Kind::symbolMissing:
        return "symbolMissing";
    case Kind::callFailed:
        return "callFailed";
    case Kind::processFailed:
        return "processFailed";
    case Kind::dlopenFailed:
        return "dlopenFailed";
    case Kind::transportUnavailable:
        return "transportUnavailable";
    case Kind::invalidResponse:
        return "invalidResponse";
    }
    return "invalidResponse";
}

std::string RustBerthkeepCoreBridgeError::quoted(std::string_view text) {
    std::string result = "\"";
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        switch (character) {
        case '"':
            result += "\\\"";
            break;
        case '\\':
            result += "\\\\";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        case '\0':
            result += "\\0";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[16];
                std::snprintf(escaped, sizeof escaped, "\\u{%X}", byte);
                result += escaped;
            } else {
                result += character;
            }
        }
    }
    result += '"';
    return result;
}

RustBerthkeepCoreBridgeError::RustBerthkeepCoreBridgeError(Kind kind, std::string text,
                                                           std::int32_t status)
    : m_kind(kind)
    , m_text(std::move(text))
    , m_status(status) {
    switch (m_kind) {
    case Kind::transportUnavailable:
    case Kind::invalidResponse:
        m_rendering = toString(m_kind);
        break;
    case Kind::processFailed:
        m_rendering = "processFailed(status: " + std::to_string(m_status) +
                      ", error: " + quoted(m_text) + ")";
        break;
    case Kind::symbolMissing:
    case Kind::callFailed:
    case Kind::dlopenFailed:
        m_rendering = toString(m_kind) + "(" + quoted(m_text) + ")";
        break;
    }
}

RustBerthkeepCoreBridgeError RustBerthkeepCoreBridgeError::symbolMissing(std::string symbolName) {
    return {Kind::symbolMissing, std::move(symbolName), 0};
}

RustBerthkeepCoreBridgeError RustBerthkeepCoreBridgeError::callFailed(std::string message) {
    return {Kind::callFailed, std::move(message), 0};
}

RustBerthkeepCoreBridgeError RustBerthkeepCoreBridgeError::processFailed(std::int32_t status,
                                                                         std::string error) {
    return {Kind::processFailed, std::move(error), status};
}

RustBerthkeepCoreBridgeError RustBerthkeepCoreBridgeError::dlopenFailed(std::string message) {
    return {Kind::dlopenFailed, std::move(message), 0};
}

RustBerthkeepCoreBridgeError RustBerthkeepCoreBridgeError::transportUnavailable() {
    return {Kind::transportUnavailable, {}, 0};
}

RustBerthkeepCoreBridgeError RustBerthkeepCoreBridgeError::invalidResponse() {
    return {Kind::invalidResponse, {}, 0};
}

} // namespace berthkeep
