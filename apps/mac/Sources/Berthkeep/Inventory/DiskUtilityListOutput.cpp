#include "Berthkeep/Inventory/DiskUtilityListOutput.hpp"

namespace berthkeep {

namespace {

// Nested lists of a whole disk: they are entries of their own.
constexpr const char* nestedKeys[] = {"Partitions", "APFSVolumes"};

void collectEntries(const PropertyListValue::Array& entries, int depth,
                    std::map<std::string, PropertyListValue>& into) {
    if (depth > 2) {
        return;
    }
    for (const auto& entry : entries) {
        const auto* dictionary = entry.dictionary();
        if (!dictionary) {
            continue;
        }
        const auto identifier = dictionary->find("DeviceIdentifier");
        if (identifier == dictionary->end() || !identifier->second.string()) {
            continue;
        }
        PropertyListValue::Dictionary own = *dictionary;
        for (const char* key : nestedKeys) {
            const auto nested = own.find(key);
            if (nested == own.end()) {
                continue;
            }
            if (const auto* children = nested->second.array()) {
                collectEntries(*children, depth + 1, into);
            }
            own.erase(nested);
        }
        into.insert_or_assign(*identifier->second.string(), PropertyListValue(std::move(own)));
    }
}

} // namespace

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
    DiskUtilityListOutput output{std::move(*disks), {}};
    const auto entries = value->dictionary()->find("AllDisksAndPartitions");
    if (entries != value->dictionary()->end() && entries->second.array()) {
        collectEntries(*entries->second.array(), 0, output.entriesByIdentifier);
    }
    return output;
}

} // namespace berthkeep
