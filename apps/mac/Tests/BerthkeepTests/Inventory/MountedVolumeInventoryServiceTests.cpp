#include "InventoryServiceTestSupport.hpp"
#include "InventoryTestSupport.hpp"

#include <QFileInfo>

#include <algorithm>
#include <chrono>

#include "Berthkeep/Inventory/DetectedDrive+Sorting.hpp"
#include "Berthkeep/Inventory/DriveInventoryMountedVolumeBootstrap.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using inventorytest::contains;
using inventorytest::linesWith;

DriveInventoryAuditContext context(ActivityDetectionMode mode, DriveInventoryRefreshStage stage) {
    return {mode, BerthkeepAuditWorkPhase::backgroundWork, stage};
}

const DriveInventoryAuditContext enhancedReconcile =
    context(ActivityDetectionMode::enhanced, DriveInventoryRefreshStage::reconcile);

struct Expected {
    std::string name;
    std::string bsdName;
    std::string ejectTarget;
    std::string group;
    bool allowsGroupedWakeRemount;
};

// disk0 + disk1: internal; disk2: USB stick "Disk 10"; disk3 + container disk4:
// APFS SSD with "Disk 9" and "Archive"; disk5: disk image "Installer"; plus a
// network share "Shared". Volumes sit under "/Volumes" (no real folders).
class InventoryServiceTest : public inventorytest::SimulatedMachineTest {
protected:
    void SetUp() override {
        SimulatedMachineTest::SetUp();
        SimulatedWorld world;
        world.createMountDirectories = false;
        attachPreset(world, SimulatedDrivePreset::internalDisk);
        attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Disk 10"));
        attachPreset(world, SimulatedDrivePreset::apfsDisk, std::string("Disk 9"));
        attachPreset(world, SimulatedDrivePreset::diskImage);
        attachPreset(world, SimulatedDrivePreset::networkVolume);
        configure(world);
    }

    void configure(SimulatedWorld& world) {
        stateFile().write(world);
        m_world = world;
        m_diskArbitration = std::make_shared<LiveDiskArbitrationProvider>(
            std::make_shared<SimulatedDiskArbitration>(stateFile()));
    }

    std::shared_ptr<const DiskUtilityRunning>
    standInRunner(std::chrono::milliseconds timeout = inventorytest::answeringCallTimeout) {
        return std::make_shared<LiveDiskUtilityRunner>(inventorytest::standInPath("diskutil"),
                                                       timeout, 250ms);
    }

    // The volumes folder is the world's mount root unless a test says otherwise.
    MountedVolumeInventoryService
    service(std::shared_ptr<const DiskUtilityRunning> runner = nullptr,
            std::shared_ptr<const DiskImageListing> images = nullptr,
            std::optional<VolumesFolder> volumesFolder = std::nullopt) {
        if (!runner) {
            runner = standInRunner();
        }
        if (!images) {
            images = std::make_shared<LiveDiskImageRegistry>(inventorytest::standInPath("hdiutil"),
                                                             inventorytest::answeringCallTimeout);
        }
        return MountedVolumeInventoryService(
            std::move(runner), std::move(images), m_diskArbitration,
            std::make_shared<SimulatedMountedVolumeListing>(stateFile()),
            volumesFolder.value_or(m_world.volumesFolder()));
    }

    // What the inventory monitor does as the disks appear.
    void primeDiskArbitrationCache() {
        for (const auto& disk : m_world.disks) {
            m_diskArbitration->description(disk.bsdName);
            for (const auto& volume : disk.volumes) {
                m_diskArbitration->description(volume.bsdName);
            }
        }
    }

    std::string uuidOf(const std::string& bsdName) const {
        return *m_world.findVolume(bsdName)->volumeUUID;
    }

    static void expectDrives(const std::vector<DetectedDrive>& drives,
                             const std::vector<Expected>& expected) {
        ASSERT_EQ(drives.size(), expected.size());
        for (std::size_t index = 0; index < expected.size(); ++index) {
            SCOPED_TRACE(expected[index].name);
            const DetectedDrive& drive = drives[index];
            EXPECT_EQ(drive.name(), expected[index].name);
            EXPECT_EQ(drive.bsdName(), std::optional<std::string>(expected[index].bsdName));
            EXPECT_EQ(drive.ejectTargetBSDName(),
                      std::optional<std::string>(expected[index].ejectTarget));
            EXPECT_EQ(drive.ejectGroupID(), expected[index].group);
            EXPECT_EQ(drive.allowsGroupedWakeRemount(), expected[index].allowsGroupedWakeRemount);
        }
    }

    SimulatedWorld m_world;
    std::shared_ptr<LiveDiskArbitrationProvider> m_diskArbitration;
};

TEST_F(InventoryServiceTest, DetailedPathListsThePhysicalExternalVolumesGroupedByWholeDisk) {
    inventorytest::AuditCapture audit(true);
    auto inventory = service();
    const auto drives = inventory.snapshot({uuidOf("disk4s2")}, enhancedReconcile);

    // The whole disks are listed too, so no group may be remounted as a group.
    expectDrives(drives, {{"Archive", "disk4s2", "disk3", "disk3", false},
                          {"Disk 9", "disk4s1", "disk3", "disk3", false},
                          {"Disk 10", "disk2s1", "disk2", "disk2", false}});
    EXPECT_EQ(drives[0].id(), uuidOf("disk4s2"));
    EXPECT_EQ(drives[0].scope(), DetectedDrive::Scope::excluded) << "excluded by UUID";
    EXPECT_EQ(drives[1].scope(), DetectedDrive::Scope::managed);
    EXPECT_EQ(drives[2].id(), uuidOf("disk2s1"));
    EXPECT_TRUE(drives[2].isEjectable());
    EXPECT_EQ(drives[2].mountURL(), std::optional<QUrl>(QUrl::fromLocalFile("/Volumes/Disk 10/")));

    const auto entries = audit.entries();
    const auto prefilter = linesWith(entries, "Prefiltered diskutil hydration candidates");
    ASSERT_EQ(prefilter.size(), 1u);
    // disk5 is the image; its partition follows through the cached whole disk.
    for (const char* part : {"listed_count=10", "kept_count=8", "virtual_prefilter_count=1",
                             "cached_ignore_count=1"}) {
        EXPECT_TRUE(contains(prefilter[0], part)) << prefilter[0];
    }
    const auto finished = linesWith(entries, "Finished drive inventory refresh");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_TRUE(contains(finished[0], "drive_count=3"));
    EXPECT_TRUE(contains(finished[0], "stage=reconcile"));
    EXPECT_TRUE(linesWith(entries, "Falling back").empty());

    // The image is remembered: the next snapshot skips it without asking.
    inventory.snapshot({}, enhancedReconcile);
    const auto again = linesWith(audit.entries(), "Prefiltered diskutil hydration candidates");
    ASSERT_EQ(again.size(), 2u);
    EXPECT_TRUE(contains(again[1], "cached_ignore_count=2")) << again[1];
}

TEST_F(InventoryServiceTest, RefreshAsksOnlyAboutDisksThatChangedAndKeepsTheRest) {
    const auto standIn = standInRunner();
    const auto runner = std::make_shared<inventorytest::RecordingDiskUtilityRunner>(
        [standIn](const std::vector<std::string>& arguments) { return standIn->run(arguments); });
    auto inventory = service(runner);
    // The devices of the `info` calls since the last look, sorted.
    std::size_t seen = 0;
    const auto takeInfoDevices = [&] {
        const auto calls = runner->calls();
        std::vector<std::string> devices;
        for (; seen < calls.size(); ++seen) {
            if (calls[seen].size() == 3 && calls[seen][0] == "info") {
                devices.push_back(calls[seen][2]);
            }
        }
        std::sort(devices.begin(), devices.end());
        return devices;
    };
    // What the monitor does once it is started: every disk reported.
    const auto session = m_diskArbitration->service()->createSession();
    const auto report = [&](const std::string& bsdName) {
        const auto disk = session->createDiskFromBSDName(bsdName);
        ASSERT_TRUE(disk.has_value()) << bsdName;
        m_diskArbitration->cacheDescription(*disk, *session);
    };
    for (const char* name :
         {"disk2", "disk2s1", "disk3", "disk3s1", "disk3s2", "disk4", "disk4s1", "disk4s2"}) {
        report(name);
    }

    const auto cold = inventory.snapshot({}, enhancedReconcile);
    EXPECT_EQ(takeInfoDevices().size(), 8u) << "cold start asks all";
    EXPECT_EQ(inventory.snapshot({}, enhancedReconcile), cold);
    EXPECT_EQ(takeInfoDevices(), std::vector<std::string>{});

    // Unmounted, and the inventory runs before the disk service tells of it.
    stateFile().update(
        [](SimulatedWorld& world) { return unmountVolume(world, "disk2s1").exitStatus == 0; });
    auto drives = inventory.snapshot({}, enhancedReconcile);
    EXPECT_EQ(takeInfoDevices(), std::vector<std::string>{"disk2s1"});
    ASSERT_EQ(drives.size(), cold.size());
    EXPECT_FALSE(drives[2].isMounted());
    EXPECT_EQ(drives[0], cold[0]);
    EXPECT_EQ(drives[1], cold[1]);

    // The disk service's word alone is enough too.
    report("disk4s1");
    drives = inventory.snapshot({}, enhancedReconcile);
    EXPECT_EQ(takeInfoDevices(), std::vector<std::string>{"disk4s1"});

    // Gone: its facts are dropped and nothing else is asked.
    stateFile().update(
        [](SimulatedWorld& world) { return ejectDisk(world, "disk2").exitStatus == 0; });
    drives = inventory.snapshot({}, enhancedReconcile);
    EXPECT_EQ(takeInfoDevices(), std::vector<std::string>{});
    EXPECT_EQ(drives.size(), 2u);
    // Back as it was last seen, before the disk service tells: asked all the same.
    stateFile().update(
        [](SimulatedWorld& world) { return replugDisk(world, "disk2", false).replugged; });
    drives = inventory.snapshot({}, enhancedReconcile);
    EXPECT_EQ(takeInfoDevices(), (std::vector<std::string>{"disk2", "disk2s1"}));
    EXPECT_EQ(drives.size(), 3u);
}

TEST_F(InventoryServiceTest, BootstrapAndCoreOnlyStagesStartNoChildProcess) {
    primeDiskArbitrationCache();
    auto runner = std::make_shared<inventorytest::RecordingDiskUtilityRunner>();
    auto images = std::make_shared<inventorytest::RecordingDiskImageListing>();
    auto inventory = service(runner, images);

    for (const auto& snapshotContext :
         {context(ActivityDetectionMode::enhanced, DriveInventoryRefreshStage::bootstrap),
          context(ActivityDetectionMode::standard, DriveInventoryRefreshStage::bootstrap),
          context(ActivityDetectionMode::coreOnly, DriveInventoryRefreshStage::reconcile)}) {
        const auto drives = inventory.snapshot({}, snapshotContext);
        EXPECT_EQ(drives.size(), 4u);
    }
    EXPECT_TRUE(inventory.snapshot({}, false).size() == 4u) << "no access means core-only";
    EXPECT_TRUE(runner->calls().empty());
    EXPECT_EQ(images->calls(), 0);

    // The standard mode at reconcile does run diskutil (and falls back here).
    inventory.snapshot(
        {}, context(ActivityDetectionMode::standard, DriveInventoryRefreshStage::reconcile));
    EXPECT_EQ(runner->calls().size(), 1u);
    EXPECT_EQ(images->calls(), 1);
}

TEST_F(InventoryServiceTest, CoreOnlyPathBuildsDrivesFromTheCachedDescriptions) {
    primeDiskArbitrationCache();
    inventorytest::AuditCapture audit(true);
    const auto drives = service().snapshot(
        {}, context(ActivityDetectionMode::coreOnly, DriveInventoryRefreshStage::reconcile));
    // No container resolution here: the APFS volumes group by their own disk.
    expectDrives(drives, {{"Archive", "disk4s2", "disk4", "disk4", true},
                          {"Disk 9", "disk4s1", "disk4", "disk4", true},
                          {"Disk 10", "disk2s1", "disk2", "disk2", true},
                          {"Installer", "disk5s1", "disk5", "disk5", true}});
    EXPECT_EQ(drives[2].id(), uuidOf("disk2s1"));
    EXPECT_EQ(drives[2].mountURL(), std::optional<QUrl>(QUrl::fromLocalFile("/Volumes/Disk 10/")));
    const auto entries = audit.entries();
    EXPECT_FALSE(
        linesWith(entries, "Handling Disk Arbitration cached candidate in core-only mode").empty());
    EXPECT_EQ(
        linesWith(entries, "Building mounted drive from Disk Arbitration metadata only").size(),
        4u);
    EXPECT_TRUE(linesWith(entries, "Falling back to mounted volume bootstrap").empty());
}

TEST_F(InventoryServiceTest, EmptyDiskArbitrationCacheFallsBackToTheMountedVolumes) {
    inventorytest::AuditCapture audit(true);
    const auto drives = service().snapshot(
        {}, context(ActivityDetectionMode::enhanced, DriveInventoryRefreshStage::bootstrap));
    ASSERT_EQ(drives.size(), 4u) << "root, hidden data volume and network share are left out";
    EXPECT_EQ(drives[0].name(), "Archive");
    EXPECT_EQ(drives[1].name(), "Disk 9");
    EXPECT_EQ(drives[2].name(), "Disk 10");
    EXPECT_EQ(drives[3].name(), "Installer");
    // The listing knows no BSD names: each volume is its own group.
    EXPECT_EQ(drives[2].id(), uuidOf("disk2s1"));
    EXPECT_EQ(drives[2].bsdName(), std::nullopt);
    EXPECT_EQ(drives[2].ejectTargetBSDName(), std::nullopt);
    EXPECT_EQ(drives[2].ejectGroupID(), uuidOf("disk2s1"));
    EXPECT_EQ(
        linesWith(
            audit.entries(),
            "Falling back to mounted volume bootstrap because Disk Arbitration cache is empty")
            .size(),
        1u);
}

TEST_F(InventoryServiceTest, FailedOrHungInfoFallsBackToTheCoreOnlyList) {
    primeDiskArbitrationCache();
    const auto coreOnly = service().snapshot(
        {}, context(ActivityDetectionMode::coreOnly, DriveInventoryRefreshStage::reconcile));
    ASSERT_EQ(coreOnly.size(), 4u);

    ScriptedBehaviour failing;
    failing.verb = "info";
    failing.device = "disk2s1";
    failing.exitStatus = 1;
    failing.standardError = "busy";
    ScriptedBehaviour hanging;
    hanging.verb = "info";
    hanging.device = "disk4s1";
    hanging.hang = true;
    ScriptedBehaviour listFails;
    listFails.verb = "list";
    listFails.exitStatus = 1;

    struct Case {
        const char* label;
        ScriptedBehaviour behaviour;
        bool hydrationLine;
    };
    for (const auto& [label, behaviour, hydrationLine] :
         {Case{"failed info", failing, true}, Case{"hung info", hanging, true},
          Case{"failed list", listFails, false}}) {
        SCOPED_TRACE(label);
        stateFile().update([&](SimulatedWorld& world) {
            world.behaviours = {behaviour};
            return true;
        });
        inventorytest::AuditCapture audit(true);
        // Only the hung call gets the short deadline: room for the tool's start-up
        // in a sanitizer build, still well short of the default deadline the
        // bound below rules out.
        const auto runner = std::make_shared<inventorytest::OneHungInfoRunner>(
            inventorytest::standInPath("diskutil"), behaviour.hang ? *behaviour.device : "", 1500ms,
            inventorytest::answeringCallTimeout);
        const auto drives = service(runner).snapshot({}, enhancedReconcile);
        if (behaviour.hang) {
            ASSERT_TRUE(runner->hungCallTook().has_value());
            EXPECT_LT(*runner->hungCallTook(), 4s);
        }
        EXPECT_EQ(drives, coreOnly);
        const auto entries = audit.entries();
        const auto missed = linesWith(
            entries, "Falling back because diskutil info hydration missed listed candidates");
        if (hydrationLine) {
            ASSERT_EQ(missed.size(), 1u);
            EXPECT_TRUE(contains(missed[0], "listed_count=8"));
            EXPECT_TRUE(contains(missed[0], "decoded_count=7"));
        } else {
            EXPECT_TRUE(missed.empty());
        }
        EXPECT_EQ(linesWith(entries,
                            "Falling back to core-only inventory after diskutil hydration failed")
                      .size(),
                  1u);
    }
}

// A volume without a UUID is known by its BSD name on every path, so excluding
// it holds whichever path built the list.
TEST_F(InventoryServiceTest, VolumeWithoutUUIDKeepsOneIdentityOnEveryPath) {
    SimulatedWorld world;
    world.mountRoot = mountRoot();
    world.createMountDirectories = false;
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("NO UUID"));
    world.findVolume("disk2s1")->volumeUUID.reset();
    configure(world);
    primeDiskArbitrationCache();

    const std::set<std::string> excluded{"disk2s1"};
    // Mounted outside the volumes folder the service is given: the cached
    // descriptions give no drive, and the listing completed by them answers.
    auto inventory = service(nullptr, nullptr, VolumesFolder::live());
    inventorytest::AuditCapture audit(true);
    const auto detailed = inventory.snapshot(excluded, enhancedReconcile);
    const auto mounted = inventory.snapshot(
        excluded, context(ActivityDetectionMode::coreOnly, DriveInventoryRefreshStage::reconcile));
    ASSERT_EQ(linesWith(audit.entries(), "Falling back to mounted volume bootstrap").size(), 1u);
    const auto cached = DriveInventoryMountedVolumeBootstrap::detectedDriveFromDiskArbitration(
        "disk2s1", m_diskArbitration->description("disk2s1"), excluded, enhancedReconcile,
        world.volumesFolder());

    ASSERT_EQ(detailed.size(), 1u);
    ASSERT_EQ(mounted.size(), 1u);
    ASSERT_TRUE(cached.has_value());
    for (const DetectedDrive& drive : {detailed[0], mounted[0], *cached}) {
        EXPECT_EQ(drive.id(), "disk2s1");
        EXPECT_EQ(drive.scope(), DetectedDrive::Scope::excluded);
        EXPECT_EQ(drive.ejectTargetBSDName(), std::optional<std::string>("disk2"));
        EXPECT_EQ(drive.ejectGroupID(), "disk2");
    }
}

// The launch-time inventory reads the cached descriptions of volumes under the
// volumes folder it is given, wherever the machine mounts them.
TEST_F(InventoryServiceTest, LaunchTimeInventoryReadsTheCacheUnderTheGivenVolumesFolder) {
    SimulatedWorld world;
    world.mountRoot = mountRoot();
    world.createMountDirectories = false;
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("STICK"));
    configure(world);
    primeDiskArbitrationCache();

    struct Case {
        const char* label;
        VolumesFolder volumesFolder;
        std::size_t cachedLines;
        std::size_t fallbackLines;
    };
    for (const auto& [label, volumesFolder, cachedLines, fallbackLines] :
         {Case{"the machine's mount root", world.volumesFolder(), 1, 0},
          Case{"another folder", VolumesFolder::live(), 0, 1}}) {
        SCOPED_TRACE(label);
        inventorytest::AuditCapture audit(true);
        const auto drives = service(nullptr, nullptr, volumesFolder)
                                .snapshot({}, context(ActivityDetectionMode::enhanced,
                                                      DriveInventoryRefreshStage::bootstrap));
        ASSERT_EQ(drives.size(), 1u);
        EXPECT_EQ(drives[0].bsdName(), std::optional<std::string>("disk2s1"));
        const auto entries = audit.entries();
        EXPECT_EQ(
            linesWith(entries, "Building mounted drive from Disk Arbitration metadata only").size(),
            cachedLines);
        EXPECT_EQ(linesWith(entries, "Falling back to mounted volume bootstrap").size(),
                  fallbackLines);
    }
}

// A volume named with a blank at an end mounts at a folder whose name keeps it.
// Every road must hand out that folder, or the activity monitor would watch a
// folder that does not exist.
TEST_F(InventoryServiceTest, MountPointWithBlanksAtItsEndsIsTheFolderAsMounted) {
    for (const std::string volumeName : {"Untitled ", " Leading", "Both\t "}) {
        SCOPED_TRACE("'" + volumeName + "'");
        SimulatedWorld world;
        world.mountRoot = mountRoot();
        attachPreset(world, SimulatedDrivePreset::usbStick, volumeName);
        configure(world);
        const std::string mountPath = *m_world.findVolume("disk2s1")->mountPath;
        ASSERT_EQ(mountPath, mountRoot() + "/" + volumeName);
        ASSERT_TRUE(QFileInfo(QString::fromStdString(mountPath)).isDir());

        const auto bootstrap =
            context(ActivityDetectionMode::enhanced, DriveInventoryRefreshStage::bootstrap);
        auto inventory = service();
        const auto listed = inventory.snapshot({}, bootstrap); // nothing cached yet
        primeDiskArbitrationCache();
        const auto cached = inventory.snapshot({}, bootstrap);
        const auto detailed = inventory.snapshot({}, enhancedReconcile);
        for (const auto& [road, drives] :
             {std::pair{"mounted volumes", listed}, std::pair{"cached descriptions", cached},
              std::pair{"diskutil", detailed}}) {
            SCOPED_TRACE(road);
            ASSERT_EQ(drives.size(), 1u);
            ASSERT_TRUE(drives[0].mountURL().has_value());
            EXPECT_EQ(drives[0].mountURL()->toLocalFile().toStdString(), mountPath + "/");
        }
    }
}

TEST(MountedVolumeInventoryServiceMakeDrive, IdentityNameAndTargetsFromTheVolumeFacts) {
    MountedVolumeFacts base;
    base.mountURL = QUrl::fromLocalFile("/Volumes/Stick/");
    base.volumeIsLocal = true;
    base.volumeIsInternal = false;

    struct Case {
        const char* label;
        std::function<void(MountedVolumeFacts&)> change;
        std::string id;
        std::string name;
        std::optional<std::string> target;
        std::string group;
    };
    const std::vector<Case> cases{
        {"uuid wins",
         [](auto& f) {
             f.volumeUUIDString = "U-1";
             f.bsdName = "disk7s3";
         },
         "U-1", "Stick", "disk7", "disk7"},
        {"partition without uuid", [](auto& f) { f.bsdName = "disk7s3"; }, "disk7s3", "Stick",
         "disk7", "disk7"},
        {"whole disk keeps itself", [](auto& f) { f.bsdName = "disk7"; }, "disk7", "Stick", "disk7",
         "disk7"},
        {"nothing but the path", [](auto&) {}, "/Volumes/Stick", "Stick", std::nullopt,
         "/Volumes/Stick"},
        {"empty localized name counts",
         [](auto& f) {
             f.volumeLocalizedName = "";
             f.volumeName = "Other";
         },
         "/Volumes/Stick", "", std::nullopt, "/Volumes/Stick"},
        {"volume name next", [](auto& f) { f.volumeName = "Other"; }, "/Volumes/Stick", "Other",
         std::nullopt, "/Volumes/Stick"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.label);
        MountedVolumeFacts facts = base;
        testCase.change(facts);
        const auto drive = MountedVolumeInventoryService::makeDrive(facts, {testCase.id});
        ASSERT_TRUE(drive.has_value());
        EXPECT_EQ(drive->id(), testCase.id);
        EXPECT_EQ(drive->name(), testCase.name);
        EXPECT_EQ(drive->ejectTargetBSDName(), testCase.target);
        EXPECT_EQ(drive->ejectGroupID(), testCase.group);
        EXPECT_EQ(drive->scope(), DetectedDrive::Scope::excluded);
        EXPECT_FALSE(drive->isEjectable()) << "absent ejectable is false";
        EXPECT_TRUE(drive->allowsGroupedWakeRemount());
    }

    MountedVolumeFacts network = base;
    network.volumeIsLocal = false;
    EXPECT_EQ(MountedVolumeInventoryService::makeDrive(network, {}), std::nullopt);
}

TEST(DetectedDriveSorting, NumbersByValueAndEqualNamesKeepTheirOrder) {
    const auto drive = [](const std::string& id, const std::string& name) {
        return DetectedDrive(id, name, std::nullopt, DetectedDrive::Scope::managed, true);
    };
    const auto sorted = sortedByLocalizedDriveName({drive("a", "Disk 10"), drive("b", "disk 9"),
                                                    drive("c", "Backup"), drive("d", "Disk 9"),
                                                    drive("e", "Disk 2"), drive("f", "Backup")});
    std::vector<std::string> ids;
    for (const auto& item : sorted) {
        ids.push_back(item.id());
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"c", "f", "e", "b", "d", "a"}));
    EXPECT_TRUE(sortedByLocalizedDriveName({}).empty());
}

} // namespace
} // namespace berthkeep
