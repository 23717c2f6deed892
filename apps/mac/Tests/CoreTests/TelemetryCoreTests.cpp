// The core library's telemetry pass, called through the built library and helper.
// Uploads go only to a loopback server inside the test.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CoreTestSupport.hpp"
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

TEST(TelemetryCore, UnreachableOrMissingEndpointIsReportedNotThrown) {
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

    const auto none = run(core, request("", json::array({event("1")})));
    EXPECT_EQ(none["last_error"], "no upload endpoint is configured");

    const auto other = run(core, request("file:///etc/passwd", json::array({event("1")})));
    ASSERT_TRUE(other.contains("last_error"));
    EXPECT_EQ(other["queue"]["items"].size(), 1u);
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
