#include "Berthkeep/Inventory/DiskImagePlistInventoryParser.hpp"

#include <optional>
#include <vector>

#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep::DiskImagePlistInventoryParser {

namespace {

struct SystemEntity {
    std::optional<std::string> devEntry;
    std::optional<std::string> mountPoint; // decoded for completeness, not used
};

struct Image {
    std::optional<std::string> imagePath;
    std::vector<SystemEntity> systemEntities;
};

// An optional string key: absent is fine, another type fails the decode.
bool readOptionalString(const PropertyListValue::Dictionary& dictionary, const char* key,
                        std::optional<std::string>& field) {
    const auto found = dictionary.find(key);
    if (found == dictionary.end()) {
        return true;
    }
    if (!found->second.string()) {
        return false;
    }
    field = *found->second.string();
    return true;
}

std::optional<std::vector<Image>> decodeImages(const std::string& plistData) {
    const auto root = parsePropertyList(plistData);
    if (!root || !root->dictionary()) {
        return std::nullopt;
    }
    const auto imagesEntry = root->dictionary()->find("images");
    if (imagesEntry == root->dictionary()->end() || !imagesEntry->second.array()) {
        return std::nullopt;
    }
    std::vector<Image> images;
    for (const auto& imageValue : *imagesEntry->second.array()) {
        const auto* imageDictionary = imageValue.dictionary();
        if (!imageDictionary) {
            return std::nullopt;
        }
        Image image;
        if (!readOptionalString(*imageDictionary, "image-path", image.imagePath)) {
            return std::nullopt;
        }
        const auto entities = imageDictionary->find("system-entities");
        if (entities == imageDictionary->end() || !entities->second.array()) {
            return std::nullopt;
        }
        for (const auto& entityValue : *entities->second.array()) {
            const auto* entityDictionary = entityValue.dictionary();
            if (!entityDictionary) {
                return std::nullopt;
            }
            SystemEntity entity;
            if (!readOptionalString(*entityDictionary, "dev-entry", entity.devEntry) ||
                !readOptionalString(*entityDictionary, "mount-point", entity.mountPoint)) {
                return std::nullopt;
            }
            image.systemEntities.push_back(std::move(entity));
        }
        images.push_back(std::move(image));
    }
    return images;
}

} // namespace

std::map<std::string, DiskImageAttachment>
attachmentsByDeviceIdentifier(const std::string& plistData) {
    std::map<std::string, DiskImageAttachment> attachments;
    const auto images = decodeImages(plistData);
    if (!images) {
        return attachments;
    }
    static const std::string devicePrefix = "/dev/";
    for (const auto& image : *images) {
        for (const auto& entity : image.systemEntities) {
            if (!entity.devEntry) {
                continue;
            }
            std::string key = *entity.devEntry;
            if (key.compare(0, devicePrefix.size(), devicePrefix) == 0) {
                key.erase(0, devicePrefix.size());
            }
            attachments[key] = DiskImageAttachment{image.imagePath};
        }
    }
    return attachments;
}

} // namespace berthkeep::DiskImagePlistInventoryParser
