#include "InventoryServiceTestSupport.hpp"
#include "InventoryTestSupport.hpp"

#include "Berthkeep/Inventory/DriveDetectedDriveAssembler.hpp"
#include "Berthkeep/Inventory/DriveInventoryDiskDrivesAssembler.hpp"
#include "Berthkeep/Inventory/DriveInventoryEjectTargets.hpp"

namespace berthkeep {
namespace {

using inventorytest::contains;
using inventorytest::linesWith;

const VolumesFolder volumes = VolumesFolder::live();

DiskUtilityVolumeFacts wholeDisk(const std::string& id, const std::string& kind) {
    DiskUtilityVolumeFacts facts;
    facts.deviceIdentifier = id;
    facts.wholeDisk = true;
    facts.virtualOrPhysical = kind;
    facts.parentWholeDisk = id;
    facts.internal = false;
    return facts;
}

DiskUtilityVolumeFacts partition(const std::string& id, const std::string& parent,
                                 const std::string& name) {
    DiskUtilityVolumeFacts facts;
    facts.deviceIdentifier = id;
    facts.wholeDisk = false;
    facts.parentWholeDisk = parent;
    facts.internal = false;
    facts.ejectable = true;
    facts.volumeName = name;
    facts.filesystemType = "exfat";
    facts.mountPoint = "/Volumes/" + name;
    return facts;
}

TEST(DriveInventoryEjectTargets, ResolvesEveryDeviceToItsPhysicalWholeDisk) {
    auto apfsContainer = wholeDisk("disk5", "Virtual");
    apfsContainer.apfsPhysicalStores =
        std::vector{DiskUtilityVolumeFacts::APFSPhysicalStore{"disk4s2"}};
    apfsContainer.apfsContainerReference = "disk5";
    auto apfsVolume = partition("disk5s1", "disk5", "Backup");
    apfsVolume.apfsPhysicalStores = apfsContainer.apfsPhysicalStores;
    apfsVolume.apfsContainerReference = "disk5";
    auto loopA = partition("disk8s1", "disk9s1", "A");
    auto loopB = partition("disk9s1", "disk8s1", "B");
    auto orphan = partition("disk6s1", " disk6\n", "Orphan");
    auto virtualWhole = wholeDisk("disk7", "Virtual");

    const std::vector<DiskUtilityVolumeFacts> facts{wholeDisk("disk4", "Physical"),
                                                    partition("disk4s2", "disk4", "Store"),
                                                    apfsContainer,
                                                    apfsVolume,
                                                    loopA,
                                                    loopB,
                                                    orphan,
                                                    virtualWhole};
    const auto targets = DriveInventoryEjectTargets::ejectTargetBSDNamesByDeviceIdentifier(facts);
    const std::map<std::string, std::string> expected{
        {"disk4", "disk4"},
        {"disk4s2", "disk4"},
        {"disk5", "disk4"},
        {"disk5s1", "disk4"},
        // A loop ends at the device's own fallback, its parent reference.
        {"disk8s1", "disk8s1"},
        {"disk9s1", "disk9s1"},
        // A parent that was not hydrated is taken as it stands (trimmed).
        {"disk6s1", "disk6"},
        {"disk7", "disk7"}};
    EXPECT_EQ(targets, expected);
    EXPECT_TRUE(DriveInventoryEjectTargets::ejectTargetBSDNamesByDeviceIdentifier({}).empty());

    for (const auto& [device, whole] :
         std::vector<std::pair<std::string, std::string>>{{"disk4s2", "disk4"},
                                                          {"disk4", "disk4"},
                                                          {"disk12s10", "disk12"},
                                                          {"disks", "disks"},
                                                          {"disk4s", "disk4s"}}) {
        EXPECT_EQ(DriveInventoryEjectTargets::wholeDiskIdentifier(device), whole) << device;
    }
}

TEST(DriveDetectedDriveAssembler, NameIdentityAndEjectabilityFallBackInOrder) {
    struct Case {
        const char* label;
        std::function<void(DiskUtilityVolumeFacts&)> change;
        std::optional<std::string> name; // none: no record
    };
    const std::vector<Case> cases{
        {"trimmed volume name", [](auto& f) { f.volumeName = "  Stick \n"; }, "Stick"},
        {"mount point",
         [](auto& f) {
             f.volumeName = " ";
             f.mountPoint = " /Volumes/Mounted ";
         },
         "Mounted"},
        {"registry entry",
         [](auto& f) {
             f.volumeName.reset();
             f.mountPoint = "";
             f.ioRegistryEntryName = "SanDisk Media  ";
         },
         "SanDisk Media"},
        {"media name",
         [](auto& f) {
             f.volumeName.reset();
             f.mountPoint.reset();
             f.ioRegistryEntryName = " ";
             f.mediaName = "Ultra";
         },
         "Ultra"},
        {"device identifier",
         [](auto& f) {
             f.volumeName.reset();
             f.mountPoint.reset();
         },
         "disk4s2"},
        {"no identity",
         [](auto& f) {
             f.volumeName = "  ";
             f.filesystemType.reset();
             f.mountPoint.reset();
         },
         std::nullopt},
        {"empty uuid is an identity",
         [](auto& f) {
             f.volumeName.reset();
             f.filesystemType.reset();
             f.volumeUUID = "";
             f.mountPoint.reset();
         },
         "disk4s2"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.label);
        auto facts = partition("disk4s2", "disk4", "Name");
        testCase.change(facts);
        const auto drive =
            DriveDetectedDriveAssembler::buildDetectedDrive(facts, {}, "disk4", true, volumes);
        ASSERT_EQ(drive.has_value(), testCase.name.has_value());
        if (drive) {
            EXPECT_EQ(drive->name(), *testCase.name);
        }
    }

    auto facts = partition("disk4s2", "disk4", "Stick");
    facts.volumeUUID = "UUID-1";
    facts.ejectable.reset();
    facts.removable = true;
    const auto drive = DriveDetectedDriveAssembler::buildDetectedDrive(
        facts, {"UUID-1"}, std::nullopt, false, volumes);
    ASSERT_TRUE(drive.has_value());
    EXPECT_EQ(drive->id(), "UUID-1");
    EXPECT_EQ(drive->scope(), DetectedDrive::Scope::excluded);
    EXPECT_FALSE(drive->isEjectable()) << "only the ejectable flag counts";
    EXPECT_EQ(drive->bsdName(), std::optional<std::string>("disk4s2"));
    EXPECT_EQ(drive->ejectTargetBSDName(), std::optional<std::string>("disk4s2"));
    EXPECT_EQ(drive->ejectGroupID(), "disk4s2");
    EXPECT_FALSE(drive->allowsGroupedWakeRemount());
    EXPECT_EQ(drive->mountURL(), std::optional<QUrl>(QUrl::fromLocalFile("/Volumes/Stick/")));
    const auto byBSDName =
        DriveDetectedDriveAssembler::buildDetectedDrive(facts, {"disk4s2"}, "disk4", true, volumes);
    EXPECT_EQ(byBSDName->scope(), DetectedDrive::Scope::managed)
        << "a drive with a UUID is excluded by it";
}

TEST(DriveDetectedDriveAssembler, MountURLIsTheMountPointAsDiskutilGaveIt) {
    struct Case {
        std::optional<std::string> mountPoint;
        std::optional<std::string> mountURLPath; // none: no URL
    };
    const std::vector<Case> cases{
        {"/Volumes/Stick", "/Volumes/Stick/"},
        {"/Volumes/Untitled ", "/Volumes/Untitled /"},
        {"/Volumes/ Leading", "/Volumes/ Leading/"},
        {"/Volumes/Tab\t", "/Volumes/Tab\t/"},
        {" \n", std::nullopt},
        {"", std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.mountPoint.value_or("<none>"));
        auto facts = partition("disk4s2", "disk4", "Stick");
        facts.mountPoint = testCase.mountPoint;
        const auto drive =
            DriveDetectedDriveAssembler::buildDetectedDrive(facts, {}, "disk4", true, volumes);
        ASSERT_TRUE(drive.has_value());
        std::optional<std::string> path;
        if (drive->mountURL()) {
            path = drive->mountURL()->toLocalFile().toStdString();
        }
        EXPECT_EQ(path, testCase.mountURLPath);
    }
}

TEST(DriveInventoryDiskDrivesAssembler, KeepsPhysicalExternalDevicesSortedWithTheirGroups) {
    auto efi = partition("disk4s1", "disk4", "EFI");
    efi.content = "EFI";
    const std::vector<DiskUtilityVolumeFacts> facts{
        wholeDisk("disk4", "Physical"), efi, partition("disk4s2", "disk4", "Disk 10"),
        partition("disk6s1", "disk6", "Disk 9"), partition("disk6s2", "disk6", "Disk 9")};
    DiskArbitrationDiskDescription network;
    network.volumeNetwork = true;
    inventorytest::FakeDiskArbitrationDescriptions descriptions({{"disk7s1", network}});

    inventorytest::AuditCapture audit(true);
    const auto drives = DriveInventoryDiskDrivesAssembler::buildSortedPhysicalExternalDrives(
        facts, descriptions, {}, {}, volumes);
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].bsdName(), std::optional<std::string>("disk6s1"))
        << "equal names keep their order";
    EXPECT_EQ(drives[1].bsdName(), std::optional<std::string>("disk6s2"));
    EXPECT_EQ(drives[2].name(), "Disk 10");
    EXPECT_TRUE(drives[0].allowsGroupedWakeRemount()) << "nothing else shares disk6";
    EXPECT_EQ(drives[0].ejectGroupID(), "disk6");
    EXPECT_FALSE(drives[2].allowsGroupedWakeRemount())
        << "its whole disk and EFI partition share disk4";
    EXPECT_EQ(drives[2].ejectTargetBSDName(), std::optional<std::string>("disk4"));

    const auto entries = audit.entries();
    const auto excluded =
        linesWith(entries, "Classified disk facts as excluded from managed scope");
    ASSERT_EQ(excluded.size(), 2u);
    for (const char* part :
         {"component=DriveInventoryDiskDrivesAssembler", "method=buildSortedPhysicalExternalDrives",
          "mode=n/a", "phase=background_work", "bsd_name=disk4 ", "classification=ignored",
          "ignore_reason=wholeDisk", "group_id=disk4"}) {
        EXPECT_TRUE(contains(excluded[0], part)) << part << " in " << excluded[0];
    }
    EXPECT_TRUE(contains(excluded[1], "ignore_reason=notUserMountable"));
    const auto managed = linesWith(entries, "Classified disk facts as managed candidate");
    ASSERT_EQ(managed.size(), 3u);
    EXPECT_TRUE(contains(managed[0], "classification=physical_external"));
    EXPECT_TRUE(contains(managed[0], "target_path=/Volumes/Disk 10"));
    EXPECT_FALSE(contains(managed[0], "ignore_reason"));
}

TEST(DriveInventoryDiskDrivesAssembler, ClassificationAuditMetadataPerVerdict) {
    const auto facts = partition("disk4s2", "disk4", "Stick");
    using Metadata = BerthkeepLogMetadata;
    EXPECT_EQ(DriveInventoryDiskDrivesAssembler::classificationAuditMetadata(
                  DriveClassification::physicalExternal(), facts, "disk4"),
              (Metadata{{"bsd_name", "disk4s2"},
                        {"classification", "physical_external"},
                        {"group_id", "disk4"}}));
    EXPECT_EQ(DriveInventoryDiskDrivesAssembler::classificationAuditMetadata(
                  DriveClassification::networkVolume(), facts, "g"),
              (Metadata{{"bsd_name", "disk4s2"},
                        {"classification", "network_volume"},
                        {"group_id", "g"}}));
    EXPECT_EQ(DriveInventoryDiskDrivesAssembler::classificationAuditMetadata(
                  DriveClassification::ignored(DriveIgnoreReason::diskImage), facts, "disk4"),
              (Metadata{{"bsd_name", "disk4s2"},
                        {"classification", "ignored"},
                        {"group_id", "disk4"},
                        {"ignore_reason", "diskImage"}}));
}

} // namespace
} // namespace berthkeep
