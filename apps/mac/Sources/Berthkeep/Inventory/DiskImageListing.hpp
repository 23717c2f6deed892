#pragma once

#include <map>
#include <string>

#include "Berthkeep/Inventory/DiskImageAttachment.hpp"

namespace berthkeep {

// Which devices belong to attached disk images, by device identifier (a BSD name
// without "/dev/"). Empty when nothing is attached or the listing fails; never
// throws.
class DiskImageListing {
public:
    virtual ~DiskImageListing() = default;

    virtual std::map<std::string, DiskImageAttachment> currentImagesByDeviceIdentifier() const = 0;
};

} // namespace berthkeep
