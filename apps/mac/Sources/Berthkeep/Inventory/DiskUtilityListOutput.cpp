#include "Berthkeep/Inventory/DiskUtilityListOutput.hpp"

#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {

std::optional<DiskUtilityListOutput> DiskUtilityListOutput::decode(const std::string& bytes) {
    const auto value = parsePropertyList(bytes);
    if (!value || !value->dictionary()) {
        return std::nullopt;
    }
    const auto found = value->dictionary()->find("AllDisks");
    if (found == value->dictionary()->end() || !found->second.array()) {
        return std::nullopt;
    }
    auto disks = found->second.stringArrayValue();
    if (!disks) {
        return std::nullopt;
    }
    return DiskUtilityListOutput{std::move(*disks)};
}

} // namespace berthkeep
