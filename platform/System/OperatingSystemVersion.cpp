#include "platform/System/OperatingSystemVersion.hpp"

#include <sys/utsname.h>

#include <fstream>
#include <limits>
#include <map>
#include <sstream>

namespace berthkeep {

namespace {

// A value as the shell would read it: double quotes with backslash escapes,
// single quotes taken literally, or a bare word. Nothing for unbalanced quotes.
bool unquote(std::string_view raw, std::string& value) {
    value.clear();
    if (raw.empty()) {
        return true;
    }
    const char quote = raw.front();
    if (quote != '"' && quote != '\'') {
        value.assign(raw);
        return true;
    }
    if (raw.size() < 2 || raw.back() != quote) {
        return false;
    }
    const std::string_view inner = raw.substr(1, raw.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (quote == '"' && inner[i] == '\\' && i + 1 < inner.size()) {
            ++i;
        }
        value.push_back(inner[i]);
    }
    return true;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

int leadingInteger(const std::string& text) {
    int value = 0;
    bool any = false;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > (std::numeric_limits<int>::max() - 9) / 10) {
            break;
        }
        value = value * 10 + (c - '0');
        any = true;
    }
    return any ? value : -1;
}

std::string readFile(const char* path) {
    std::ifstream file(path);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

} // namespace

OperatingSystemVersion OperatingSystemVersion::parse(std::string_view osRelease,
                                                     std::string kernelRelease) {
    std::map<std::string, std::string> values;
    std::size_t start = 0;
    while (start <= osRelease.size()) {
        const std::size_t end = std::min(osRelease.find('\n', start), osRelease.size());
        const std::string line = trimmed(osRelease.substr(start, end - start));
        start = end + 1;
        const auto equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string::npos || equals == 0) {
            continue;
        }
        std::string value;
        if (unquote(std::string_view(line).substr(equals + 1), value)) {
            values[line.substr(0, equals)] = value;
        }
    }

    OperatingSystemVersion version;
    version.versionID = values["VERSION_ID"];
    version.prettyName = values["PRETTY_NAME"];
    if (version.prettyName.empty() && !values["NAME"].empty()) {
        version.prettyName = trimmed(values["NAME"] + " " + version.versionID);
    }
    version.kernelRelease = trimmed(kernelRelease);
    return version;
}

OperatingSystemVersion OperatingSystemVersion::current() {
    std::string osRelease = readFile("/etc/os-release");
    if (osRelease.empty()) {
        osRelease = readFile("/usr/lib/os-release");
    }
    utsname name{};
    const std::string kernel = uname(&name) == 0 ? std::string(name.release) : std::string();
    return parse(osRelease, kernel);
}

int OperatingSystemVersion::majorVersion() const {
    for (const std::string* text : {&versionID, &kernelRelease}) {
        if (const int major = leadingInteger(*text); major >= 0) {
            return major;
        }
    }
    return 0;
}

std::string OperatingSystemVersion::versionString() const {
    const std::string kernel = kernelRelease.empty() ? std::string() : "Linux " + kernelRelease;
    if (prettyName.empty()) {
        return kernel.empty() ? "unknown" : kernel;
    }
    return kernel.empty() ? prettyName : prettyName + ", " + kernel;
}

} // namespace berthkeep
