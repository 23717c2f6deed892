#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/PropertyList/PropertyListError.hpp"

namespace berthkeep {

// One property-list value: Boolean, integer, real, string, data, array,
// dictionary or date. This program reads no dates, but keeps them so that a
// reader sees a date where it expects something else as a present key of the
// wrong type, and a rewritten file keeps them.
class PropertyListValue {
public:
    using Data = std::vector<std::uint8_t>;
    using Array = std::vector<PropertyListValue>;
    using Dictionary = std::map<std::string, PropertyListValue>;
    // Whole seconds and microseconds since 2001-01-01 00:00:00 UTC.
    struct Date {
        std::int32_t seconds = 0;
        std::int32_t microseconds = 0;

        bool operator==(const Date&) const = default;
    };

    enum class Type { boolean, integer, real, string, data, array, dictionary, date };

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
    PropertyListValue(Date value)
        : m_storage(value) {}

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
    const Date* date() const { return std::get_if<Date>(&m_storage); }
    // The array's strings when every element is a string.
    std::optional<std::vector<std::string>> stringArrayValue() const;

    bool operator==(const PropertyListValue& other) const { return m_storage == other.m_storage; }

private:
    // The order matches Type.
    std::variant<bool, std::int64_t, double, std::string, Data, Array, Dictionary, Date> m_storage;
};

// Arrays and dictionaries nest at most this deep in a property list that is read.
inline constexpr int kPropertyListMaxNestingDepth = 256;

// Parses XML property-list bytes; throws PropertyListError for empty, malformed
// or truncated input, for a binary property list (what this program reads is XML,
// and a small binary one can share sub-trees that expand without bound), for a NUL
// character and for nesting deeper than kPropertyListMaxNestingDepth. Keys and
// strings that are not UTF-8 have each stray byte replaced by U+FFFD.
PropertyListValue decodePropertyList(const std::string& bytes);

// The same, with nothing in place of the error.
std::optional<PropertyListValue> parsePropertyList(const std::string& bytes);

// Serialises a value as an XML property list; keys and strings are written as
// UTF-8 (stray bytes as U+FFFD).
std::string serializePropertyListXml(const PropertyListValue& value);
// The same for a dictionary, without copying it into a value first.
std::string serializePropertyListXml(const PropertyListValue::Dictionary& dictionary);

} // namespace berthkeep
