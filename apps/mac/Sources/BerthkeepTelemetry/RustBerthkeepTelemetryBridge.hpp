#pragma once

#include <memory>

#include "BerthkeepShared/BerthkeepFileManager.hpp"
#include "BerthkeepShared/BerthkeepProcessInfo.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryRecords.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryTransport.hpp"

namespace berthkeep {

class ProcessLog;

// Carries one processing pass to the core and back: the input as compact JSON
// with snake-case keys, the answer decoded with snake-case keys converted (so
// camel-case keys are accepted as well). No state; the transport is shared.
class RustBerthkeepTelemetryBridge {
public:
    // processLog: where an undecodable answer is reported; the shared one when null.
    explicit RustBerthkeepTelemetryBridge(
        std::shared_ptr<RustBerthkeepTelemetryTransport> transport,
        std::shared_ptr<ProcessLog> processLog = nullptr);

    // Synchronous on the caller's thread. Throws the transport's failure
    // unchanged, or invalidResponse for an answer that does not decode.
    BerthkeepTelemetryOutput process(const BerthkeepTelemetryInput& input) const;

    const std::shared_ptr<RustBerthkeepTelemetryTransport>& transport() const {
        return m_transport;
    }

    // The library when it loads, else the helper, else nothing. A library that
    // does not load is passed over without a log line.
    static std::shared_ptr<RustBerthkeepTelemetryTransport>
    makeDefaultTransport(const BerthkeepProcessInfo& processInfo,
                         const BerthkeepFileManager& fileManager);

    // The request text handed to the transport.
    static std::string encodeRequest(const BerthkeepTelemetryInput& input);
    // Throws BerthkeepTelemetryDecodingError.
    static BerthkeepTelemetryOutput decodeResponse(const std::string& bytes);

private:
    std::shared_ptr<RustBerthkeepTelemetryTransport> m_transport;
    std::shared_ptr<ProcessLog> m_processLog;
};

} // namespace berthkeep
