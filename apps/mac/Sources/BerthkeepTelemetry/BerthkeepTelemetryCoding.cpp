#include "BerthkeepTelemetry/BerthkeepTelemetryCoding.hpp"

#include "Berthkeep/Domain/BoundedJson.hpp"

#include <cctype>
#include <limits>

namespace berthkeep::BerthkeepTelemetryCoding {

using nlohmann::json;

namespace {

[[noreturn]] void fail(const std::string& message) {
    throw BerthkeepTelemetryDecodingError(message);
}

const json& requireObject(const json& value, const char* what) {
    if (!value.is_object()) {
        fail(std::string("expected an object for ") + what);
    }
    return value;
}

const json& member(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end()) {
        fail(std::string("missing key \"") + key + "\"");
    }
    return *found;
}

const json* optionalMember(const json& object, const char* key) {
    const auto found = object.find(key);
    // An explicit null reads like an absent value, as optional fields do.
    if (found == object.end() || found->is_null()) {
        return nullptr;
    }
    return &*found;
}

std::string stringValue(const json& value, const char* key) {
    if (!value.is_string()) {
        fail(std::string("expected a string for \"") + key + "\"");
    }
    return value.get<std::string>();
}

bool boolValue(const json& value, const char* key) {
    if (!value.is_boolean()) {
        fail(std::string("expected a Boolean for \"") + key + "\"");
    }
    return value.get<bool>();
}

template <typename Integer> Integer integerValue(const json& value, const char* key) {
    const auto outOfRange = [key] {
        fail(std::string("integer out of range for \"") + key + "\"");
    };
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<Integer>::max())) {
            outOfRange();
        }
        return static_cast<Integer>(number);
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if constexpr (std::is_signed_v<Integer>) {
            if (number < static_cast<std::int64_t>(std::numeric_limits<Integer>::min()) ||
                number > static_cast<std::int64_t>(std::numeric_limits<Integer>::max())) {
                outOfRange();
            }
        } else if (number < 0) {
            outOfRange();
        }
        return static_cast<Integer>(number);
    }
    fail(std::string("expected an integer for \"") + key + "\"");
}

std::string requiredString(const json& object, const char* key) {
    return stringValue(member(object, key), key);
}

template <typename Integer> Integer requiredInteger(const json& object, const char* key) {
    return integerValue<Integer>(member(object, key), key);
}

} // namespace

json encode(const BerthkeepTelemetryConfiguration& config) {
    json out = json::object();
    out["apiBaseUrl"] = config.apiBaseURL;
    out["appId"] = config.appID;
    out["appKey"] = config.appKey;
    out["flushIntervalSeconds"] = config.flushIntervalSeconds;
    out["maxQueueLen"] = config.maxQueueLength;
    out["batchSize"] = config.batchSize;
    return out;
}

json encode(const BerthkeepTelemetryConsent& consent) {
    json out = json::object();
    out["anonymousImprovementEnabled"] = consent.anonymousImprovementEnabled;
    return out;
}

json encode(const BerthkeepTelemetryEvent& event) {
    json out = json::object();
    out["eventId"] = event.eventID;
    out["name"] = event.name;
    out["category"] = toString(event.category);
    out["occurredAt"] = event.occurredAt;
    out["installId"] = event.installID;
    out["sessionId"] = event.sessionID;
    out["appVersion"] = event.appVersion;
    out["macosMajorVersion"] = event.macOSMajorVersion;
    json payload = json::object();
    for (const auto& [key, value] : event.payload) {
        payload[key] = value;
    }
    out["payload"] = std::move(payload);
    return out;
}

json encode(const BerthkeepTelemetryQueue& queue) {
    json out = json::object();
    if (queue.installID) {
        out["installId"] = *queue.installID;
    }
    if (queue.sessionID) {
        out["sessionId"] = *queue.sessionID;
    }
    if (queue.nextFlushAt) {
        out["nextFlushAt"] = *queue.nextFlushAt;
    }
    out["consecutiveFailures"] = queue.consecutiveFailures;
    json items = json::array();
    for (const auto& event : queue.items) {
        items.push_back(encode(event));
    }
    out["items"] = std::move(items);
    return out;
}

json encode(const BerthkeepTelemetryInput& input) {
    json out = json::object();
    out["config"] = encode(input.config);
    out["consent"] = encode(input.consent);
    out["queue"] = encode(input.queue);
    json events = json::array();
    for (const auto& event : input.newEvents) {
        events.push_back(encode(event));
    }
    out["newEvents"] = std::move(events);
    out["now"] = input.now;
    return out;
}

json encode(const BerthkeepTelemetryOutput& output) {
    json out = json::object();
    out["queue"] = encode(output.queue);
    out["acceptedNewEvents"] = output.acceptedNewEvents;
    out["droppedNewEvents"] = output.droppedNewEvents;
    out["uploadedEvents"] = output.uploadedEvents;
    if (output.lastError) {
        out["lastError"] = *output.lastError;
    }
    return out;
}

BerthkeepTelemetryCategory decodeCategory(const json& value) {
    const auto text = stringValue(value, "category");
    const auto category = decodeBerthkeepTelemetryCategory(text);
    if (!category) {
        fail("Unknown telemetry category " + text);
    }
    return *category;
}

BerthkeepTelemetryConfiguration decodeConfiguration(const json& value) {
    const auto& object = requireObject(value, "the configuration");
    BerthkeepTelemetryConfiguration config;
    config.apiBaseURL = requiredString(object, "apiBaseUrl");
    config.appID = requiredString(object, "appId");
    config.appKey = requiredString(object, "appKey");
    config.flushIntervalSeconds = requiredInteger<std::int64_t>(object, "flushIntervalSeconds");
    config.maxQueueLength = requiredInteger<std::int64_t>(object, "maxQueueLen");
    config.batchSize = requiredInteger<std::int64_t>(object, "batchSize");
    return config;
}

BerthkeepTelemetryConsent decodeConsent(const json& value) {
    const auto& object = requireObject(value, "the consent");
    return BerthkeepTelemetryConsent{
        boolValue(member(object, "anonymousImprovementEnabled"), "anonymousImprovementEnabled")};
}

BerthkeepTelemetryEvent decodeEvent(const json& value) {
    const auto& object = requireObject(value, "an event");
    BerthkeepTelemetryEvent event;
    event.name = requiredString(object, "name");
    event.category = decodeCategory(member(object, "category"));
    event.occurredAt = requiredInteger<std::int64_t>(object, "occurredAt");
    event.installID = requiredString(object, "installId");
    event.sessionID = requiredString(object, "sessionId");
    event.appVersion = requiredString(object, "appVersion");
    event.macOSMajorVersion = requiredInteger<int>(object, "macosMajorVersion");
    const auto& payload = requireObject(member(object, "payload"), "the payload");
    for (const auto& [key, entry] : payload.items()) {
        event.payload[key] = stringValue(entry, "payload");
    }
    if (const auto* eventID = optionalMember(object, "eventId")) {
        event.eventID = stringValue(*eventID, "eventId");
    } else {
        event.eventID =
            BerthkeepTelemetryEvent::legacyEventID(event.name, event.category, event.occurredAt,
                                                   event.installID, event.sessionID, event.payload);
    }
    return event;
}

BerthkeepTelemetryQueue decodeQueue(const json& value) {
    const auto& object = requireObject(value, "the queue");
    BerthkeepTelemetryQueue queue;
    if (const auto* installID = optionalMember(object, "installId")) {
        queue.installID = stringValue(*installID, "installId");
    }
    if (const auto* sessionID = optionalMember(object, "sessionId")) {
        queue.sessionID = stringValue(*sessionID, "sessionId");
    }
    if (const auto* nextFlushAt = optionalMember(object, "nextFlushAt")) {
        queue.nextFlushAt = integerValue<std::int64_t>(*nextFlushAt, "nextFlushAt");
    }
    queue.consecutiveFailures = requiredInteger<std::uint32_t>(object, "consecutiveFailures");
    const auto& items = member(object, "items");
    if (!items.is_array()) {
        fail("expected an array for \"items\"");
    }
    for (const auto& item : items) {
        queue.items.push_back(decodeEvent(item));
    }
    return queue;
}

BerthkeepTelemetryInput decodeInput(const json& value) {
    const auto& object = requireObject(value, "the input");
    BerthkeepTelemetryInput input;
    input.config = decodeConfiguration(member(object, "config"));
    input.consent = decodeConsent(member(object, "consent"));
    input.queue = decodeQueue(member(object, "queue"));
    const auto& events = member(object, "newEvents");
    if (!events.is_array()) {
        fail("expected an array for \"newEvents\"");
    }
    for (const auto& event : events) {
        input.newEvents.push_back(decodeEvent(event));
    }
    input.now = requiredInteger<std::int64_t>(object, "now");
    return input;
}

BerthkeepTelemetryOutput decodeOutput(const json& value) {
    const auto& object = requireObject(value, "the output");
    BerthkeepTelemetryOutput output;
    output.queue = decodeQueue(member(object, "queue"));
    output.acceptedNewEvents = requiredInteger<std::int64_t>(object, "acceptedNewEvents");
    output.droppedNewEvents = requiredInteger<std::int64_t>(object, "droppedNewEvents");
    output.uploadedEvents = requiredInteger<std::int64_t>(object, "uploadedEvents");
    if (const auto* lastError = optionalMember(object, "lastError")) {
        output.lastError = stringValue(*lastError, "lastError");
    }
    return output;
}

std::string snakeCaseKey(std::string_view key) {
    // Word boundaries: before an upper-case letter that follows a lower-case one or a
    // digit, and before the last capital of a run that a lower-case letter follows
    // ("URLPath" -> "url_path").
    std::string out;
    const auto isUpper = [](char c) {
        return std::isupper(static_cast<unsigned char>(c)) != 0;
    };
    const auto isLower = [](char c) {
        return std::islower(static_cast<unsigned char>(c)) != 0;
    };
    const auto isDigit = [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    };
    for (std::size_t index = 0; index < key.size(); ++index) {
        const char c = key[index];
        if (isUpper(c) && index > 0) {
            const char previous = key[index - 1];
            const bool nextIsLower = index + 1 < key.size() && isLower(key[index + 1]);
            if (isLower(previous) || isDigit(previous) || (isUpper(previous) && nextIsLower)) {
                out += '_';
            }
        }
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string camelCaseKey(std::string_view key) {
    if (key.find('_') == std::string_view::npos) {
        return std::string(key);
    }
    // Leading and trailing underscores are kept; the words between are joined with
    // the first as it is and the others capitalised.
    const auto first = key.find_first_not_of('_');
    if (first == std::string_view::npos) {
        return std::string(key);
    }
    const auto last = key.find_last_not_of('_');
    std::string out(key.substr(0, first));
    const auto core = key.substr(first, last - first + 1);
    bool firstWord = true;
    std::size_t start = 0;
    while (start <= core.size()) {
        auto end = core.find('_', start);
        if (end == std::string_view::npos) {
            end = core.size();
        }
        const auto word = core.substr(start, end - start);
        if (!word.empty()) {
            if (firstWord) {
                out += word;
            } else {
                out += static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
                for (std::size_t index = 1; index < word.size(); ++index) {
                    out += static_cast<char>(std::tolower(static_cast<unsigned char>(word[index])));
                }
            }
            firstWord = false;
        }
        start = end + 1;
    }
    out += key.substr(last + 1);
    return out;
}

namespace {

template <typename Convert> json convertKeys(const json& value, Convert convert) {
    if (value.is_array()) {
        json out = json::array();
        for (const auto& element : value) {
            out.push_back(convertKeys(element, convert));
        }
        return out;
    }
    if (!value.is_object()) {
        return value;
    }
    json out = json::object();
    for (const auto& [key, element] : value.items()) {
        const auto converted = convert(key);
        if (converted == "payload" && element.is_object()) {
            out[converted] = element;
        } else {
            out[converted] = convertKeys(element, convert);
        }
    }
    return out;
}

} // namespace

json convertKeysToSnakeCase(const json& value) {
    return convertKeys(value, [](const std::string& key) { return snakeCaseKey(key); });
}

json convertKeysFromSnakeCase(const json& value) {
    return convertKeys(value, [](const std::string& key) { return camelCaseKey(key); });
}

std::string dumpCompact(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string dumpPretty(const json& value) {
    return value.dump(2, ' ', false, json::error_handler_t::replace);
}

json parse(std::string_view text) {
    try {
        return parseBoundedJson(text);
    } catch (const json::exception& error) {
        fail(std::string("not valid JSON: ") + error.what());
    }
}

} // namespace berthkeep::BerthkeepTelemetryCoding
