#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridge.hpp"
#include "TelemetryTestSupport.hpp"
#include "platform/Log/ProcessLog.hpp"

using namespace berthkeep;
using Error = RustBerthkeepTelemetryBridgeError;

namespace {

BerthkeepTelemetryInput sampleInput() {
    return BerthkeepTelemetryInput{
        BerthkeepTelemetryConfiguration::resolve({}, {}, "x", false), {}, {}, {}, 100};
}

std::string writeScript(const QTemporaryDir& folder, const std::string& body) {
    const auto path = folder.path().toStdString() + "/helper.sh";
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
    return path;
}

template <typename Body> Error captureError(Body body) {
    try {
        body();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no bridge error";
    return Error::invalidResponse();
}

} // namespace

TEST(TelemetryBridge, ErrorDescriptions) {
    const std::pair<Error, std::string> rows[] = {
        {Error::symbolMissing("f"), "Berthkeep Rust telemetry bridge is missing symbol f."},
        {Error::callFailed("m"), "Berthkeep Rust telemetry bridge call failed: m"},
        {Error::processFailed(2, "bad input"),
         "Berthkeep Rust telemetry bridge failed with status 2: bad input"},
        {Error::dlopenFailed("m"), "Berthkeep Rust telemetry bridge library failed to load: m"},
        {Error::transportUnavailable(),
         "Berthkeep Rust telemetry bridge transport is unavailable."},
        {Error::libraryNotFound(), "Berthkeep Rust telemetry bridge library was not found."},
        {Error::executableNotFound(), "Berthkeep Rust telemetry bridge executable was not found."},
        {Error::invalidResponse(), "Berthkeep Rust telemetry bridge returned an invalid response."},
    };
    for (const auto& [error, description] : rows) {
        EXPECT_EQ(std::string(error.what()), description);
    }
}

TEST(TelemetryBridge, MissingTransportFailsEveryCall) {
    const RustBerthkeepTelemetryBridge bridge(
        std::make_shared<MissingRustBerthkeepTelemetryTransport>());
    const auto error = captureError([&] { bridge.process(sampleInput()); });
    EXPECT_EQ(std::string(error.what()),
              "Berthkeep Rust telemetry bridge transport is unavailable.");
}

TEST(TelemetryBridge, UndecodableAnswerIsLoggedAndInvalid) {
    auto log = std::make_shared<CaptureProcessLog>();
    auto transport = std::make_shared<test::FakeTelemetryTransport>(
        [](const BerthkeepTelemetryInput&) { return std::string("{}"); });
    const RustBerthkeepTelemetryBridge bridge(transport, log);
    const auto error = captureError([&] { bridge.process(sampleInput()); });
    EXPECT_EQ(error.kind(), Error::Kind::invalidResponse);
    const auto lines = log->lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Berthkeep telemetry bridge decode failed: ", 0), 0u);
    EXPECT_NE(lines[0].find(" | output={}"), std::string::npos);
}

TEST(TelemetryBridge, HelperFailureCarriesStatusAndStandardError) {
    QTemporaryDir folder;
    const auto script = writeScript(folder, "cat >/dev/null\nprintf 'bad input' >&2\nexit 2\n");
    ProcessRustBerthkeepTelemetryTransport transport(script);
    const auto error = captureError([&] { transport.call("{}"); });
    EXPECT_EQ(std::string(error.what()),
              "Berthkeep Rust telemetry bridge failed with status 2: bad input");
}

TEST(TelemetryBridge, HelperOutputPastTheRunnerLimitFailsWhateverItsStatus) {
    QTemporaryDir folder;
    const auto script = writeScript(folder, "cat >/dev/null\nhead -c " +
                                                std::to_string(defaultProcessOutputLimit + 1) +
                                                " /dev/zero\nexit 0\n");
    ProcessRustBerthkeepTelemetryTransport transport(script);
    const auto error = captureError([&] { transport.call("{}"); });
    EXPECT_EQ(error.kind(), Error::Kind::processFailed);
    EXPECT_EQ(error.text(),
              "output larger than " + std::to_string(defaultProcessOutputLimit) + " bytes");
}

TEST(TelemetryBridge, HelperGetsTheOperationAndTheRequest) {
    QTemporaryDir folder;
    const auto script = writeScript(folder, "printf '%s|' \"$1\"\ncat\n");
    ProcessRustBerthkeepTelemetryTransport transport(script);
    EXPECT_EQ(transport.call("request"), "process-telemetry|request");
}

TEST(TelemetryBridge, LibraryLoadingFailures) {
    const auto missing = captureError([] {
        DynamicLibraryRustBerthkeepTelemetryTransport transport(
            "/nonexistent/libberthkeep_core.so");
    });
    EXPECT_EQ(missing.kind(), Error::Kind::dlopenFailed);
    EXPECT_FALSE(missing.text().empty());

    // Any shared library without the core's entry points.
    const char* library = "libm.so.6";
    const auto symbol =
        captureError([&] { DynamicLibraryRustBerthkeepTelemetryTransport transport(library); });
    EXPECT_EQ(
        std::string(symbol.what()),
        "Berthkeep Rust telemetry bridge is missing symbol berthkeep_core_process_telemetry_json.");
}

TEST(TelemetryBridge, DefaultTransportFallsBackToTheHelper) {
    if (!BerthkeepRustBridgeLocation::developmentLocationsAllowed()) {
        GTEST_SKIP() << "environment paths are not searched in this build";
    }
    QTemporaryDir folder;
    const auto script = writeScript(folder, "cat\n");
    BerthkeepProcessInfo processInfo;
    // A library that does not load is passed over for the helper.
    processInfo.environment[BerthkeepRustBridgeLocation::libraryPathEnvironmentKey] =
        folder.path().toStdString() + "/helper.sh";
    processInfo.environment[BerthkeepRustBridgeLocation::bridgePathEnvironmentKey] = script;
    const auto transport = RustBerthkeepTelemetryBridge::makeDefaultTransport(
        processInfo, BerthkeepFileManager::defaultManager());
    const auto* helper = dynamic_cast<ProcessRustBerthkeepTelemetryTransport*>(transport.get());
    ASSERT_NE(helper, nullptr);
    EXPECT_EQ(helper->executableURL(), script);
}
