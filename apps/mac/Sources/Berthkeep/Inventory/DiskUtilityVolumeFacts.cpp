#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"

#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {

namespace {

using Dictionary = PropertyListValue::Dictionary;

// Reads one optional key. A present key of the wrong type fails the whole decode
// (returns false); an absent key leaves the field empty.
bool readString(const Dictionary& dictionary, const char* key, std::optional<std::string>& field) {
    const auto found = dictionary.find(key);
    if (found == dictionary.end()) {
        return true;
    }
    const std::string* text = found->second.string();
    if (!text) {
        return false;
    }
    field = *text;
    return true;
}

bool readBool(const Dictionary& dictionary, const char* key, std::optional<bool>& field) {
    const auto found = dictionary.find(key);
    if (found == dictionary.end()) {
        return true;
    }
    if (found->second.type() != PropertyListValue::Type::boolean) {
        return false;
    }
    field = found->second.boolean();
    return true;
}

bool readInteger(const Dictionary& dictionary, const char* key,
                 std::optional<std::int64_t>& field) {
    const auto found = dictionary.find(key);
    if (found == dictionary.end()) {
        return true;
    }
    field = found->second.integer();
    return field.has_value();
}

bool readPhysicalStores(
    const Dictionary& dictionary,
    std::optional<std::vector<DiskUtilityVolumeFacts::APFSPhysicalStore>>& field) {
    const auto found = dictionary.find(DiskUtilityVolumeFacts::CodingKeys::apfsPhysicalStores);
    if (found == dictionary.end()) {
        return true;
    }
    const auto* array = found->second.array();
    if (!array) {
        return false;
    }
    std::vector<DiskUtilityVolumeFacts::APFSPhysicalStore> stores;
    stores.reserve(array->size());
    for (const auto& element : *array) {
        const auto* entry = element.dictionary();
        if (!entry) {
            return false;
        }
        const auto store = entry->find("APFSPhysicalStore");
        if (store == entry->end() || !store->second.string()) {
            return false;
        }
        stores.push_back({*store->second.string()});
    }
    field = std::move(stores);
    return true;
}

} // namespace

std::optional<DiskUtilityVolumeFacts> DiskUtilityVolumeFacts::decode(const std::string& bytes) {
    const auto value = parsePropertyList(bytes);
    if (!value) {
        return std::nullopt;
    }
    return decode(*value);
}

std::optional<DiskUtilityVolumeFacts>
DiskUtilityVolumeFacts::decode(const PropertyListValue& value) {
    const Dictionary* dictionary = value.dictionary();
    if (!dictionary) {
        return std::nullopt;
    }
    using Keys = CodingKeys;
    DiskUtilityVolumeFacts facts;
    std::optional<std::string> identifier;
    if (!readString(*dictionary, Keys::deviceIdentifier, identifier) || !identifier) {
        return std::nullopt;
    }
    facts.deviceIdentifier = *identifier;
    const bool ok =
        readString(*dictionary, Keys::apfsContainerReference, facts.apfsContainerReference) &&
        readPhysicalStores(*dictionary, facts.apfsPhysicalStores) &&
        readString(*dictionary, Keys::busProtocol, facts.busProtocol) &&
        readString(*dictionary, Keys::content, facts.content) &&
        readString(*dictionary, Keys::deviceTreePath, facts.deviceTreePath) &&
        readString(*dictionary, Keys::diskUUID, facts.diskUUID) &&
        readBool(*dictionary, Keys::ejectable, facts.ejectable) &&
        readString(*dictionary, Keys::filesystemName, facts.filesystemName) &&
        readString(*dictionary, Keys::filesystemType, facts.filesystemType) &&
        readBool(*dictionary, Keys::internal, facts.internal) &&
        readString(*dictionary, Keys::ioRegistryEntryName, facts.ioRegistryEntryName) &&
        readString(*dictionary, Keys::mediaName, facts.mediaName) &&
        readString(*dictionary, Keys::mediaType, facts.mediaType) &&
        readString(*dictionary, Keys::mountPoint, facts.mountPoint) &&
        readString(*dictionary, Keys::parentWholeDisk, facts.parentWholeDisk) &&
        readBool(*dictionary, Keys::removable, facts.removable) &&
        readBool(*dictionary, Keys::removableMedia, facts.removableMedia) &&
        readBool(*dictionary, Keys::removableMediaOrExternalDevice,
                 facts.removableMediaOrExternalDevice) &&
        readInteger(*dictionary, Keys::size, facts.size) &&
        readBool(*dictionary, Keys::systemImage, facts.systemImage) &&
        readString(*dictionary, Keys::virtualOrPhysical, facts.virtualOrPhysical) &&
        readString(*dictionary, Keys::volumeName, facts.volumeName) &&
        readString(*dictionary, Keys::volumeUUID, facts.volumeUUID) &&
        readBool(*dictionary, Keys::wholeDisk, facts.wholeDisk) &&
        readBool(*dictionary, Keys::writable, facts.writable) &&
        readBool(*dictionary, Keys::writableMedia, facts.writableMedia);
    if (!ok) {
        return std::nullopt;
    }
    return facts;
}

} // namespace berthkeep
