// The disk tools' property-list output through the decoders the inventory uses:
// `diskutil info -plist`, `diskutil list -plist` and `hdiutil info -plist`.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Berthkeep/Inventory/DiskImagePlistInventoryParser.hpp"
#include "Berthkeep/Inventory/DiskUtilityListOutput.hpp"
#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace berthkeep;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    (void)DiskUtilityVolumeFacts::decode(bytes);
    (void)DiskUtilityListOutput::decode(bytes);
    (void)DiskImagePlistInventoryParser::attachmentsByDeviceIdentifier(bytes);
    return 0;
}
