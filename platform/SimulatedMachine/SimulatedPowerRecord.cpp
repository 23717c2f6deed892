#include "platform/SimulatedMachine/SimulatedPowerRecord.hpp"

#include "Berthkeep/Domain/BoundedJson.hpp"

#include "platform/Power/SystemPowerManagement.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>

namespace berthkeep {

using nlohmann::json;

namespace {

bool contains(const std::vector<std::uint64_t>& list, std::uint64_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

void addOnce(std::vector<std::uint64_t>& list, std::uint64_t value) {
    if (!contains(list, value)) {
        list.push_back(value);
    }
}

void completeIfAnswered(SimulatedPowerDelivery& message, std::int64_t nowMs) {
    if (!message.completedAtMs && message.outstanding().empty()) {
        message.completedAtMs = nowMs;
    }
}

} // namespace

std::string toString(SimulatedPowerMessage message) {
    switch (message) {
    case SimulatedPowerMessage::canSleep:
        return "can-sleep";
    case SimulatedPowerMessage::willSleep:
        return "will-sleep";
    case SimulatedPowerMessage::hasPoweredOn:
        return "has-powered-on";
    }
    return "will-sleep";
}

std::optional<SimulatedPowerMessage> simulatedPowerMessageFromString(std::string_view text) {
    for (auto message : {SimulatedPowerMessage::canSleep, SimulatedPowerMessage::willSleep,
                         SimulatedPowerMessage::hasPoweredOn}) {
        if (toString(message) == text) {
            return message;
        }
    }
    return std::nullopt;
}

std::uint32_t systemPowerMessageType(SimulatedPowerMessage message) {
    switch (message) {
    case SimulatedPowerMessage::canSleep:
        return SystemPowerMessageType::canSystemSleep;
    case SimulatedPowerMessage::willSleep:
        return SystemPowerMessageType::systemWillSleep;
    case SimulatedPowerMessage::hasPoweredOn:
        return SystemPowerMessageType::systemHasPoweredOn;
    }
    return SystemPowerMessageType::systemWillSleep;
}

bool SimulatedPowerDelivery::answeredBy(std::uint64_t registration) const {
    return contains(needsAcknowledgement() ? acknowledged : delivered, registration);
}

std::vector<std::uint64_t> SimulatedPowerDelivery::outstanding() const {
    std::vector<std::uint64_t> result;
    for (auto recipient : recipients) {
        if (!answeredBy(recipient) && !contains(departed, recipient)) {
            result.push_back(recipient);
        }
    }
    return result;
}

bool SimulatedPowerDelivery::givenUp(std::int64_t nowMs) const {
    if (!giveUpAtMs) {
        return false;
    }
    return completedAtMs ? *completedAtMs > *giveUpAtMs : nowMs >= *giveUpAtMs;
}

SimulatedPowerDelivery* SimulatedPowerRecord::findMessage(std::int64_t notificationID) {
    for (auto& message : messages) {
        if (message.notificationID == notificationID) {
            return &message;
        }
    }
    return nullptr;
}

const SimulatedPowerDelivery* SimulatedPowerRecord::findMessage(std::int64_t notificationID) const {
    return const_cast<SimulatedPowerRecord*>(this)->findMessage(notificationID);
}

void SimulatedPowerRecord::forget(std::uint64_t registration, std::int64_t nowMs) {
    registrations.erase(std::remove_if(registrations.begin(), registrations.end(),
                                       [&](const SimulatedPowerRegistration& entry) {
                                           return entry.id == registration;
                                       }),
                        registrations.end());
    for (auto& message : messages) {
        if (contains(message.recipients, registration) && !message.answeredBy(registration)) {
            addOnce(message.departed, registration);
            completeIfAnswered(message, nowMs);
        }
    }
}

bool SimulatedPowerRecord::acknowledge(std::uint64_t registration, int pid,
                                       std::int64_t notificationID, std::int64_t nowMs) {
    SimulatedPowerDelivery* message = findMessage(notificationID);
    // Only a change this program still owes an answer for is released: an old or
    // foreign id, a repeat, or an answer after the machine gave up releases nothing.
    const bool released = message && message->needsAcknowledgement() &&
                          contains(message->outstanding(), registration) &&
                          !message->givenUp(nowMs);
    if (released) {
        message->acknowledged.push_back(registration);
        completeIfAnswered(*message, nowMs);
    }
    acknowledgements.push_back(
        SimulatedPowerAcknowledgement{registration, pid, notificationID, nowMs, released});
    trimHistory();
    return released;
}

void SimulatedPowerRecord::markDelivered(std::uint64_t registration, std::int64_t notificationID,
                                         std::int64_t nowMs) {
    if (SimulatedPowerDelivery* message = findMessage(notificationID)) {
        if (contains(message->recipients, registration)) {
            addOnce(message->delivered, registration);
            completeIfAnswered(*message, nowMs);
        }
    }
}

void SimulatedPowerRecord::trimHistory() {
    if (messages.size() > keptMessages) {
        messages.erase(messages.begin(), messages.end() - keptMessages);
    }
    if (acknowledgements.size() > keptAcknowledgements) {
        acknowledgements.erase(acknowledgements.begin(),
                               acknowledgements.end() - keptAcknowledgements);
    }
}

// ---- file format ------------------------------------------------------------

namespace {

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw SimulatedStateError("power file: " + where + ": " + what);
}

const json& required(const json& object, const char* key, const std::string& where) {
    auto it = object.find(key);
    if (it == object.end()) {
        fail(where, std::string("missing \"") + key + "\"");
    }
    return *it;
}

template <typename Number> Number number(const json& value, const std::string& where) {
    if (!value.is_number_integer()) {
        fail(where, "expected an integer");
    }
    if (value.is_number_unsigned()) {
        const auto raw = value.get<std::uint64_t>();
        if (raw > static_cast<std::uint64_t>(std::numeric_limits<Number>::max())) {
            fail(where, "integer out of range");
        }
        return static_cast<Number>(raw);
    }
    const auto raw = value.get<std::int64_t>();
    if (raw < static_cast<std::int64_t>(std::numeric_limits<Number>::min()) ||
        (raw > 0 && static_cast<std::uint64_t>(raw) >
                        static_cast<std::uint64_t>(std::numeric_limits<Number>::max()))) {
        fail(where, "integer out of range");
    }
    return static_cast<Number>(raw);
}

template <typename Number>
Number requiredNumber(const json& object, const char* key, const std::string& where) {
    return number<Number>(required(object, key, where), where + "." + key);
}

template <typename Number>
std::optional<Number> optionalNumber(const json& object, const char* key,
                                     const std::string& where) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    return number<Number>(*it, where + "." + key);
}

const json& requiredArray(const json& object, const char* key, const std::string& where) {
    const json& value = required(object, key, where);
    if (!value.is_array()) {
        fail(where + "." + key, "expected an array");
    }
    return value;
}

std::vector<std::uint64_t> idList(const json& object, const char* key, const std::string& where) {
    std::vector<std::uint64_t> ids;
    const json& list = requiredArray(object, key, where);
    for (std::size_t i = 0; i < list.size(); ++i) {
        ids.push_back(
            number<std::uint64_t>(list[i], where + "." + key + "[" + std::to_string(i) + "]"));
    }
    return ids;
}

void requireObject(const json& value, const std::string& where) {
    if (!value.is_object()) {
        fail(where, "expected an object");
    }
}

SimulatedPowerDelivery parseDelivery(const json& value, const std::string& where) {
    requireObject(value, where);
    SimulatedPowerDelivery message;
    message.notificationID = requiredNumber<std::int64_t>(value, "notificationID", where);
    const json& name = required(value, "message", where);
    const auto kind =
        name.is_string() ? simulatedPowerMessageFromString(name.get<std::string>()) : std::nullopt;
    if (!kind) {
        fail(where + ".message", "expected can-sleep, will-sleep or has-powered-on");
    }
    message.message = *kind;
    message.sentAtMs = requiredNumber<std::int64_t>(value, "sentAtMs", where);
    message.giveUpAtMs = optionalNumber<std::int64_t>(value, "giveUpAtMs", where);
    message.recipients = idList(value, "recipients", where);
    message.delivered = idList(value, "delivered", where);
    message.acknowledged = idList(value, "acknowledged", where);
    message.departed = idList(value, "departed", where);
    message.completedAtMs = optionalNumber<std::int64_t>(value, "completedAtMs", where);
    return message;
}

json optionalJson(const std::optional<std::int64_t>& value) {
    return value ? json(*value) : json(nullptr);
}

} // namespace

SimulatedPowerRecord parseSimulatedPowerRecord(std::string_view text) {
    const json root = parseBoundedJsonOrDiscarded(text);
    if (root.is_discarded()) {
        fail("top level", "not valid JSON");
    }
    requireObject(root, "top level");
    if (requiredNumber<int>(root, "version", "top level") != SimulatedPowerRecord::currentVersion) {
        fail("version", "unsupported version");
    }
    SimulatedPowerRecord record;
    record.nextRegistration = requiredNumber<std::uint64_t>(root, "nextRegistration", "top level");
    record.nextNotificationID =
        requiredNumber<std::int64_t>(root, "nextNotificationID", "top level");
    const json& registrations = requiredArray(root, "registrations", "top level");
    for (std::size_t i = 0; i < registrations.size(); ++i) {
        const std::string where = "registrations[" + std::to_string(i) + "]";
        requireObject(registrations[i], where);
        record.registrations.push_back(
            SimulatedPowerRegistration{requiredNumber<std::uint64_t>(registrations[i], "id", where),
                                       requiredNumber<int>(registrations[i], "pid", where)});
    }
    const json& messages = requiredArray(root, "messages", "top level");
    for (std::size_t i = 0; i < messages.size(); ++i) {
        record.messages.push_back(
            parseDelivery(messages[i], "messages[" + std::to_string(i) + "]"));
    }
    const json& acknowledgements = requiredArray(root, "acknowledgements", "top level");
    for (std::size_t i = 0; i < acknowledgements.size(); ++i) {
        const std::string where = "acknowledgements[" + std::to_string(i) + "]";
        const json& entry = acknowledgements[i];
        requireObject(entry, where);
        const json& released = required(entry, "released", where);
        if (!released.is_boolean()) {
            fail(where + ".released", "expected true or false");
        }
        record.acknowledgements.push_back(SimulatedPowerAcknowledgement{
            requiredNumber<std::uint64_t>(entry, "registration", where),
            requiredNumber<int>(entry, "pid", where),
            requiredNumber<std::int64_t>(entry, "notificationID", where),
            requiredNumber<std::int64_t>(entry, "atMs", where), released.get<bool>()});
    }
    return record;
}

std::string serializeSimulatedPowerRecord(const SimulatedPowerRecord& record) {
    json root = json::object();
    root["version"] = SimulatedPowerRecord::currentVersion;
    root["nextRegistration"] = record.nextRegistration;
    root["nextNotificationID"] = record.nextNotificationID;
    json registrations = json::array();
    for (const auto& entry : record.registrations) {
        registrations.push_back({{"id", entry.id}, {"pid", entry.pid}});
    }
    root["registrations"] = std::move(registrations);
    json messages = json::array();
    for (const auto& message : record.messages) {
        messages.push_back({{"notificationID", message.notificationID},
                            {"message", toString(message.message)},
                            {"sentAtMs", message.sentAtMs},
                            {"giveUpAtMs", optionalJson(message.giveUpAtMs)},
                            {"recipients", message.recipients},
                            {"delivered", message.delivered},
                            {"acknowledged", message.acknowledged},
                            {"departed", message.departed},
                            {"completedAtMs", optionalJson(message.completedAtMs)}});
    }
    root["messages"] = std::move(messages);
    json acknowledgements = json::array();
    for (const auto& entry : record.acknowledgements) {
        acknowledgements.push_back({{"registration", entry.registration},
                                    {"pid", entry.pid},
                                    {"notificationID", entry.notificationID},
                                    {"atMs", entry.atMs},
                                    {"released", entry.released}});
    }
    root["acknowledgements"] = std::move(acknowledgements);
    return root.dump(2) + "\n";
}

} // namespace berthkeep
