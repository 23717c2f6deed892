#include "BerthkeepRustBridge/RustDriveUsageProvider.hpp"

#include <cinttypes>
#include <cstdio>

#include <QDir>

#include <nlohmann/json.hpp>

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "Berthkeep/Drive/UnavailableDriveUsageProvider.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCoreBridgeError.hpp"
#include "BerthkeepRustBridge/WireDriveUsageMonitorCoding.hpp"
#include "BerthkeepShared/BerthkeepPreferencesDefaultsKey.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"
#include "BerthkeepShared/BerthkeepRustFFI.hpp"
#include "BerthkeepShared/BerthkeepRustLibraryCall.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/Defaults/UserDefaults.hpp"
#include "platform/Log/ProcessLog.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {

namespace {

constexpr const char* kComponent = "RustDriveUsageProvider";
constexpr ActivityDetectionMode kCoreOnly = ActivityDetectionMode::coreOnly;

std::string caseName(RustDriveUsageProvider::Error::Case errorCase) {
    using Case = RustDriveUsageProvider::Error::Case;
    switch (errorCase) {
    case Case::symbolMissing:
        return "symbolMissing";
    case Case::dlopenFailed:
        return "dlopenFailed";
    case Case::createFailed:
        return "createFailed";
    case Case::updateFailed:
        return "updateFailed";
    case Case::snapshotFailed:
        return "snapshotFailed";
    case Case::libraryNotFound:
        return "libraryNotFound";
    case Case::invalidSnapshot:
        return "invalidSnapshot";
    }
    return "unknown";
}

bool hasPayload(RustDriveUsageProvider::Error::Case errorCase) {
    using Case = RustDriveUsageProvider::Error::Case;
    return errorCase != Case::libraryNotFound && errorCase != Case::invalidSnapshot;
}

// Compact JSON text; a text field that is not valid UTF-8 cannot be sent.
std::string encoded(const nlohmann::json& payload) {
    try {
        return payload.dump();
    } catch (const nlohmann::json::type_error& error) {
        if (error.id == 316) {
            throw RustDriveUsageProvider::Error::invalidSnapshot();
        }
        throw;
    }
}

// The mount location as a plain path without "." / ".." parts or a trailing slash.
std::string standardizedMountPath(const QUrl& mountURL) {
    QString path = mountURL.toLocalFile();
    if (path.isEmpty()) {
        path = mountURL.path();
    }
    return QDir::cleanPath(path).toStdString();
}

} // namespace

RustDriveUsageProvider::Error::Error(Case errorCase, std::string text)
    : m_case(errorCase)
    , m_text(std::move(text))
    , m_description(hasPayload(errorCase) ? caseName(errorCase) + "(" +
                                                RustBerthkeepCoreBridgeError::quoted(m_text) + ")"
                                          : caseName(errorCase)) {}

WireDriveUsageMonitorConfig RustDriveUsageProvider::monitorConfiguration() {
    return WireDriveUsageMonitorConfig{ActivityDetectionMode::coreOnly, 20000, 20000, 10000, 30000};
}

std::shared_ptr<FileTargetedAssistLearningStore>
RustDriveUsageProvider::defaultTargetedAssistLearningStore() {
    return std::make_shared<FileTargetedAssistLearningStore>(AppBundle::main()->bundleIdentifier());
}

bool RustDriveUsageProvider::defaultAdaptiveTargetedAssistEnabled() {
    const auto defaults = UserDefaults::standard();
    const char* key = BerthkeepPreferencesDefaultsKey::adaptiveTargetedAssistEnabled;
    if (!defaults || !defaults->object(key)) {
        return true;
    }
    return defaults->boolForKey(key);
}

std::shared_ptr<DriveUsageProviding>
RustDriveUsageProvider::makeDefault(const BerthkeepProcessInfo& processInfo,
                                    const BerthkeepFileManager& fileManager) {
    BerthkeepStartupAudit::debug(kComponent, "makeDefault", kCoreOnly,
                                 BerthkeepAuditWorkPhase::appLaunch,
                                 "Resolving Rust activity monitor library", std::nullopt);
    const auto libraryPath =
        BerthkeepRustBridgeLocation::mainBundleLibraryURL(processInfo, fileManager);
    if (!libraryPath) {
        BerthkeepStartupAudit::debug(
            kComponent, "makeDefault", kCoreOnly, BerthkeepAuditWorkPhase::appLaunch,
            "Rust activity monitor library unavailable; surfacing provider failure", std::nullopt);
        return std::make_shared<UnavailableDriveUsageProvider>(
            std::make_exception_ptr(Error::libraryNotFound()));
    }
    try {
        return std::make_shared<RustDriveUsageProvider>(*libraryPath);
    } catch (const std::exception& error) {
        ProcessLog::shared()->write(std::string("Berthkeep drive usage provider disabled: ") +
                                    error.what());
        return std::make_shared<UnavailableDriveUsageProvider>(std::current_exception());
    } catch (...) {
        ProcessLog::shared()->write("Berthkeep drive usage provider disabled: unknown error");
        return std::make_shared<UnavailableDriveUsageProvider>(std::current_exception());
    }
}

RustDriveUsageProvider::RustDriveUsageProvider(
    const std::string& libraryPath,
    std::shared_ptr<FileTargetedAssistLearningStore> targetedAssistLearningStore,
    AdaptiveTargetedAssistEnabledProvider adaptiveTargetedAssistEnabledProvider,
    std::shared_ptr<UnifiedLog> statfsDebugLog)
    : m_configuredMode(ActivityDetectionMode::coreOnly)
    , m_statfsDebugLog(statfsDebugLog ? std::move(statfsDebugLog) : UnifiedLog::shared())
    , m_statfsDebugSubsystem(BerthkeepRuntimeIdentity::currentBundleIdentifier()) {
    BerthkeepStartupAudit::debug(kComponent, "init", kCoreOnly, BerthkeepAuditWorkPhase::appLaunch,
                                 "Starting Rust activity monitor bridge initialization",
                                 libraryPath);

    m_libraryHandle = BerthkeepRustFFI::openLibrary(
        libraryPath, [](const std::string& message) { return Error::dlopenFailed(message); });
    BerthkeepRustLibraryCall::resolveOrClose(m_libraryHandle, [this] {
        const auto missing = [](const std::string& name) {
            return Error::symbolMissing(name);
        };
        const auto create = BerthkeepRustFFI::resolveSymbol<CreateFunction>(
            "berthkeep_core_activity_monitor_create", m_libraryHandle, missing);
        m_updateFunction = BerthkeepRustFFI::resolveSymbol<UpdateFunction>(
            "berthkeep_core_activity_monitor_update_json", m_libraryHandle, missing);
        m_snapshotFunction = BerthkeepRustFFI::resolveSymbol<SnapshotFunction>(
            "berthkeep_core_activity_monitor_snapshot_json", m_libraryHandle, missing);
        m_destroyFunction = BerthkeepRustFFI::resolveSymbol<DestroyFunction>(
            "berthkeep_core_activity_monitor_destroy", m_libraryHandle, missing);
        m_lastErrorFunction = BerthkeepRustFFI::resolveSymbol<LastErrorFunction>(
            "berthkeep_core_last_error_message", m_libraryHandle, missing);
        m_freeStringFunction = BerthkeepRustFFI::resolveSymbol<FreeStringFunction>(
            "berthkeep_core_free_string", m_libraryHandle, missing);

        const std::string configuration = encoded(toJson(monitorConfiguration()));

        BerthkeepStartupAudit::debug(kComponent, "init", kCoreOnly,
                                     BerthkeepAuditWorkPhase::appLaunch,
                                     "Creating Rust activity monitor handle", std::nullopt);
        m_handle = create(configuration.c_str());
        if (m_handle == nullptr) {
            throw Error::createFailed(lastErrorMessage("activity monitor create failed"));
        }
    });
    m_targetedAssistLearningStore = targetedAssistLearningStore
                                        ? std::move(targetedAssistLearningStore)
                                        : defaultTargetedAssistLearningStore();
    m_adaptiveTargetedAssistEnabledProvider =
        adaptiveTargetedAssistEnabledProvider
            ? std::move(adaptiveTargetedAssistEnabledProvider)
            : AdaptiveTargetedAssistEnabledProvider(&defaultAdaptiveTargetedAssistEnabled);

    BerthkeepStartupAudit::debug(kComponent, "init", kCoreOnly, BerthkeepAuditWorkPhase::appLaunch,
                                 "Rust activity monitor bridge initialized", std::nullopt);
}

RustDriveUsageProvider::~RustDriveUsageProvider() {
    if (m_destroyFunction != nullptr && m_handle != nullptr) {
        m_destroyFunction(m_handle);
    }
    BerthkeepRustFFI::closeLibrary(m_libraryHandle);
}

std::string RustDriveUsageProvider::lastErrorMessage(const char* fallback) const {
    char* message = m_lastErrorFunction();
    if (message == nullptr) {
        return fallback;
    }
    return BerthkeepRustFFI::takeLibraryString(message, m_freeStringFunction);
}

void RustDriveUsageProvider::updateManagedVolumes(const std::vector<DetectedDrive>& drives,
                                                  ActivityDetectionMode mode) {
    if (!usesActivitySignals(mode)) {
        BerthkeepStartupAudit::coreOnlyViolation(
            kComponent, "updateManagedVolumes", BerthkeepAuditWorkPhase::initialRefresh,
            "Attempted to start Rust activity monitor in core-only mode", std::nullopt);
        throw Error::updateFailed(updateInCoreOnlyModeText);
    }
    m_configuredMode = mode;
    BerthkeepStartupAudit::debug(kComponent, "updateManagedVolumes", mode,
                                 BerthkeepAuditWorkPhase::initialRefresh,
                                 "Updating Rust activity monitor managed volumes", std::nullopt,
                                 {{"drive_count", std::to_string(drives.size())}});
    const bool adaptive = m_adaptiveTargetedAssistEnabledProvider();

    WireDriveUsageMonitorVolumeSet volumeSet;
    volumeSet.mode = mode;
    volumeSet.adaptiveTargetedAssistEnabled = adaptive;
    for (const auto& drive : drives) {
        if (drive.scope() != DetectedDrive::Scope::managed || !drive.mountURL()) {
            continue;
        }
        const QUrl& mountURL = *drive.mountURL();
        const QString rawPath = mountURL.isLocalFile() ? mountURL.toLocalFile() : mountURL.path();
        BerthkeepStartupAudit::debug(
            kComponent, "updateManagedVolumes", mode, BerthkeepAuditWorkPhase::initialRefresh,
            "Constructing mount-path payload for Rust activity monitor", rawPath.toStdString());
        volumeSet.volumes.push_back({drive.id(), standardizedMountPath(mountURL), drive.bsdName()});
    }
    if (adaptive) {
        volumeSet.promotedTargetedAssistIdentities =
            m_targetedAssistLearningStore->promotedIdentities();
    }

    const std::string payload = encoded(toJson(volumeSet));
    if (!m_updateFunction(m_handle, payload.c_str())) {
        throw Error::updateFailed(lastErrorMessage("activity monitor update failed"));
    }
}

std::map<std::string, DriveUsageSnapshot> RustDriveUsageProvider::usageSnapshotsByDriveID() {
    if (!usesActivitySignals(m_configuredMode)) {
        return {};
    }
    BerthkeepStartupAudit::debug(kComponent, "usageSnapshotsByDriveID", m_configuredMode,
                                 BerthkeepAuditWorkPhase::backgroundWork,
                                 "Requesting Rust activity monitor snapshot", std::nullopt);
    char* reply = m_snapshotFunction(m_handle);
    if (reply == nullptr) {
        throw Error::snapshotFailed(lastErrorMessage("activity monitor snapshot failed"));
    }
    // Copied and freed at once, so no path below can leak or double-free it.
    const std::string text = BerthkeepRustFFI::takeLibraryString(reply, m_freeStringFunction);

    auto snapshot = wireMonitorSnapshotFromJson(parseBoundedJson(text));

    if (m_adaptiveTargetedAssistEnabledProvider()) {
        m_targetedAssistLearningStore->recordObserved(snapshot.observedTargetedAssistIdentities);
    }
    logStatfsSamples(snapshot);
    return std::move(snapshot.usageSnapshotsByDriveID);
}

void RustDriveUsageProvider::logStatfsSamples(const WireDriveUsageMonitorSnapshot& snapshot) const {
    // std::map already iterates in ascending key order.
    for (const auto& [driveID, sample] : snapshot.debugStatfsByDriveID) {
        const auto usage = snapshot.usageSnapshotsByDriveID.find(driveID);
        const char* activity =
            usage != snapshot.usageSnapshotsByDriveID.end() && usage->second.statfsActivity
                ? "true"
                : "false";
        if (!m_statfsDebugLog ||
            !m_statfsDebugLog->isEnabled(m_statfsDebugSubsystem, "State", UnifiedLogType::debug)) {
            continue;
        }
        char numbers[512];
        std::snprintf(numbers, sizeof numbers,
                      " block_size=%" PRIu64 " blocks_total=%" PRIu64 " blocks_free=%" PRIu64
                      " blocks_available=%" PRIu64 " used_bytes=%" PRIu64 " free_bytes=%" PRIu64
                      " available_bytes=%" PRIu64 " sample_age_ms=%" PRIu64,
                      sample.blockSize, sample.blocksTotal, sample.blocksFree,
                      sample.blocksAvailable, sample.usedBytes, sample.freeBytes,
                      sample.availableBytes, sample.sampleAgeMs);
        m_statfsDebugLog->write(
            {m_statfsDebugSubsystem, "State", UnifiedLogType::debug,
             "[drive_usage.statfs_sample] Drive usage statfs sample | drive_id=" + driveID +
                 numbers + " statfs_activity=" + activity});
    }
}

} // namespace berthkeep
