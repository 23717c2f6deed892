#include "SimulatedMachineTestSupport.hpp"

#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

#include <QFile>

namespace berthkeep {
namespace {

class MountedVolumeSimulatedListing : public testing::SimulatedMachineFixture {
protected:
    void SetUp() override {
        SimulatedMachineFixture::SetUp();
        SimulatedWorld world = makeSampleWorld(mountRoot());
        m_share = attachPreset(world, SimulatedDrivePreset::networkVolume);
        attachPreset(world, SimulatedDrivePreset::apfsDisk);
        stateFile().write(world);
    }
    static QUrl url(const std::string& path) {
        return QUrl::fromLocalFile(QString::fromStdString(path == "/" ? path : path + "/"));
    }
    std::vector<std::string> paths(MountedVolumeListingOptions options) const {
        std::vector<std::string> result;
        const auto urls = m_listing.mountedVolumeURLs(allVolumeResourceKeys(), options);
        EXPECT_TRUE(urls.has_value());
        for (const auto& u : urls.value_or(std::vector<QUrl>{})) {
            result.push_back(u.toLocalFile().toStdString());
        }
        return result;
    }

    std::string m_share;
    SimulatedMountedVolumeListing m_listing{SimulatedStateFile(statePath())};
};

TEST_F(MountedVolumeSimulatedListing, ListsMountedVolumesRootFirstAndSkipsHiddenOnRequest) {
    const std::string root = mountRoot();
    const std::vector<std::string> visible{"/", root + "/USB STICK/", root + "/Backup/",
                                           root + "/Archive/", root + "/Shared/"};
    EXPECT_EQ(paths({.skipHiddenVolumes = true}), visible);
    const auto all = paths({.skipHiddenVolumes = false});
    EXPECT_EQ(all.size(), visible.size() + 1);
    EXPECT_NE(std::find(all.begin(), all.end(), "/System/Volumes/Data/"), all.end());
}

TEST_F(MountedVolumeSimulatedListing, ResourceValuesDescribeEachKindOfVolume) {
    struct Case {
        std::string path;
        VolumeResourceValues expected;
    };
    const auto uuid = [&](const std::string& bsdName) {
        return stateFile().read().findVolume(bsdName)->volumeUUID;
    };
    const std::string root = mountRoot();
    const Case cases[] = {
        {"/", {uuid("disk1s1"), "Macintosh HD", "Macintosh HD", true, false, true, true, false}},
        {"/System/Volumes/Data",
         {uuid("disk1s2"), "Data", "Data", false, false, true, true, false}},
        {root + "/USB STICK",
         {uuid("disk2s1"), "USB STICK", "USB STICK", true, true, false, true, true}},
        {root + "/Backup", {uuid("disk4s1"), "Backup", "Backup", true, true, false, true, false}},
        {root + "/Shared",
         {stateFile().read().networkVolumes.front().volumeUUID, "Shared", "Shared", true, true,
          std::nullopt, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(m_listing.resourceValues(url(c.path), allVolumeResourceKeys()), c.expected);
    }
}

TEST_F(MountedVolumeSimulatedListing, OnlyTheAskedAndAnsweredValuesArePresent) {
    const auto values =
        m_listing.resourceValues(url(mountRoot() + "/USB STICK"),
                                 {VolumeResourceKey::volumeName, VolumeResourceKey::volumeIsLocal});
    VolumeResourceValues expected;
    expected.volumeName = "USB STICK";
    expected.volumeIsLocal = true;
    EXPECT_EQ(values, expected);

    stateFile().update([](SimulatedWorld& world) {
        world.findVolume("disk2s1")->omittedResourceKeys = {"volumeIsEjectable",
                                                            "volumeUUIDString"};
        return true;
    });
    const auto partial =
        m_listing.resourceValues(url(mountRoot() + "/USB STICK"), allVolumeResourceKeys());
    EXPECT_FALSE(partial.volumeIsEjectable.has_value());
    EXPECT_FALSE(partial.volumeUUIDString.has_value());
    EXPECT_EQ(partial.volumeIsRemovable, true);
}

TEST_F(MountedVolumeSimulatedListing, UnreadableValuesThrow) {
    stateFile().update([](SimulatedWorld& world) {
        world.findVolume("disk2s1")->resourceValuesFail = true;
        return true;
    });
    EXPECT_THROW(m_listing.resourceValues(url(mountRoot() + "/USB STICK"), allVolumeResourceKeys()),
                 VolumeResourceError);
    EXPECT_THROW(m_listing.resourceValues(url(mountRoot() + "/Nowhere"), allVolumeResourceKeys()),
                 VolumeResourceError);
    EXPECT_THROW(
        m_listing.resourceValues(QUrl("smb://nas.example/Shared"), allVolumeResourceKeys()),
        VolumeResourceError);
}

TEST_F(MountedVolumeSimulatedListing, BrokenStateFileGivesNoAnswer) {
    QFile file(QString::fromStdString(statePath()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[1, 2");
    file.close();
    EXPECT_FALSE(m_listing.mountedVolumeURLs(allVolumeResourceKeys(), {}).has_value());
}

TEST(MountedVolumeResourceKey, TextsRoundTrip) {
    EXPECT_EQ(allVolumeResourceKeys().size(), 8u);
    for (auto key : allVolumeResourceKeys()) {
        EXPECT_EQ(volumeResourceKeyFromString(toString(key)), key);
    }
    EXPECT_FALSE(volumeResourceKeyFromString("VolumeIsLocal").has_value());
}

} // namespace
} // namespace berthkeep
