#include "BerthkeepReliabilityHarness/LandingScreenshotSlot.hpp"

namespace berthkeep {

namespace {

struct SlotTexts {
    const char* raw;
    MenubarPreviewScenario scenario;
    const char* label;
    const char* headline;
    const char* note;
    const char* fileName;
};

const SlotTexts& texts(LandingScreenshotSlot slot) {
    static const std::array<SlotTexts, 4> table{{
        {"safe", MenubarPreviewScenario::safe, "Hero / safe card", "All managed drives safe",
         "Hero の主ビジュアル、および Current states の safe card", "menubar-safe.png"},
        {"attention", MenubarPreviewScenario::attention, "Exception card", "1 drive still in use",
         "Current states の exception card", "menubar-attention.png"},
        {"working", MenubarPreviewScenario::working, "Hero secondary / working card",
         "Preparing drives for sleep\u2026",
         "Hero の副ビジュアル、および Current states の working card", "menubar-working.png"},
        {"limitedProtection", MenubarPreviewScenario::limitedProtection, "Setup state section",
         "Limited protection", "Setup state section", "menubar-limited-protection.png"},
    }};
    return table[static_cast<std::size_t>(slot)];
}

} // namespace

std::string rawValue(LandingScreenshotSlot slot) {
    return texts(slot).raw;
}

std::optional<LandingScreenshotSlot> landingScreenshotSlotFromRawValue(std::string_view raw) {
    for (const LandingScreenshotSlot slot : allLandingScreenshotSlots) {
        if (raw == texts(slot).raw) {
            return slot;
        }
    }
    return std::nullopt;
}

MenubarPreviewScenario previewScenario(LandingScreenshotSlot slot) {
    return texts(slot).scenario;
}

std::string label(LandingScreenshotSlot slot) {
    return texts(slot).label;
}

std::string headline(LandingScreenshotSlot slot) {
    return texts(slot).headline;
}

std::string note(LandingScreenshotSlot slot) {
    return texts(slot).note;
}

std::string fileName(LandingScreenshotSlot slot) {
    return texts(slot).fileName;
}

std::vector<std::string> desiredContents(LandingScreenshotSlot slot) {
    switch (slot) {
    case LandingScreenshotSlot::safe:
        return {"headline と supporting copy が見える", "Last attempt が見える",
                "managed drive と excluded drive の両方が見える"};
    case LandingScreenshotSlot::attention:
        return {"busy な drive row が見える",
                "headline が warning ではなく exception として読める"};
    case LandingScreenshotSlot::working:
        return {"working copy が見える", "ejecting 中の drive row が見える"};
    case LandingScreenshotSlot::limitedProtection:
        return {"setup / protection の制約が読める",
                "Limited protection の headline と supporting copy が見える"};
    }
    return {};
}

} // namespace berthkeep
