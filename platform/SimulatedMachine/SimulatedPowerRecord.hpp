#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

enum class SimulatedPowerMessage { canSleep, willSleep, hasPoweredOn };

std::string toString(SimulatedPowerMessage message); // "can-sleep", ...
std::optional<SimulatedPowerMessage> simulatedPowerMessageFromString(std::string_view text);
// The message type a registered program receives.
std::uint32_t systemPowerMessageType(SimulatedPowerMessage message);

// A program registered for power messages. Its pid lets the machine forget it
// once it has ended.
struct SimulatedPowerRegistration {
    std::uint64_t id = 0;
    int pid = 0;

    bool operator==(const SimulatedPowerRegistration&) const = default;
};

// One message the machine sent, and how each registered program answered it.
// can-sleep and will-sleep are answered by acknowledging their notification id;
// has-powered-on needs no acknowledgement, so taking delivery answers it.
struct SimulatedPowerDelivery {
    std::int64_t notificationID = 0;
    SimulatedPowerMessage message = SimulatedPowerMessage::willSleep;
    std::int64_t sentAtMs = 0;
    // The machine stops waiting for answers at this time (will-sleep only).
    std::optional<std::int64_t> giveUpAtMs;
    std::vector<std::uint64_t> recipients;
    std::vector<std::uint64_t> delivered;
    std::vector<std::uint64_t> acknowledged;
    // Deregistered or ended before answering: no longer waited for.
    std::vector<std::uint64_t> departed;
    // When the last recipient answered or departed.
    std::optional<std::int64_t> completedAtMs;

    bool needsAcknowledgement() const { return message != SimulatedPowerMessage::hasPoweredOn; }
    bool answeredBy(std::uint64_t registration) const;
    // Recipients still to answer.
    std::vector<std::uint64_t> outstanding() const;
    // The machine gave up waiting: the give-up time passed before completion.
    bool givenUp(std::int64_t nowMs) const;

    bool operator==(const SimulatedPowerDelivery&) const = default;
};

// One acknowledgement as a program made it. It releases the power change only
// when its notification id is one this program still owed an answer for.
struct SimulatedPowerAcknowledgement {
    std::uint64_t registration = 0;
    int pid = 0;
    std::int64_t notificationID = 0;
    std::int64_t atMs = 0;
    bool released = false;

    bool operator==(const SimulatedPowerAcknowledgement&) const = default;
};

struct SimulatedPowerRecord {
    static constexpr int currentVersion = 1;
    // History kept, newest last.
    static constexpr std::size_t keptMessages = 64;
    static constexpr std::size_t keptAcknowledgements = 256;

    std::uint64_t nextRegistration = 1;
    std::int64_t nextNotificationID = 1;
    std::vector<SimulatedPowerRegistration> registrations;
    std::vector<SimulatedPowerDelivery> messages;
    std::vector<SimulatedPowerAcknowledgement> acknowledgements;

    SimulatedPowerDelivery* findMessage(std::int64_t notificationID);
    const SimulatedPowerDelivery* findMessage(std::int64_t notificationID) const;
    // Drops the program and stops waiting for its answers.
    void forget(std::uint64_t registration, std::int64_t nowMs);
    // Records an acknowledgement; true when it released a power change.
    bool acknowledge(std::uint64_t registration, int pid, std::int64_t notificationID,
                     std::int64_t nowMs);
    void markDelivered(std::uint64_t registration, std::int64_t notificationID, std::int64_t nowMs);
    void trimHistory();

    bool operator==(const SimulatedPowerRecord&) const = default;
};

// Pure: bytes of the power file to a record, or SimulatedStateError naming the
// offending field; and back.
SimulatedPowerRecord parseSimulatedPowerRecord(std::string_view json);
std::string serializeSimulatedPowerRecord(const SimulatedPowerRecord& record);

} // namespace berthkeep
