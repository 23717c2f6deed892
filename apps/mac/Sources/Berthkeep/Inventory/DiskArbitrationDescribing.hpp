#pragma once

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
};

} // namespace berthkeep
