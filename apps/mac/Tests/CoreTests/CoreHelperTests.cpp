#include "CoreTestSupport.hpp"

#include "Berthkeep/Domain/UTF8Text.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace berthkeep::coretest {
namespace {

using json = nlohmann::json;

TEST(CoreHelper, EvaluatesAnEmptyRequest) {
    const ProcessResult result =
        runHelper({"evaluate-state"}, R"({"drives":[],"working_drive_ids":[]})");
    ASSERT_TRUE(result.succeeded()) << result.standardError;
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(json::parse(result.standardOutput)["global_state"]["kind"], "no_managed_drives");
}

TEST(CoreHelper, RefusesBadCommandLinesWithAMessage) {
    struct Case {
        std::vector<std::string> arguments;
        const char* fragment;
    };
    const Case cases[] = {
        {{}, "missing operation"},
        {{"evaluate"}, "unknown operation \"evaluate\""},
        {{"Evaluate-State"}, "unknown operation"},
        {{"evaluate-state", "plan-action"}, "too many arguments"},
    };
    for (const Case& testCase : cases) {
        const ProcessResult result = runHelper(testCase.arguments, "{}");
        EXPECT_EQ(result.outcome, ProcessOutcome::exited);
        EXPECT_NE(result.exitCode, 0) << testCase.fragment;
        EXPECT_EQ(result.standardOutput, "");
        EXPECT_NE(result.standardError.find(testCase.fragment), std::string::npos)
            << result.standardError;
    }
}

TEST(CoreHelper, InvalidInputExitsNonZeroWithTheReason) {
    struct Case {
        const char* operation;
        std::string input;
        const char* fragment;
    };
    const Case cases[] = {
        {"evaluate-state", "", "Not valid JSON"},
        {"evaluate-state", R"({"drives":[]})", "working_drive_ids"},
        {"plan-action", R"({"trigger":"system_sleep","drives":{},"attention_drive_ids":[]})",
         "list"},
        {"summarize-action", std::string("{\"attempted_drive_ids\":[]\0}", 27), "NUL"},
        {"process-telemetry", R"({"events":[]})", "missing \"config\""},
    };
    for (const Case& testCase : cases) {
        const ProcessResult result = runHelper({testCase.operation}, testCase.input);
        EXPECT_EQ(result.outcome, ProcessOutcome::exited);
        EXPECT_NE(result.exitCode, 0) << testCase.operation;
        EXPECT_EQ(result.standardOutput, "");
        EXPECT_NE(result.standardError.find(testCase.fragment), std::string::npos)
            << testCase.operation << ": " << result.standardError;
    }
}

TEST(CoreHelper, StandardErrorIsUTF8WhateverTheInputHolds) {
    const std::string replacement = "\xEF\xBF\xBD";
    const ProcessResult badRequest = runHelper({"summarize-action"}, "\xff\xfe");
    const ProcessResult badOperation = runHelper({"plan\xff"}, "{}");
    for (const ProcessResult* result : {&badRequest, &badOperation}) {
        EXPECT_EQ(result->outcome, ProcessOutcome::exited);
        EXPECT_NE(result->exitCode, 0);
        EXPECT_TRUE(isValidUTF8(result->standardError)) << result->standardError;
        EXPECT_NE(result->standardError.find(replacement), std::string::npos)
            << result->standardError;
    }
    EXPECT_NE(badOperation.standardError.find("unknown operation \"plan" + replacement + "\""),
              std::string::npos)
        << badOperation.standardError;
}

TEST(CoreHelper, HandlesRequestsAndAnswersLargerThanAPipeBuffer) {
    json drives = json::array();
    json working = json::array();
    for (int index = 0; index < 3000; ++index) {
        const std::string id = "disk" + std::to_string(index);
        drives.push_back({{"id", id},
                          {"name", "Volume with a fairly long name " + std::to_string(index)},
                          {"scope", "managed"},
                          {"is_mounted", true},
                          {"usage_snapshot", {{"open_file_usage", 0}, {"cwd_usage", 0}}}});
        working.push_back(id);
    }
    const std::string request = json{{"drives", drives}, {"working_drive_ids", working}}.dump();
    ASSERT_GT(request.size(), 256u * 1024u);

    const ProcessResult result = runHelper({"evaluate-state"}, request);
    ASSERT_TRUE(result.succeeded()) << result.standardError;
    const json answer = json::parse(result.standardOutput);
    ASSERT_EQ(answer["drives"].size(), 3000u);
    EXPECT_EQ(answer["drives"][2999]["status"], "ejecting");
}

} // namespace
} // namespace berthkeep::coretest
