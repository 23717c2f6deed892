#include "TelemetryEndpoint.hpp"

#include "TelemetryProcessing.hpp"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace berthkeep::core {

namespace {

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// One part of a dotted IPv4 address in plain decimal. Leading zeros are refused:
// some parsers read them as octal, and the host checked must be the host dialled.
bool isDecimalOctet(std::string_view part) {
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part.front() == '0')) {
        return false;
    }
    int value = 0;
    for (const char c : part) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

[[noreturn]] void refuse(const std::string& why) {
    throw std::invalid_argument("telemetry endpoint refused: " + why);
}

} // namespace

bool TelemetryEndpoint::isLoopbackHost(std::string_view host) {
    if (equalsIgnoringCase(host, "localhost") || host == "[::1]") {
        return true;
    }
    std::string_view rest = host;
    for (int index = 0; index < 4; ++index) {
        const auto dot = rest.find('.');
        const auto part = index < 3 ? rest.substr(0, dot) : rest;
        if ((index < 3 && dot == std::string_view::npos) || !isDecimalOctet(part) ||
            (index == 0 && part != "127")) {
            return false;
        }
        rest = index < 3 ? rest.substr(dot + 1) : std::string_view();
    }
    return true;
}

TelemetryEndpoint TelemetryEndpoint::fromBaseURL(std::string_view baseURL) {
    // Blanks and control characters have no place in a URL; a parser that skips
    // them might dial a different host than the one checked here.
    if (std::any_of(baseURL.begin(), baseURL.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7f'; })) {
        refuse("the URL holds blanks or control characters");
    }
    while (!baseURL.empty() && baseURL.back() == '/') {
        baseURL.remove_suffix(1);
    }

    TelemetryEndpoint endpoint;
    if (startsWithIgnoringCase(baseURL, "http://")) {
        // Either character can move the host that is dialled away from the text
        // read as the host here (user information, a backslash read as a slash).
        if (baseURL.find_first_of("@\\") != std::string_view::npos) {
            refuse("a plain http URL may not hold \"@\" or \"\\\"");
        }
        const auto authority = baseURL.substr(7, baseURL.find_first_of("/?#", 7) - 7);
        auto host = authority;
        if (host.starts_with('[')) {
            host = host.substr(0, host.find(']') + 1);
        } else {
            host = host.substr(0, host.find(':'));
        }
        const auto port = authority.substr(host.size());
        const bool portIsValid =
            port.empty() || (port.size() > 1 && port.front() == ':' &&
                             std::all_of(port.begin() + 1, port.end(),
                                         [](char c) { return c >= '0' && c <= '9'; }));
        if (!portIsValid || !isLoopbackHost(host)) {
            refuse("plain http is allowed only to a loopback address, not \"" +
                   std::string(authority) + "\"; configure an https:// URL");
        }
        endpoint.plainLoopback = true;
    } else if (!startsWithIgnoringCase(baseURL, "https://") || baseURL.size() == 8) {
        refuse("the URL must start with https:// and name a host");
    }
    endpoint.url = std::string(baseURL) + telemetryUploadPath;
    return endpoint;
}

} // namespace berthkeep::core
