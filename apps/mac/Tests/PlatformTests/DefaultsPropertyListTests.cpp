#include <gtest/gtest.h>

#include "PropertyListTestInputs.hpp"
#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {
namespace {

using namespace std::string_literals;
using namespace PropertyListTestInputs;
using Reason = PropertyListError::Reason;

TEST(PropertyListValueTest, XmlRoundTripKeepsEveryType) {
    PropertyListValue::Dictionary dictionary{
        {"bool", PropertyListValue(false)},
        {"int", PropertyListValue(std::int64_t(-9000000000))},
        {"real", PropertyListValue(0.25)},
        {"string", PropertyListValue("caf\xC3\xA9")},
        {"data", PropertyListValue(PropertyListValue::Data{})},
        {"array", PropertyListValue::stringArray({"x", ""})},
        {"nested", PropertyListValue(PropertyListValue::Dictionary{{"a", PropertyListValue(1)}})},
        {"date", PropertyListValue(PropertyListValue::Date{725760000, 0})},
    };
    const PropertyListValue value(dictionary);
    const auto parsed = parsePropertyList(serializePropertyListXml(value));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, value);
}

std::string cutShort(const std::string& text) {
    return text.substr(0, text.size() - 20);
}

TEST(PropertyListValueTest, HostileInputGivesAClearErrorNeverACrash) {
    const int limit = kPropertyListMaxNestingDepth;
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<Reason> expected; // nothing: the input is read
    };
    const std::vector<Case> cases{
        {"empty", "", Reason::malformed},
        {"not a property list", "not a plist", Reason::malformed},
        {"truncated", "<?xml version=\"1.0\"?><plist><dict><key>a</key>", Reason::malformed},
        {"unknown element", xml("<array><when>now</when></array>"), Reason::malformed},
        {"NUL bytes only", "\0\0\0\0"s, Reason::nulCharacter},
        {"NUL in a string", xml("<string>a\0b</string>"s), Reason::nulCharacter},
        {"NUL in a key", xml("<dict><key>a\0b</key><true/></dict>"s), Reason::nulCharacter},
        {"NUL in a CDATA section", xml("<string><![CDATA[a\0b]]></string>"s), Reason::nulCharacter},
        {"NUL as a character reference", xml("<string>a&#0;b</string>"), Reason::malformed},
        {"bare binary header", "bplist00", Reason::binary},
        {"binary with a broken trailer", "bplist00\xff\xff\xff\xff", Reason::binary},
        {"binary with shared sub-trees", sharedSubtreeBinaryPropertyList(16), Reason::binary},
        {"30000 nested arrays", nested(30000), Reason::tooDeep},
        {"arrays nested to the limit", nested(limit), std::nullopt},
        {"arrays nested one past the limit", nested(limit + 1), Reason::tooDeep},
        {"dictionaries nested one past the limit",
         nested(limit + 1, "<dict><key>k</key>", "</dict>"), Reason::tooDeep},
        // Cut short, so that only the check on the text, which runs before
        // parsing, can find them too deep: parsing would call them malformed.
        {"closing tags hidden in comments", cutShort(nested(limit + 1, "<array><!-- </array> -->")),
         Reason::tooDeep},
        {"closing tags hidden in processing instructions",
         cutShort(nested(limit + 1, "<array><?note </array> ?>")), Reason::tooDeep},
        {"closing tags hidden in CDATA sections",
         cutShort(nested(limit + 1, "<array><string><![CDATA[</array>]]></string>")),
         Reason::tooDeep},
        {"closing tags hidden in attribute values",
         cutShort(nested(limit + 1, "<array note=\"</array>\">")), Reason::tooDeep},
        {"closing tags hidden in a document type",
         cutShort("<!DOCTYPE plist [ </array></array> ]>" + nested(limit + 1)), Reason::tooDeep},
        {"the same, cut short but shallow", cutShort(nested(4)), Reason::malformed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.expected) {
            EXPECT_NO_THROW(decodePropertyList(c.bytes));
            EXPECT_TRUE(parsePropertyList(c.bytes).has_value());
            continue;
        }
        try {
            decodePropertyList(c.bytes);
            ADD_FAILURE() << "read without an error";
        } catch (const PropertyListError& error) {
            EXPECT_EQ(error.reason(), *c.expected) << error.what();
            EXPECT_NE(std::string(error.what()), "");
        }
        EXPECT_FALSE(parsePropertyList(c.bytes).has_value());
    }
}

// Bytes that are not UTF-8, raw or made by a character reference to a lone
// surrogate, become U+FFFD in keys and strings: what is written back is UTF-8
// that every other reader of the file accepts.
TEST(PropertyListValueTest, TextThatIsNotUTF8IsReplacedWhenRead) {
    const std::string replaced = "\xEF\xBF\xBD";
    const auto value = decodePropertyList(
        xml("<dict><key>k\xff\xfe</key><string>a\xffz</string><key>s</key>"
            "<array><string>&#xD800;</string><string>caf\xC3\xA9</string></array></dict>"));
    const auto& dictionary = *value.dictionary();
    ASSERT_EQ(dictionary.count("k" + replaced + replaced), 1u);
    EXPECT_EQ(*dictionary.at("k" + replaced + replaced).string(), "a" + replaced + "z");
    const auto strings = dictionary.at("s").stringArrayValue().value();
    ASSERT_EQ(strings.size(), 2u);
    // The surrogate's three bytes, each replaced.
    EXPECT_EQ(strings[0], replaced + replaced + replaced);
    EXPECT_EQ(strings[1], "caf\xC3\xA9");
    const std::string written = serializePropertyListXml(value);
    EXPECT_EQ(written.find('\xff'), std::string::npos);
    EXPECT_EQ(written.find('\xfe'), std::string::npos);
    EXPECT_EQ(decodePropertyList(written), value);
}

TEST(PropertyListValueTest, DatesAreKeptAndWrittenBack) {
    const auto parsed =
        parsePropertyList(xml("<dict><key>when</key><date>2024-01-01T00:00:00Z</date>"
                              "<key>n</key><integer>21600</integer></dict>"));
    ASSERT_TRUE(parsed && parsed->dictionary());
    const auto& when = parsed->dictionary()->at("when");
    ASSERT_NE(when.date(), nullptr);
    EXPECT_EQ(when.date()->seconds, 725760000);
    EXPECT_EQ(when.string(), nullptr);
    EXPECT_EQ(parsed->dictionary()->at("n").integer(), 21600);
    EXPECT_EQ(parsePropertyList(serializePropertyListXml(*parsed)), parsed);
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
