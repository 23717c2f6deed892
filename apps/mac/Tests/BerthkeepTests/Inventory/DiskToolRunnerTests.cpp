#include "InventoryTestSupport.hpp"

#include <chrono>
#include <cstdio>
#include <functional>

#include "Berthkeep/Inventory/DiskImagePlistInventoryParser.hpp"
#include "Berthkeep/Inventory/DiskUtilityError.hpp"
#include "Berthkeep/Inventory/DiskUtilityListOutput.hpp"
#include "Berthkeep/Inventory/DiskUtilityOutputDecoding.hpp"
#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The deadline of a call that hangs; a quick test on an idle machine.
constexpr auto shortTimeout = 800ms;
// What a child that shrugs off SIGTERM lives past its deadline: the 250 ms
// grace, less timer slack.
constexpr auto graceBeforeKill = 240ms;
// The longest deadline a timed hang is given on a loaded machine.
constexpr auto longestHangTimeout = 15s;

const std::vector<std::string> listArguments{"list", "-plist", "external"};

std::vector<std::string> infoArguments(const std::string& device) {
    return {"info", "-plist", device};
}

// disk0/disk1 internal, disk2 USB stick, disk3 + container disk4 APFS SSD, disk5
// a disk image.
class DiskToolRunnerTest : public inventorytest::SimulatedMachineTest {
protected:
    void SetUp() override {
        SimulatedMachineTest::SetUp();
        SimulatedWorld world = makeSampleWorld(mountRoot());
        attachPreset(world, SimulatedDrivePreset::apfsDisk);
        attachPreset(world, SimulatedDrivePreset::diskImage, std::nullopt,
                     std::string("/images/Installer.dmg"));
        stateFile().write(world);
    }

    LiveDiskUtilityRunner
    runner(std::chrono::milliseconds timeout = inventorytest::answeringCallTimeout) const {
        return LiveDiskUtilityRunner(inventorytest::standInPath("diskutil"), timeout, 250ms);
    }

    struct TimedHang {
        std::chrono::milliseconds timeout;
        Clock::duration elapsed;
    };

    // Times `call`, given its deadline, against the hang of addHangIgnoringTerminate.
    // SIGTERM that comes before the stand-in has set its handler ends it and proves
    // nothing, so a run counts only when the stand-in began to hang before its
    // deadline; a loaded machine, slow to start it, gets longer deadlines.
    std::optional<TimedHang>
    timeAHangBegunByItsDeadline(const std::function<void(std::chrono::milliseconds)>& call) const {
        for (auto timeout = shortTimeout; timeout <= longestHangTimeout; timeout *= 4) {
            std::remove(readyFile().c_str());
            const auto started = Clock::now();
            call(timeout);
            const auto elapsed = Clock::now() - started;
            const auto began = hangBeganAt();
            if (began && *began < started + timeout) {
                return TimedHang{timeout, elapsed};
            }
        }
        return std::nullopt;
    }

    static DriveInventoryAuditContext enhanced() {
        return {ActivityDetectionMode::enhanced, BerthkeepAuditWorkPhase::backgroundWork,
                DriveInventoryRefreshStage::reconcile};
    }

    // The error run() throws, or none.
    std::optional<DiskUtilityError> runError(const LiveDiskUtilityRunner& diskutil,
                                             const std::vector<std::string>& arguments) const {
        try {
            diskutil.run(arguments);
        } catch (const DiskUtilityError& error) {
            return error;
        }
        return std::nullopt;
    }
};

TEST_F(DiskToolRunnerTest, StandInOutputDecodesIntoTheRecords) {
    const auto diskutil = runner();
    const auto list =
        decodeDiskUtilityOutput<DiskUtilityListOutput>(diskutil, enhanced(), listArguments);
    ASSERT_TRUE(list.has_value());
    const auto& disks = list->allDisks;
    EXPECT_NE(std::find(disks.begin(), disks.end(), "disk2s1"), disks.end());
    EXPECT_EQ(std::find(disks.begin(), disks.end(), "disk0"), disks.end())
        << "internal disks are not listed";

    const auto stick = decodeDiskUtilityOutput<DiskUtilityVolumeFacts>(diskutil, enhanced(),
                                                                       infoArguments("disk2s1"));
    ASSERT_TRUE(stick.has_value());
    EXPECT_EQ(stick->deviceIdentifier, "disk2s1");
    EXPECT_EQ(stick->internal, false);
    EXPECT_EQ(stick->wholeDisk, false);
    EXPECT_EQ(stick->volumeName, std::optional<std::string>("USB STICK"));
    EXPECT_EQ(stick->parentWholeDisk, std::optional<std::string>("disk2"));
    ASSERT_TRUE(stick->mountPoint.has_value());
    EXPECT_EQ(*stick->mountPoint, mountRoot() + "/USB STICK");

    // Every listed device decodes, APFS volumes with their physical store.
    bool sawPhysicalStore = false;
    for (const auto& device : disks) {
        const auto facts = decodeDiskUtilityOutput<DiskUtilityVolumeFacts>(diskutil, enhanced(),
                                                                           infoArguments(device));
        ASSERT_TRUE(facts.has_value()) << device;
        EXPECT_EQ(facts->deviceIdentifier, device);
        sawPhysicalStore =
            sawPhysicalStore || (facts->apfsPhysicalStores && !facts->apfsPhysicalStores->empty());
    }
    EXPECT_TRUE(sawPhysicalStore);
}

TEST_F(DiskToolRunnerTest, NonZeroExitCarriesTheTrimmedStandardError) {
    const auto diskutil = runner();
    const auto unknown = runError(diskutil, infoArguments("disk42"));
    ASSERT_TRUE(unknown.has_value());
    EXPECT_EQ(unknown->domain(), "MountedVolumeInventoryService.diskutil");
    EXPECT_EQ(unknown->code(), 1);
    EXPECT_EQ(unknown->localizedDescription(), "Could not find disk: disk42");

    ScriptedBehaviour busy;
    busy.verb = "info";
    busy.exitStatus = 3;
    busy.standardError = "  \tResource busy\n";
    busy.remainingUses = 1;
    addBehaviour(busy);
    const auto failed = runError(diskutil, infoArguments("disk2s1"));
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->code(), 3);
    EXPECT_EQ(failed->localizedDescription(), "Resource busy");

    for (const std::string standardError : {"", " \n\t "}) {
        ScriptedBehaviour silent;
        silent.verb = "list";
        silent.exitStatus = 1;
        silent.standardError = standardError;
        silent.remainingUses = 1;
        addBehaviour(silent);
        const auto error = runError(diskutil, listArguments);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code(), 1);
        EXPECT_EQ(error->localizedDescription(), "diskutil command failed");
    }
}

TEST_F(DiskToolRunnerTest, HungChildIgnoringTerminateIsKilledAfterTheGracePeriod) {
    addHangIgnoringTerminate("info");
    std::optional<DiskUtilityError> error;
    const auto run = timeAHangBegunByItsDeadline([&](std::chrono::milliseconds timeout) {
        error = runError(runner(timeout), infoArguments("disk2s1"));
    });
    ASSERT_TRUE(run.has_value()) << "the stand-in never began to hang before its deadline";
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), 124);
    EXPECT_EQ(error->localizedDescription(), "diskutil command timed out");
    EXPECT_GE(run->elapsed, run->timeout + graceBeforeKill) << "SIGKILL only after the grace";
    EXPECT_LT(run->elapsed, run->timeout + 2000ms);
}

TEST_F(DiskToolRunnerTest, HungChildThatHonoursTerminateNeedsNoKill) {
    ScriptedBehaviour hang;
    hang.verb = "info";
    hang.hang = true;
    addBehaviour(hang);
    const auto started = Clock::now();
    const auto error = runError(runner(shortTimeout), infoArguments("disk2s1"));
    const auto elapsed = Clock::now() - started;
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), 124);
    EXPECT_LT(elapsed, shortTimeout + graceBeforeKill)
        << "ended by SIGTERM, not by waiting out the grace period";
}

TEST_F(DiskToolRunnerTest, LaunchFailurePassesThroughUnchanged) {
    const LiveDiskUtilityRunner missing(inventorytest::standInPath("no-such-diskutil"));
    EXPECT_THROW(missing.run(listArguments), ProcessLaunchError);
    const LiveDiskUtilityRunner defaults;
    EXPECT_EQ(defaults.executablePath(), "/usr/sbin/diskutil");
    EXPECT_EQ(defaults.timeout(), 5000ms);
    EXPECT_EQ(defaults.terminationGracePeriod(), 250ms);
}

TEST_F(DiskToolRunnerTest, EmptyOutputRunsButDoesNotDecode) {
    ScriptedBehaviour empty;
    empty.verb = "list";
    empty.exitStatus = 0;
    addBehaviour(empty);
    const auto diskutil = runner();
    EXPECT_EQ(diskutil.run(listArguments), "");
    inventorytest::AuditCapture audit(true);
    EXPECT_EQ(decodeDiskUtilityOutput<DiskUtilityListOutput>(diskutil, enhanced(), listArguments),
              std::nullopt);
    const auto entries = audit.entries();
    ASSERT_EQ(entries.size(), 1u) << "a decode failure is silent";
    EXPECT_EQ(entries[0].type, UnifiedLogType::debug);
    EXPECT_NE(entries[0].message.find("Executing diskutil"), std::string::npos);
}

TEST_F(DiskToolRunnerTest, CoreOnlyModeStartsNothingAndWritesTheFault) {
    ScriptedBehaviour trap; // would fail the test through a hang if a child ran
    trap.verb = "list";
    trap.hang = true;
    addBehaviour(trap);
    inventorytest::AuditCapture audit(false);
    const DriveInventoryAuditContext coreOnly{ActivityDetectionMode::coreOnly,
                                              BerthkeepAuditWorkPhase::appLaunch,
                                              DriveInventoryRefreshStage::bootstrap};
    const auto started = Clock::now();
    EXPECT_EQ(decodeDiskUtilityOutput<DiskUtilityListOutput>(runner(), coreOnly, listArguments),
              std::nullopt);
    EXPECT_LT(Clock::now() - started, 200ms);
    const auto entries = audit.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, UnifiedLogType::fault);
    const std::string& line = entries[0].message;
    for (const char* part :
         {"Attempted to execute diskutil in core-only mode", "list -plist external",
          "MountedVolumeInventoryService", "decodeDiskUtilityOutput", "core_only", "app_launch"}) {
        EXPECT_NE(line.find(part), std::string::npos) << part << " in " << line;
    }
}

TEST_F(DiskToolRunnerTest, RunnerFailureWritesTheErrorLineOnly) {
    inventorytest::AuditCapture audit(false);
    EXPECT_EQ(decodeDiskUtilityOutput<DiskUtilityVolumeFacts>(runner(), enhanced(),
                                                              infoArguments("disk42")),
              std::nullopt);
    const auto entries = audit.entries();
    ASSERT_EQ(entries.size(), 1u) << "no debug line while debug logging is off";
    EXPECT_EQ(entries[0].type, UnifiedLogType::error);
    EXPECT_NE(entries[0].message.find("diskutil execution failed"), std::string::npos);
    EXPECT_NE(entries[0].message.find("info -plist disk42"), std::string::npos);
    EXPECT_EQ(entries[0].message.find("Could not find disk"), std::string::npos)
        << "the error itself is not logged";
}

// --- disk images ---

TEST_F(DiskToolRunnerTest, RegistryListsTheAttachedImageDevices) {
    const LiveDiskImageRegistry registry(inventorytest::standInPath("hdiutil"),
                                         inventorytest::answeringCallTimeout);
    const auto images = registry.currentImagesByDeviceIdentifier();
    ASSERT_EQ(images.count("disk5"), 1u);
    ASSERT_EQ(images.count("disk5s1"), 1u);
    EXPECT_EQ(images.at("disk5s1").imagePath, std::optional<std::string>("/images/Installer.dmg"));
    EXPECT_EQ(images.count("disk2"), 0u);
}

TEST_F(DiskToolRunnerTest, RegistryFailuresGiveNothing) {
    ScriptedBehaviour failing;
    failing.tool = "hdiutil";
    failing.verb = "info";
    failing.exitStatus = 1;
    failing.standardOutput =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>images</key><array><dict>"
        "<key>system-entities</key><array><dict><key>dev-entry</key><string>/dev/disk9</string>"
        "</dict></array></dict></array></dict></plist>";
    failing.remainingUses = 1;
    addBehaviour(failing);
    const LiveDiskImageRegistry registry(inventorytest::standInPath("hdiutil"),
                                         inventorytest::answeringCallTimeout);
    EXPECT_TRUE(registry.currentImagesByDeviceIdentifier().empty())
        << "a valid list with status 1 is not used";

    EXPECT_TRUE(LiveDiskImageRegistry(inventorytest::standInPath("no-such-hdiutil"))
                    .currentImagesByDeviceIdentifier()
                    .empty());
}

TEST_F(DiskToolRunnerTest, HungImageUtilityIsStoppedAtTheDeadline) {
    addHangIgnoringTerminate("info", "hdiutil");
    const auto run = timeAHangBegunByItsDeadline([](std::chrono::milliseconds timeout) {
        const LiveDiskImageRegistry registry(inventorytest::standInPath("hdiutil"), timeout, 250ms);
        EXPECT_TRUE(registry.currentImagesByDeviceIdentifier().empty());
    });
    ASSERT_TRUE(run.has_value()) << "the stand-in never began to hang before its deadline";
    EXPECT_GE(run->elapsed, run->timeout + graceBeforeKill);
    EXPECT_LT(run->elapsed, run->timeout + 2000ms);
}

// Both tools clamp the same way: a negative time-out or grace period stops a
// hung child at once instead of reaching the runner as a negative deadline.
TEST_F(DiskToolRunnerTest, NegativeDurationsStopBothToolsAtOnce) {
    for (const char* tool : {"diskutil", "hdiutil"}) {
        SCOPED_TRACE(tool);
        ScriptedBehaviour hang;
        hang.tool = tool;
        hang.verb = "info";
        hang.hang = true;
        hang.ignoreTerminate = true;
        stateFile().update([&](SimulatedWorld& world) {
            world.behaviours = {hang};
            return true;
        });
        const auto started = Clock::now();
        if (std::string(tool) == "diskutil") {
            const auto error =
                runError(LiveDiskUtilityRunner(inventorytest::standInPath(tool), -3000ms, -250ms),
                         infoArguments("disk2s1"));
            ASSERT_TRUE(error.has_value());
            EXPECT_EQ(error->code(), 124);
        } else {
            const LiveDiskImageRegistry registry(inventorytest::standInPath(tool), -3000ms, -250ms);
            EXPECT_TRUE(registry.currentImagesByDeviceIdentifier().empty());
        }
        EXPECT_LT(Clock::now() - started, 1500ms);
    }
}

std::string imagesPlist(const std::string& images) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
           "<key>framework</key><string>683</string>" +
           images + "</dict></plist>";
}

TEST_F(DiskToolRunnerTest, OutputPastTheRunnerLimitFailsEvenWithStatusZero) {
    // Each stand-in call here reads and writes a machine file of megabytes;
    // instrumented on a loaded machine, that takes longer than any answering
    // call's limit. What is checked is the size limit, not the time one.
    constexpr std::chrono::milliseconds largeAnswerTimeout = 5min;
    // Valid answers followed by blanks: cut at the limit they would still decode.
    const std::string list = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                             "<key>AllDisks</key><array><string>disk9</string></array>"
                             "</dict></plist>";
    const std::string images = imagesPlist(
        "<key>images</key><array><dict><key>system-entities</key><array>"
        "<dict><key>dev-entry</key><string>/dev/disk9</string></dict></array></dict></array>");
    for (const std::size_t padding : {std::size_t{16}, defaultProcessOutputLimit}) {
        const bool tooLarge = padding == defaultProcessOutputLimit;
        ScriptedBehaviour listing;
        listing.verb = "list";
        listing.exitStatus = 0;
        listing.standardOutput = list + std::string(padding, ' ');
        listing.remainingUses = 1;
        addBehaviour(listing);
        ScriptedBehaviour info = listing;
        info.tool = "hdiutil";
        info.verb = "info";
        info.standardOutput = images + std::string(padding, ' ');
        addBehaviour(info);

        const auto error = runError(runner(largeAnswerTimeout), listArguments);
        const auto attached =
            LiveDiskImageRegistry(inventorytest::standInPath("hdiutil"), largeAnswerTimeout)
                .currentImagesByDeviceIdentifier();
        EXPECT_EQ(attached.count("disk9"), tooLarge ? 0u : 1u) << padding;
        if (!tooLarge) {
            EXPECT_FALSE(error.has_value()) << padding;
            continue;
        }
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code(), DiskUtilityError::outputTooLargeCode);
        EXPECT_EQ(error->localizedDescription(), "diskutil output too large");
    }
}

TEST(DiskImagePlistInventoryParserTest, MapsDevEntriesToTheirImage) {
    const auto attachments =
        DiskImagePlistInventoryParser::attachmentsByDeviceIdentifier(imagesPlist(
            "<key>images</key><array>"
            "<dict><key>image-path</key><string>/a.dmg</string><key>system-entities</key><array>"
            "<dict><key>dev-entry</key><string>/dev/disk6</string></dict>"
            "<dict><key>dev-entry</key><string>/dev/disk6s1</string><key>mount-point</key><string>/"
            "Volumes/A</string></dict>"
            "<dict><key>mount-point</key><string>/Volumes/Nothing</string></dict>"
            "</array></dict>"
            "<dict><key>system-entities</key><array>"
            "<dict><key>dev-entry</key><string>disk7</string></dict>"
            "</array></dict>"
            "<dict><key>image-path</key><string>/b.dmg</string><key>system-entities</key><array>"
            "<dict><key>dev-entry</key><string>/dev/disk6s1</string></dict>"
            "</array></dict>"
            "</array>"));
    const std::map<std::string, DiskImageAttachment> expected{
        {"disk6", DiskImageAttachment{"/a.dmg"}},
        {"disk6s1", DiskImageAttachment{"/b.dmg"}}, // the last image wins
        {"disk7", DiskImageAttachment{std::nullopt}},
    };
    EXPECT_EQ(attachments, expected);
}

TEST(DiskImagePlistInventoryParserTest, MalformedListsGiveNothing) {
    const std::vector<std::pair<const char*, std::string>> cases{
        {"empty", ""},
        {"garbage", "images = ()"},
        {"no images", imagesPlist("")},
        {"images not an array", imagesPlist("<key>images</key><dict/>")},
        {"image without system-entities",
         imagesPlist("<key>images</key><array>"
                     "<dict><key>system-entities</key><array><dict><key>dev-entry</key><string>/"
                     "dev/disk6</string>"
                     "</dict></array></dict>"
                     "<dict><key>image-path</key><string>/b.dmg</string></dict></array>")},
        {"dev-entry of the wrong type",
         imagesPlist(
             "<key>images</key><array><dict><key>system-entities</key><array>"
             "<dict><key>dev-entry</key><integer>6</integer></dict></array></dict></array>")},
        {"image-path of the wrong type",
         imagesPlist("<key>images</key><array><dict><key>image-path</key><true/"
                     "><key>system-entities</key><array>"
                     "<dict><key>dev-entry</key><string>/dev/disk6</string></dict></array></dict></"
                     "array>")},
        {"image-path given as a date",
         imagesPlist("<key>images</key><array><dict><key>image-path</key>"
                     "<date>2024-01-01T00:00:00Z</date><key>system-entities</key><array>"
                     "<dict><key>dev-entry</key><string>/dev/disk6</string></dict></array></dict>"
                     "</array>")},
        {"dev-entry given as data",
         imagesPlist("<key>images</key><array><dict><key>system-entities</key><array>"
                     "<dict><key>dev-entry</key><data>ZGlzazY=</data></dict></array></dict>"
                     "</array>")},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_TRUE(DiskImagePlistInventoryParser::attachmentsByDeviceIdentifier(bytes).empty())
            << name;
    }
    EXPECT_TRUE(DiskImagePlistInventoryParser::attachmentsByDeviceIdentifier(
                    imagesPlist("<key>images</key><array/>"))
                    .empty());
}

} // namespace
} // namespace berthkeep
