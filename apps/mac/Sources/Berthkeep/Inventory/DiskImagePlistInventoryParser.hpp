#pragma once

#include <map>
#include <string>

#include "Berthkeep/Inventory/DiskImageAttachment.hpp"

namespace berthkeep {

namespace DiskImagePlistInventoryParser {

// `hdiutil info -plist` bytes to the attachment of every device of every image.
// Keys are dev-entries without a leading "/dev/"; a device listed twice keeps the
// last image. Anything malformed ("images" missing, an image without
// "system-entities", a value of the wrong type) gives an empty map.
std::map<std::string, DiskImageAttachment>
attachmentsByDeviceIdentifier(const std::string& plistData);

} // namespace DiskImagePlistInventoryParser

} // namespace berthkeep
