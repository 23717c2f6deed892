#include "Berthkeep/Domain/BoundedJson.hpp"

#include "DeepJson.hpp"

#include <gtest/gtest.h>

#include <string>

namespace berthkeep {
namespace {

using json = nlohmann::json;
using test::nestedJsonArrays;

TEST(BoundedJson, AcceptsNestingUpToTheBoundAndRefusesOneLevelMore) {
    const std::string atBound = nestedJsonArrays(kMaximumJsonNestingDepth);
    EXPECT_TRUE(parseBoundedJson(atBound).is_array());
    EXPECT_FALSE(parseBoundedJsonOrDiscarded(atBound).is_discarded());

    // Objects and arrays count alike.
    std::string mixed;
    for (std::size_t level = 0; level < kMaximumJsonNestingDepth; ++level) {
        mixed += level % 2 ? "[" : "{\"k\":";
    }
    mixed += "1";
    for (std::size_t level = kMaximumJsonNestingDepth; level-- > 0;) {
        mixed += level % 2 ? "]" : "}";
    }
    EXPECT_TRUE(parseBoundedJson(mixed).is_object());
    EXPECT_TRUE(parseBoundedJsonOrDiscarded("[" + mixed + "]").is_discarded());

    const std::string pastBound = nestedJsonArrays(kMaximumJsonNestingDepth + 1);
    try {
        parseBoundedJson(pastBound);
        FAIL() << "accepted " << kMaximumJsonNestingDepth + 1 << " levels";
    } catch (const json::parse_error& error) {
        EXPECT_NE(std::string(error.what()).find("nested deeper than 256 levels"),
                  std::string::npos)
            << error.what();
        EXPECT_EQ(error.byte, kMaximumJsonNestingDepth + 1);
    }
    EXPECT_TRUE(parseBoundedJsonOrDiscarded(pastBound).is_discarded());
}

TEST(BoundedJson, RefusesAHostileDepthWithoutBuildingTheTree) {
    // Closed or left open, 100,000 levels are refused at the first bracket too many.
    const std::string closed = nestedJsonArrays(100'000);
    const std::string open(100'000, '{');
    for (const std::string* text : {&closed, &open}) {
        EXPECT_THROW(parseBoundedJson(*text), json::parse_error);
        EXPECT_TRUE(parseBoundedJsonOrDiscarded(*text).is_discarded());
    }
}

TEST(BoundedJson, BracketsInsideStringsDoNotCount) {
    const std::string brackets(1000, '[');
    const json parsed =
        parseBoundedJson(R"({"a":")" + brackets + R"(","b":"\")" + brackets + R"(","c":"\\"})");
    EXPECT_EQ(parsed["a"], brackets);
    EXPECT_EQ(parsed["b"], "\"" + brackets);
    EXPECT_EQ(parsed["c"], "\\");

    // An escaped backslash ends before the quote: the brackets after it are structure.
    const std::string afterEscapedBackslash =
        R"(["\\",)" + nestedJsonArrays(kMaximumJsonNestingDepth) + "]";
    EXPECT_TRUE(parseBoundedJsonOrDiscarded(afterEscapedBackslash).is_discarded());
}

TEST(BoundedJson, OtherwiseParsesAsTheLibraryDoes) {
    EXPECT_EQ(parseBoundedJson(R"({"a":[1,2.5,"x",null,true]})"),
              json::parse(R"({"a":[1,2.5,"x",null,true]})"));
    EXPECT_THROW(parseBoundedJson("{"), json::parse_error);
    EXPECT_THROW(parseBoundedJson("]]]"), json::parse_error);
    EXPECT_TRUE(parseBoundedJsonOrDiscarded("{\"a\":}").is_discarded());
    EXPECT_TRUE(parseBoundedJsonOrDiscarded("\"\xff\"").is_discarded());
}

} // namespace
} // namespace berthkeep
