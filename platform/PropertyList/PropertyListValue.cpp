#include "platform/PropertyList/PropertyListValue.hpp"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <memory>

namespace berthkeep {

namespace {

struct PlistDeleter {
    void operator()(plist_t node) const {
        if (node) {
            plist_free(node);
        }
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::optional<PropertyListValue> fromNode(plist_t node) {
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return PropertyListValue(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return PropertyListValue(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return PropertyListValue(value);
    }
    case PLIST_STRING: {
        char* value = nullptr;
        plist_get_string_val(node, &value);
        std::string text = value ? value : "";
        std::free(value);
        return PropertyListValue(std::move(text));
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        PropertyListValue::Data data(bytes, bytes + (bytes ? length : 0));
        std::free(bytes);
        return PropertyListValue(std::move(data));
    }
    case PLIST_ARRAY: {
        PropertyListValue::Array array;
        const uint32_t count = plist_array_get_size(node);
        for (uint32_t index = 0; index < count; ++index) {
            if (auto element = fromNode(plist_array_get_item(node, index))) {
                array.push_back(std::move(*element));
            }
        }
        return PropertyListValue(std::move(array));
    }
    case PLIST_DICT: {
        PropertyListValue::Dictionary dictionary;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        if (!iterator) {
            return PropertyListValue(std::move(dictionary));
        }
        while (true) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            if (!item) {
                std::free(key);
                break;
            }
            if (key) {
                if (auto element = fromNode(item)) {
                    dictionary.insert_or_assign(key, std::move(*element));
                }
            }
            std::free(key);
        }
        std::free(iterator);
        return PropertyListValue(std::move(dictionary));
    }
    default:
        return std::nullopt;
    }
}

plist_t toNode(const PropertyListValue& value) {
    switch (value.type()) {
    case PropertyListValue::Type::boolean:
        return plist_new_bool(*value.boolean() ? 1 : 0);
    case PropertyListValue::Type::integer:
        return plist_new_uint(static_cast<uint64_t>(*value.integer()));
    case PropertyListValue::Type::real:
        return plist_new_real(*value.real());
    case PropertyListValue::Type::string:
        return plist_new_string(value.string()->c_str());
    case PropertyListValue::Type::data: {
        const auto& data = *value.data();
        return plist_new_data(reinterpret_cast<const char*>(data.data()), data.size());
    }
    case PropertyListValue::Type::array: {
        plist_t array = plist_new_array();
        for (const auto& element : *value.array()) {
            plist_array_append_item(array, toNode(element));
        }
        return array;
    }
    case PropertyListValue::Type::dictionary: {
        plist_t dictionary = plist_new_dict();
        for (const auto& [key, element] : *value.dictionary()) {
            plist_dict_set_item(dictionary, key.c_str(), toNode(element));
        }
        return dictionary;
    }
    }
    return plist_new_string("");
}

} // namespace

PropertyListValue PropertyListValue::stringArray(const std::vector<std::string>& strings) {
    Array array;
    array.reserve(strings.size());
    for (const auto& text : strings) {
        array.emplace_back(text);
    }
    return PropertyListValue(std::move(array));
}

std::optional<bool> PropertyListValue::boolean() const {
    if (const auto* value = std::get_if<bool>(&m_storage)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<std::int64_t> PropertyListValue::integer() const {
    if (const auto* value = std::get_if<std::int64_t>(&m_storage)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<double> PropertyListValue::real() const {
    if (const auto* value = std::get_if<double>(&m_storage)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> PropertyListValue::stringArrayValue() const {
    const Array* elements = array();
    if (!elements) {
        return std::nullopt;
    }
    std::vector<std::string> strings;
    strings.reserve(elements->size());
    for (const auto& element : *elements) {
        const std::string* text = element.string();
        if (!text) {
            return std::nullopt;
        }
        strings.push_back(*text);
    }
    return strings;
}

std::optional<PropertyListValue> parsePropertyList(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    // libplist 2.2 returns nothing; a null root is the only failure signal.
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (!root) {
        return std::nullopt;
    }
    PlistPtr owner(root);
    return fromNode(root);
}

std::string serializePropertyListXml(const PropertyListValue& value) {
    PlistPtr root(toNode(value));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string text = xml ? std::string(xml, length) : std::string();
    plist_to_xml_free(xml);
    return text;
}

} // namespace berthkeep
