// The telemetry queue file as the controller loads it, and the core's answer to
// a processing pass as the bridge decodes it. Only the documented errors may
// come out.

#include <cstddef>
#include <cstdint>
#include <string>

#include "BerthkeepTelemetry/BerthkeepTelemetryCoding.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryQueueStore.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridge.hpp"
#include "FuzzScratchFolder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace berthkeep;
    static const FuzzScratchFolder folder;
    static const FileBerthkeepTelemetryQueueStore store(std::nullopt, folder.path());
    FuzzScratchFolder::write(store.fileURL(), data, size);
    try {
        (void)store.load();
    } catch (const BerthkeepTelemetryQueueStoreError& error) {
        if (error.kind() != BerthkeepTelemetryQueueStoreError::Kind::undecodable) {
            __builtin_trap(); // the file is there and readable
        }
    }

    try {
        (void)RustBerthkeepTelemetryBridge::decodeResponse(
            std::string(reinterpret_cast<const char*>(data), size));
    } catch (const BerthkeepTelemetryDecodingError&) {
    }
    return 0;
}
