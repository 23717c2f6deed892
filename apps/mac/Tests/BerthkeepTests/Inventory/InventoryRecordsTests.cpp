#include <gtest/gtest.h>

#include "Berthkeep/Drive/DetectedDrive.hpp"
#include "Berthkeep/Inventory/DiskUtilityListOutput.hpp"
#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"
#include "Berthkeep/Inventory/DriveInventoryAuditContext.hpp"

namespace berthkeep {
namespace {

using namespace std::string_literals;
using Scope = DetectedDrive::Scope;

TEST(DetectedDriveTest, EjectFieldsFallBackInOrder) {
    const DetectedDrive withBSDName("id-1", "Stick", std::nullopt, Scope::managed, true, "disk4s1");
    EXPECT_EQ(withBSDName.ejectTargetBSDName(), std::optional<std::string>("disk4s1"));
    EXPECT_EQ(withBSDName.ejectGroupID(), "disk4s1");
    EXPECT_TRUE(withBSDName.allowsGroupedWakeRemount());

    const DetectedDrive withoutBSDName("id-2", "Share", std::nullopt, Scope::managed, false);
    EXPECT_EQ(withoutBSDName.ejectTargetBSDName(), std::nullopt);
    EXPECT_EQ(withoutBSDName.ejectGroupID(), "id-2");

    const DetectedDrive withTarget("id-3", "SSD", std::nullopt, Scope::managed, true, "disk5s1",
                                   "disk4");
    EXPECT_EQ(withTarget.ejectTargetBSDName(), std::optional<std::string>("disk4"));
    EXPECT_EQ(withTarget.ejectGroupID(), "disk4");

    const DetectedDrive groupOnly("id-4", "SSD", std::nullopt, Scope::managed, true, std::nullopt,
                                  std::nullopt, "group-7");
    EXPECT_EQ(groupOnly.ejectTargetBSDName(), std::nullopt);
    EXPECT_EQ(groupOnly.ejectGroupID(), "group-7");
}

TEST(DetectedDriveTest, EqualityCoversEveryFieldAndMountDecidesIsMounted) {
    const QUrl mount = QUrl::fromLocalFile("/Volumes/Stick/");
    const DetectedDrive drive("id", "Stick", mount, Scope::managed, true, "disk4s1", "disk4",
                              "disk4", true);
    EXPECT_TRUE(drive.isMounted());
    EXPECT_EQ(drive, DetectedDrive("id", "Stick", mount, Scope::managed, true, "disk4s1", "disk4",
                                   "disk4", true));
    EXPECT_NE(drive, DetectedDrive("id", "Stick", mount, Scope::managed, true, "disk4s1", "disk4",
                                   "disk4", false));
    EXPECT_NE(drive, DetectedDrive("id", "Stick", mount, Scope::excluded, true, "disk4s1", "disk4",
                                   "disk4", true));
    const DetectedDrive unmounted("id", "Stick", std::nullopt, Scope::managed, true, "disk4s1");
    EXPECT_FALSE(unmounted.isMounted());
    EXPECT_NE(drive, unmounted);
}

TEST(DriveInventoryRefreshStageTest, RawValuesAreExact) {
    EXPECT_EQ(toString(DriveInventoryRefreshStage::bootstrap), "bootstrap");
    EXPECT_EQ(toString(DriveInventoryRefreshStage::reconcile), "reconcile");
    EXPECT_EQ(driveInventoryRefreshStageFromString("reconcile"),
              DriveInventoryRefreshStage::reconcile);
    EXPECT_EQ(driveInventoryRefreshStageFromString("Reconcile"), std::nullopt);
    EXPECT_EQ(driveInventoryRefreshStageFromString(""), std::nullopt);
}

std::string plist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">" +
           body + "</plist>";
}

// A facts dictionary with its identifier and `keys`.
std::string withIdentifier(const std::string& keys) {
    return plist("<dict><key>DeviceIdentifier</key><string>disk9</string>" + keys + "</dict>");
}

TEST(DiskUtilityVolumeFactsTest, DecodesEveryKey) {
    const auto facts = DiskUtilityVolumeFacts::decode(
        plist("<dict>"
              "<key>APFSContainerReference</key><string>disk5</string>"
              "<key>APFSPhysicalStores</key><array><dict><key>APFSPhysicalStore</"
              "key><string>disk4s2</string></dict></array>"
              "<key>BusProtocol</key><string>USB</string>"
              "<key>Content</key><string>41504653-0000-11AA-AA11-00306543ECAC</string>"
              "<key>DeviceIdentifier</key><string>disk5s1</string>"
              "<key>DeviceTreePath</key><string>IODeviceTree:/usb</string>"
              "<key>Ejectable</key><true/>"
              "<key>FilesystemName</key><string>APFS</string>"
              "<key>FilesystemType</key><string>apfs</string>"
              "<key>Internal</key><false/>"
              "<key>IORegistryEntryName</key><string>Data</string>"
              "<key>MediaName</key><string></string>"
              "<key>MediaType</key><string>Generic</string>"
              "<key>MountPoint</key><string> /Volumes/Data </string>"
              "<key>ParentWholeDisk</key><string>disk5</string>"
              "<key>Removable</key><false/>"
              "<key>RemovableMedia</key><false/>"
              "<key>RemovableMediaOrExternalDevice</key><true/>"
              "<key>SystemImage</key><false/>"
              "<key>VirtualOrPhysical</key><string>Physical</string>"
              "<key>VolumeName</key><string>Data</string>"
              "<key>VolumeUUID</key><string>0A0B</string>"
              "<key>WholeDisk</key><false/>"
              "<key>Writable</key><true/>"
              "<key>WritableMedia</key><true/>"
              "<key>Size</key><integer>1000</integer>"
              "</dict>"));
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->deviceIdentifier, "disk5s1");
    EXPECT_EQ(facts->apfsContainerReference, std::optional<std::string>("disk5"));
    ASSERT_TRUE(facts->apfsPhysicalStores.has_value());
    ASSERT_EQ(facts->apfsPhysicalStores->size(), 1u);
    EXPECT_EQ(facts->apfsPhysicalStores->front().apfsPhysicalStore, "disk4s2");
    EXPECT_EQ(facts->busProtocol, std::optional<std::string>("USB"));
    EXPECT_EQ(facts->deviceTreePath, std::optional<std::string>("IODeviceTree:/usb"));
    EXPECT_EQ(facts->ejectable, true);
    EXPECT_EQ(facts->filesystemName, std::optional<std::string>("APFS"));
    EXPECT_EQ(facts->filesystemType, std::optional<std::string>("apfs"));
    EXPECT_EQ(facts->internal, false);
    EXPECT_EQ(facts->ioRegistryEntryName, std::optional<std::string>("Data"));
    EXPECT_EQ(facts->mediaName, std::optional<std::string>(""));
    EXPECT_EQ(facts->mediaType, std::optional<std::string>("Generic"));
    EXPECT_EQ(facts->mountPoint, std::optional<std::string>(" /Volumes/Data ")) << "kept untrimmed";
    EXPECT_EQ(facts->parentWholeDisk, std::optional<std::string>("disk5"));
    EXPECT_EQ(facts->removable, false);
    EXPECT_EQ(facts->removableMedia, false);
    EXPECT_EQ(facts->removableMediaOrExternalDevice, true);
    EXPECT_EQ(facts->systemImage, false);
    EXPECT_EQ(facts->virtualOrPhysical, std::optional<std::string>("Physical"));
    EXPECT_EQ(facts->volumeName, std::optional<std::string>("Data"));
    EXPECT_EQ(facts->volumeUUID, std::optional<std::string>("0A0B"));
    EXPECT_EQ(facts->wholeDisk, false);
    EXPECT_EQ(facts->writable, true);
    EXPECT_EQ(facts->writableMedia, true);
}

TEST(DiskUtilityVolumeFactsTest, OnlyTheIdentifierIsRequired) {
    const auto facts = DiskUtilityVolumeFacts::decode(
        plist("<dict><key>DeviceIdentifier</key><string>disk9</string></dict>"));
    ASSERT_TRUE(facts.has_value());
    DiskUtilityVolumeFacts expected;
    expected.deviceIdentifier = "disk9";
    EXPECT_EQ(*facts, expected);

    const auto emptyStores = DiskUtilityVolumeFacts::decode(
        plist("<dict><key>DeviceIdentifier</key><string>disk9</string><key>APFSPhysicalStores</"
              "key><array/></dict>"));
    ASSERT_TRUE(emptyStores.has_value());
    ASSERT_TRUE(emptyStores->apfsPhysicalStores.has_value())
        << "an empty array is not an absent one";
    EXPECT_TRUE(emptyStores->apfsPhysicalStores->empty());
}

TEST(DiskUtilityVolumeFactsTest, MalformedInputFailsTheDecode) {
    const std::vector<std::pair<const char*, std::string>> cases{
        {"empty bytes", ""},
        {"not a property list", "DeviceIdentifier = disk9"},
        {"truncated",
         plist("<dict><key>DeviceIdentifier</key><string>disk9</string>").substr(0, 120)},
        {"top level is an array", plist("<array><string>disk9</string></array>")},
        {"no identifier", plist("<dict><key>VolumeName</key><string>X</string></dict>")},
        {"identifier of the wrong type",
         plist("<dict><key>DeviceIdentifier</key><integer>9</integer></dict>")},
        {"Boolean given as a string",
         plist("<dict><key>DeviceIdentifier</key><string>disk9</string><key>WholeDisk</"
               "key><string>true</string></dict>")},
        {"Boolean given as an integer",
         plist("<dict><key>DeviceIdentifier</key><string>disk9</string><key>Internal</"
               "key><integer>0</integer></dict>")},
        {"string given as a Boolean", plist("<dict><key>DeviceIdentifier</key><string>disk9</"
                                            "string><key>Content</key><true/></dict>")},
        {"physical store without its key",
         plist("<dict><key>DeviceIdentifier</key><string>disk9</string>"
               "<key>APFSPhysicalStores</key><array><dict/></array></dict>")},
        {"physical stores not an array",
         plist("<dict><key>DeviceIdentifier</key><string>disk9</string>"
               "<key>APFSPhysicalStores</key><string>disk4s2</string></dict>")},
        {"identifier given as a date",
         plist("<dict><key>DeviceIdentifier</key><date>2024-01-01T00:00:00Z</date></dict>")},
        {"string given as a date", withIdentifier("<key>VolumeName</key>"
                                                  "<date>2024-01-01T00:00:00Z</date>")},
        {"string given as data", withIdentifier("<key>MountPoint</key><data>L1ZvbHVtZXM=</data>")},
        {"Boolean given as a date", withIdentifier("<key>Ejectable</key>"
                                                   "<date>2024-01-01T00:00:00Z</date>")},
        {"NUL in a string", withIdentifier("<key>VolumeName</key><string>A\0B</string>"s)},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_EQ(DiskUtilityVolumeFacts::decode(bytes), std::nullopt) << name;
    }
}

TEST(DiskUtilityListOutputTest, ReadsAllDisksAndEachListedEntry) {
    const auto list = DiskUtilityListOutput::decode(plist(
        "<dict><key>AllDisks</key><array><string>disk4</string><string>disk4s1</string></array>"
        "<key>WholeDisks</key><array><string>disk4</string></array></dict>"));
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->allDisks, (std::vector<std::string>{"disk4", "disk4s1"}));

    EXPECT_TRUE(list->entriesByIdentifier.empty());

    // Each device's own entry, the nested ones apart from their whole disk;
    // a malformed part is left out without failing the list.
    const auto listed = DiskUtilityListOutput::decode(
        plist("<dict><key>AllDisks</key><array><string>disk4</string></array>"
              "<key>AllDisksAndPartitions</key><array>"
              "<dict><key>DeviceIdentifier</key><string>disk4</string><key>Size</key><integer>8"
              "</integer><key>Partitions</key><array><dict><key>DeviceIdentifier</key>"
              "<string>disk4s1</string><key>MountPoint</key><string>/Volumes/A</string></dict>"
              "<string>stray</string></array></dict>"
              "<dict><key>Size</key><integer>1</integer></dict></array></dict>"));
    ASSERT_TRUE(listed.has_value());
    const std::map<std::string, PropertyListValue> expected{
        {"disk4", PropertyListValue::Dictionary{{"DeviceIdentifier", "disk4"}, {"Size", 8}}},
        {"disk4s1", PropertyListValue::Dictionary{{"DeviceIdentifier", "disk4s1"},
                                                  {"MountPoint", "/Volumes/A"}}}};
    EXPECT_EQ(listed->entriesByIdentifier, expected);
    const auto oddEntries = DiskUtilityListOutput::decode(
        plist("<dict><key>AllDisks</key><array/><key>AllDisksAndPartitions</key><true/></dict>"));
    ASSERT_TRUE(oddEntries.has_value());
    EXPECT_TRUE(oddEntries->entriesByIdentifier.empty());

    const auto empty =
        DiskUtilityListOutput::decode(plist("<dict><key>AllDisks</key><array/></dict>"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->allDisks.empty());

    const std::vector<std::pair<const char*, std::string>> failing{
        {"empty bytes", ""},
        {"no AllDisks", plist("<dict><key>WholeDisks</key><array/></dict>")},
        {"AllDisks not an array", plist("<dict><key>AllDisks</key><string>disk4</string></dict>")},
        {"an integer inside AllDisks",
         plist("<dict><key>AllDisks</key><array><integer>4</integer></array></dict>")},
        {"a date inside AllDisks", plist("<dict><key>AllDisks</key><array><string>disk4</string>"
                                         "<date>2024-01-01T00:00:00Z</date></array></dict>")},
        {"data inside AllDisks",
         plist("<dict><key>AllDisks</key><array><data>ZGlzazQ=</data></array></dict>")},
        {"NUL inside AllDisks",
         plist("<dict><key>AllDisks</key><array><string>disk4\0</string></array></dict>"s)},
    };
    for (const auto& [name, bytes] : failing) {
        EXPECT_EQ(DiskUtilityListOutput::decode(bytes), std::nullopt) << name;
    }
}

} // namespace
} // namespace berthkeep
