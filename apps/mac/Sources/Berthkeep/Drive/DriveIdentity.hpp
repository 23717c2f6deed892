#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace berthkeep {

// What tells one drive from another behind a BSD name, which the system hands
// to the next disk once a disk is gone: the volume or disk UUID where there is
// one, else the media name, size and bus path together.
struct DriveIdentity {
    std::optional<std::string> volumeUUID;
    std::optional<std::string> diskUUID;
    std::optional<std::string> mediaName;
    std::optional<std::int64_t> sizeBytes;
    // Where the device hangs in the device tree.
    std::optional<std::string> busPath;

    bool operator==(const DriveIdentity&) const = default;

    // Nothing was recorded to tell the drive by.
    bool isEmpty() const;
    // Whether `now`, read afresh for the same BSD name, is this drive. A recorded
    // UUID must come back (letter case aside); without one, media name, size and
    // bus path must all be as recorded. An empty identity matches nothing.
    bool matches(const DriveIdentity& now) const;
};

} // namespace berthkeep
