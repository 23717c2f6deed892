#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

namespace berthkeep {

// A failed eject, unmount or mount: an error domain, a code (the tool's exit
// status, or one of the codes below) and the text a log line shows.
class DriveOperationError : public std::runtime_error {
public:
    static constexpr const char* ejectDomain = "BerthkeepStore.Eject";
    static constexpr const char* remountDomain = "BerthkeepStore.Remount";
    static constexpr std::int64_t notMountedCode = 1;
    static constexpr std::int64_t timedOutCode = -1001;
    static constexpr std::int64_t noLongerAttachedCode = -1002;
    static constexpr std::int64_t stillMountedCode = -1003;

    DriveOperationError(std::string domain, std::int64_t code, std::string localizedDescription);

    // Nothing to eject or unmount by: no BSD name (and, for a volume, no mount path).
    static DriveOperationError notMounted();
    // An eject that outlasted its time-out.
    static DriveOperationError timedOut();
    // A mount that outlasted the tool's deadline.
    static DriveOperationError mountTimedOut();
    // The BSD name no longer names the drive the user chose: nothing was run.
    static DriveOperationError noLongerAttached(std::string domain);
    // The tool ended well, yet the volume is still mounted; `reason` is what the
    // tool said.
    static DriveOperationError stillMounted(std::string reason);
    // False for no error.
    static bool isNoLongerAttached(const std::exception_ptr& error);
    // The text a log line shows for any failure of an eject or mount.
    static std::string describe(const std::exception_ptr& error);

    const std::string& domain() const noexcept { return m_domain; }
    std::int64_t code() const noexcept { return m_code; }
    const std::string& localizedDescription() const noexcept { return m_localizedDescription; }

private:
    std::string m_domain;
    std::int64_t m_code;
    std::string m_localizedDescription;
};

} // namespace berthkeep
