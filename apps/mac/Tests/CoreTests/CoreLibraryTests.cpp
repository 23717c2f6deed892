#include "CoreTestSupport.hpp"

#include "Berthkeep/Domain/UTF8Text.hpp"
#include "DeepJson.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <future>
#include <set>
#include <sstream>
#include <thread>

extern "C" int berthkeep_core_header_check_c(void);

namespace berthkeep::coretest {
namespace {

using json = nlohmann::json;

constexpr const char* kEmptyEvaluateRequest = R"({"drives":[],"working_drive_ids":[]})";

TEST(CoreHeader, CompilesAsC) {
    EXPECT_EQ(berthkeep_core_header_check_c(), 1);
}

TEST(CoreLibrary, ExportsExactlyTheTenEntryPoints) {
    ProcessRequest request;
    request.executablePath = "nm";
    request.arguments = {"-D", "--defined-only", BERTHKEEP_CORE_LIBRARY_PATH};
    ProcessResult result;
    try {
        result = runProcess(request);
    } catch (const ProcessLaunchError&) {
        GTEST_SKIP() << "nm is not installed";
    }
    ASSERT_TRUE(result.succeeded()) << result.standardError;

    std::set<std::string> exported;
    std::istringstream lines(result.standardOutput);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) {
            exported.insert(name);
        }
    }
    EXPECT_EQ(exported, (std::set<std::string>{
                            "berthkeep_core_evaluate_state_json",
                            "berthkeep_core_plan_action_json",
                            "berthkeep_core_summarize_action_json",
                            "berthkeep_core_activity_monitor_create",
                            "berthkeep_core_activity_monitor_update_json",
                            "berthkeep_core_activity_monitor_snapshot_json",
                            "berthkeep_core_activity_monitor_destroy",
                            "berthkeep_core_process_telemetry_json",
                            "berthkeep_core_last_error_message",
                            "berthkeep_core_free_string",
                        }));
}

TEST(CoreLibrary, EvaluatesAnEmptyRequest) {
    CoreLibrary core;
    const auto response = core.take(core.evaluateState(kEmptyEvaluateRequest));
    ASSERT_TRUE(response);
    const json answer = json::parse(*response);
    EXPECT_EQ(answer["global_state"]["kind"], "no_managed_drives");
    EXPECT_EQ(answer["drives"], json::array());
    EXPECT_EQ(core.lastError(), std::nullopt);
}

TEST(CoreLibrary, FailedCallsReturnNullWithAMessage) {
    CoreLibrary core;
    // Past the bound, with a tree deep enough to overflow the stack of any recursive copy.
    const std::string deep = test::nestedJsonArrays(100'000);
    const std::string deepEvaluate = R"({"drives":[],"working_drive_ids":[],"x":)" + deep + "}";
    const std::string deepPlan = R"({"trigger":"manual_retry","drives":[],"attention_drive_ids":)" +
                                 std::string("[\"a\",") + deep + "]}";
    struct Case {
        decltype(&berthkeep_core_evaluate_state_json) entry;
        const char* request;
        const char* expectedFragment;
    };
    const Case cases[] = {
        {core.evaluateState, deepEvaluate.c_str(), "nested deeper than 256 levels"},
        {core.planAction, deepPlan.c_str(), "nested deeper than 256 levels"},
        {core.summarizeAction, deep.c_str(), "nested deeper than 256 levels"},
        {core.evaluateState, nullptr, "request is null"},
        {core.evaluateState, "", "Not valid JSON"},
        {core.evaluateState, "{\"drives\":[],\"working_drive_ids\":[\"\xff\"]}", "Not valid JSON"},
        {core.evaluateState, R"({"working_drive_ids":[]})", "\"drives\""},
        {core.planAction, R"({"trigger":"nap","drives":[],"attention_drive_ids":[]})", "nap"},
        {core.planAction, R"({"drives":[],"attention_drive_ids":[]})", "\"trigger\""},
        {core.summarizeAction, R"({"attempted_drive_ids":[1],"remaining_managed_drive_ids":[],
                                   "confirmed_successful_drive_ids":[]})",
         "string"},
        {core.summarizeAction, "[]", "object"},
    };
    for (const Case& testCase : cases) {
        const std::string label =
            testCase.request ? std::string(testCase.request).substr(0, 80) : "(null)";
        EXPECT_EQ(core.take(testCase.entry(testCase.request)), std::nullopt) << label;
        const auto message = core.lastError();
        ASSERT_TRUE(message) << label;
        EXPECT_NE(message->find(testCase.expectedFragment), std::string::npos)
            << label << " -> " << *message;
        EXPECT_TRUE(isValidUTF8(*message)) << label;
    }
}

TEST(CoreLibrary, ErrorMessagesAreUTF8WhateverTheRequestHolds) {
    CoreLibrary core;
    const std::string replacement = "\xEF\xBF\xBD";
    // The parser's message quotes the bytes it stopped at; each entry point passes it on.
    EXPECT_EQ(core.take(core.summarizeAction("\xff\xfe")), std::nullopt);
    const auto syntax = core.lastError();
    ASSERT_TRUE(syntax);
    EXPECT_TRUE(isValidUTF8(*syntax)) << *syntax;
    EXPECT_NE(syntax->find(replacement), std::string::npos) << *syntax;

    EXPECT_EQ(core.take(core.processTelemetry("\xc3")), std::nullopt);
    const auto telemetry = core.lastError();
    ASSERT_TRUE(telemetry);
    EXPECT_TRUE(isValidUTF8(*telemetry)) << *telemetry;
}

TEST(CoreLibrary, EveryCallClearsTheLastErrorOnEntry) {
    CoreLibrary core;
    EXPECT_EQ(core.take(core.evaluateState("not json")), std::nullopt);
    // Reading does not consume the message.
    EXPECT_TRUE(core.lastError());
    EXPECT_TRUE(core.lastError());
    ASSERT_TRUE(core.take(core.evaluateState(kEmptyEvaluateRequest)));
    EXPECT_EQ(core.lastError(), std::nullopt);
}

TEST(CoreLibrary, ReturnedStringsAreSeparateCopiesFreedOnceEach) {
    CoreLibrary core;
    core.freeString(nullptr);

    char* first = core.evaluateState(kEmptyEvaluateRequest);
    char* second = core.evaluateState(kEmptyEvaluateRequest);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_STREQ(first, second);
    core.freeString(first);
    EXPECT_EQ(json::parse(second)["global_state"]["kind"], "no_managed_drives");
    core.freeString(second);

    EXPECT_EQ(core.evaluateState("{"), nullptr);
    char* errorOne = core.lastErrorMessage();
    char* errorTwo = core.lastErrorMessage();
    ASSERT_NE(errorOne, nullptr);
    ASSERT_NE(errorTwo, nullptr);
    EXPECT_NE(errorOne, errorTwo);
    core.freeString(errorOne);
    EXPECT_NE(std::string(errorTwo).find("Not valid JSON"), std::string::npos);
    core.freeString(errorTwo);
}

TEST(CoreLibrary, LastErrorIsKeptPerThread) {
    CoreLibrary core;

    // A fresh thread sees nothing of this thread's failure.
    EXPECT_EQ(core.take(core.planAction("{}")), std::nullopt);
    const auto mainMessage = core.lastError();
    ASSERT_TRUE(mainMessage);
    auto otherThread = std::async(std::launch::async, [&core] { return core.lastError(); });
    EXPECT_EQ(otherThread.get(), std::nullopt);

    // Nor does a success on another thread clear it.
    std::async(std::launch::async, [&core] {
        return core.take(core.evaluateState(kEmptyEvaluateRequest));
    }).get();
    EXPECT_EQ(core.lastError(), mainMessage);

    // Threads failing at the same time each read back their own message.
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int index = 0; index < kThreads; ++index) {
        threads.emplace_back([&core, &mismatches, index] {
            const std::string token = "trigger-" + std::to_string(index);
            const std::string request =
                R"({"trigger":")" + token + R"(","drives":[],"attention_drive_ids":[]})";
            for (int round = 0; round < kRounds; ++round) {
                if (core.take(core.planAction(request.c_str()))) {
                    ++mismatches;
                    continue;
                }
                const auto message = core.lastError();
                if (!message || message->find('"' + token + '"') == std::string::npos) {
                    ++mismatches;
                }
                if (round % 10 == 0) {
                    // A success in between leaves this thread clean.
                    core.take(core.evaluateState(kEmptyEvaluateRequest));
                    if (core.lastError()) {
                        ++mismatches;
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
} // namespace berthkeep::coretest
