#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Berthkeep/Drive/DriveUsageProviding.hpp"
#include "BerthkeepRustBridge/FileTargetedAssistLearningStore.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorConfig.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorSnapshot.hpp"
#include "BerthkeepShared/BerthkeepFileManager.hpp"
#include "BerthkeepShared/BerthkeepProcessInfo.hpp"

struct berthkeep_core_activity_monitor;

namespace berthkeep {

class UnifiedLog;

// The program's only way to the core library's activity monitor. Opens the
// library itself, creates one monitor (always in the core-only mode; the mode
// follows with each update), then per collection sends the complete set of drives
// to watch and reads the monitor's snapshot back, all as JSON over the C interface.
// It also feeds the targeted-assist learning store and sends its promoted
// identities back.
//
// No lock of its own: the collector calls it one probe at a time, from one
// background task. Every call blocks for as long as the library takes.
class RustDriveUsageProvider final : public DriveUsageProviding {
public:
    class Error : public std::exception {
    public:
        enum class Case {
            symbolMissing,
            dlopenFailed,
            createFailed,
            updateFailed,
            snapshotFailed,
            libraryNotFound,
            invalidSnapshot,
        };

        Error(Case errorCase, std::string text = {});

        static Error symbolMissing(std::string name) {
            return {Case::symbolMissing, std::move(name)};
        }
        static Error dlopenFailed(std::string text) {
            return {Case::dlopenFailed, std::move(text)};
        }
        static Error createFailed(std::string text) {
            return {Case::createFailed, std::move(text)};
        }
        static Error updateFailed(std::string text) {
            return {Case::updateFailed, std::move(text)};
        }
        static Error snapshotFailed(std::string text) {
            return {Case::snapshotFailed, std::move(text)};
        }
        static Error libraryNotFound() { return {Case::libraryNotFound}; }
        static Error invalidSnapshot() { return {Case::invalidSnapshot}; }

        Case errorCase() const { return m_case; }
        // The payload; empty for the cases without one.
        const std::string& text() const { return m_text; }
        // The case and its payload, e.g. updateFailed("activity monitor update failed").
        const char* what() const noexcept override { return m_description.c_str(); }

        bool operator==(const Error& other) const {
            return m_case == other.m_case && m_text == other.m_text;
        }

    private:
        Case m_case;
        std::string m_text;
        std::string m_description;
    };

    using AdaptiveTargetedAssistEnabledProvider = std::function<bool()>;

    static constexpr const char* updateInCoreOnlyModeText =
        "attempted to update activity monitor in core-only mode";

    // Throws Error (dlopenFailed, symbolMissing, createFailed, invalidSnapshot)
    // with the library closed again and no monitor left behind. Null arguments
    // take the defaults: the learning store in the Application Support folder of
    // the main bundle's identifier, the user default
    // "berthkeep.adaptiveTargetedAssistEnabled" (on when absent), the shared
    // unified log.
    explicit RustDriveUsageProvider(
        const std::string& libraryPath,
        std::shared_ptr<FileTargetedAssistLearningStore> targetedAssistLearningStore = nullptr,
        AdaptiveTargetedAssistEnabledProvider adaptiveTargetedAssistEnabledProvider = nullptr,
        std::shared_ptr<UnifiedLog> statfsDebugLog = nullptr);
    // Destroys the monitor, then closes the library.
    ~RustDriveUsageProvider() override;

    RustDriveUsageProvider(const RustDriveUsageProvider&) = delete;
    RustDriveUsageProvider& operator=(const RustDriveUsageProvider&) = delete;

    // The drive-usage factory the bootstrap installs: the bridge over the library
    // the standard search finds, or an unavailable source holding why not. Never
    // throws.
    static std::shared_ptr<DriveUsageProviding>
    makeDefault(const BerthkeepProcessInfo& processInfo, const BerthkeepFileManager& fileManager);

    // Refuses the core-only mode (updateFailed, nothing sent). Watches the
    // mounted managed drives among `drives`.
    void updateManagedVolumes(const std::vector<DetectedDrive>& drives,
                              ActivityDetectionMode mode) override;
    // Empty, without calling the library, until an update has passed its mode
    // check. Decoding errors pass through unchanged.
    std::map<std::string, DriveUsageSnapshot> usageSnapshotsByDriveID() override;

    ActivityDetectionMode configuredMode() const { return m_configuredMode; }

    // What create receives, whatever mode the program is in.
    static WireDriveUsageMonitorConfig monitorConfiguration();
    static std::shared_ptr<FileTargetedAssistLearningStore> defaultTargetedAssistLearningStore();
    static bool defaultAdaptiveTargetedAssistEnabled();

private:
    using CreateFunction = berthkeep_core_activity_monitor* (*)(const char*);
    using UpdateFunction = bool (*)(berthkeep_core_activity_monitor*, const char*);
    using SnapshotFunction = char* (*)(berthkeep_core_activity_monitor*);
    using DestroyFunction = void (*)(berthkeep_core_activity_monitor*);
    using LastErrorFunction = char* (*)();
    using FreeStringFunction = void (*)(char*);

    std::string lastErrorMessage(const char* fallback) const;
    void logStatfsSamples(const WireDriveUsageMonitorSnapshot& snapshot) const;

    berthkeep_core_activity_monitor* m_handle = nullptr;
    void* m_libraryHandle = nullptr;
    UpdateFunction m_updateFunction = nullptr;
    SnapshotFunction m_snapshotFunction = nullptr;
    DestroyFunction m_destroyFunction = nullptr;
    LastErrorFunction m_lastErrorFunction = nullptr;
    FreeStringFunction m_freeStringFunction = nullptr;
    std::shared_ptr<FileTargetedAssistLearningStore> m_targetedAssistLearningStore;
    AdaptiveTargetedAssistEnabledProvider m_adaptiveTargetedAssistEnabledProvider;
    ActivityDetectionMode m_configuredMode = ActivityDetectionMode::coreOnly;
    std::shared_ptr<UnifiedLog> m_statfsDebugLog;
    std::string m_statfsDebugSubsystem;
};

} // namespace berthkeep
