#include "BerthkeepRustBridge/DynamicLibraryRustBerthkeepCoreTransport.hpp"
#include "BerthkeepRustBridge/ProcessRustBerthkeepCoreTransport.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCoreBridge.hpp"
#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"

namespace berthkeep {

std::shared_ptr<RustBerthkeepCoreTransport>
RustBerthkeepCoreBridge::makeDefaultTransport(const BerthkeepProcessInfo& processInfo,
                                              const BerthkeepFileManager& fileManager) {
    if (const auto libraryURL =
            BerthkeepRustBridgeLocation::mainBundleLibraryURL(processInfo, fileManager)) {
        try {
            return std::make_shared<DynamicLibraryRustBerthkeepCoreTransport>(*libraryURL);
        } catch (...) {
            // A library that does not load, for whatever reason, leaves the helper as
            // the way to the core.
        }
    }
    if (const auto executableURL =
            BerthkeepRustBridgeLocation::mainBundleExecutableURL(processInfo, fileManager)) {
        return std::make_shared<ProcessRustBerthkeepCoreTransport>(*executableURL);
    }
    return nullptr;
}

} // namespace berthkeep
