#pragma once

#include <string>
#include <string_view>

namespace berthkeep {

// What the program says about the system it runs on: the distribution from
// os-release and the kernel release. One reading serves the feedback message
// and telemetry, so both name the system alike.
struct OperatingSystemVersion {
    std::string prettyName; // PRETTY_NAME, else NAME and VERSION_ID
    std::string versionID;  // VERSION_ID ("12")
    std::string kernelRelease;

    // os-release text (KEY=value lines, values optionally quoted) and the kernel
    // release. Lines that do not parse are skipped.
    static OperatingSystemVersion parse(std::string_view osRelease, std::string kernelRelease);
    // /etc/os-release (else /usr/lib/os-release) and uname().
    static OperatingSystemVersion current();

    // The leading number of VERSION_ID, else of the kernel release, else 0.
    int majorVersion() const;
    // "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64"; either half alone
    // when the other is unknown, "unknown" when both are.
    std::string versionString() const;

    bool operator==(const OperatingSystemVersion&) const = default;
};

} // namespace berthkeep
