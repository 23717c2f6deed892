#include <gtest/gtest.h>

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryCoding.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridge.hpp"
#include "DeepJson.hpp"

using namespace berthkeep;
using nlohmann::json;
namespace coding = BerthkeepTelemetryCoding;

namespace {

json legacyEventJSON() {
    return json::parse(R"({"name":"full_monitoring_toggled","category":"anonymous_improvement",
        "occurredAt":1700000000,"installId":"I","sessionId":"S","appVersion":"1.0",
        "macosMajorVersion":12,"payload":{"enabled":"true"}})");
}

BerthkeepTelemetryEvent sampleEvent() {
    BerthkeepTelemetryEvent event;
    event.eventID = "E1";
    event.name = "app_started";
    event.category = BerthkeepTelemetryCategory::operational;
    event.occurredAt = 1700000001;
    event.installID = "I";
    event.sessionID = "S";
    event.appVersion = "dev";
    event.macOSMajorVersion = 12;
    event.payload = {{"Camel_Key", "v"}};
    return event;
}

} // namespace

TEST(TelemetryRecords, StableHashMatchesKnownValues) {
    EXPECT_EQ(BerthkeepTelemetryEvent::stableHash(""), "cbf29ce484222325");
    EXPECT_EQ(BerthkeepTelemetryEvent::stableHash("enabled=true"), "9de457c4714f6b01");
}

TEST(TelemetryRecords, StableHashWritesNoLeadingZeros) {
    // Search for an input whose hash is below 2^60 (one in sixteen).
    for (int index = 0; index < 1000; ++index) {
        const auto text = "k" + std::to_string(index);
        const auto hash = BerthkeepTelemetryEvent::stableHash(text);
        if (hash.size() < 16) {
            EXPECT_NE(hash.front(), '0');
            return;
        }
    }
    FAIL() << "no short hash found";
}

TEST(TelemetryRecords, EventWithoutIdentifierGetsTheLegacyIdentifier) {
    const auto event = coding::decodeEvent(legacyEventJSON());
    EXPECT_EQ(event.eventID,
              "I:S:1700000000:anonymous_improvement:full_monitoring_toggled:9de457c4714f6b01");
    EXPECT_EQ(coding::decodeEvent(legacyEventJSON()).eventID, event.eventID);
}

TEST(TelemetryRecords, LegacyIdentifierIgnoresPayloadKeyOrder) {
    auto first = legacyEventJSON();
    first["payload"] = json::parse(R"({"b":"2","a":"1"})");
    const auto id = coding::decodeEvent(first).eventID;
    EXPECT_EQ(id, BerthkeepTelemetryEvent::legacyEventID(
                      "full_monitoring_toggled", BerthkeepTelemetryCategory::anonymousImprovement,
                      1700000000, "I", "S", {{"a", "1"}, {"b", "2"}}));
    EXPECT_NE(id.find(BerthkeepTelemetryEvent::stableHash("a=1&b=2")), std::string::npos);
}

TEST(TelemetryRecords, PresentEventIdentifierIsKept) {
    auto value = legacyEventJSON();
    value["eventId"] = "ABC";
    EXPECT_EQ(coding::decodeEvent(value).eventID, "ABC");
}

TEST(TelemetryRecords, CategoryDecoding) {
    auto value = legacyEventJSON();
    value["category"] = "anonymousImprovement";
    const auto event = coding::decodeEvent(value);
    EXPECT_EQ(event.category, BerthkeepTelemetryCategory::anonymousImprovement);
    EXPECT_EQ(coding::encode(event)["category"], "anonymous_improvement");

    for (const char* bad : {"Operational", "ANONYMOUS_IMPROVEMENT", ""}) {
        value["category"] = bad;
        try {
            coding::decodeEvent(value);
            ADD_FAILURE() << "decoded category " << bad;
        } catch (const BerthkeepTelemetryDecodingError& error) {
            EXPECT_EQ(std::string(error.what()), std::string("Unknown telemetry category ") + bad);
        }
    }
    EXPECT_EQ(berthkeepTelemetryCategoryFromString("anonymousImprovement"), std::nullopt);
}

TEST(TelemetryRecords, QueueOptionalAndRequiredKeys) {
    const auto queue = coding::decodeQueue(json::parse(R"({"consecutiveFailures":3,"items":[]})"));
    EXPECT_EQ(queue.installID, std::nullopt);
    EXPECT_EQ(queue.sessionID, std::nullopt);
    EXPECT_EQ(queue.nextFlushAt, std::nullopt);
    EXPECT_EQ(queue.consecutiveFailures, 3u);

    EXPECT_THROW(coding::decodeQueue(json::parse(R"({"items":[]})")),
                 BerthkeepTelemetryDecodingError);
    EXPECT_THROW(coding::decodeQueue(json::parse(R"({"consecutiveFailures":0})")),
                 BerthkeepTelemetryDecodingError);
    EXPECT_THROW(coding::decodeQueue(json::parse(R"({"consecutiveFailures":-1,"items":[]})")),
                 BerthkeepTelemetryDecodingError);
    EXPECT_THROW(coding::decodeQueue(json::parse(R"({"consecutiveFailures":"0","items":[]})")),
                 BerthkeepTelemetryDecodingError);

    const auto encoded = coding::encode(queue);
    EXPECT_FALSE(encoded.contains("installId"));
    EXPECT_FALSE(encoded.contains("nextFlushAt"));
}

TEST(TelemetryRecords, OneBadItemFailsTheWholeQueue) {
    auto item = legacyEventJSON();
    item["category"] = "Operational";
    json queue = {{"consecutiveFailures", 0}, {"items", json::array({legacyEventJSON(), item})}};
    EXPECT_THROW(coding::decodeQueue(queue), BerthkeepTelemetryDecodingError);
}

TEST(TelemetryRecords, RecordsRoundTrip) {
    BerthkeepTelemetryQueue queue;
    queue.installID = "I";
    queue.nextFlushAt = 42;
    queue.items = {sampleEvent()};
    EXPECT_EQ(coding::decodeQueue(coding::encode(queue)), queue);

    BerthkeepTelemetryInput input{BerthkeepTelemetryConfiguration::resolve({}, {}, "x", false),
                                  {true},
                                  queue,
                                  {sampleEvent()},
                                  99};
    EXPECT_EQ(coding::decodeInput(coding::encode(input)), input);
}

TEST(TelemetryRecords, OutputWithoutLastError) {
    const auto output = coding::decodeOutput(json::parse(
        R"({"queue":{"consecutiveFailures":0,"items":[]},"acceptedNewEvents":1,"droppedNewEvents":0,"uploadedEvents":2})"));
    EXPECT_EQ(output.lastError, std::nullopt);
    EXPECT_EQ(output.uploadedEvents, 2);
    EXPECT_FALSE(coding::encode(output).contains("lastError"));
}

TEST(TelemetryRecords, KeyConversions) {
    const std::pair<const char*, const char*> rows[] = {
        {"apiBaseUrl", "api_base_url"},
        {"appId", "app_id"},
        {"maxQueueLen", "max_queue_len"},
        {"macosMajorVersion", "macos_major_version"},
        {"anonymousImprovementEnabled", "anonymous_improvement_enabled"},
        {"newEvents", "new_events"},
        {"now", "now"},
    };
    for (const auto& [camel, snake] : rows) {
        EXPECT_EQ(coding::snakeCaseKey(camel), snake);
        EXPECT_EQ(coding::camelCaseKey(snake), camel);
    }
    EXPECT_EQ(coding::camelCaseKey("installId"), "installId");
}

TEST(TelemetryRecords, WireRequestUsesSnakeCaseAndKeepsPayloadKeys) {
    BerthkeepTelemetryInput input{BerthkeepTelemetryConfiguration::resolve({}, {}, "x", false),
                                  {false},
                                  {},
                                  {sampleEvent()},
                                  5};
    const auto wire = json::parse(RustBerthkeepTelemetryBridge::encodeRequest(input));
    EXPECT_TRUE(wire["config"].contains("api_base_url"));
    EXPECT_TRUE(wire["config"].contains("max_queue_len"));
    EXPECT_EQ(wire["consent"]["anonymous_improvement_enabled"], false);
    EXPECT_EQ(wire["queue"]["consecutive_failures"], 0);
    EXPECT_FALSE(wire["queue"].contains("install_id"));
    const auto& event = wire["new_events"][0];
    EXPECT_EQ(event["event_id"], "E1");
    EXPECT_EQ(event["macos_major_version"], 12);
    EXPECT_EQ(event["payload"], json::parse(R"({"Camel_Key":"v"})"));
    EXPECT_EQ(wire["now"], 5);
}

TEST(TelemetryRecords, WireResponseAcceptsSnakeAndCamelKeys) {
    const auto snake = RustBerthkeepTelemetryBridge::decodeResponse(
        R"({"queue":{"install_id":"I","consecutive_failures":1,"items":[{"event_id":"E","name":"n",
        "category":"anonymousImprovement","occurred_at":1,"install_id":"I","session_id":"S",
        "app_version":"v","macos_major_version":12,"payload":{"some_key":"x"}}]},
        "accepted_new_events":1,"dropped_new_events":0,"uploaded_events":0,"last_error":"boom"})");
    const auto camel = RustBerthkeepTelemetryBridge::decodeResponse(
        R"({"queue":{"installId":"I","consecutiveFailures":1,"items":[{"eventId":"E","name":"n",
        "category":"anonymous_improvement","occurredAt":1,"installId":"I","sessionId":"S",
        "appVersion":"v","macosMajorVersion":12,"payload":{"some_key":"x"}}]},
        "acceptedNewEvents":1,"droppedNewEvents":0,"uploadedEvents":0,"lastError":"boom"})");
    EXPECT_EQ(snake, camel);
    EXPECT_EQ(snake.queue.items.at(0).payload.at("some_key"), "x");
    EXPECT_EQ(snake.lastError, "boom");
}

TEST(TelemetryRecords, MalformedTextFailsToDecode) {
    const std::string nestedTooDeep = test::withNestedMember(
        R"({"queue":{"consecutive_failures":0,"items":[]},"accepted_new_events":0,)"
        R"("dropped_new_events":0,"uploaded_events":0})",
        kMaximumJsonNestingDepth);
    for (const char* text : {"", "{", "[]", "null", "{}", "not json", nestedTooDeep.c_str()}) {
        EXPECT_THROW(RustBerthkeepTelemetryBridge::decodeResponse(text),
                     BerthkeepTelemetryDecodingError)
            << text;
    }
}
