#include "InventoryServiceTestSupport.hpp"
#include "InventoryTestSupport.hpp"

#include "Berthkeep/Inventory/DriveInventoryMountedVolumeBootstrap.hpp"

namespace berthkeep {
namespace {

using inventorytest::contains;
using inventorytest::linesWith;
namespace Bootstrap = DriveInventoryMountedVolumeBootstrap;

const DriveInventoryAuditContext coreOnly{ActivityDetectionMode::coreOnly,
                                          BerthkeepAuditWorkPhase::appLaunch,
                                          DriveInventoryRefreshStage::bootstrap};
const VolumesFolder volumes = VolumesFolder::live();

DiskArbitrationDiskDescription mountedAt(const std::string& path) {
    DiskArbitrationDiskDescription description;
    description.volumePath = QUrl::fromLocalFile(QString::fromStdString(path));
    description.volumeName = "Stick";
    return description;
}

TEST(MountedVolumeBootstrap, CachedDescriptionGivesADriveOnlyForLocalExternalVolumesUnderVolumes) {
    struct Case {
        const char* label;
        std::optional<DiskArbitrationDiskDescription> description;
        bool accepted;
        VolumesFolder volumesFolder = volumes;
    };
    auto internal = mountedAt("/Volumes/Stick/");
    internal.deviceInternal = true;
    auto network = mountedAt("/Volumes/Stick/");
    network.volumeNetwork = true;
    auto notInternal = mountedAt("/Volumes/Stick/");
    notInternal.deviceInternal = false;
    notInternal.volumeNetwork = false;
    DiskArbitrationDiskDescription unmounted;
    unmounted.volumeName = "Stick";
    const std::vector<Case> cases{
        {"no description", std::nullopt, false},
        {"not mounted", unmounted, false},
        {"absent flags let it through", mountedAt("/Volumes/Stick/"), true},
        {"the folder itself", mountedAt("/Volumes"), true},
        {"explicitly external", notInternal, true},
        {"look-alike folder", mountedAt("/VolumesX/Stick/"), false},
        {"outside", mountedAt("/media/Stick/"), false},
        {"internal", internal, false},
        {"network", network, false},
        {"under the machine's own mount root", mountedAt("/tmp/sim/Volumes/Stick/"), true,
         VolumesFolder("/tmp/sim/Volumes")},
        {"outside the machine's own mount root", mountedAt("/Volumes/Stick/"), false,
         VolumesFolder("/tmp/sim/Volumes")},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.label);
        EXPECT_EQ(Bootstrap::detectedDriveFromDiskArbitration("disk7s3", testCase.description, {},
                                                              coreOnly, testCase.volumesFolder)
                      .has_value(),
                  testCase.accepted);
    }
}

TEST(MountedVolumeBootstrap, CachedDescriptionDriveFields) {
    inventorytest::AuditCapture audit(true);
    auto description = mountedAt("/Volumes/Stick/");
    description.mediaRemovable = true;
    const auto byBSDName = Bootstrap::detectedDriveFromDiskArbitration(
        "disk7s3", description, {"disk7s3"}, coreOnly, volumes);
    ASSERT_TRUE(byBSDName.has_value());
    EXPECT_EQ(byBSDName->id(), "disk7s3");
    EXPECT_EQ(byBSDName->name(), "Stick");
    EXPECT_EQ(byBSDName->scope(), DetectedDrive::Scope::excluded);
    EXPECT_TRUE(byBSDName->isEjectable()) << "removable media counts";
    EXPECT_EQ(byBSDName->ejectTargetBSDName(), std::optional<std::string>("disk7"));
    EXPECT_EQ(byBSDName->ejectGroupID(), "disk7");
    EXPECT_TRUE(byBSDName->allowsGroupedWakeRemount());
    EXPECT_EQ(byBSDName->mountURL(), description.volumePath);

    description.volumeUUIDString = "ABCD";
    description.volumeName = " \t";
    description.mediaRemovable.reset();
    const auto byUUID = Bootstrap::detectedDriveFromDiskArbitration("disk7", description, {"disk7"},
                                                                    coreOnly, volumes);
    ASSERT_TRUE(byUUID.has_value());
    EXPECT_EQ(byUUID->id(), "ABCD");
    EXPECT_EQ(byUUID->name(), "Stick") << "the folder name stands in for a blank volume name";
    EXPECT_EQ(byUUID->scope(), DetectedDrive::Scope::managed);
    EXPECT_FALSE(byUUID->isEjectable());
    EXPECT_EQ(byUUID->ejectGroupID(), "disk7");

    const auto lines =
        linesWith(audit.entries(), "Building mounted drive from Disk Arbitration metadata only");
    ASSERT_EQ(lines.size(), 2u);
    for (const char* part :
         {"method=makeMountedDriveFromDiskArbitrationDescription", "bsd_name=disk7s3",
          "mode=core_only", "phase=app_launch", "target_path=/Volumes/Stick"}) {
        EXPECT_TRUE(contains(lines[0], part)) << part << " in " << lines[0];
    }

    // A folder named with a trailing blank: the URL keeps it, the name shows without it.
    const auto blank = Bootstrap::detectedDriveFromDiskArbitration(
        "disk7", mountedAt("/Volumes/Untitled /"), {}, coreOnly, volumes);
    ASSERT_TRUE(blank.has_value());
    EXPECT_EQ(blank->mountURL(), std::optional<QUrl>(QUrl::fromLocalFile("/Volumes/Untitled /")));
    auto unnamed = mountedAt("/Volumes/Untitled /");
    unnamed.volumeName.reset();
    EXPECT_EQ(Bootstrap::detectedDriveFromDiskArbitration("disk7", unnamed, {}, coreOnly, volumes)
                  .value()
                  .name(),
              "Untitled");
}

TEST(MountedVolumeBootstrap, MountedVolumesAreCompletedFromTheDescriptionAtTheSamePath) {
    inventorytest::FakeMountedVolumeListing listing;
    VolumeResourceValues local;
    local.volumeName = "A";
    local.volumeIsLocal = true;
    listing.volumes.push_back({QUrl::fromLocalFile("/Volumes/A/"), local, false});
    listing.volumes.push_back({QUrl::fromLocalFile("/Volumes/Broken/"), {}, true});
    VolumeResourceValues bare;
    listing.volumes.push_back({QUrl::fromLocalFile("/Volumes/x/../B/"), bare, false});

    auto described = mountedAt("/Volumes/A");
    described.mediaEjectable = true;
    described.volumeNetwork = true;
    described.deviceInternal = false;
    described.volumeUUIDString = "UUID-A";
    described.mediaRemovable = false;
    DiskArbitrationDiskDescription unmounted;
    const std::map<std::string, DiskArbitrationDiskDescription> descriptions{{"disk3s1", described},
                                                                             {"disk9", unmounted}};

    inventorytest::AuditCapture audit(false);
    const auto facts = Bootstrap::mountedVolumeFacts(descriptions, coreOnly, listing);
    EXPECT_EQ(listing.askedKeys, allVolumeResourceKeys());
    EXPECT_TRUE(listing.askedOptions.skipHiddenVolumes);

    ASSERT_EQ(facts.size(), 2u) << "the unreadable volume is skipped";
    EXPECT_EQ(facts[0].bsdName, std::optional<std::string>("disk3s1"));
    EXPECT_EQ(facts[0].volumeIsEjectable, std::optional<bool>(true)) << "from the description";
    EXPECT_EQ(facts[0].volumeIsLocal, std::optional<bool>(true))
        << "the listing wins over the description";
    EXPECT_EQ(facts[0].volumeIsInternal, std::optional<bool>(false));
    EXPECT_EQ(facts[0].volumeIsRemovable, std::optional<bool>(false));
    EXPECT_EQ(facts[0].volumeUUIDString, std::optional<std::string>("UUID-A"));
    EXPECT_EQ(facts[0].volumeName, std::optional<std::string>("A"));
    EXPECT_EQ(facts[0].volumeLocalizedName, std::nullopt);
    EXPECT_EQ(facts[1].mountURL, QUrl::fromLocalFile("/Volumes/B/")) << "standardized";
    EXPECT_EQ(facts[1].bsdName, std::nullopt);
    EXPECT_EQ(facts[1].volumeIsLocal, std::nullopt);

    const auto entries = audit.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, UnifiedLogType::error);
    for (const char* part :
         {"Failed to read mounted volume resource values", "method=mountedVolumeFactsForBootstrap",
          "target_path=/Volumes/Broken"}) {
        EXPECT_TRUE(contains(entries[0].message, part)) << part << " in " << entries[0].message;
    }

    // Network flag from the description when the listing says nothing.
    listing.volumes = {{QUrl::fromLocalFile("/Volumes/A/"), {}, false}};
    EXPECT_EQ(Bootstrap::mountedVolumeFacts(descriptions, coreOnly, listing)[0].volumeIsLocal,
              std::optional<bool>(false));
    listing.answers = false;
    EXPECT_TRUE(Bootstrap::mountedVolumeFacts(descriptions, coreOnly, listing).empty());
}

} // namespace
} // namespace berthkeep
