// The targeted-assist learning file as the store reads it when it is made, then
// the store's own use of the records (expiry and promotion) at a fixed time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "BerthkeepRustBridge/FileTargetedAssistLearningStore.hpp"
#include "FuzzScratchFolder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace berthkeep;
    using Store = FileTargetedAssistLearningStore;
    static const FuzzScratchFolder folder;
    static const std::string filePath = Store(std::nullopt, folder.path()).filePath();
    FuzzScratchFolder::write(filePath, data, size);

    // 2026-01-31T17:05:09Z
    const Store::Date now{std::chrono::seconds(1'769'879'109)};
    Store store(std::nullopt, folder.path(), [now] { return now; });
    (void)store.promotedIdentities();
    return 0;
}
