#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include <dlfcn.h>

#include "BerthkeepRustBridge/DynamicLibraryRustBerthkeepCoreTransport.hpp"
#include "BerthkeepRustBridge/MissingRustBerthkeepCoreTransport.hpp"
#include "BerthkeepRustBridge/ProcessRustBerthkeepCoreTransport.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCoreBridge.hpp"
#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"
#include "CoreTransportTestSupport.hpp"

using namespace berthkeep;
using berthkeep::testing::EmptyMainBundle;
using berthkeep::testing::helperAnswerTimeout;
using berthkeep::testing::ScratchFolder;
using BridgeError = RustBerthkeepCoreBridgeError;
using Operation = RustBerthkeepCoreOperation;

namespace {

BridgeError callError(RustBerthkeepCoreTransport& transport, Operation operation,
                      const std::string& request) {
    try {
        transport.call(operation, request);
    } catch (const BridgeError& error) {
        return error;
    }
    ADD_FAILURE() << "the call did not fail with a bridge error";
    return BridgeError::invalidResponse();
}

BridgeError loadError(const std::string& path) {
    try {
        DynamicLibraryRustBerthkeepCoreTransport transport(path);
    } catch (const BridgeError& error) {
        return error;
    }
    ADD_FAILURE() << path << " loaded";
    return BridgeError::invalidResponse();
}

// Looks into a loaded fixture without taking a reference of our own.
template <typename Function> Function fixtureFunction(const std::string& path, const char* name) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return nullptr;
    }
    auto function = reinterpret_cast<Function>(::dlsym(handle, name));
    ::dlclose(handle);
    return function;
}

} // namespace

TEST(CoreTransportTests, OperationsAreNamedByTheirRawValues) {
    EXPECT_EQ(toString(Operation::evaluateState), "evaluate-state");
    EXPECT_EQ(toString(Operation::planAction), "plan-action");
    EXPECT_EQ(toString(Operation::summarizeAction), "summarize-action");
    EXPECT_EQ(rustBerthkeepCoreOperationFromString("plan-action"), Operation::planAction);
    EXPECT_EQ(rustBerthkeepCoreOperationFromString("Plan-Action"), std::nullopt);
}

TEST(CoreTransportTests, BridgeErrorsRenderTheirCaseAndPayload) {
    struct Case {
        BridgeError error;
        std::string text;
    };
    const Case cases[] = {
        {BridgeError::transportUnavailable(), "transportUnavailable"},
        {BridgeError::invalidResponse(), "invalidResponse"},
        {BridgeError::symbolMissing("berthkeep_core_free_string"),
         "symbolMissing(\"berthkeep_core_free_string\")"},
        {BridgeError::callFailed("Rust core call failed"), "callFailed(\"Rust core call failed\")"},
        {BridgeError::dlopenFailed("bad \"elf\"\\x\n\t\x01"),
         "dlopenFailed(\"bad \\\"elf\\\"\\\\x\\n\\t\\u{1}\")"},
        {BridgeError::processFailed(3, "boom"), "processFailed(status: 3, error: \"boom\")"},
        {BridgeError::processFailed(-1, ""), "processFailed(status: -1, error: \"\")"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(std::string(testCase.error.what()), testCase.text);
    }
    EXPECT_EQ(BridgeError::processFailed(3, "boom"), BridgeError::processFailed(3, "boom"));
    EXPECT_FALSE(BridgeError::processFailed(3, "boom") == BridgeError::processFailed(4, "boom"));
    EXPECT_FALSE(BridgeError::callFailed("x") == BridgeError::dlopenFailed("x"));
}

TEST(CoreTransportTests, MissingTransportFailsEveryCall) {
    MissingRustBerthkeepCoreTransport transport;
    for (const auto operation :
         {Operation::evaluateState, Operation::planAction, Operation::summarizeAction}) {
        EXPECT_EQ(callError(transport, operation, "{}"), BridgeError::transportUnavailable());
    }
}

TEST(CoreTransportTests, LibraryThatCannotLoadFailsWithTheLoadersMessage) {
    const auto error = loadError("/etc/passwd");
    EXPECT_EQ(error.kind(), BridgeError::Kind::dlopenFailed);
    EXPECT_NE(error.text().find("/etc/passwd"), std::string::npos) << error.text();
}

TEST(CoreTransportTests, LibraryWithoutLastErrorEntryFailsAndIsClosed) {
    const std::string path = BERTHKEEP_FIXTURE_MISSING_LAST_ERROR;
    EXPECT_EQ(loadError(path), BridgeError::symbolMissing("berthkeep_core_last_error_message"));
    EXPECT_EQ(::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the handle stayed open";
}

TEST(CoreTransportTests, NullAnswerCarriesTheLibrarysLastErrorAndFreesIt) {
    const std::string path = BERTHKEEP_FIXTURE_NULL_WITH_ERROR;
    DynamicLibraryRustBerthkeepCoreTransport transport(path);
    for (const auto operation :
         {Operation::evaluateState, Operation::planAction, Operation::summarizeAction}) {
        EXPECT_EQ(callError(transport, operation, "{\"drives\":[]}"),
                  BridgeError::callFailed("fixture \"core\" failed"));
    }
    const auto lastRequest = fixtureFunction<const char* (*)()>(path, "fixture_last_request");
    const auto handedOut = fixtureFunction<int (*)()>(path, "fixture_handed_out_count");
    const auto freed = fixtureFunction<int (*)()>(path, "fixture_freed_count");
    ASSERT_TRUE(lastRequest && handedOut && freed);
    EXPECT_STREQ(lastRequest(), "{\"drives\":[]}");
    EXPECT_EQ(handedOut(), 3);
    EXPECT_EQ(freed(), 3);
}

TEST(CoreTransportTests, NullAnswerWithoutLastErrorHasTheFixedMessage) {
    DynamicLibraryRustBerthkeepCoreTransport transport(BERTHKEEP_FIXTURE_NULL_WITHOUT_ERROR);
    EXPECT_EQ(callError(transport, Operation::planAction, "{}"),
              BridgeError::callFailed("Rust core call failed"));
}

TEST(CoreTransportTests, RequestThatIsNotUTF8NeverReachesTheLibrary) {
    const std::string path = BERTHKEEP_FIXTURE_NULL_WITH_ERROR;
    DynamicLibraryRustBerthkeepCoreTransport transport(path);
    const auto lastRequest = fixtureFunction<const char* (*)()>(path, "fixture_last_request");
    ASSERT_NE(lastRequest, nullptr);
    const std::string before = lastRequest();

    for (const auto& request :
         {std::string("{\"id\":\"\xC3\x28\"}"), std::string("{\"id\":\"\xED\xA0\x80\"}"),
          std::string("{\"id\":\"a\0b\"}", 12)}) {
        EXPECT_EQ(callError(transport, Operation::evaluateState, request),
                  BridgeError::callFailed("failed to encode bridge input as UTF-8"));
    }
    EXPECT_EQ(std::string(lastRequest()), before);
}

TEST(CoreTransportTests, LibraryAnswerIsReturnedRawAndFreed) {
    const std::string path = BERTHKEEP_FIXTURE_INVALID_JSON;
    DynamicLibraryRustBerthkeepCoreTransport transport(path);
    EXPECT_EQ(transport.call(Operation::summarizeAction, "{}"), "this is not json");
    const auto freed = fixtureFunction<int (*)()>(path, "fixture_freed_count");
    ASSERT_NE(freed, nullptr);
    EXPECT_EQ(freed(), 1);
}

TEST(CoreTransportTests, HelperGetsOneArgumentAndTheRequestOnStandardInput) {
    ScratchFolder folder;
    const auto helper = folder.script(
        "helper", "printf '%s|%s|' \"$#\" \"$1\"; cat; printf '|eof'; echo ignored >&2");
    ProcessRustBerthkeepCoreTransport transport(helper, helperAnswerTimeout);
    EXPECT_EQ(transport.call(Operation::evaluateState, "{\"a\":1}"),
              "1|evaluate-state|{\"a\":1}|eof");
    EXPECT_EQ(transport.call(Operation::summarizeAction, ""), "1|summarize-action||eof");
}

TEST(CoreTransportTests, HelperFailureCarriesStatusAndTrimmedStandardError) {
    ScratchFolder folder;
    struct Case {
        std::string body;
        BridgeError expected;
    };
    const Case cases[] = {
        {"echo boom >&2; exit 3", BridgeError::processFailed(3, "boom")},
        {"printf '  two\\nlines \\n\\n' >&2; exit 1", BridgeError::processFailed(1, "two\nlines")},
        {"printf 'bad \\377 bytes' >&2; exit 2", BridgeError::processFailed(2, "")},
        {"echo partial answer; exit 7", BridgeError::processFailed(7, "")},
        {"kill -9 $$", BridgeError::processFailed(9, "")},
    };
    int index = 0;
    for (const auto& testCase : cases) {
        ProcessRustBerthkeepCoreTransport transport(
            folder.script("helper" + std::to_string(index++), testCase.body), helperAnswerTimeout);
        EXPECT_EQ(callError(transport, Operation::planAction, "{}"), testCase.expected)
            << testCase.body;
    }
}

TEST(CoreTransportTests, HelperThatPrintsNothingGivesAnEmptyAnswer) {
    ScratchFolder folder;
    ProcessRustBerthkeepCoreTransport transport(folder.script("helper", "exit 0"),
                                                helperAnswerTimeout);
    EXPECT_EQ(transport.call(Operation::planAction, std::string(256 * 1024, 'x')), "");
}

TEST(CoreTransportTests, LargeOutputOnBothPipesDoesNotStall) {
    ScratchFolder folder;
    const auto helper = folder.script(
        "helper",
        "head -c 1048576 /dev/zero | tr '\\0' e >&2; cat; head -c 1048576 /dev/zero | tr '\\0' o");
    ProcessRustBerthkeepCoreTransport transport(helper, helperAnswerTimeout);
    const std::string request(512 * 1024, 'r');
    const auto answer = transport.call(Operation::evaluateState, request);
    EXPECT_EQ(answer.size(), request.size() + 1048576u);
}

TEST(CoreTransportTests, HelperOutputPastTheRunnerLimitFailsWhateverItsStatus) {
    ScratchFolder folder;
    ProcessRustBerthkeepCoreTransport transport(
        folder.script("helper", "head -c " + std::to_string(defaultProcessOutputLimit + 1) +
                                    " /dev/zero; exit 0"),
        helperAnswerTimeout);
    const auto error = callError(transport, Operation::evaluateState, "{}");
    EXPECT_EQ(error.kind(), BridgeError::Kind::processFailed);
    EXPECT_EQ(error.text(),
              "output larger than " + std::to_string(defaultProcessOutputLimit) + " bytes");
}

TEST(CoreTransportTests, HungHelperIsStoppedAtTheDeadline) {
    using namespace std::chrono_literals;
    ScratchFolder folder;
    // The helper's line is in the error only when written before the deadline:
    // the helper says when it was, and a loaded machine, slow to start the
    // shell, gets longer deadlines until a run has it in time.
    const std::string ready = folder.path() + "/ready";
    const auto helper =
        folder.script("helper", "echo waiting >&2; touch '" + ready + "'; exec sleep 30");
    bool timed = false;
    for (auto timeout = 300ms; !timed && timeout <= 20s; timeout *= 4) {
        std::filesystem::remove(ready);
        ProcessRustBerthkeepCoreTransport transport(helper, timeout);
        const auto startedOnTheFileClock = std::filesystem::file_time_type::clock::now();
        const auto start = std::chrono::steady_clock::now();
        const auto error = callError(transport, Operation::evaluateState, "{}");
        const auto elapsed = std::chrono::steady_clock::now() - start;
        std::error_code missing;
        const auto wrote = std::filesystem::last_write_time(ready, missing);
        // Less the file clock's coarse tick.
        if (missing || wrote >= startedOnTheFileClock + timeout - 20ms) {
            continue;
        }
        timed = true;
        EXPECT_EQ(error.kind(), BridgeError::Kind::processFailed);
        EXPECT_EQ(error.text(),
                  "timed out after " + std::to_string(timeout.count()) + " ms: waiting");
        EXPECT_LT(elapsed, timeout + 2700ms);
    }
    EXPECT_TRUE(timed) << "the helper never wrote its line before its deadline";
    EXPECT_EQ(ProcessRustBerthkeepCoreTransport::defaultTimeout, std::chrono::seconds(5));
}

TEST(CoreTransportTests, HelperThatCannotStartThrowsThePlatformError) {
    ProcessRustBerthkeepCoreTransport transport("/nonexistent/berthkeep-core-bridge");
    EXPECT_THROW(transport.call(Operation::evaluateState, "{}"), ProcessLaunchError);
}

TEST(CoreTransportTests, DefaultChoiceFallsBackToTheHelperWhenTheLibraryDoesNotLoad) {
    EmptyMainBundle bundle;
    ScratchFolder folder;
    const auto helper = folder.script("berthkeep-core-bridge", "cat");
    const BerthkeepProcessInfo info{
        {{BerthkeepRustBridgeLocation::libraryPathEnvironmentKey,
          BERTHKEEP_FIXTURE_MISSING_LAST_ERROR},
         {BerthkeepRustBridgeLocation::bridgePathEnvironmentKey, helper}}};
    const auto transport =
        RustBerthkeepCoreBridge::makeDefaultTransport(info, BerthkeepFileManager::defaultManager());
    const auto process = std::dynamic_pointer_cast<ProcessRustBerthkeepCoreTransport>(transport);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->executableURL(), helper);
    EXPECT_EQ(process->timeout(), ProcessRustBerthkeepCoreTransport::defaultTimeout);
}

TEST(CoreTransportTests, DefaultChoiceIsNothingWithoutLoadableLibraryOrHelper) {
    EmptyMainBundle bundle;
    ScratchFolder folder;
    const auto notExecutable = folder.script("berthkeep-core-bridge", "cat", false);
    for (const auto& info :
         {BerthkeepProcessInfo{},
          BerthkeepProcessInfo{
              {{BerthkeepRustBridgeLocation::libraryPathEnvironmentKey,
                BERTHKEEP_FIXTURE_MISSING_LAST_ERROR},
               {BerthkeepRustBridgeLocation::bridgePathEnvironmentKey, notExecutable}}}}) {
        EXPECT_EQ(RustBerthkeepCoreBridge::makeDefaultTransport(
                      info, BerthkeepFileManager::defaultManager()),
                  nullptr);
    }
    // The bridge then uses the missing transport.
    RustBerthkeepCoreBridge bridge(nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<MissingRustBerthkeepCoreTransport>(bridge.transport()),
              nullptr);
}

#if defined(BERTHKEEP_CORE_LIBRARY_PATH) && defined(BERTHKEEP_CORE_BRIDGE_PATH)
TEST(CoreTransportTests, DefaultChoicePrefersTheLibraryToTheHelper) {
    EmptyMainBundle bundle;
    const BerthkeepProcessInfo info{
        {{BerthkeepRustBridgeLocation::libraryPathEnvironmentKey, BERTHKEEP_CORE_LIBRARY_PATH},
         {BerthkeepRustBridgeLocation::bridgePathEnvironmentKey, BERTHKEEP_CORE_BRIDGE_PATH}}};
    const auto transport =
        RustBerthkeepCoreBridge::makeDefaultTransport(info, BerthkeepFileManager::defaultManager());
    EXPECT_NE(std::dynamic_pointer_cast<DynamicLibraryRustBerthkeepCoreTransport>(transport),
              nullptr);
}

TEST(CoreTransportTests, BuiltLibraryAndHelperReportFailuresTheirOwnWay) {
    DynamicLibraryRustBerthkeepCoreTransport library(BERTHKEEP_CORE_LIBRARY_PATH);
    const auto libraryError = callError(library, Operation::evaluateState, "not json");
    EXPECT_EQ(libraryError.kind(), BridgeError::Kind::callFailed);
    EXPECT_FALSE(libraryError.text().empty());
    EXPECT_NE(libraryError.text(), "Rust core call failed");

    ProcessRustBerthkeepCoreTransport helper(BERTHKEEP_CORE_BRIDGE_PATH, helperAnswerTimeout);
    const auto helperError = callError(helper, Operation::evaluateState, "not json");
    EXPECT_EQ(helperError.kind(), BridgeError::Kind::processFailed);
    EXPECT_NE(helperError.status(), 0);
    EXPECT_FALSE(helperError.text().empty());
}
#endif
