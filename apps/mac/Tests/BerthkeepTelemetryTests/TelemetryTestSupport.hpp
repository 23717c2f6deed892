#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "BerthkeepShared/BerthkeepLogSink.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryCoding.hpp"
#include "BerthkeepTelemetry/DynamicLibraryRustBerthkeepTelemetryTransport.hpp"
#include "BerthkeepTelemetry/MissingRustBerthkeepTelemetryTransport.hpp"
#include "BerthkeepTelemetry/ProcessRustBerthkeepTelemetryTransport.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridgeError.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryTransport.hpp"

namespace berthkeep::test {

class RecordingLogSink final : public BerthkeepLogSink {
public:
    void record(const BerthkeepLogEvent& event) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
    }
    std::vector<BerthkeepLogEvent> events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<BerthkeepLogEvent> named(const std::string& name) const {
        std::vector<BerthkeepLogEvent> out;
        for (const auto& event : events()) {
            if (event.name == name) {
                out.push_back(event);
            }
        }
        return out;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<BerthkeepLogEvent> m_events;
};

// Records every request (decoded back into the records) and answers with the
// responder's output; the default one queues the new events behind the queue.
class FakeTelemetryTransport final : public RustBerthkeepTelemetryTransport {
public:
    using Responder = std::function<std::string(const BerthkeepTelemetryInput&)>;

    explicit FakeTelemetryTransport(Responder responder = {})
        : m_responder(responder ? std::move(responder) : Responder(keepEverything)) {}

    std::string call(const std::string& standardInput) override {
        const auto input = BerthkeepTelemetryCoding::decodeInput(
            BerthkeepTelemetryCoding::convertKeysFromSnakeCase(
                nlohmann::json::parse(standardInput)));
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(input);
            m_rawRequests.push_back(standardInput);
        }
        return m_responder(input);
    }

    std::vector<BerthkeepTelemetryInput> requests() const {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    std::vector<std::string> rawRequests() const {
        std::lock_guard lock(m_mutex);
        return m_rawRequests;
    }

    static std::string respond(const BerthkeepTelemetryOutput& output) {
        return BerthkeepTelemetryCoding::convertKeysToSnakeCase(
                   BerthkeepTelemetryCoding::encode(output))
            .dump();
    }

    static BerthkeepTelemetryOutput keepEverythingOutput(const BerthkeepTelemetryInput& input) {
        BerthkeepTelemetryOutput output;
        output.queue = input.queue;
        output.queue.installID = "CORE-INSTALL";
        output.queue.sessionID = "CORE-SESSION";
        for (const auto& event : input.newEvents) {
            output.queue.items.push_back(event);
        }
        output.acceptedNewEvents = static_cast<std::int64_t>(input.newEvents.size());
        return output;
    }

    static std::string keepEverything(const BerthkeepTelemetryInput& input) {
        return respond(keepEverythingOutput(input));
    }

private:
    Responder m_responder;
    mutable std::mutex m_mutex;
    std::vector<BerthkeepTelemetryInput> m_requests;
    std::vector<std::string> m_rawRequests;
};

} // namespace berthkeep::test
