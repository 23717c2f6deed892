#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <dirent.h>

#include "../Inventory/InventoryTestSupport.hpp"
#include "../Store/SimulatedMachineStoreSupport.hpp"
#include "Berthkeep/Actions/BerthkeepActionCoordinator.hpp"
#include "Berthkeep/Actions/DiskUtilityActionCommand.hpp"
#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "Berthkeep/Actions/LiveEjectDiskUtilityRunner.hpp"
#include "Berthkeep/Actions/UnmountVolumeContinuationState.hpp"
#include "Berthkeep/Actions/WorkspaceDriveEjector.hpp"
#include "Berthkeep/Actions/WorkspaceDriveRemounter.hpp"
#include "Berthkeep/Inventory/DiskUtilityError.hpp"
#include "TaskDriver.hpp"
#include "apps/mac/Tests/BerthkeepTelemetryTests/TelemetryTestSupport.hpp"
#include "platform/MountedVolumes/MountedVolumeListing.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeUnmounting.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

class RecordingRunner final : public EjectDiskUtilityRunning {
public:
    QCoro::Task<std::string> run(std::vector<std::string> arguments, std::string failureMessage,
                                 std::shared_ptr<CancelToken>) override {
        calls.push_back(arguments);
        messages.push_back(failureMessage);
        if (refusal) {
            throw DriveOperationError(DriveOperationError::ejectDomain, 1, *refusal);
        }
        co_return said;
    }
    std::vector<std::vector<std::string>> calls;
    std::vector<std::string> messages;
    std::string said;
    // The tool fails with this text.
    std::optional<std::string> refusal;
};

// `diskutil info` of one volume on disk4: as `before` says until the runner has
// run a command, then as `after` says; a device it does not know is gone.
class ScriptedInfoRunner final : public DiskUtilityRunning {
public:
    struct Volume {
        std::string uuid;
        std::string parent = "disk4";
        std::string mountPoint = "/Volumes/Stick";
    };
    ScriptedInfoRunner(std::shared_ptr<RecordingRunner> runner, std::optional<Volume> before,
                       std::optional<Volume> after)
        : m_runner(std::move(runner))
        , m_before(std::move(before))
        , m_after(std::move(after)) {}

    std::string run(const std::vector<std::string>& arguments) const override {
        const auto& volume = m_runner->calls.empty() ? m_before : m_after;
        if (!volume || arguments.at(2) != "disk4s1") {
            throw DiskUtilityError(1, "Could not find disk: " + arguments.at(2));
        }
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
               "<key>DeviceIdentifier</key><string>disk4s1</string>"
               "<key>ParentWholeDisk</key><string>" +
               volume->parent + "</string><key>MountPoint</key><string>" + volume->mountPoint +
               "</string><key>VolumeUUID</key><string>" + volume->uuid + "</string></dict></plist>";
    }

private:
    std::shared_ptr<RecordingRunner> m_runner;
    std::optional<Volume> m_before;
    std::optional<Volume> m_after;
};

// The check over a scripted `diskutil info` that answers for the stick until
// the runner has run, and after that only with `after`.
std::shared_ptr<AttachedDriveCheck>
scriptedCheck(std::shared_ptr<RecordingRunner> runner,
              std::optional<ScriptedInfoRunner::Volume> before = ScriptedInfoRunner::Volume{},
              std::optional<ScriptedInfoRunner::Volume> after = std::nullopt) {
    return std::make_shared<AttachedDriveCheck>(
        std::make_shared<ScriptedInfoRunner>(std::move(runner), std::move(before),
                                             std::move(after)),
        std::make_shared<InlineExecutor>());
}

// What the eject error of a call is, or "ok".
std::string outcomeOf(QCoro::Task<void> task) {
    try {
        test::runTask(std::move(task), 20s);
        return "ok";
    } catch (const DriveOperationError& error) {
        return error.domain() + " " + std::to_string(error.code()) + " " +
               error.localizedDescription();
    } catch (const CancellationError&) {
        return "cancelled";
    } catch (const std::exception& error) {
        return error.what();
    }
}

QCoro::Task<void> discardingText(QCoro::Task<std::string> task) {
    co_await std::move(task);
}

QCoro::Task<void> awaitCompletion(Completion<void> completion) {
    co_await completion;
}

TEST(WorkspaceDriveEjector, PicksTheCommandByMode) {
    struct Case {
        const char* name;
        std::optional<std::string> bsdName;
        std::optional<std::string> ejectTarget;
        bool mounted;
        DriveEjectMode mode;
        std::vector<std::string> arguments; // empty: not mounted
        const char* failureMessage;
    };
    const Case cases[] = {
        {"device, eject target",
         "disk4s1",
         "disk4",
         true,
         DriveEjectMode::device,
         {"eject", "disk4"},
         "diskutil eject failed"},
        {"device, volume only",
         "disk4s1",
         std::nullopt,
         true,
         DriveEjectMode::device,
         {"eject", "disk4s1"},
         "diskutil eject failed"},
        {"volume ignores the target",
         "disk4s1",
         "disk4",
         true,
         DriveEjectMode::volume,
         {"unmount", "disk4s1"},
         "diskutil unmount failed"},
        {"device, no names", std::nullopt, std::nullopt, true, DriveEjectMode::device, {}, ""},
        {"volume, nothing to go by",
         std::nullopt,
         std::nullopt,
         false,
         DriveEjectMode::volume,
         {},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto runner = std::make_shared<RecordingRunner>();
        WorkspaceDriveEjector ejector(runner, nullptr, scriptedCheck(runner));
        std::optional<QUrl> url;
        if (c.mounted) {
            url = QUrl::fromLocalFile("/Volumes/Stick/");
        }
        const DetectedDrive drive("id", "Stick", url, DetectedDrive::Scope::managed, true,
                                  c.bsdName, c.ejectTarget);
        const std::string outcome = outcomeOf(ejector.eject(drive, c.mode, nullptr));
        if (c.arguments.empty()) {
            EXPECT_EQ(outcome, "BerthkeepStore.Eject 1 Drive is not mounted");
            EXPECT_TRUE(runner->calls.empty());
        } else {
            EXPECT_EQ(outcome, "ok");
            ASSERT_EQ(runner->calls.size(), 1u);
            EXPECT_EQ(runner->calls[0], c.arguments);
            EXPECT_EQ(runner->messages[0], c.failureMessage);
        }
    }
}

// The eject goes to the drive it was given or to none, and counts only once the
// volume is gone. A tool that fails because the drive went from under it (it is
// gone now, or its name is a newcomer's) says the drive is gone.
TEST(WorkspaceDriveEjector, ChecksTheDriveBeforeAndTheVolumeAfter) {
    using Volume = ScriptedInfoRunner::Volume;
    struct Case {
        const char* name;
        std::optional<Volume> before;
        std::optional<Volume> after;
        std::string said;
        std::string outcome;
        std::size_t calls;
        std::optional<std::string> refusal = std::nullopt;
    };
    const std::string gone = "BerthkeepStore.Eject -1002 Drive no longer attached";
    const Case cases[] = {
        {"same drive, ejected", Volume{"U1"}, std::nullopt, "", "ok", 1},
        {"unmounted, its disk stays", Volume{"U1"}, Volume{"U1", "disk4", ""}, "", "ok", 1},
        {"name now another drive's", Volume{"U2"}, std::nullopt, "", gone, 0},
        {"uuid in other letter case", Volume{"u1"}, std::nullopt, "", "ok", 1},
        {"device gone", std::nullopt, std::nullopt, "", gone, 0},
        {"volume on another disk now", Volume{"U1", "disk5"}, std::nullopt, "", gone, 0},
        {"still mounted, tool said why", Volume{"U1"}, Volume{"U1"}, "Error: could not eject",
         "BerthkeepStore.Eject -1003 Error: could not eject", 1},
        {"still mounted, tool silent", Volume{"U1"}, Volume{"U1"}, "",
         "BerthkeepStore.Eject -1003 diskutil eject failed", 1},
        {"name taken by a mounted drive after", Volume{"U1"}, Volume{"U2"}, "", "ok", 1},
        {"refused, pulled out under it", Volume{"U1"}, std::nullopt, "", gone, 1,
         "Unable to find disk for disk4"},
        {"refused, a newcomer on its name", Volume{"U1"}, Volume{"U2"}, "", gone, 1,
         "Unable to find disk for disk4"},
        {"refused, still there", Volume{"U1"}, Volume{"U1"}, "",
         "BerthkeepStore.Eject 1 Volume is busy", 1, "Volume is busy"},
    };
    DriveIdentity identity;
    identity.volumeUUID = "U1";
    const DetectedDrive drive("U1", "Stick", QUrl::fromLocalFile("/Volumes/Stick/"),
                              DetectedDrive::Scope::managed, true, "disk4s1", "disk4", std::nullopt,
                              true, identity);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto runner = std::make_shared<RecordingRunner>();
        runner->said = c.said;
        runner->refusal = c.refusal;
        WorkspaceDriveEjector ejector(runner, nullptr, scriptedCheck(runner, c.before, c.after));
        EXPECT_EQ(outcomeOf(ejector.eject(drive, DriveEjectMode::device, nullptr)), c.outcome);
        EXPECT_EQ(runner->calls.size(), c.calls);
    }
}

// One refused reading is read again; only a second refusal counts the drive
// as gone. A tool that hangs says nothing about the drive and is not asked twice.
TEST(AttachedDriveCheck, AReadingThatFailsOnceIsReadAgain) {
    class FlakyInfo final : public DiskUtilityRunning {
    public:
        FlakyInfo(int refusals, int code)
            : m_refusals(refusals)
            , m_code(code) {}
        std::string run(const std::vector<std::string>&) const override {
            ++reads;
            if (reads <= m_refusals) {
                throw DiskUtilityError(m_code, "Could not find disk: disk4s1");
            }
            return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                   "<key>DeviceIdentifier</key><string>disk4s1</string>"
                   "<key>VolumeUUID</key><string>U1</string></dict></plist>";
        }
        mutable int reads = 0;

    private:
        int m_refusals;
        int m_code;
    };
    struct Case {
        const char* name;
        int refusals;
        int code;
        bool confirmed;
        int reads;
    };
    const std::string gone = "BerthkeepStore.Eject -1002 Drive no longer attached";
    const Case cases[] = {{"refused once", 1, 1, true, 2},
                          {"refused twice", 2, 1, false, 2},
                          {"hung", 1, DiskUtilityError::timedOutCode, false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto info = std::make_shared<FlakyInfo>(c.refusals, c.code);
        const AttachedDriveCheck check(info, std::make_shared<InlineExecutor>());
        AttachedDriveCheck::Expected expected;
        expected.bsdName = "disk4s1";
        expected.identity.volumeUUID = "U1";
        const std::string outcome =
            outcomeOf(check.confirm(expected, DriveOperationError::ejectDomain));
        EXPECT_EQ(outcome == "ok", c.confirmed) << outcome;
        EXPECT_EQ(info->reads, c.reads);
    }
}

// Without a UUID the media name, size and bus path must all be as recorded; with
// nothing recorded nothing matches.
TEST(DriveIdentity, MatchesByUUIDElseByMediaSizeAndBusPath) {
    const auto media = [](std::optional<std::string> name, std::optional<std::int64_t> size,
                          std::optional<std::string> path) {
        DriveIdentity identity;
        identity.mediaName = std::move(name);
        identity.sizeBytes = size;
        identity.busPath = std::move(path);
        return identity;
    };
    DriveIdentity byDisk;
    byDisk.diskUUID = "D1";
    DriveIdentity byDiskNow = media("Stick", 8, "usb@1");
    byDiskNow.diskUUID = "d1";
    const DriveIdentity stick = media("Stick", 8, "usb@1");
    EXPECT_TRUE(stick.matches(media("Stick", 8, "usb@1")));
    EXPECT_FALSE(stick.matches(media("Stick", 8, "usb@2")));
    EXPECT_FALSE(stick.matches(media("Stick", 16, "usb@1")));
    EXPECT_FALSE(stick.matches(media("Other", 8, "usb@1")));
    EXPECT_TRUE(byDisk.matches(byDiskNow));
    EXPECT_FALSE(byDisk.matches(stick));
    EXPECT_FALSE(DriveIdentity{}.matches(DriveIdentity{}));
}

TEST(DiskUtilityActionCommand, TurnsTheRunIntoTheCallersError) {
    struct Case {
        const char* name;
        ProcessOutcome outcome;
        int exitCode;
        std::string standardError;
        const char* expected;
        const char* domain = DriveOperationError::remountDomain;
    };
    const Case cases[] = {
        {"reason trimmed", ProcessOutcome::exited, 1, "  failed\n",
         "BerthkeepStore.Remount 1 failed"},
        {"no reason", ProcessOutcome::exited, 1, " \n",
         "BerthkeepStore.Remount 1 diskutil mount failed"},
        {"success says something", ProcessOutcome::exited, 0, "warning", "ok"},
        {"mount stopped at the deadline", ProcessOutcome::timedOut, 15, "",
         "BerthkeepStore.Remount -1001 Mount attempt timed out"},
        {"eject stopped at the deadline", ProcessOutcome::timedOut, 15, "",
         "BerthkeepStore.Eject -1001 Eject attempt timed out", DriveOperationError::ejectDomain},
        {"cancelled, ended well", ProcessOutcome::cancelled, 0, "", "cancelled"},
        {"cancelled, terminated", ProcessOutcome::cancelled, 15, "",
         "BerthkeepStore.Remount 15 diskutil mount failed"},
        {"signal", ProcessOutcome::signaled, 9, "",
         "BerthkeepStore.Remount 9 diskutil mount failed"},
    };
    DiskUtilityActionCommand command;
    command.failureMessage = "diskutil mount failed";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        command.errorDomain = c.domain;
        ProcessResult result;
        result.outcome = c.outcome;
        result.exitCode = c.exitCode;
        result.standardError = c.standardError;
        const std::exception_ptr failure = diskUtilityActionFailure(command, result);
        std::string outcome = "ok";
        if (failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const DriveOperationError& error) {
                outcome = error.domain() + " " + std::to_string(error.code()) + " " +
                          error.localizedDescription();
            } catch (const CancellationError&) {
                outcome = "cancelled";
            }
        }
        EXPECT_EQ(outcome, c.expected);
    }
}

TEST(UnmountVolumeContinuationState, ResumesExactlyOnce) {
    const auto settle =
        [](const std::function<void(UnmountVolumeContinuationState&, Completion<void>&)>& steps) {
            UnmountVolumeContinuationState state;
            Completion<void> continuation;
            steps(state, continuation);
            if (!continuation.isDone()) {
                return std::string("waiting");
            }
            try {
                test::runTask(awaitCompletion(continuation));
                return std::string("ok");
            } catch (const CancellationError&) {
                return std::string("cancelled");
            } catch (const std::exception& error) {
                return std::string(error.what());
            }
        };
    const auto boom = std::make_exception_ptr(std::runtime_error("busy"));
    EXPECT_EQ(settle([](auto& s, auto& c) { s.install(c); }), "waiting");
    EXPECT_EQ(settle([&](auto& s, auto& c) {
                  s.install(c);
                  s.complete(boom);
                  s.complete(nullptr);
                  s.cancelIfNeeded();
              }),
              "busy");
    EXPECT_EQ(settle([](auto& s, auto& c) {
                  s.install(c);
                  s.complete(nullptr);
              }),
              "ok");
    EXPECT_EQ(settle([](auto& s, auto& c) {
                  s.cancelIfNeeded();
                  s.install(c);
                  s.complete(nullptr);
              }),
              "cancelled");
}

class DriveExecutorsOnSimulatedMachine : public inventorytest::SimulatedMachineTest {
protected:
    // Stand-in children of this test still alive: those that see this test's machine.
    int standInChildrenAlive() const {
        int alive = 0;
        const std::string marker =
            std::string(SimulatedStateFile::environmentVariable) + "=" + stateFile().path();
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
            bool numeric = false;
            pid.toInt(&numeric);
            if (!numeric) {
                continue;
            }
            QFile environ("/proc/" + pid + "/environ");
            if (!environ.open(QIODevice::ReadOnly)) {
                continue;
            }
            const QByteArray text = environ.readAll();
            const QString exe = QFile::symLinkTarget("/proc/" + pid + "/exe");
            if (text.contains(QByteArray::fromStdString(marker)) && exe.endsWith("/diskutil")) {
                ++alive;
            }
        }
        return alive;
    }

    // A USB stick whose `diskutil eject` hangs and ignores SIGTERM; its BSD name.
    std::string attachStickWhoseEjectHangs() {
        SimulatedWorld world;
        world.createMountDirectories = false;
        const std::string disk = attachPreset(world, SimulatedDrivePreset::usbStick);
        stateFile().write(world);
        addHangIgnoringTerminate("eject");
        return disk;
    }
};

TEST_F(DriveExecutorsOnSimulatedMachine, HungEjectTimesOutAndLeavesNoChild) {
    const std::string disk = attachStickWhoseEjectHangs();

    auto ejector = std::make_shared<WorkspaceDriveEjector>(
        std::make_shared<LiveEjectDiskUtilityRunner>(inventorytest::standInPath("diskutil")),
        nullptr, storetest::simulatedMachineDriveCheck());
    BerthkeepActionCoordinator coordinator(
        ejector, nullptr, BerthkeepLogger(std::make_shared<test::RecordingLogSink>()), 0ms, 300ms,
        LiveClock::shared());
    DriveIdentity identity;
    identity.volumeUUID = stateFile().read().findDisk(disk)->volumes.back().volumeUUID;
    const DetectedDrive drive("id", "Stick", QUrl::fromLocalFile("/Volumes/Stick/"),
                              DetectedDrive::Scope::managed, true, disk + "s1", disk, std::nullopt,
                              true, identity);
    BerthkeepActionCoordinator::EjectOperation operation =
        [ejector, drive](std::shared_ptr<CancelToken> token) {
            return ejector->eject(drive, DriveEjectMode::device, std::move(token));
        };
    EXPECT_EQ(outcomeOf(coordinator.runWithTimeout(300ms, operation)),
              "BerthkeepStore.Eject -1001 Eject attempt timed out");
    EXPECT_EQ(standInChildrenAlive(), 0);
    EXPECT_TRUE(stateFile().read().findDisk(disk));
}

// Negative bounds are clamped as for the inventory's tool runs: the hung child is
// stopped at once, not handed to the runner as a negative deadline.
TEST_F(DriveExecutorsOnSimulatedMachine, NegativeBoundsStopAHungCommandAtOnce) {
    const std::string disk = attachStickWhoseEjectHangs();

    DiskUtilityActionCommand command;
    command.executablePath = inventorytest::standInPath("diskutil");
    command.arguments = {"eject", disk};
    command.failureMessage = "diskutil eject failed";
    command.errorDomain = DriveOperationError::ejectDomain;
    command.deadline = -3000ms;
    command.terminationGracePeriod = -250ms;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(outcomeOf(discardingText(runDiskUtilityAction(command, nullptr))),
              "BerthkeepStore.Eject -1001 Eject attempt timed out");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
    EXPECT_EQ(standInChildrenAlive(), 0);
}

TEST_F(DriveExecutorsOnSimulatedMachine, RemounterReportsTheToolsReasonAndMountsReplugged) {
    SimulatedWorld world;
    world.createMountDirectories = false;
    const std::string disk = attachPreset(world, SimulatedDrivePreset::usbStick);
    const std::string volume = world.findDisk(disk)->volumes.back().bsdName;
    DriveIdentity identity;
    identity.volumeUUID = world.findDisk(disk)->volumes.back().volumeUUID;
    ejectDisk(world, disk);
    stateFile().write(world);
    WorkspaceDriveRemounter remounter(storetest::simulatedMachineDriveCheck(),
                                      inventorytest::standInPath("diskutil"));
    const RemountTarget target{"id", "Stick", volume, std::nullopt, "id", identity};

    // Parked, not plugged in: gone, and the tool is not asked.
    EXPECT_EQ(outcomeOf(remounter.mount(target, nullptr)),
              "BerthkeepStore.Remount -1002 Drive no longer attached");

    stateFile().update([&](SimulatedWorld& w) { return replugDisk(w, disk, false).replugged; });
    ScriptedBehaviour refuse;
    refuse.verb = "mount";
    refuse.exitStatus = 1;
    refuse.standardError = "  failed\n";
    refuse.remainingUses = 1;
    addBehaviour(refuse);
    EXPECT_EQ(outcomeOf(remounter.mount(target, nullptr)), "BerthkeepStore.Remount 1 failed");
    EXPECT_EQ(outcomeOf(remounter.mount(target, nullptr)), "ok");
    EXPECT_TRUE(stateFile().read().findVolume(volume)->mounted);

    // The name now belongs to another stick: neither it nor its disk is mounted.
    stateFile().update([&](SimulatedWorld& w) {
        w.findVolume(volume)->mounted = false;
        return true;
    });
    RemountTarget other = target;
    other.identity.volumeUUID = "00000000-0000-0000-0000-000000000000";
    EXPECT_EQ(outcomeOf(remounter.mount(other, nullptr)),
              "BerthkeepStore.Remount -1002 Drive no longer attached");
    const RemountGroup group{disk, disk, {other}};
    EXPECT_EQ(outcomeOf(remounter.mountDisk(group, nullptr)),
              "BerthkeepStore.Remount -1002 Drive no longer attached");
    EXPECT_FALSE(stateFile().read().findVolume(volume)->mounted);
}

TEST_F(DriveExecutorsOnSimulatedMachine, VolumeWithoutBSDNameUnmountsThroughTheFileManager) {
    SimulatedWorld world;
    world.mountRoot = mountRoot();
    attachPreset(world, SimulatedDrivePreset::networkVolume, std::string("Share"));
    stateFile().write(world);
    const std::string path = stateFile().read().networkVolumes.at(0).mountPath;

    const auto runner = std::make_shared<RecordingRunner>();
    WorkspaceDriveEjector ejector(runner,
                                  std::make_shared<SimulatedMountedVolumeUnmounting>(stateFile()),
                                  scriptedCheck(runner));
    const DetectedDrive share("share", "Share", volumeDirectoryURL(path),
                              DetectedDrive::Scope::managed, true);
    EXPECT_EQ(outcomeOf(ejector.eject(share, DriveEjectMode::volume, nullptr)), "ok");
    EXPECT_TRUE(stateFile().read().networkVolumes.empty());
    // Gone now: the layer says why, as the file manager would.
    EXPECT_NE(outcomeOf(ejector.eject(share, DriveEjectMode::volume, nullptr)), "ok");
}

} // namespace
} // namespace berthkeep
