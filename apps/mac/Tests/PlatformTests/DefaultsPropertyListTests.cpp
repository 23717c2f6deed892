#include <gtest/gtest.h>

#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {
namespace {

TEST(PropertyListValueTest, XmlRoundTripKeepsEveryType) {
    PropertyListValue::Dictionary dictionary{
        {"bool", PropertyListValue(false)},
        {"int", PropertyListValue(std::int64_t(-9000000000))},
        {"real", PropertyListValue(0.25)},
        {"string", PropertyListValue("caf\xC3\xA9")},
        {"data", PropertyListValue(PropertyListValue::Data{})},
        {"array", PropertyListValue::stringArray({"x", ""})},
        {"nested", PropertyListValue(PropertyListValue::Dictionary{{"a", PropertyListValue(1)}})},
    };
    const PropertyListValue value(dictionary);
    const auto parsed = parsePropertyList(serializePropertyListXml(value));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, value);
}

TEST(PropertyListValueTest, MalformedInputGivesNothing) {
    const std::vector<std::string> inputs = {
        "",
        "not a plist",
        "<?xml version=\"1.0\"?><plist><dict><key>a</key>",
        "bplist00",
        "bplist00\xff\xff\xff\xff",
        std::string("\0\0\0\0", 4),
    };
    for (const auto& input : inputs) {
        EXPECT_FALSE(parsePropertyList(input).has_value()) << input;
    }
}

TEST(PropertyListValueTest, UnusedNodeKindsAreDropped) {
    const auto parsed = parsePropertyList(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
        "<key>when</key><date>2024-01-01T00:00:00Z</date><key>n</key><integer>21600</integer>"
        "</dict></plist>");
    ASSERT_TRUE(parsed && parsed->dictionary());
    EXPECT_EQ(parsed->dictionary()->count("when"), 0u);
    EXPECT_EQ(parsed->dictionary()->at("n").integer(), 21600);
}

TEST(PropertyListValueTest, AccessorsAnswerOnlyForTheirType) {
    const PropertyListValue text("5");
    EXPECT_EQ(text.type(), PropertyListValue::Type::string);
    EXPECT_EQ(text.integer(), std::nullopt);
    EXPECT_EQ(text.boolean(), std::nullopt);
    EXPECT_EQ(text.array(), nullptr);
    EXPECT_EQ(PropertyListValue(true).type(), PropertyListValue::Type::boolean);
    EXPECT_EQ(PropertyListValue(1).type(), PropertyListValue::Type::integer);
}

} // namespace
} // namespace berthkeep
