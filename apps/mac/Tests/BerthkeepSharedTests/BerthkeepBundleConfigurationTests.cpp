#include <gtest/gtest.h>

#include <QtGlobal>

#include <cstdlib>

#include "BerthkeepShared/BerthkeepBundleConfiguration.hpp"
#include "BerthkeepShared/BerthkeepPreferencesDefaultsKey.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"

namespace berthkeep {
namespace {

using Config = BerthkeepBundleConfiguration;
using Info = PropertyListValue::Dictionary;
using Identity = BerthkeepRuntimeIdentity;

TEST(BerthkeepRuntimeIdentityTest, Identifiers) {
    EXPECT_EQ(Identity::testBundleIdentifier, Identity::productionBundleIdentifier + ".test");
    EXPECT_EQ(Identity::effectiveBundleIdentifier(std::nullopt),
              Identity::productionBundleIdentifier);
    EXPECT_EQ(Identity::effectiveBundleIdentifier(std::string()),
              Identity::productionBundleIdentifier);
    EXPECT_EQ(Identity::effectiveBundleIdentifier(std::string("x")), "x");
}

TEST(BerthkeepRuntimeIdentityTest, ApplicationSupportDirectoryName) {
    EXPECT_EQ(Identity::applicationSupportDirectoryName(Identity::testBundleIdentifier),
              "Berthkeep Test");
    EXPECT_EQ(Identity::applicationSupportDirectoryName(Identity::productionBundleIdentifier),
              "Berthkeep");
    EXPECT_EQ(Identity::applicationSupportDirectoryName(std::nullopt), "Berthkeep");
    EXPECT_EQ(Identity::applicationSupportDirectoryName(std::string("other.id")), "Berthkeep");
}

TEST(BerthkeepRuntimeIdentityTest, ApplicationSupportDirectoryPathUsesDataHome) {
    ::setenv("XDG_DATA_HOME", "/tmp/bk-data", 1);
    EXPECT_EQ(Identity::applicationSupportDirectoryPath(Identity::testBundleIdentifier),
              "/tmp/bk-data/Berthkeep Test");
    EXPECT_EQ(Identity::applicationSupportDirectoryPath(std::nullopt), "/tmp/bk-data/Berthkeep");
    ::unsetenv("XDG_DATA_HOME");
}

TEST(BerthkeepRuntimeIdentityTest, EnvironmentOverridesTable) {
    struct Row {
        std::optional<std::string> identifier;
        bool debugBuild;
        bool expected;
    };
    const std::vector<Row> rows = {
        {Identity::productionBundleIdentifier, false, false},
        {std::nullopt, false, false},
        {std::string(), false, false},
        {Identity::testBundleIdentifier, false, true},
        {std::string("other.id"), false, true},
        {Identity::productionBundleIdentifier, true, true},
        {std::nullopt, true, true},
        {Identity::testBundleIdentifier, true, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Identity::allowsEnvironmentConfigurationOverrides(row.identifier, row.debugBuild),
                  row.expected)
            << row.identifier.value_or("<none>") << " debug=" << row.debugBuild;
    }
}

TEST(BerthkeepRuntimeIdentityTest, CurrentIdentifierComesFromMainBundleAfresh) {
    AppBundle::setMain(InMemoryAppBundle::withIdentifier("app.example.One"));
    EXPECT_EQ(Identity::currentBundleIdentifier(), "app.example.One");
    AppBundle::setMain(InMemoryAppBundle::withIdentifier(""));
    EXPECT_EQ(Identity::currentBundleIdentifier(), Identity::productionBundleIdentifier);
    AppBundle::setMain(std::make_shared<InMemoryAppBundle>());
    EXPECT_EQ(Identity::currentBundleIdentifier(), Identity::productionBundleIdentifier);
    AppBundle::setMain(nullptr);
}

TEST(BerthkeepBundleConfigurationTest, StringValuePrecedence) {
    struct Row {
        const char* label;
        Config::Environment environment;
        Info info;
        std::optional<std::string> fallback;
        std::optional<std::string> expected;
    };
    const std::vector<Row> rows = {
        {"first non-empty env in order",
         {{"A", ""}, {"B", "b"}},
         {{"K", "info"}},
         std::nullopt,
         "b"},
        {"A wins over B", {{"A", "a"}, {"B", "b"}}, {}, std::nullopt, "a"},
        {"env value untrimmed", {{"A", " a "}}, {}, std::nullopt, " a "},
        {"info when env empty", {{"A", ""}}, {{"K", "info"}}, std::nullopt, "info"},
        {"fallback after empty main",
         {},
         {{"K", ""}, {"F", "fallback"}},
         std::string("F"),
         "fallback"},
        {"fallback after missing main", {}, {{"F", "fallback"}}, std::string("F"), "fallback"},
        {"main beats fallback", {}, {{"K", "main"}, {"F", "fallback"}}, std::string("F"), "main"},
        {"no fallback key", {}, {{"K", ""}, {"F", "fallback"}}, std::nullopt, std::nullopt},
        {"non-strings ignored", {}, {{"K", 5}, {"F", true}}, std::string("F"), std::nullopt},
        {"unlisted env ignored", {{"C", "c"}}, {}, std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Config::stringValue(row.environment, {"A", "B"}, row.info, "K", row.fallback),
                  row.expected)
            << row.label;
    }
}

TEST(BerthkeepBundleConfigurationTest, UInt64ValuePrecedence) {
    struct Row {
        const char* label;
        Config::Environment environment;
        Info info;
        std::optional<std::uint64_t> expected;
    };
    const std::vector<Row> rows = {
        {"env number", {{"E", "60"}}, {{"K", 21600}}, 60},
        {"bad env hides info", {{"E", "6a"}}, {{"K", 21600}}, std::nullopt},
        {"empty env skipped", {{"E", ""}}, {{"K", 21600}}, 21600},
        {"info number", {}, {{"K", 21600}}, 21600},
        {"info string", {}, {{"K", "+42"}}, 42},
        {"bad info string", {}, {{"K", "4 2"}}, std::nullopt},
        {"empty info string", {}, {{"K", ""}}, std::nullopt},
        {"info real truncates", {}, {{"K", 3.9}}, 3},
        {"negative info number", {}, {{"K", -5}}, std::nullopt},
        {"boolean is not a number", {}, {{"K", true}}, std::nullopt},
        {"missing", {}, {}, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Config::uint64Value(row.environment, "E", row.info, "K"), row.expected)
            << row.label;
    }
}

TEST(BerthkeepBundleConfigurationTest, ParsesUnsignedDecimalStrictly) {
    struct Row {
        const char* text;
        std::optional<std::uint64_t> expected;
    };
    const std::vector<Row> rows = {
        {"0", 0},
        {"+7", 7},
        {"-0", 0},
        {"-000", 0},
        {"-1", std::nullopt},
        {"18446744073709551615", 18446744073709551615ull},
        {"18446744073709551616", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"0x10", std::nullopt},
        {"1e3", std::nullopt},
        {"++1", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Config::parseUInt64(row.text), row.expected) << row.text;
    }
}

TEST(BerthkeepBundleConfigurationTest, SparkleConfiguration) {
    const std::string feed = Config::sparkleFeedURLKey;
    const std::string key = Config::sparklePublicEDKey;
    EXPECT_EQ(feed, "SUFeedURL");
    EXPECT_EQ(key, "SUPublicEDKey");
    EXPECT_EQ(std::string(Config::feedbackURLKey), "BerthkeepFeedbackURL");
    EXPECT_TRUE(Config::hasSparkleUpdateConfiguration({{feed, "https://x"}, {key, "k"}}));
    EXPECT_FALSE(Config::hasSparkleUpdateConfiguration({{feed, "https://x"}}));
    EXPECT_FALSE(Config::hasSparkleUpdateConfiguration({{key, "k"}}));
    EXPECT_FALSE(Config::hasSparkleUpdateConfiguration({{feed, ""}, {key, "k"}}));
    EXPECT_FALSE(Config::hasSparkleUpdateConfiguration({{feed, "https://x"}, {key, 1}}));
    EXPECT_FALSE(Config::hasSparkleUpdateConfiguration({}));
}

TEST(BerthkeepBundleConfigurationTest, ReleaseBuildUnderProductionIdentifierIgnoresEnvironment) {
    const Config::Environment environment{{"E", "60"}};
    const Info info{{"K", 21600}};
    const auto release =
        Config::overridableEnvironment(environment, Identity::productionBundleIdentifier, false);
    EXPECT_EQ(Config::uint64Value(release, "E", info, "K"), 21600u);
    EXPECT_EQ(Config::uint64Value(Config::overridableEnvironment(environment, std::nullopt, false),
                                  "E", info, "K"),
              21600u);
    const auto test =
        Config::overridableEnvironment(environment, Identity::testBundleIdentifier, false);
    EXPECT_EQ(Config::uint64Value(test, "E", info, "K"), 60u);
    const auto debug =
        Config::overridableEnvironment(environment, Identity::productionBundleIdentifier, true);
    EXPECT_EQ(Config::uint64Value(debug, "E", info, "K"), 60u);
}

TEST(BerthkeepBundleConfigurationTest, ProcessEnvironmentIsRead) {
    ::setenv("BERTHKEEP_TEST_VARIABLE", "a=b", 1);
    EXPECT_EQ(Config::processEnvironment().at("BERTHKEEP_TEST_VARIABLE"), "a=b");
    ::unsetenv("BERTHKEEP_TEST_VARIABLE");
}

TEST(BerthkeepPreferencesDefaultsKeyTest, Key) {
    EXPECT_EQ(std::string(BerthkeepPreferencesDefaultsKey::adaptiveTargetedAssistEnabled),
              "berthkeep.adaptiveTargetedAssistEnabled");
}

} // namespace
} // namespace berthkeep
