#include "TelemetryProcessing.hpp"

#include "TelemetryEndpoint.hpp"

#include "Berthkeep/Domain/BoundedJson.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

namespace berthkeep::core {

using nlohmann::json;

namespace {

constexpr std::int64_t kFirstBackoffSeconds = 60;
constexpr std::int64_t kLongestBackoffSeconds = 6 * 60 * 60;

[[noreturn]] void invalid(const std::string& message) {
    throw std::invalid_argument("invalid telemetry request: " + message);
}

const json& member(const json& object, const char* key, const char* where) {
    const auto found = object.find(key);
    if (found == object.end()) {
        invalid(std::string("missing \"") + key + "\" in " + where);
    }
    return *found;
}

const json& objectMember(const json& object, const char* key, const char* where) {
    const auto& value = member(object, key, where);
    if (!value.is_object()) {
        invalid(std::string("\"") + key + "\" is not an object");
    }
    return value;
}

std::string stringMember(const json& object, const char* key, const char* where) {
    const auto& value = member(object, key, where);
    if (!value.is_string()) {
        invalid(std::string("\"") + key + "\" is not a string");
    }
    return value.get<std::string>();
}

std::int64_t integerValue(const json& value, const char* key) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            invalid(std::string("\"") + key + "\" is out of range");
        }
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    invalid(std::string("\"") + key + "\" is not an integer");
}

std::int64_t integerMember(const json& object, const char* key, const char* where) {
    return integerValue(member(object, key, where), key);
}

std::optional<std::string> optionalString(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return std::nullopt;
    }
    if (!found->is_string()) {
        invalid(std::string("\"") + key + "\" is not a string");
    }
    return found->get<std::string>();
}

struct Event {
    json object;
    std::string id;
    bool anonymous = false;
};

// Checks what this pass relies on and writes the category in its one spelling.
Event readEvent(const json& value) {
    if (!value.is_object()) {
        invalid("an event is not an object");
    }
    Event event;
    event.object = value;
    event.id = stringMember(value, "event_id", "an event");
    stringMember(value, "name", "an event");
    const auto category = stringMember(value, "category", "an event");
    if (category == "anonymous_improvement" || category == "anonymousImprovement") {
        event.anonymous = true;
        event.object["category"] = "anonymous_improvement";
    } else if (category != "operational") {
        invalid("unknown event category " + category);
    }
    return event;
}

std::vector<Event> readEvents(const json& value, const char* key) {
    if (!value.is_array()) {
        invalid(std::string("\"") + key + "\" is not an array");
    }
    std::vector<Event> events;
    events.reserve(value.size());
    for (const auto& element : value) {
        events.push_back(readEvent(element));
    }
    return events;
}

std::int64_t backoffSeconds(std::uint32_t failures, std::int64_t flushInterval) {
    const std::int64_t ceiling =
        std::min(kLongestBackoffSeconds, std::max(kFirstBackoffSeconds, flushInterval));
    std::int64_t delay = kFirstBackoffSeconds;
    for (std::uint32_t step = 1; step < failures && delay < ceiling; ++step) {
        delay *= 2;
    }
    return std::min(delay, ceiling);
}

std::int64_t saturatingAdd(std::int64_t base, std::int64_t delta) {
    if (delta > 0 && base > std::numeric_limits<std::int64_t>::max() - delta) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return base + delta;
}

} // namespace

std::string processTelemetry(std::string_view requestText, TelemetryUploader& uploader,
                             std::chrono::milliseconds defaultUploadBudget) {
    const auto started = std::chrono::steady_clock::now();
    json request;
    try {
        request = parseBoundedJson(requestText);
    } catch (const json::exception& error) {
        invalid(std::string("not JSON (") + error.what() + ")");
    }
    if (!request.is_object()) {
        invalid("not an object");
    }

    const auto& config = objectMember(request, "config", "the request");
    const auto apiBaseURL = stringMember(config, "api_base_url", "config");
    const auto appID = stringMember(config, "app_id", "config");
    const auto appKey = stringMember(config, "app_key", "config");
    const auto flushInterval =
        std::max<std::int64_t>(integerMember(config, "flush_interval_seconds", "config"), 1);
    const auto maxQueueLength = integerMember(config, "max_queue_len", "config");
    const auto batchSize = std::max<std::int64_t>(integerMember(config, "batch_size", "config"), 1);

    const auto& consentObject = objectMember(request, "consent", "the request");
    const auto& consentValue = member(consentObject, "anonymous_improvement_enabled", "consent");
    if (!consentValue.is_boolean()) {
        invalid("\"anonymous_improvement_enabled\" is not a Boolean");
    }
    const bool consent = consentValue.get<bool>();

    const auto& queue = objectMember(request, "queue", "the request");
    auto installID = optionalString(queue, "install_id");
    auto sessionID = optionalString(queue, "session_id");
    std::optional<std::int64_t> nextFlushAt;
    if (const auto found = queue.find("next_flush_at"); found != queue.end() && !found->is_null()) {
        nextFlushAt = integerValue(*found, "next_flush_at");
    }
    const auto failuresValue = integerMember(queue, "consecutive_failures", "queue");
    if (failuresValue < 0 || failuresValue > std::numeric_limits<std::uint32_t>::max()) {
        invalid("\"consecutive_failures\" is out of range");
    }
    auto failures = static_cast<std::uint32_t>(failuresValue);
    auto items = readEvents(member(queue, "items", "queue"), "items");
    const auto newEvents = readEvents(member(request, "new_events", "the request"), "new_events");
    const auto now = integerMember(request, "now", "the request");
    auto uploadBudget = defaultUploadBudget;
    if (const auto found = request.find("upload_budget_ms"); found != request.end()) {
        const auto milliseconds = integerValue(*found, "upload_budget_ms");
        if (milliseconds < 0) {
            invalid("\"upload_budget_ms\" is negative");
        }
        uploadBudget = std::chrono::milliseconds(milliseconds);
    }

    // Consent withdrawn: nothing anonymous stays queued.
    if (!consent) {
        std::erase_if(items, [](const Event& event) { return event.anonymous; });
    }

    std::set<std::string> queuedIDs;
    for (const auto& item : items) {
        queuedIDs.insert(item.id);
    }
    std::int64_t accepted = 0;
    std::int64_t dropped = 0;
    for (const auto& event : newEvents) {
        if ((event.anonymous && !consent) || !queuedIDs.insert(event.id).second) {
            ++dropped;
            continue;
        }
        items.push_back(event);
        ++accepted;
    }

    // The identifiers stay with the queue once it has them; the first event queued
    // gives them otherwise.
    if (!items.empty()) {
        if (!installID) {
            installID = optionalString(items.front().object, "install_id");
        }
        if (!sessionID) {
            sessionID = optionalString(items.front().object, "session_id");
        }
    }

    if (maxQueueLength >= 0 && static_cast<std::int64_t>(items.size()) > maxQueueLength) {
        items.erase(items.begin(), items.end() - maxQueueLength);
    }

    std::int64_t uploaded = 0;
    std::optional<std::string> lastError;
    const bool fullBatch = failures == 0 && static_cast<std::int64_t>(items.size()) >= batchSize;
    const bool due = !items.empty() && (!nextFlushAt || now >= *nextFlushAt || fullBatch);
    // Without an endpoint the events wait quietly (within the queue bound) for one
    // to be configured: nothing is tried, so nothing failed.
    if (due && !apiBaseURL.empty()) {
        std::optional<TelemetryEndpoint> endpoint;
        try {
            endpoint = TelemetryEndpoint::fromBaseURL(apiBaseURL);
        } catch (const std::invalid_argument& refused) {
            lastError = refused.what();
        }
        bool outOfTime = false;
        while (endpoint && !lastError && !items.empty()) {
            // The first batch always goes, so every pass makes progress.
            if (uploaded > 0 && std::chrono::steady_clock::now() - started >= uploadBudget) {
                outOfTime = true;
                break;
            }
            const auto count =
                std::min<std::size_t>(items.size(), static_cast<std::size_t>(batchSize));
            json batch = json::array();
            for (std::size_t index = 0; index < count; ++index) {
                batch.push_back(items[index].object);
            }
            json body = json::object();
            body["app_id"] = appID;
            body["sent_at"] = now;
            body["install_id"] = installID ? json(*installID) : json(nullptr);
            body["session_id"] = sessionID ? json(*sessionID) : json(nullptr);
            body["events"] = std::move(batch);
            TelemetryUploader::Request upload{
                endpoint->url, appID, appKey,
                body.dump(-1, ' ', false, json::error_handler_t::replace), endpoint->plainLoopback};
            if (auto failure = uploader.upload(upload)) {
                lastError = std::move(failure);
                break;
            }
            items.erase(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(count));
            uploaded += static_cast<std::int64_t>(count);
        }
        if (lastError) {
            if (failures < std::numeric_limits<std::uint32_t>::max()) {
                ++failures;
            }
            nextFlushAt = saturatingAdd(now, backoffSeconds(failures, flushInterval));
        } else {
            failures = 0;
            // Cut short by the budget: the rest is due at the next pass.
            nextFlushAt = outOfTime ? now : saturatingAdd(now, flushInterval);
        }
    }

    json outQueue = json::object();
    if (installID) {
        outQueue["install_id"] = *installID;
    }
    if (sessionID) {
        outQueue["session_id"] = *sessionID;
    }
    if (nextFlushAt) {
        outQueue["next_flush_at"] = *nextFlushAt;
    }
    outQueue["consecutive_failures"] = failures;
    json outItems = json::array();
    for (auto& item : items) {
        outItems.push_back(std::move(item.object));
    }
    outQueue["items"] = std::move(outItems);

    json response = json::object();
    response["queue"] = std::move(outQueue);
    response["accepted_new_events"] = accepted;
    response["dropped_new_events"] = dropped;
    response["uploaded_events"] = uploaded;
    if (lastError) {
        response["last_error"] = *lastError;
    }
    return response.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace berthkeep::core
