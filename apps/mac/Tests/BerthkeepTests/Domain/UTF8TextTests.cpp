#include "Berthkeep/Domain/UTF8Text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace berthkeep {
namespace {

TEST(UTF8Text, ReplacesEveryByteOutsideAWellFormedSequence) {
    const std::string replacement = "\xEF\xBF\xBD";
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"plain ASCII", "plain ASCII"},
        {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xBE", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xBE"},
        {"\xff\xfe", replacement + replacement},
        {"a\x80z", "a" + replacement + "z"},
        // Cut short at the end, and cut short by the next character.
        {"x\xE2\x82", "x" + replacement + replacement},
        {"\xE2(", replacement + "("},
        // An overlong slash, a surrogate, and a code point above U+10FFFF.
        {"\xC0\xAF", replacement + replacement},
        {"\xED\xA0\x80", replacement + replacement + replacement},
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},
    };
    for (const Case& testCase : cases) {
        const std::string replaced = replacingInvalidUTF8(testCase.text);
        EXPECT_EQ(replaced, testCase.expected) << testCase.text;
        EXPECT_TRUE(isValidUTF8(replaced));
        EXPECT_EQ(isValidUTF8(testCase.text), testCase.text == testCase.expected);
    }
}

} // namespace
} // namespace berthkeep
