// Property-list bytes as the disk tools and the preferences file hand them in.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/PropertyList/PropertyListValue.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto value = berthkeep::parsePropertyList(bytes);
    if (value) {
        // Whatever was read may be written back (the preferences file is).
        (void)berthkeep::serializePropertyListXml(*value);
    }
    return 0;
}
