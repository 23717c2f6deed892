#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// What the last usage probe said about the platform's permissions. Payload
// enumeration: unavailable carries an optional message (an empty message is not an
// absent one).
class FullMonitoringCapability {
public:
    enum class Kind {
        unavailable,
        unknown,
        available,
        setupRequired,
    };

    // Default: unknown.
    FullMonitoringCapability() = default;

    static FullMonitoringCapability unavailable(std::optional<std::string> message = std::nullopt);
    static FullMonitoringCapability unknown();
    static FullMonitoringCapability available();
    static FullMonitoringCapability setupRequired();

    Kind kind() const { return m_kind; }
    // The message of unavailable; absent for every other case.
    const std::optional<std::string>& message() const { return m_message; }

    // Stored form: "available", "setup_required", "unknown", "unavailable" or
    // "unavailable:" followed by the message.
    std::string storedString() const;
    // Decodes the stored form; any other string (letter case differing, the empty
    // string) gives no capability.
    static std::optional<FullMonitoringCapability> fromStoredString(std::string_view text);

    bool operator==(const FullMonitoringCapability&) const = default;

private:
    Kind m_kind = Kind::unknown;
    std::optional<std::string> m_message;
};

} // namespace berthkeep
