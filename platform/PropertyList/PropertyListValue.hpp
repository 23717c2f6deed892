#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace berthkeep {

// One property-list value: Boolean, integer, real, string, data, array or
// dictionary. Dates and other node kinds are not used by this program and are
// dropped when a property list is read.
class PropertyListValue {
public:
    using Data = std::vector<std::uint8_t>;
    using Array = std::vector<PropertyListValue>;
    using Dictionary = std::map<std::string, PropertyListValue>;

    enum class Type { boolean, integer, real, string, data, array, dictionary };

    PropertyListValue()
        : m_storage(std::string()) {}
    PropertyListValue(bool value)
        : m_storage(value) {}
    PropertyListValue(int value)
        : m_storage(std::int64_t(value)) {}
    PropertyListValue(long value)
        : m_storage(std::int64_t(value)) {}
    PropertyListValue(long long value)
        : m_storage(std::int64_t(value)) {}
    PropertyListValue(double value)
        : m_storage(value) {}
    PropertyListValue(const char* value)
        : m_storage(std::string(value)) {}
    PropertyListValue(std::string value)
        : m_storage(std::move(value)) {}
    PropertyListValue(Data value)
        : m_storage(std::move(value)) {}
    PropertyListValue(Array value)
        : m_storage(std::move(value)) {}
    PropertyListValue(Dictionary value)
        : m_storage(std::move(value)) {}

    static PropertyListValue stringArray(const std::vector<std::string>& strings);

    Type type() const { return static_cast<Type>(m_storage.index()); }

    std::optional<bool> boolean() const;
    // Integers keep their 64 bits; the property-list library does not say whether
    // a value above the signed range was meant as negative.
    std::optional<std::int64_t> integer() const;
    std::optional<double> real() const;
    const std::string* string() const { return std::get_if<std::string>(&m_storage); }
    const Data* data() const { return std::get_if<Data>(&m_storage); }
    const Array* array() const { return std::get_if<Array>(&m_storage); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&m_storage); }
    // The array's strings when every element is a string.
    std::optional<std::vector<std::string>> stringArrayValue() const;

    bool operator==(const PropertyListValue& other) const { return m_storage == other.m_storage; }

private:
    // The order matches Type.
    std::variant<bool, std::int64_t, double, std::string, Data, Array, Dictionary> m_storage;
};

// Parses XML or binary property-list bytes. Empty, malformed or truncated input
// gives nothing.
std::optional<PropertyListValue> parsePropertyList(const std::string& bytes);

// Serialises a value as an XML property list.
std::string serializePropertyListXml(const PropertyListValue& value);

} // namespace berthkeep
