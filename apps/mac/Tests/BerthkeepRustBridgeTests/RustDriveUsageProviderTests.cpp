#include "BerthkeepRustBridge/RustDriveUsageProvider.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <chrono>
#include <thread>

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "Berthkeep/Drive/UnavailableDriveUsageProvider.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"
#include "BerthkeepRustBridge/RustRecentActivityCodingError.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "CoreTransportTestSupport.hpp"
#include "DeepJson.hpp"
#include "platform/Log/ProcessLog.hpp"
#include "platform/Log/UnifiedLog.hpp"

extern char** environ;

namespace berthkeep {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using Error = RustDriveUsageProvider::Error;

// The scripted fixture library, opened by the test too so both share its state.
class ActivityFixture {
public:
    explicit ActivityFixture(const char* path = BERTHKEEP_ACTIVITY_FIXTURE_COMPLETE)
        : m_path(path)
        , m_handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        call<void (*)()>("fixture_reset")();
    }
    ~ActivityFixture() {
        if (m_handle) {
            dlclose(m_handle);
        }
    }
    ActivityFixture(const ActivityFixture&) = delete;
    ActivityFixture& operator=(const ActivityFixture&) = delete;

    template <typename Function> Function call(const char* name) const {
        void* address = dlsym(m_handle, name);
        if (address == nullptr) {
            throw std::runtime_error(std::string("fixture lacks ") + name);
        }
        return reinterpret_cast<Function>(address);
    }
    void setFlag(const char* name, bool value) const { call<void (*)(bool)>(name)(value); }
    void setText(const char* name, const char* value) const {
        call<void (*)(const char*)>(name)(value);
    }
    int count(const char* name) const { return call<int (*)()>(name)(); }
    json sent(const char* name) const {
        const char* text = call<const char* (*)()>(name)();
        return text ? json::parse(text) : json();
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    void* m_handle;
};

bool libraryIsLoaded(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle) {
        dlclose(handle);
    }
    return handle != nullptr;
}

DetectedDrive drive(const std::string& id, std::optional<QString> mountPath,
                    DetectedDrive::Scope scope = DetectedDrive::Scope::managed,
                    std::optional<std::string> bsdName = std::nullopt) {
    std::optional<QUrl> url;
    if (mountPath) {
        url = QUrl::fromLocalFile(*mountPath);
    }
    return DetectedDrive(id, id, url, scope, true, bsdName);
}

// Finds nothing anywhere: no library.
class NothingFileManager final : public BerthkeepFileManager {
public:
    bool fileExistsAtPath(const std::string&) const override { return false; }
    bool isExecutableFileAtPath(const std::string&) const override { return false; }
    std::string currentDirectoryPath() const override { return "/nonexistent"; }
};

class RustDriveUsageProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        BerthkeepStartupAudit::setOutputsForTesting(
            BerthkeepStartupAudit::Outputs{m_audit, nullptr, "test", true});
    }
    void TearDown() override { BerthkeepStartupAudit::setOutputsForTesting(std::nullopt); }

    std::unique_ptr<RustDriveUsageProvider> makeProvider(const std::string& path) {
        return std::make_unique<RustDriveUsageProvider>(
            path, m_store, [adaptive = m_adaptive] { return *adaptive; }, m_statfsLog);
    }
    std::vector<std::string> auditMessages() const {
        std::vector<std::string> messages;
        for (const auto& entry : m_audit->entries()) {
            messages.push_back(entry.message);
        }
        return messages;
    }

    QTemporaryDir m_folder;
    std::shared_ptr<FileTargetedAssistLearningStore> m_store =
        std::make_shared<FileTargetedAssistLearningStore>(
            BerthkeepRuntimeIdentity::testBundleIdentifier, m_folder.path().toStdString());
    std::shared_ptr<bool> m_adaptive = std::make_shared<bool>(true);
    std::shared_ptr<CaptureUnifiedLog> m_audit = std::make_shared<CaptureUnifiedLog>();
    std::shared_ptr<CaptureUnifiedLog> m_statfsLog = std::make_shared<CaptureUnifiedLog>();
};

TEST_F(RustDriveUsageProviderTest, CreatePayloadIsFixedAndCoreOnly) {
    ActivityFixture fixture;
    auto provider = makeProvider(fixture.path());
    EXPECT_EQ(fixture.sent("fixture_config"),
              json::parse(R"({"mode":"core_only","statfs_activity_window_ms":20000,
                "fsevents_activity_window_ms":20000,"viewer_assist_window_ms":10000,
                "statfs_sampling_burst_ms":30000})"));
    EXPECT_EQ(provider->configuredMode(), ActivityDetectionMode::coreOnly);
    provider.reset();
    EXPECT_EQ(fixture.count("fixture_destroy_calls"), 1);
}

TEST_F(RustDriveUsageProviderTest, SnapshotBeforeAnyUpdateIsEmptyWithoutCallingTheLibrary) {
    ActivityFixture fixture;
    auto provider = makeProvider(fixture.path());
    EXPECT_TRUE(provider->usageSnapshotsByDriveID().empty());
    EXPECT_EQ(fixture.count("fixture_snapshot_calls"), 0);
}

TEST_F(RustDriveUsageProviderTest, CoreOnlyUpdateIsRefusedAndChangesNothing) {
    ActivityFixture fixture;
    auto provider = makeProvider(fixture.path());
    try {
        provider->updateManagedVolumes({drive("a", "/tmp/a")}, ActivityDetectionMode::coreOnly);
        FAIL() << "expected updateFailed";
    } catch (const Error& error) {
        EXPECT_EQ(error,
                  Error::updateFailed("attempted to update activity monitor in core-only mode"));
    }
    EXPECT_EQ(fixture.count("fixture_update_calls"), 0);
    const auto faults = m_audit->entries();
    ASSERT_FALSE(faults.empty());
    EXPECT_EQ(faults.back().type, UnifiedLogType::fault);
    EXPECT_THAT(faults.back().message,
                HasSubstr("Attempted to start Rust activity monitor in core-only mode"));
    EXPECT_TRUE(provider->usageSnapshotsByDriveID().empty());
    EXPECT_EQ(fixture.count("fixture_snapshot_calls"), 0);
}

TEST_F(RustDriveUsageProviderTest, UpdateSendsMountedManagedDrivesOnly) {
    ActivityFixture fixture;
    auto provider = makeProvider(fixture.path());
    provider->updateManagedVolumes(
        {drive("a", "/media/Alpha/", DetectedDrive::Scope::managed, "disk4s1"),
         drive("b", "/media/Beta"), drive("c", "/media/Gamma", DetectedDrive::Scope::excluded),
         drive("d", std::nullopt)},
        ActivityDetectionMode::enhanced);
    EXPECT_EQ(fixture.sent("fixture_volume_set"), json::parse(R"({"mode":"enhanced",
        "volumes":[{"drive_id":"a","mount_path":"/media/Alpha","bsd_name":"disk4s1"},
                   {"drive_id":"b","mount_path":"/media/Beta"}],
        "adaptive_targeted_assist_enabled":true,"promoted_targeted_assist_identities":[]})"));
    EXPECT_EQ(provider->configuredMode(), ActivityDetectionMode::enhanced);
    const auto messages = auditMessages();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const std::string& m) {
        return m.find("Updating Rust activity monitor managed volumes") != std::string::npos &&
               m.find("drive_count=4") != std::string::npos;
    }));
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& m) {
                                return m.find("Constructing mount-path payload") !=
                                       std::string::npos;
                            }),
              2);
}

TEST_F(RustDriveUsageProviderTest, EmptySelectionSendsAnEmptyVolumeList) {
    ActivityFixture fixture;
    auto provider = makeProvider(fixture.path());
    provider->updateManagedVolumes({}, ActivityDetectionMode::standard);
    EXPECT_EQ(fixture.sent("fixture_volume_set")["volumes"], json::array());
}

TEST_F(RustDriveUsageProviderTest, AdaptiveLearningFeedsPromotionsBack) {
    ActivityFixture fixture;
    fixture.setText("fixture_set_snapshot_reply",
                    R"({"usage_snapshots_by_drive_id":{},
                        "observed_targeted_assist_identities":[{"identity":"VLC","display_name":"VLC"}]})");
    auto provider = makeProvider(fixture.path());
    for (int round = 0; round < 2; ++round) {
        provider->updateManagedVolumes({}, ActivityDetectionMode::enhanced);
        provider->usageSnapshotsByDriveID();
    }
    provider->updateManagedVolumes({}, ActivityDetectionMode::enhanced);
    EXPECT_EQ(fixture.sent("fixture_volume_set")["promoted_targeted_assist_identities"],
              json::parse(R"([{"identity":"vlc","display_name":"VLC"}])"));

    // Off: nothing promoted is sent and nothing observed is recorded.
    *m_adaptive = false;
    provider->updateManagedVolumes({}, ActivityDetectionMode::enhanced);
    const auto sent = fixture.sent("fixture_volume_set");
    EXPECT_EQ(sent["adaptive_targeted_assist_enabled"], false);
    EXPECT_EQ(sent["promoted_targeted_assist_identities"], json::array());
    fixture.setText("fixture_set_snapshot_reply",
                    R"({"usage_snapshots_by_drive_id":{},
                        "observed_targeted_assist_identities":[{"identity":"mpv","display_name":"mpv"}]})");
    provider->usageSnapshotsByDriveID();
    provider->usageSnapshotsByDriveID();
    EXPECT_EQ(m_store->promotedIdentities().size(), 1u);
}

TEST_F(RustDriveUsageProviderTest, FailureTextsComeFromTheLibraryOrFallBack) {
    ActivityFixture fixture;
    auto provider = makeProvider(fixture.path());

    fixture.setFlag("fixture_set_update_fails", true);
    try {
        provider->updateManagedVolumes({}, ActivityDetectionMode::standard);
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error, Error::updateFailed("activity monitor update failed"));
    }
    fixture.setText("fixture_set_last_error", "volume set rejected");
    try {
        provider->updateManagedVolumes({}, ActivityDetectionMode::standard);
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error, Error::updateFailed("volume set rejected"));
    }
    // The mode passed its check before the library refused.
    EXPECT_EQ(provider->configuredMode(), ActivityDetectionMode::standard);

    fixture.setFlag("fixture_set_snapshot_fails", true);
    try {
        provider->usageSnapshotsByDriveID();
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error, Error::snapshotFailed("volume set rejected"));
    }
    fixture.setText("fixture_set_last_error", nullptr);
    try {
        provider->usageSnapshotsByDriveID();
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error, Error::snapshotFailed("activity monitor snapshot failed"));
    }
    EXPECT_EQ(fixture.count("fixture_handed_out"), fixture.count("fixture_freed"));
}

TEST_F(RustDriveUsageProviderTest, SnapshotDecodesAndEveryReplyIsFreed) {
    ActivityFixture fixture;
    auto provider = makeProvider(fixture.path());
    provider->updateManagedVolumes({}, ActivityDetectionMode::standard);

    EXPECT_TRUE(provider->usageSnapshotsByDriveID().empty()); // {"usage_snapshots_by_drive_id":{}}

    fixture.setText("fixture_set_snapshot_reply", R"({"usage_snapshots_by_drive_id":{"a":{
        "open_file_usage":2,"cwd_usage":0,"statfs_activity":false,"fsevents_activity":true,
        "viewer_assist_activity":false,"eject_failure_risk_score":0.75,"is_busy":true,
        "dominant_attention_reason":"OPEN_FILE_USAGE"}}})");
    const auto snapshots = provider->usageSnapshotsByDriveID();
    ASSERT_EQ(snapshots.count("a"), 1u);
    EXPECT_EQ(snapshots.at("a").openFileUsage, 2);
    EXPECT_TRUE(snapshots.at("a").isBusy);

    const std::string tooDeep =
        test::withNestedMember(R"({"usage_snapshots_by_drive_id":{}})", kMaximumJsonNestingDepth);
    const char* broken[] = {
        tooDeep.c_str(),
        R"({"debug_statfs_by_drive_id":{}})",
        R"({"usage_snapshots_by_drive_id":{"a":{"cwd_usage":0}}})",
        R"({"usage_snapshots_by_drive_id":{},"debug_statfs_by_drive_id":{"a":{"block_size":1}}})",
        R"({"usage_snapshots_by_drive_id":{},"observed_targeted_assist_identities":[{"identity":"x"}]})",
        "not json",
    };
    for (const char* reply : broken) {
        SCOPED_TRACE(reply);
        fixture.setText("fixture_set_snapshot_reply", reply);
        try {
            provider->usageSnapshotsByDriveID();
            ADD_FAILURE() << "expected a decoding error";
        } catch (const Error&) {
            ADD_FAILURE() << "decoding errors are not bridge errors";
        } catch (const std::exception&) {
        }
    }
    EXPECT_EQ(fixture.count("fixture_handed_out"), fixture.count("fixture_freed"));
    EXPECT_TRUE(m_store->promotedIdentities().empty());
}

TEST_F(RustDriveUsageProviderTest, StatfsSamplesAreLoggedInDriveOrder) {
    ActivityFixture fixture;
    auto provider = makeProvider(fixture.path());
    provider->updateManagedVolumes({}, ActivityDetectionMode::standard);
    const std::string sample = R"({"block_size":4096,"blocks_total":10,"blocks_free":4,
        "blocks_available":3,"used_bytes":24576,"free_bytes":16384,"available_bytes":12288,
        "sample_age_ms":15})";
    fixture.setText("fixture_set_snapshot_reply",
                    (R"({"usage_snapshots_by_drive_id":{"b":{"open_file_usage":0,"cwd_usage":0,
                        "statfs_activity":true,"fsevents_activity":false,"viewer_assist_activity":false,
                        "eject_failure_risk_score":0,"is_busy":false}},
                        "debug_statfs_by_drive_id":{"c":)" +
                     sample + R"(,"b":)" + sample + "}}")
                        .c_str());
    provider->usageSnapshotsByDriveID();
    const auto entries = m_statfsLog->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].category, "State");
    EXPECT_EQ(entries[0].type, UnifiedLogType::debug);
    EXPECT_EQ(entries[0].message,
              "[drive_usage.statfs_sample] Drive usage statfs sample | drive_id=b block_size=4096 "
              "blocks_total=10 blocks_free=4 blocks_available=3 used_bytes=24576 free_bytes=16384 "
              "available_bytes=12288 sample_age_ms=15 statfs_activity=true");
    EXPECT_THAT(entries[1].message, HasSubstr("drive_id=c "));
    EXPECT_THAT(entries[1].message, HasSubstr("statfs_activity=false"));

    m_statfsLog->clear();
    m_statfsLog->setEnabled(UnifiedLogType::debug, false);
    provider->usageSnapshotsByDriveID();
    EXPECT_TRUE(m_statfsLog->entries().empty());
}

TEST_F(RustDriveUsageProviderTest, ConstructionFailuresLeaveNoMonitorAndNoLibrary) {
    {
        ActivityFixture fixture;
        fixture.setFlag("fixture_set_create_fails", true);
        EXPECT_THROW(
            try { makeProvider(fixture.path()); } catch (const Error& error) {
                EXPECT_EQ(error, Error::createFailed("activity monitor create failed"));
                throw;
            },
            Error);
        fixture.setText("fixture_set_last_error", "no inotify");
        try {
            makeProvider(fixture.path());
            ADD_FAILURE();
        } catch (const Error& error) {
            EXPECT_EQ(error, Error::createFailed("no inotify"));
        }
        EXPECT_EQ(fixture.count("fixture_destroy_calls"), 0);
        EXPECT_EQ(fixture.count("fixture_handed_out"), fixture.count("fixture_freed"));
    }
    EXPECT_FALSE(libraryIsLoaded(BERTHKEEP_ACTIVITY_FIXTURE_COMPLETE));

    try {
        makeProvider(BERTHKEEP_ACTIVITY_FIXTURE_NO_DESTROY);
        ADD_FAILURE();
    } catch (const Error& error) {
        EXPECT_EQ(error, Error::symbolMissing("berthkeep_core_activity_monitor_destroy"));
    }
    EXPECT_FALSE(libraryIsLoaded(BERTHKEEP_ACTIVITY_FIXTURE_NO_DESTROY));

    try {
        makeProvider("/nonexistent/libberthkeep_core.so");
        ADD_FAILURE();
    } catch (const Error& error) {
        EXPECT_EQ(error.errorCase(), Error::Case::dlopenFailed);
        EXPECT_FALSE(error.text().empty());
    }
}

TEST(RustDriveUsageProviderError, DescriptionsNameTheCaseAndPayload) {
    EXPECT_STREQ(Error::updateFailed("activity monitor update failed").what(),
                 "updateFailed(\"activity monitor update failed\")");
    EXPECT_STREQ(Error::symbolMissing("say \"hi\"").what(), "symbolMissing(\"say \\\"hi\\\"\")");
    EXPECT_STREQ(Error::libraryNotFound().what(), "libraryNotFound");
    EXPECT_STREQ(Error::invalidSnapshot().what(), "invalidSnapshot");
    EXPECT_NE(Error::createFailed("a"), Error::snapshotFailed("a"));
}

TEST(RustDriveUsageProviderRegistration, BootstrapInstallsTheMakerAndTheClassifier) {
    BerthkeepRustBridgeBootstrap::registerFactories();
    EXPECT_TRUE(BerthkeepRustBridgeRegistry::hasDriveUsageProviderMaker());

    using Kind = BerthkeepRustDriveUsageFailureKind;
    const std::pair<std::exception_ptr, Kind> table[] = {
        {std::make_exception_ptr(Error::symbolMissing("x")), Kind::unavailable},
        {std::make_exception_ptr(Error::dlopenFailed("x")), Kind::unavailable},
        {std::make_exception_ptr(Error::createFailed("x")), Kind::unavailable},
        {std::make_exception_ptr(Error::libraryNotFound()), Kind::unavailable},
        {std::make_exception_ptr(Error::updateFailed("x")), Kind::setupRequired},
        {std::make_exception_ptr(Error::snapshotFailed("x")), Kind::setupRequired},
        {std::make_exception_ptr(Error::invalidSnapshot()), Kind::setupRequired},
        {std::make_exception_ptr(BerthkeepRustBridgeUnavailableError()), Kind::unknown},
        {std::make_exception_ptr(RustRecentActivityCodingError("bad")), Kind::unknown},
        {std::make_exception_ptr(42), Kind::unknown},
    };
    for (const auto& [error, kind] : table) {
        EXPECT_EQ(BerthkeepRustBridgeRegistry::classifyDriveUsageFailure(error), kind);
    }
    BerthkeepRustBridgeRegistry::resetForTesting();
}

TEST(RustDriveUsageProviderMakeDefault, WithoutALibraryEveryCallFailsWithLibraryNotFound) {
    berthkeep::testing::EmptyMainBundle bundle;
    const auto provider =
        RustDriveUsageProvider::makeDefault(BerthkeepProcessInfo{}, NothingFileManager());
    ASSERT_NE(std::dynamic_pointer_cast<UnavailableDriveUsageProvider>(provider), nullptr);
    try {
        provider->usageSnapshotsByDriveID();
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error, Error::libraryNotFound());
    }
    EXPECT_THROW(provider->updateManagedVolumes({}, ActivityDetectionMode::standard), Error);
}

TEST(RustDriveUsageProviderMakeDefault, BuildsTheBridgeOrSurfacesWhyNot) {
    berthkeep::testing::EmptyMainBundle bundle;
    auto processLog = std::make_shared<CaptureProcessLog>();
    ProcessLog::setShared(processLog);
    {
        ActivityFixture fixture;
        BerthkeepProcessInfo info;
        info.environment[BerthkeepRustBridgeLocation::libraryPathEnvironmentKey] = fixture.path();
        const auto provider =
            RustDriveUsageProvider::makeDefault(info, BerthkeepFileManager::defaultManager());
        EXPECT_NE(std::dynamic_pointer_cast<RustDriveUsageProvider>(provider), nullptr);
    }
    BerthkeepProcessInfo info;
    info.environment[BerthkeepRustBridgeLocation::libraryPathEnvironmentKey] =
        BERTHKEEP_ACTIVITY_FIXTURE_NO_DESTROY;
    const auto provider =
        RustDriveUsageProvider::makeDefault(info, BerthkeepFileManager::defaultManager());
    try {
        provider->usageSnapshotsByDriveID();
        ADD_FAILURE();
    } catch (const Error& error) {
        EXPECT_EQ(error, Error::symbolMissing("berthkeep_core_activity_monitor_destroy"));
    }
    EXPECT_EQ(
        processLog->lines(),
        std::vector<std::string>{"Berthkeep drive usage provider disabled: "
                                 "symbolMissing(\"berthkeep_core_activity_monitor_destroy\")"});
    ProcessLog::setShared(nullptr);
}

#ifdef BERTHKEEP_CORE_LIBRARY_PATH
// A process that holds a file open in `folder` until it is ended.
class FileHolder {
public:
    explicit FileHolder(const std::string& file) {
        std::string script = "exec 3<\"$1\"; exec sleep 60";
        const char* argv[] = {"sh", "-c", script.c_str(), "sh", file.c_str(), nullptr};
        if (posix_spawnp(&m_pid, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
            0) {
            m_pid = -1;
        }
    }
    ~FileHolder() { end(); }
    void end() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }
    bool started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

template <typename Condition>
std::map<std::string, DriveUsageSnapshot> pollUntil(RustDriveUsageProvider& provider,
                                                    const std::vector<DetectedDrive>& drives,
                                                    Condition condition) {
    std::map<std::string, DriveUsageSnapshot> snapshots;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        provider.updateManagedVolumes(drives, ActivityDetectionMode::standard);
        snapshots = provider.usageSnapshotsByDriveID();
        if (condition(snapshots)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return snapshots;
}

TEST_F(RustDriveUsageProviderTest, RealMonitorSeesAProcessHoldingAFileOnTheVolume) {
    QTemporaryDir volume;
    const QString file = QDir(volume.path()).filePath("movie.mkv");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("frames");
    }
    auto provider = makeProvider(BERTHKEEP_CORE_LIBRARY_PATH);
    const std::vector<DetectedDrive> drives = {
        drive("disk9", volume.path() + "/"),
        drive("gone", "/nonexistent/volume", DetectedDrive::Scope::excluded)};
    const auto isBusy = [](const std::map<std::string, DriveUsageSnapshot>& snapshots) {
        const auto found = snapshots.find("disk9");
        return found != snapshots.end() && found->second.isBusy;
    };

    auto snapshots =
        pollUntil(*provider, drives, [](const auto& s) { return s.count("disk9") > 0; });
    ASSERT_EQ(snapshots.count("disk9"), 1u);
    EXPECT_FALSE(snapshots.at("disk9").isBusy);
    EXPECT_EQ(snapshots.count("gone"), 0u);

    FileHolder holder(file.toStdString());
    ASSERT_TRUE(holder.started());
    snapshots = pollUntil(*provider, drives, isBusy);
    ASSERT_TRUE(isBusy(snapshots));
    EXPECT_GE(snapshots.at("disk9").openFileUsage, 1);
    EXPECT_EQ(snapshots.at("disk9").dominantAttentionReason,
              BerthkeepAttentionReasonCode::openFileUsage);

    holder.end();
    snapshots = pollUntil(*provider, drives, [&isBusy](const auto& s) { return !isBusy(s); });
    EXPECT_FALSE(isBusy(snapshots));
}
#endif

} // namespace
} // namespace berthkeep
