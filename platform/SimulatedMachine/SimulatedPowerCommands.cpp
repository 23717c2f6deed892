#include "platform/SimulatedMachine/SimulatedPowerCommands.hpp"

#include <cmath>
#include <cstdlib>
#include <optional>

namespace berthkeep {

namespace {

// A non-negative number of the given unit, written out in full.
double nonNegativeNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value < 0) {
        throw SimulatedCommandUsageError(option + " expects a number of at least 0, got \"" + text +
                                         "\"");
    }
    return value;
}

std::optional<std::string> takeOption(std::vector<std::string>& arguments,
                                      const std::string& option) {
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        if (*it == option) {
            if (it + 1 == arguments.end()) {
                throw SimulatedCommandUsageError("missing value for " + option);
            }
            std::string value = *(it + 1);
            arguments.erase(it, it + 2);
            return value;
        }
    }
    return std::nullopt;
}

std::chrono::milliseconds giveUpBound() {
    const char* text = std::getenv(SimulatedPowerFile::giveUpEnvironmentVariable);
    if (!text || !*text) {
        return SimulatedPowerFile::defaultGiveUpAfter;
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(
        nonNegativeNumber(SimulatedPowerFile::giveUpEnvironmentVariable, text)));
}

void rejectLeftovers(const std::vector<std::string>& arguments) {
    if (!arguments.empty()) {
        throw SimulatedCommandUsageError("unexpected argument \"" + arguments.front() + "\"");
    }
}

} // namespace

std::string simulatedPowerAnswerLine(SimulatedPowerMessage message,
                                     const SimulatedPowerFile::Answer& answer) {
    const char* acknowledged = answer.acknowledged ? "true" : "false";
    std::string line =
        "{\"message\":\"" + toString(message) + "\",\"acknowledged\":" + acknowledged;
    if (message == SimulatedPowerMessage::canSleep) {
        line += std::string(",\"allowed\":") + acknowledged;
    }
    return line + ",\"elapsed_ms\":" + std::to_string(answer.elapsed.count()) + "}";
}

int runSimulatedPowerCommand(const std::string& command, const std::vector<std::string>& arguments,
                             const SimulatedPowerFile& powerFile, std::ostream& out) {
    std::vector<std::string> rest = arguments;
    if (command == "sleep") {
        const auto pause = takeOption(rest, "--pause");
        rejectLeftovers(rest);
        const auto cycle =
            powerFile.runSleepCycle(std::chrono::milliseconds(static_cast<std::int64_t>(
                                        pause ? nonNegativeNumber("--pause", *pause) : 1000.0)),
                                    giveUpBound());
        out << simulatedPowerAnswerLine(SimulatedPowerMessage::willSleep, cycle.willSleep) << "\n"
            << simulatedPowerAnswerLine(SimulatedPowerMessage::hasPoweredOn, cycle.hasPoweredOn)
            << "\n";
        return cycle.willSleep.acknowledged && cycle.hasPoweredOn.acknowledged ? 0 : 1;
    }
    if (command != "power") {
        throw SimulatedCommandUsageError("unknown command \"" + command + "\"");
    }
    const auto wait = takeOption(rest, "--wait");
    if (rest.size() != 1) {
        throw SimulatedCommandUsageError(
            "power takes one message: can-sleep, will-sleep or has-powered-on");
    }
    const auto message = simulatedPowerMessageFromString(rest.front());
    if (!message) {
        throw SimulatedCommandUsageError("unknown power message \"" + rest.front() + "\"");
    }
    const double waitSeconds = wait ? nonNegativeNumber("--wait", *wait) : 0.0;
    const std::int64_t notificationID = powerFile.send(*message, giveUpBound());
    if (!wait) {
        return 0;
    }
    const auto answer = powerFile.waitForAnswers(
        notificationID, std::chrono::milliseconds(static_cast<std::int64_t>(waitSeconds * 1000)));
    out << simulatedPowerAnswerLine(*message, answer) << "\n";
    return answer.acknowledged ? 0 : 1;
}

} // namespace berthkeep
