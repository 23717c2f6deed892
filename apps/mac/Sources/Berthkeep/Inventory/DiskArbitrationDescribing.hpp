#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Berthkeep/Inventory/DiskArbitrationDiskDescription.hpp"

namespace berthkeep {

struct DiskArbitrationDisk;
class DiskArbitrationSession;

// Disk service descriptions by BSD name, for any thread.
class DiskArbitrationDescribing {
public:
    virtual ~DiskArbitrationDescribing() = default;

    // The cached description, else one fetched now (and cached); nothing when the
    // service does not know the name.
    virtual std::optional<DiskArbitrationDiskDescription>
    description(const std::string& bsdName) = 0;
    // Caches the current description of a disk the session reported, under its
    // BSD name; a disk without a BSD name or description changes nothing.
    virtual void cacheDescription(const DiskArbitrationDisk& disk,
                                  DiskArbitrationSession& session) = 0;
    // How many times the service has reported the name appearing, changing or
    // going away; it moves whenever the disk's description may have changed.
    // 0 means no report at all, so nothing would tell of a change either.
    virtual std::uint64_t descriptionGeneration(const std::string& /*bsdName*/) const { return 0; }
};

} // namespace berthkeep
