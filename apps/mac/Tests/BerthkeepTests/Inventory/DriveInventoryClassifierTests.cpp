#include <gtest/gtest.h>

#include <functional>

#include "Berthkeep/Inventory/DriveInventoryClassifier.hpp"
#include "Berthkeep/Inventory/DriveInventoryText.hpp"

namespace berthkeep {
namespace {

using Reason = DriveIgnoreReason;
using Description = DiskArbitrationDiskDescription;

// A partition that passes every rule: external, removable, named.
DiskUtilityVolumeFacts externalVolume() {
    DiskUtilityVolumeFacts facts;
    facts.deviceIdentifier = "disk4s1";
    facts.internal = false;
    facts.wholeDisk = false;
    facts.removableMediaOrExternalDevice = true;
    facts.volumeName = "STICK";
    facts.content = "Microsoft Basic Data";
    return facts;
}

struct DiskCase {
    const char* name;
    std::function<void(DiskUtilityVolumeFacts&, std::optional<Description>&,
                       std::optional<DiskImageAttachment>&)>
        edit;
    DriveClassification expected;
};

TEST(DriveInventoryClassifierTest, DiskFactsFollowTheRuleOrder) {
    const auto ignored = DriveClassification::ignored;
    const std::vector<DiskCase> cases{
        {"plain external volume", [](auto&, auto&, auto&) {},
         DriveClassification::physicalExternal()},
        {"whole disk", [](auto& f, auto&, auto&) { f.wholeDisk = true; },
         ignored(Reason::wholeDisk)},
        {"whole per description",
         [](auto&, auto& d, auto&) {
             d = Description{};
             d->mediaWhole = true;
         },
         ignored(Reason::wholeDisk)},
        {"whole disk wins over network",
         [](auto& f, auto& d, auto&) {
             f.wholeDisk = true;
             d = Description{};
             d->volumeNetwork = true;
         },
         ignored(Reason::wholeDisk)},
        {"network wins over internal",
         [](auto& f, auto& d, auto&) {
             f.internal = true;
             d = Description{};
             d->volumeNetwork = true;
         },
         DriveClassification::networkVolume()},
        {"internal", [](auto& f, auto&, auto&) { f.internal = true; },
         ignored(Reason::internalMedia)},
        {"internal unknown, even when ejectable and removable",
         [](auto& f, auto&, auto&) {
             f.internal.reset();
             f.ejectable = true;
             f.removable = true;
         },
         ignored(Reason::internalMedia)},
        {"device internal per description",
         [](auto&, auto& d, auto&) {
             d = Description{};
             d->deviceInternal = true;
         },
         ignored(Reason::internalMedia)},
        {"not a leaf",
         [](auto&, auto& d, auto&) {
             d = Description{};
             d->mediaLeaf = false;
         },
         ignored(Reason::nonLeafMedia)},
        {"not mountable per description",
         [](auto&, auto& d, auto&) {
             d = Description{};
             d->volumeMountable = false;
         },
         ignored(Reason::notUserMountable)},
        {"EFI partition", [](auto& f, auto&, auto&) { f.content = "EFI"; },
         ignored(Reason::notUserMountable)},
        {"APFS container partition with white space",
         [](auto& f, auto&, auto&) { f.content = " \tApple_APFS\n"; },
         ignored(Reason::notUserMountable)},
        {"content in another letter case goes on", [](auto& f, auto&, auto&) { f.content = "efi"; },
         DriveClassification::physicalExternal()},
        {"blank content is mountable", [](auto& f, auto&, auto&) { f.content = "  "; },
         DriveClassification::physicalExternal()},
        {"attachment without a path", [](auto&, auto&, auto& a) { a = DiskImageAttachment{}; },
         ignored(Reason::diskImage)},
        {"system image", [](auto& f, auto&, auto&) { f.systemImage = true; },
         ignored(Reason::diskImage)},
        {"virtual", [](auto& f, auto&, auto&) { f.virtualOrPhysical = "Virtual"; },
         ignored(Reason::diskImage)},
        {"virtual with a blank is not matched",
         [](auto& f, auto&, auto&) { f.virtualOrPhysical = "Virtual "; },
         DriveClassification::physicalExternal()},
        {"disk image bus", [](auto& f, auto&, auto&) { f.busProtocol = "Disk Image"; },
         ignored(Reason::diskImage)},
        {"disk image protocol per description",
         [](auto&, auto& d, auto&) {
             d = Description{};
             d->deviceProtocol = "Disk Image";
         },
         ignored(Reason::diskImage)},
        {"simulator mount point, trimmed",
         [](auto& f, auto&, auto&) {
             f.mountPoint = "  /Library/Developer/CoreSimulator/Volumes/iOS\n";
         },
         ignored(Reason::diskImage)},
        {"simulator volume path per description",
         [](auto&, auto& d, auto&) {
             d = Description{};
             d->volumePath = QUrl::fromLocalFile("/System/Library/AssetsV2/x/");
         },
         ignored(Reason::diskImage)},
        {"prefix without its slash is not virtual",
         [](auto& f, auto&, auto&) { f.mountPoint = "/System/Library/AssetsV2"; },
         DriveClassification::physicalExternal()},
        {"no identity", [](auto& f, auto&, auto&) { f.volumeName = " \n"; },
         ignored(Reason::missingIdentity)},
        {"empty UUID still counts as identity",
         [](auto& f, auto&, auto&) {
             f.volumeName.reset();
             f.volumeUUID = "";
         },
         DriveClassification::physicalExternal()},
        {"filesystem type alone is identity",
         [](auto& f, auto&, auto&) {
             f.volumeName.reset();
             f.filesystemType = "msdos";
         },
         DriveClassification::physicalExternal()},
        {"no external evidence",
         [](auto& f, auto&, auto&) { f.removableMediaOrExternalDevice = false; },
         ignored(Reason::notPhysicalExternal)},
        {"ejectable alone",
         [](auto& f, auto&, auto&) {
             f.removableMediaOrExternalDevice.reset();
             f.ejectable = true;
         },
         DriveClassification::physicalExternal()},
        {"removable media per description",
         [](auto& f, auto& d, auto&) {
             f.removableMediaOrExternalDevice.reset();
             d = Description{};
             d->mediaRemovable = true;
         },
         DriveClassification::physicalExternal()},
        {"ejectable per description",
         [](auto& f, auto& d, auto&) {
             f.removableMediaOrExternalDevice = false;
             d = Description{};
             d->mediaEjectable = true;
         },
         DriveClassification::physicalExternal()},
    };
    for (const auto& testCase : cases) {
        DiskUtilityVolumeFacts facts = externalVolume();
        std::optional<Description> description;
        std::optional<DiskImageAttachment> attachment;
        testCase.edit(facts, description, attachment);
        const auto result =
            DriveInventoryClassifier::classifyDiskFacts(facts, attachment, description);
        EXPECT_EQ(describe(result), describe(testCase.expected)) << testCase.name;
    }
}

MountedVolumeFacts mountedExternal(const QString& path = QStringLiteral("/Volumes/STICK/")) {
    MountedVolumeFacts facts;
    facts.mountURL = QUrl::fromLocalFile(path);
    facts.volumeIsLocal = true;
    facts.volumeIsBrowsable = true;
    facts.volumeIsInternal = false;
    return facts;
}

TEST(DriveInventoryClassifierTest, MountedVolumesFollowTheRuleOrder) {
    const auto ignored = DriveClassification::ignored;
    struct Case {
        const char* name;
        std::function<void(MountedVolumeFacts&)> edit;
        DriveClassification expected;
    };
    const std::vector<Case> cases{
        {"external volume", [](auto&) {}, DriveClassification::physicalExternal()},
        {"not a file URL",
         [](auto& f) {
             f.mountURL = QUrl("smb://server/share");
             f.volumeIsLocal = false;
         },
         ignored(Reason::unsupportedURL)},
        {"root even when not local",
         [](auto& f) {
             f.mountURL = QUrl::fromLocalFile("/");
             f.volumeIsLocal = false;
         },
         ignored(Reason::rootVolume)},
        {"network", [](auto& f) { f.volumeIsLocal = false; }, DriveClassification::networkVolume()},
        {"hidden", [](auto& f) { f.volumeIsBrowsable = false; }, ignored(Reason::hiddenVolume)},
        {"internal, nothing else", [](auto& f) { f.volumeIsInternal = true; },
         ignored(Reason::notPhysicalExternal)},
        {"internal flag absent and nothing else", [](auto& f) { f.volumeIsInternal.reset(); },
         ignored(Reason::notPhysicalExternal)},
        {"internal but removable",
         [](auto& f) {
             f.volumeIsInternal = true;
             f.volumeIsRemovable = true;
         },
         DriveClassification::physicalExternal()},
        {"internal but ejectable",
         [](auto& f) {
             f.volumeIsInternal = true;
             f.volumeIsEjectable = true;
         },
         DriveClassification::physicalExternal()},
        {"under the simulator folder",
         [](auto& f) {
             f.mountURL = QUrl::fromLocalFile("/Library/Developer/CoreSimulator/Volumes/iOS_21A/");
         },
         ignored(Reason::diskImage)},
    };
    for (const auto& testCase : cases) {
        MountedVolumeFacts facts = mountedExternal();
        testCase.edit(facts);
        EXPECT_EQ(describe(DriveInventoryClassifier::classifyMountedVolumeFacts(facts)),
                  describe(testCase.expected))
            << testCase.name;
    }
}

TEST(DriveIgnoreReasonTest, RawValuesRoundTripExactly) {
    for (Reason reason :
         {Reason::wholeDisk, Reason::internalMedia, Reason::nonLeafMedia, Reason::notUserMountable,
          Reason::hiddenVolume, Reason::diskImage, Reason::notPhysicalExternal,
          Reason::missingIdentity, Reason::rootVolume, Reason::unsupportedURL}) {
        EXPECT_EQ(driveIgnoreReasonFromString(toString(reason)), reason);
    }
    EXPECT_EQ(driveIgnoreReasonFromString("notUserMountable"), Reason::notUserMountable);
    EXPECT_EQ(driveIgnoreReasonFromString("NotUserMountable"), std::nullopt);
    EXPECT_EQ(driveIgnoreReasonFromString(""), std::nullopt);
    EXPECT_NE(DriveClassification::ignored(Reason::wholeDisk),
              DriveClassification::ignored(Reason::diskImage));
}

TEST(DriveInventoryTextTest, NonEmptyTrimsAndDropsBlanks) {
    EXPECT_EQ(DriveInventoryText::nonEmpty(std::nullopt), std::nullopt);
    EXPECT_EQ(DriveInventoryText::nonEmpty(std::string()), std::nullopt);
    EXPECT_EQ(DriveInventoryText::nonEmpty(std::string(" \t\r\n ")), std::nullopt);
    EXPECT_EQ(DriveInventoryText::nonEmpty(std::string("\xC2\xA0\xE3\x80\x80")), std::nullopt)
        << "no-break and ideographic spaces are white space too";
    EXPECT_EQ(DriveInventoryText::nonEmpty(std::string("  My Drive\n")),
              std::optional<std::string>("My Drive"));
    EXPECT_EQ(DriveInventoryText::nonEmpty(std::string("Ünïcode Näme")),
              std::optional<std::string>("Ünïcode Näme"));
}

} // namespace
} // namespace berthkeep
