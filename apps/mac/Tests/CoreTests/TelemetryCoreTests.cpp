// The core library's telemetry pass, called through the built library and helper.
// Uploads go only to a loopback server inside the test.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CoreTestSupport.hpp"
#include "DeepJson.hpp"
#include "apps/mac/Tests/BerthkeepTelemetryTests/TelemetryLoopbackServer.hpp"

using namespace berthkeep;
using namespace berthkeep::coretest;
using nlohmann::json;

namespace {

constexpr std::int64_t kNow = 1'700'000'000;

json event(const std::string& id, const std::string& category = "operational") {
    return {{"event_id", id},           {"name", "event_" + id},     {"category", category},
            {"occurred_at", kNow - 10}, {"install_id", "I"},         {"session_id", "S"},
            {"app_version", "1.0"},     {"macos_major_version", 12}, {"payload", json::object()}};
}

json request(const std::string& baseURL, json items = json::array(), json newEvents = json::array(),
             bool consent = true) {
    return {{"config",
             {{"api_base_url", baseURL},
              {"app_id", "app"},
              {"app_key", "key"},
              {"flush_interval_seconds", 21600},
              {"max_queue_len", 500},
              {"batch_size", 20}}},
            {"consent", {{"anonymous_improvement_enabled", consent}}},
            {"queue", {{"consecutive_failures", 0}, {"items", std::move(items)}}},
            {"new_events", std::move(newEvents)},
            {"now", kNow}};
}

json run(const CoreLibrary& core, const json& input) {
    const auto answer = core.take(core.processTelemetry(input.dump().c_str()));
    if (!answer) {
        ADD_FAILURE() << "null answer: " << core.lastError().value_or("(no error)");
        return json::object();
    }
    return json::parse(*answer);
}

std::vector<std::string> ids(const json& items) {
    std::vector<std::string> out;
    for (const auto& item : items) {
        out.push_back(item["event_id"].get<std::string>());
    }
    return out;
}

} // namespace

TEST(TelemetryCore, UploadsDueEventsInBatchesAndSchedulesTheNextFlush) {
    test::TelemetryLoopbackServer server;
    CoreLibrary core;
    auto input =
        request(server.baseURL() + "/", json::array({event("1"), event("2")}),
                json::array({event("3"), event("4", "anonymous_improvement"), event("5")}));
    input["config"]["batch_size"] = 2;
    const auto output = run(core, input);

    EXPECT_EQ(output["accepted_new_events"], 3);
    EXPECT_EQ(output["dropped_new_events"], 0);
    EXPECT_EQ(output["uploaded_events"], 5);
    EXPECT_FALSE(output.contains("last_error"));
    EXPECT_TRUE(output["queue"]["items"].empty());
    EXPECT_EQ(output["queue"]["consecutive_failures"], 0);
    EXPECT_EQ(output["queue"]["next_flush_at"], kNow + 21600);
    EXPECT_EQ(output["queue"]["install_id"], "I");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    std::vector<std::string> sent;
    for (const auto& upload : requests) {
        EXPECT_EQ(upload.path, "/v1/events");
        EXPECT_EQ(upload.headers.at("x-berthkeep-app-key"), "key");
        const auto body = json::parse(upload.body);
        EXPECT_LE(body["events"].size(), 2u);
        EXPECT_EQ(body["app_id"], "app");
        for (const auto& id : ids(body["events"])) {
            sent.push_back(id);
        }
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST(TelemetryCore, NothingIsSentBeforeTheNextFlushUnlessABatchIsFull) {
    test::TelemetryLoopbackServer server;
    CoreLibrary core;
    auto input = request(server.baseURL(), json::array({event("1")}), json::array({event("2")}));
    input["queue"]["next_flush_at"] = kNow + 100;
    auto output = run(core, input);
    EXPECT_EQ(output["uploaded_events"], 0);
    EXPECT_EQ(ids(output["queue"]["items"]), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(output["queue"]["next_flush_at"], kNow + 100);
    EXPECT_TRUE(server.requests().empty());

    input["config"]["batch_size"] = 2;
    output = run(core, input);
    EXPECT_EQ(output["uploaded_events"], 2);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(TelemetryCore, ConsentAndDuplicatesDecideWhatIsQueued) {
    CoreLibrary core;
    auto input =
        request("", json::array({event("1"), event("2", "anonymous_improvement")}),
                json::array({event("3", "anonymous_improvement"), event("1"), event("4")}), false);
    input["queue"]["next_flush_at"] = kNow + 100;
    const auto output = run(core, input);
    EXPECT_EQ(output["accepted_new_events"], 1);
    EXPECT_EQ(output["dropped_new_events"], 2);
    EXPECT_EQ(ids(output["queue"]["items"]), (std::vector<std::string>{"1", "4"}));
}

TEST(TelemetryCore, QueueStaysWithinItsLengthDroppingTheOldest) {
    CoreLibrary core;
    json newEvents = json::array();
    for (int index = 1; index <= 5; ++index) {
        newEvents.push_back(event(std::to_string(index)));
    }
    auto input = request("", json::array(), newEvents);
    input["config"]["max_queue_len"] = 3;
    input["queue"]["next_flush_at"] = kNow + 100;
    const auto output = run(core, input);
    EXPECT_EQ(ids(output["queue"]["items"]), (std::vector<std::string>{"3", "4", "5"}));
}

TEST(TelemetryCore, FailedUploadsBackOffAndKeepTheEvents) {
    test::TelemetryLoopbackServer server(500);
    CoreLibrary core;
    auto input = request(server.baseURL(), json::array({event("1")}));
    input["queue"]["consecutive_failures"] = 2;
    input["queue"]["next_flush_at"] = kNow - 1;
    const auto output = run(core, input);
    EXPECT_EQ(output["last_error"], "upload failed with HTTP status 500");
    EXPECT_EQ(output["uploaded_events"], 0);
    EXPECT_EQ(output["queue"]["consecutive_failures"], 3);
    EXPECT_EQ(output["queue"]["next_flush_at"], kNow + 240);
    EXPECT_EQ(ids(output["queue"]["items"]), std::vector<std::string>{"1"});

    // A success resets the count.
    server.setStatus(204);
    auto next = input;
    next["queue"] = output["queue"];
    next["now"] = kNow + 240;
    const auto retry = run(core, next);
    EXPECT_EQ(retry["uploaded_events"], 1);
    EXPECT_EQ(retry["queue"]["consecutive_failures"], 0);
}

TEST(TelemetryCore, UnreachableEndpointIsReportedNotThrown) {
    std::string closedURL;
    {
        test::TelemetryLoopbackServer server;
        closedURL = server.baseURL();
    }
    CoreLibrary core;
    const auto refused = run(core, request(closedURL, json::array({event("1")})));
    ASSERT_TRUE(refused.contains("last_error"));
    EXPECT_EQ(refused["last_error"].get<std::string>().rfind("upload failed: ", 0), 0u);
    EXPECT_EQ(refused["queue"]["consecutive_failures"], 1);
    EXPECT_EQ(refused["queue"]["items"].size(), 1u);
}

TEST(TelemetryCore, WithoutAnEndpointEventsWaitQuietlyWithinTheQueueBound) {
    CoreLibrary core;
    auto input = request("", json::array({event("1"), event("2")}));
    input["config"]["max_queue_len"] = 3;
    input["config"]["batch_size"] = 1;
    // Pass after pass, each one due: nothing is tried, so nothing fails or backs off.
    for (int pass = 3; pass <= 5; ++pass) {
        input["new_events"] = json::array({event(std::to_string(pass))});
        const auto output = run(core, input);
        EXPECT_FALSE(output.contains("last_error")) << output.dump();
        EXPECT_EQ(output["uploaded_events"], 0);
        EXPECT_EQ(output["queue"]["consecutive_failures"], 0);
        EXPECT_FALSE(output["queue"].contains("next_flush_at"));
        input["queue"] = output["queue"];
    }
    EXPECT_EQ(ids(input["queue"]["items"]), (std::vector<std::string>{"3", "4", "5"}));
}

TEST(TelemetryCore, PlainHTTPGoesOnlyToALoopbackAddress) {
    test::TelemetryLoopbackServer server;
    const auto port = server.baseURL().substr(server.baseURL().rfind(':'));
    std::string closedHTTPS;
    {
        test::TelemetryLoopbackServer closed;
        closedHTTPS = "https://127.0.0.1" + closed.baseURL().substr(closed.baseURL().rfind(':'));
    }
    enum class Outcome { sent, refused, triedAndFailed };
    const std::pair<std::string, Outcome> rows[] = {
        {server.baseURL(), Outcome::sent},
        {"HTTP://localhost" + port + "//", Outcome::sent},
        {"http://127.0.0.1" + port + "/base", Outcome::sent},
        // Over TLS any host is fine; this one only has nothing listening.
        {closedHTTPS, Outcome::triedAndFailed},
        {"http://telemetry.example.com", Outcome::refused},
        {"http://10.0.0.1" + port, Outcome::refused},
        {"http://127.0.0.1.example.com" + port, Outcome::refused},
        {"http://localhost.example.com" + port, Outcome::refused},
        {"http://0177.0.0.1" + port, Outcome::refused},
        {"http://127.0.0.1" + port + "@example.com", Outcome::refused},
        {"http://example.com\\@127.0.0.1" + port, Outcome::refused},
        {"http://127.0.0.1" + port + "x", Outcome::refused},
        {"http://[::1" + port, Outcome::refused},
        {" http://127.0.0.1" + port, Outcome::refused},
        {"ftp://127.0.0.1" + port, Outcome::refused},
        {"file:///etc/passwd", Outcome::refused},
        {"127.0.0.1" + port, Outcome::refused},
        {"https://", Outcome::refused},
    };
    CoreLibrary core;
    std::size_t expectedRequests = 0;
    for (const auto& [baseURL, outcome] : rows) {
        SCOPED_TRACE(baseURL);
        const auto output = run(core, request(baseURL, json::array({event("1")})));
        const auto error = output.value("last_error", std::string());
        switch (outcome) {
        case Outcome::sent:
            ++expectedRequests;
            EXPECT_EQ(error, "");
            EXPECT_EQ(output["uploaded_events"], 1);
            break;
        case Outcome::refused:
            EXPECT_EQ(error.rfind("telemetry endpoint refused: ", 0), 0u) << error;
            EXPECT_EQ(output["queue"]["consecutive_failures"], 1);
            EXPECT_EQ(ids(output["queue"]["items"]), std::vector<std::string>{"1"});
            break;
        case Outcome::triedAndFailed:
            EXPECT_EQ(error.rfind("upload failed: ", 0), 0u) << error;
            break;
        }
        EXPECT_EQ(server.requests().size(), expectedRequests);
    }
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].path, "/base/v1/events");
    EXPECT_EQ(
        run(core, request("http://telemetry.example.com", json::array({event("1")})))["last_error"],
        "telemetry endpoint refused: plain http is allowed only to a loopback address, "
        "not \"telemetry.example.com\"; configure an https:// URL");
}

TEST(TelemetryCore, SlowServerStopsNewBatchesAtTheBudgetAndKeepsTheRest) {
    test::TelemetryLoopbackServer server;
    server.setResponseDelay(std::chrono::milliseconds(200));
    json items = json::array();
    for (int index = 1; index <= 6; ++index) {
        items.push_back(event(std::to_string(index)));
    }
    auto input = request(server.baseURL(), items);
    input["config"]["batch_size"] = 1;
    input["upload_budget_ms"] = 300;
    CoreLibrary core;
    const auto output = run(core, input);

    // Each upload takes at least 200 ms: one or two fit before the budget is spent.
    const auto uploaded = output["uploaded_events"].get<int>();
    EXPECT_GE(uploaded, 1);
    EXPECT_LE(uploaded, 2);
    EXPECT_FALSE(output.contains("last_error"));
    EXPECT_EQ(output["queue"]["consecutive_failures"], 0);
    EXPECT_EQ(output["queue"]["next_flush_at"], kNow);
    EXPECT_EQ(output["queue"]["items"].size(), 6u - static_cast<std::size_t>(uploaded));
    EXPECT_EQ(server.requests().size(), static_cast<std::size_t>(uploaded));

    // The next pass, with time to spare, sends the rest and nothing twice.
    server.setResponseDelay(std::chrono::milliseconds(0));
    auto next = input;
    next["queue"] = output["queue"];
    next["upload_budget_ms"] = 60'000;
    const auto rest = run(core, next);
    EXPECT_EQ(rest["uploaded_events"], 6 - uploaded);
    EXPECT_TRUE(rest["queue"]["items"].empty());
    std::vector<std::string> sent;
    for (const auto& upload : server.requests()) {
        for (const auto& id : ids(json::parse(upload.body)["events"])) {
            sent.push_back(id);
        }
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));

    auto negative = input;
    negative["upload_budget_ms"] = -1;
    EXPECT_EQ(core.take(core.processTelemetry(negative.dump().c_str())), std::nullopt);
    EXPECT_EQ(core.lastError(), "process telemetry failed: invalid telemetry request: "
                                "\"upload_budget_ms\" is negative");
}

TEST(TelemetryCore, InvalidRequestsFailWithAMessage) {
    CoreLibrary core;
    auto missingConsent = request("");
    missingConsent.erase("consent");
    auto badItem = request("", json::array({event("1", "Operational")}));
    auto badNow = request("");
    badNow["now"] = "soon";
    const std::pair<std::string, std::string> rows[] = {
        {"not json", "not JSON"},
        {"[]", "not an object"},
        {missingConsent.dump(), "missing \"consent\""},
        {badItem.dump(), "unknown event category Operational"},
        {badNow.dump(), "\"now\" is not an integer"},
    };
    for (const auto& [text, message] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(core.take(core.processTelemetry(text.c_str())), std::nullopt);
        const auto error = core.lastError();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->rfind("process telemetry failed: ", 0), 0u) << *error;
        EXPECT_NE(error->find(message), std::string::npos) << *error;
    }
    EXPECT_EQ(core.take(core.processTelemetry(nullptr)), std::nullopt);
    EXPECT_TRUE(core.lastError().has_value());
}

TEST(TelemetryCore, HelperRunsTheSamePass) {
    test::TelemetryLoopbackServer server;
    const auto result = runHelper({"process-telemetry"},
                                  request(server.baseURL(), json::array({event("1")})).dump());
    ASSERT_TRUE(result.succeeded()) << result.standardError;
    const auto output = json::parse(result.standardOutput);
    EXPECT_EQ(output["uploaded_events"], 1);
    EXPECT_EQ(server.requests().size(), 1u);

    const auto failed = runHelper({"process-telemetry"}, "{}");
    EXPECT_NE(failed.exitCode, 0);
    EXPECT_NE(failed.standardError.find("missing \"config\""), std::string::npos);
}

TEST(TelemetryCore, DeeplyNestedPayloadsAreRefusedWithoutTakingTheCallerDown) {
    // 100,000 levels (200 KB) in an event's payload, new or queued: a recursive copy of
    // that tree overflows any stack.
    const std::string marker = R"("payload":"deep")";
    auto deepEvent = event("1");
    deepEvent["payload"] = "deep";
    const auto withDeepPayload = [&](const json& input) {
        std::string text = input.dump();
        text.replace(text.find(marker), marker.size(),
                     R"("payload":{"k":)" + test::nestedJsonArrays(100'000) + "}");
        return text;
    };
    const std::string requests[] = {
        withDeepPayload(request("", json::array(), json::array({deepEvent}))),
        withDeepPayload(request("", json::array({deepEvent}))),
    };
    CoreLibrary core;
    for (const std::string& text : requests) {
        EXPECT_EQ(core.take(core.processTelemetry(text.c_str())), std::nullopt);
        EXPECT_NE(core.lastError().value_or("").find("nested deeper than 256 levels"),
                  std::string::npos);

        const auto helper = runHelper({"process-telemetry"}, text);
        EXPECT_EQ(helper.outcome, ProcessOutcome::exited);
        EXPECT_EQ(helper.exitCode, 1);
        EXPECT_EQ(helper.standardOutput, "");
        EXPECT_NE(helper.standardError.find("nested deeper than 256 levels"), std::string::npos)
            << helper.standardError;
    }

    // A payload nested a few levels is still an ordinary event.
    auto nested = event("2");
    nested["payload"] = json::parse(R"({"a":{"b":[1,[2,[3]]]}})");
    const auto output = run(core, request("", json::array(), json::array({nested})));
    EXPECT_EQ(output["accepted_new_events"], 1);
}

TEST(TelemetryCore, NeitherTheLibraryNorTheHelperLinksTheNetworkStack) {
    for (const char* artefact : {BERTHKEEP_CORE_LIBRARY_PATH, BERTHKEEP_CORE_BRIDGE_PATH}) {
        SCOPED_TRACE(artefact);
        ProcessRequest ldd;
        ldd.executablePath = "/usr/bin/ldd";
        ldd.arguments = {artefact};
        ldd.timeout = std::chrono::seconds(20);
        const auto listed = runProcess(ldd);
        ASSERT_TRUE(listed.succeeded()) << listed.standardError;
        EXPECT_NE(listed.standardOutput.find("libc.so"), std::string::npos);
        EXPECT_EQ(listed.standardOutput.find("libcurl"), std::string::npos)
            << listed.standardOutput;
    }
}

TEST(TelemetryCore, UnusableLibcurlIsAnUploadErrorNotACrash) {
    test::TelemetryLoopbackServer server;
    const std::pair<std::string, std::string> rows[] = {
        {"libberthkeep-absent-curl.so.4", "cannot load libberthkeep-absent-curl.so.4"},
        // Loads, but holds none of the functions.
        {"libc.so.6", "libc.so.6 lacks curl_global_init"},
        {"/usr/lib/x86_64-linux-gnu/libcurl.so.4", "is a path, not a library name"},
    };
    for (const auto& [name, reason] : rows) {
        SCOPED_TRACE(name);
        const auto result = runHelper({"process-telemetry"},
                                      request(server.baseURL(), json::array({event("1")})).dump(),
                                      {{"BERTHKEEP_CORE_CURL_LIBRARY", name}});
        ASSERT_TRUE(result.succeeded()) << result.standardError;
        const auto output = json::parse(result.standardOutput);
        const auto error = output.value("last_error", std::string());
        EXPECT_EQ(error.rfind("upload failed: libcurl is unavailable: ", 0), 0u) << error;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(output["queue"]["consecutive_failures"], 1);
        EXPECT_EQ(ids(output["queue"]["items"]), std::vector<std::string>{"1"});
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST(TelemetryCore, LoopbackUploadBypassesAConfiguredProxy) {
    test::TelemetryLoopbackServer server;
    test::TelemetryLoopbackServer proxy;
    const auto result = runHelper(
        {"process-telemetry"}, request(server.baseURL(), json::array({event("1")})).dump(),
        {{"http_proxy", proxy.baseURL()}, {"HTTP_PROXY", proxy.baseURL()}, {"no_proxy", ""}});
    ASSERT_TRUE(result.succeeded()) << result.standardError;
    EXPECT_EQ(json::parse(result.standardOutput)["uploaded_events"], 1);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(proxy.requests().empty());
}
