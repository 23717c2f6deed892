// JSON the program reads back from the core library and its helper: the three
// decision bodies both ways and the activity monitor's snapshot. Every decoding
// failure must be one of the coding errors the callers catch, nothing else.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "Berthkeep/Domain/DomainCodingError.hpp"
#include "BerthkeepRustBridge/RustRecentActivityCodingError.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorCoding.hpp"
#include "BerthkeepRustBridge/Wire/WireCoding.hpp"

namespace {

template <typename Decode> void decodeExpectingOnlyCodingErrors(Decode decode) {
    try {
        decode();
    } catch (const berthkeep::DomainCodingError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace berthkeep;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    decodeExpectingOnlyCodingErrors([&] { (void)decodeWireStateEvaluationInput(text); });
    decodeExpectingOnlyCodingErrors([&] { (void)decodeWireStateEvaluationOutput(text); });
    decodeExpectingOnlyCodingErrors([&] { (void)decodeWireActionPlanningInput(text); });
    decodeExpectingOnlyCodingErrors([&] { (void)decodeWireActionPlan(text); });
    decodeExpectingOnlyCodingErrors([&] { (void)decodeWireActionSummaryInput(text); });
    decodeExpectingOnlyCodingErrors([&] { (void)decodeWireActionSummaryOutput(text); });

    // The snapshot reader parses first, as the usage provider does; its own
    // error covers the snapshot, the usage entries keep the domain's.
    const auto document = parseBoundedJsonOrDiscarded(text);
    if (!document.is_discarded()) {
        decodeExpectingOnlyCodingErrors([&] {
            try {
                (void)wireMonitorSnapshotFromJson(document);
            } catch (const RustRecentActivityCodingError&) {
            }
        });
    }
    return 0;
}
