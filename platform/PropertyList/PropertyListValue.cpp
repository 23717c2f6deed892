#include "platform/PropertyList/PropertyListValue.hpp"

#include <plist/plist.h>

#include "Berthkeep/Domain/UTF8Text.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

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

using Reason = PropertyListError::Reason;

// libplist keeps whatever bytes the text held; a file written back with them
// is one other readers reject. Each stray byte becomes U+FFFD.
std::string asUTF8(std::string text) {
    return isValidUTF8(text) ? text : replacingInvalidUTF8(text);
}

[[noreturn]] void throwTooDeep() {
    throw PropertyListError(Reason::tooDeep,
                            "property list nests arrays and dictionaries deeper than " +
                                std::to_string(kPropertyListMaxNestingDepth) + " levels");
}

// libplist builds a deeply nested tree without complaint but frees it by
// recursion, which overflows the stack, so the nesting is measured on the text
// before libplist sees it. Comments, CDATA sections, processing instructions, a
// document type with its internal subset and double-quoted attribute values are
// stepped over as libplist does, so that tags hidden there are not counted.
void checkNestingDepth(std::string_view text) {
    constexpr auto npos = std::string_view::npos;
    int depth = 0;
    std::size_t position = 0;
    const auto skipPast = [&](std::string_view terminator) {
        const auto found = text.find(terminator, position);
        position = found == npos ? text.size() : found + terminator.size();
    };
    while ((position = text.find('<', position)) != npos) {
        const std::string_view rest = text.substr(position);
        if (rest.starts_with("<?")) {
            position += 2;
            skipPast("?>");
            continue;
        }
        if (rest.starts_with("<!--")) {
            position += 4;
            skipPast("-->");
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            position += 9;
            skipPast("]]>");
            continue;
        }
        if (rest.starts_with("<!")) {
            const auto stop = text.find_first_of("[>", position);
            if (stop == npos) {
                return;
            }
            position = stop + 1;
            if (text[stop] == '[') {
                skipPast("]>");
            }
            continue;
        }
        const bool closing = rest.starts_with("</");
        const std::size_t nameStart = position + (closing ? 2 : 1);
        const std::size_t nameEnd = text.find_first_of(" \t\r\n/>", nameStart);
        if (nameEnd == npos) {
            return;
        }
        const std::string_view name = text.substr(nameStart, nameEnd - nameStart);
        bool selfClosing = false;
        bool quoted = false;
        for (position = nameEnd; position < text.size(); ++position) {
            if (text[position] == '"') {
                quoted = !quoted;
            } else if (!quoted && text[position] == '>') {
                selfClosing = text[position - 1] == '/';
                break;
            }
        }
        if (name != "array" && name != "dict") {
            continue;
        }
        if (closing) {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (!selfClosing && ++depth > kPropertyListMaxNestingDepth) {
            throwTooDeep();
        }
    }
}

// depth: the arrays and dictionaries around node.
PropertyListValue fromNode(plist_t node, int depth) {
    const plist_type type = plist_get_node_type(node);
    if ((type == PLIST_ARRAY || type == PLIST_DICT) && depth >= kPropertyListMaxNestingDepth) {
        throwTooDeep();
    }
    switch (type) {
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
        // libplist's string copy asserts, and aborts, when the text holds a NUL.
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        if (!text || std::strlen(text) != length) {
            throw PropertyListError(Reason::nulCharacter, "property-list string holds a NUL");
        }
        return PropertyListValue(asUTF8(std::string(text, length)));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const auto* bytes =
            reinterpret_cast<const std::uint8_t*>(plist_get_data_ptr(node, &length));
        return PropertyListValue(PropertyListValue::Data(bytes, bytes + (bytes ? length : 0)));
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return PropertyListValue(PropertyListValue::Date{seconds, microseconds});
    }
    case PLIST_ARRAY: {
        PropertyListValue::Array array;
        const uint32_t count = plist_array_get_size(node);
        array.reserve(count);
        for (uint32_t index = 0; index < count; ++index) {
            array.push_back(fromNode(plist_array_get_item(node, index), depth + 1));
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
        std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
        while (true) {
            // libplist would hand over a key with a NUL cut short; the text check
            // turned those away before parsing.
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            std::unique_ptr<char, decltype(&std::free)> keyOwner(key, &std::free);
            if (!item) {
                break;
            }
            if (key) {
                dictionary.insert_or_assign(asUTF8(key), fromNode(item, depth + 1));
            }
        }
        return PropertyListValue(std::move(dictionary));
    }
    default:
        throw PropertyListError(Reason::malformed,
                                "property list holds a node kind this program does not read");
    }
}

plist_t toNode(const PropertyListValue& value);

plist_t dictionaryNode(const PropertyListValue::Dictionary& values) {
    plist_t dictionary = plist_new_dict();
    for (const auto& [key, element] : values) {
        plist_dict_set_item(dictionary, asUTF8(key).c_str(), toNode(element));
    }
    return dictionary;
}

std::string xmlText(plist_t node) {
    PlistPtr root(node);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string text = xml ? std::string(xml, length) : std::string();
    plist_to_xml_free(xml);
    return text;
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
        return plist_new_string(asUTF8(*value.string()).c_str());
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
    case PropertyListValue::Type::dictionary:
        return dictionaryNode(*value.dictionary());
    case PropertyListValue::Type::date:
        return plist_new_date(value.date()->seconds, value.date()->microseconds);
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

PropertyListValue decodePropertyList(const std::string& bytes) {
    if (bytes.empty()) {
        throw PropertyListError(Reason::malformed, "property list is empty");
    }
    if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
        throw PropertyListError(Reason::malformed, "property list is larger than 4 GiB");
    }
    if (bytes.starts_with("bplist")) {
        throw PropertyListError(Reason::binary,
                                "binary property list refused; only XML ones are read");
    }
    if (bytes.find('\0') != std::string::npos) {
        throw PropertyListError(Reason::nulCharacter, "property list holds a NUL character");
    }
    checkNestingDepth(bytes);
    plist_t root = nullptr;
    // libplist 2.2 returns nothing; a null root is the only failure signal.
    plist_from_xml(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (!root) {
        throw PropertyListError(Reason::malformed, "property list is not well-formed XML");
    }
    PlistPtr owner(root);
    return fromNode(root, 0);
}

std::optional<PropertyListValue> parsePropertyList(const std::string& bytes) {
    try {
        return decodePropertyList(bytes);
    } catch (const PropertyListError&) {
        return std::nullopt;
    }
}

std::string serializePropertyListXml(const PropertyListValue& value) {
    return xmlText(toNode(value));
}

std::string serializePropertyListXml(const PropertyListValue::Dictionary& dictionary) {
    return xmlText(dictionaryNode(dictionary));
}

} // namespace berthkeep
