#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridge.hpp"

#include <QString>

#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryCoding.hpp"
#include "BerthkeepTelemetry/DynamicLibraryRustBerthkeepTelemetryTransport.hpp"
#include "BerthkeepTelemetry/MissingRustBerthkeepTelemetryTransport.hpp"
#include "BerthkeepTelemetry/ProcessRustBerthkeepTelemetryTransport.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridgeError.hpp"
#include "platform/Log/ProcessLog.hpp"

namespace berthkeep {

RustBerthkeepTelemetryBridge::RustBerthkeepTelemetryBridge(
    std::shared_ptr<RustBerthkeepTelemetryTransport> transport,
    std::shared_ptr<ProcessLog> processLog)
    : m_transport(transport ? std::move(transport)
                            : std::make_shared<MissingRustBerthkeepTelemetryTransport>())
    , m_processLog(std::move(processLog)) {}

std::string RustBerthkeepTelemetryBridge::encodeRequest(const BerthkeepTelemetryInput& input) {
    return BerthkeepTelemetryCoding::dumpCompact(
        BerthkeepTelemetryCoding::convertKeysToSnakeCase(BerthkeepTelemetryCoding::encode(input)));
}

BerthkeepTelemetryOutput RustBerthkeepTelemetryBridge::decodeResponse(const std::string& bytes) {
    return BerthkeepTelemetryCoding::decodeOutput(
        BerthkeepTelemetryCoding::convertKeysFromSnakeCase(BerthkeepTelemetryCoding::parse(bytes)));
}

BerthkeepTelemetryOutput
RustBerthkeepTelemetryBridge::process(const BerthkeepTelemetryInput& input) const {
    const auto request = encodeRequest(input);
    const auto response = m_transport->call(request);
    try {
        return decodeResponse(response);
    } catch (const BerthkeepTelemetryDecodingError& error) {
        const auto log = m_processLog ? m_processLog : ProcessLog::shared();
        if (log) {
            const auto output =
                QString::fromUtf8(response.data(), static_cast<qsizetype>(response.size()))
                    .toStdString();
            log->write(std::string("Berthkeep telemetry bridge decode failed: ") + error.what() +
                       " | output=" + output);
        }
        throw RustBerthkeepTelemetryBridgeError::invalidResponse();
    }
}

std::shared_ptr<RustBerthkeepTelemetryTransport>
RustBerthkeepTelemetryBridge::makeDefaultTransport(const BerthkeepProcessInfo& processInfo,
                                                   const BerthkeepFileManager& fileManager) {
    if (const auto libraryURL =
            BerthkeepRustBridgeLocation::mainBundleLibraryURL(processInfo, fileManager)) {
        try {
            return std::make_shared<DynamicLibraryRustBerthkeepTelemetryTransport>(*libraryURL);
        } catch (const RustBerthkeepTelemetryBridgeError&) {
            // A library that does not load leaves the helper as the way to the core.
        }
    }
    if (const auto executableURL =
            BerthkeepRustBridgeLocation::mainBundleExecutableURL(processInfo, fileManager)) {
        return std::make_shared<ProcessRustBerthkeepTelemetryTransport>(*executableURL);
    }
    return nullptr;
}

} // namespace berthkeep
