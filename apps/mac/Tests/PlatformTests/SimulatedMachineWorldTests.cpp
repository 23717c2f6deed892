#include "SimulatedMachineTestSupport.hpp"

#include "platform/SimulatedMachine/SimulatedDiskDescriptions.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"
#include "platform/SimulatedMachine/SimulatedWakeEnumeration.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace berthkeep {
namespace {

class SimulatedMachineWorld : public testing::SimulatedMachineFixture {
protected:
    SimulatedWorld world() { return makeSampleWorld(mountRoot()); }
    static bool isFolder(const std::string& path) {
        return QFileInfo(QString::fromStdString(path)).isDir();
    }
};

const DiskArbitrationDisk* findEntry(const std::vector<DiskArbitrationDisk>& disks,
                                     const std::string& identity) {
    for (const auto& disk : disks) {
        if (disk.identity == identity) {
            return &disk;
        }
    }
    return nullptr;
}

// The whole disk that carries the volume of this name, empty when none does.
std::string wholeDiskWithVolume(const SimulatedWorld& world, const std::string& volumeName) {
    for (const auto& disk : world.disks) {
        for (const auto& volume : disk.volumes) {
            if (volume.volumeName == volumeName) {
                return world.physicalDiskOf(disk)->bsdName;
            }
        }
    }
    return {};
}

std::vector<std::string> mountableVolumeNames(const std::vector<SimulatedDisk>& disks) {
    std::vector<std::string> names;
    for (const auto& disk : disks) {
        for (const auto& volume : disk.volumes) {
            if (volume.mountable && volume.volumeName) {
                names.push_back(*volume.volumeName);
            }
        }
    }
    return names;
}

TEST_F(SimulatedMachineWorld, PresetsMountUnderTheMountRootAndMakeTheFolders) {
    SimulatedWorld w = world();
    const std::string apfs = attachPreset(w, SimulatedDrivePreset::apfsDisk);
    const std::string share = attachPreset(w, SimulatedDrivePreset::networkVolume);
    EXPECT_EQ(share, mountRoot() + "/Shared");
    EXPECT_TRUE(isFolder(share));
    const SimulatedDisk* physical = w.findDisk(apfs);
    ASSERT_NE(physical, nullptr);
    ASSERT_EQ(w.containersOn(*physical).size(), 1u);
    const SimulatedDisk* container = w.containersOn(*physical).front();
    ASSERT_EQ(container->volumes.size(), 2u);
    for (const auto& volume : container->volumes) {
        ASSERT_TRUE(volume.mountPath.has_value());
        EXPECT_EQ(*volume.mountPath, mountRoot() + "/" + *volume.volumeName);
        EXPECT_TRUE(isFolder(*volume.mountPath));
    }
    // The internal disk mounts at "/" and never gets a folder of ours.
    EXPECT_EQ(w.findVolume("disk1s1")->mountPath, std::optional<std::string>("/"));
    EXPECT_FALSE(w.findVolume("disk1s1")->createdMountDirectory);
}

TEST_F(SimulatedMachineWorld, MountFoldersCanBeLeftAlone) {
    SimulatedWorld w = makeSampleWorld(mountRoot(), false);
    EXPECT_EQ(w.findVolume("disk2s1")->mountPath,
              std::optional<std::string>(mountRoot() + "/USB STICK"));
    EXPECT_FALSE(isFolder(mountRoot() + "/USB STICK"));
    ASSERT_EQ(unmountVolume(w, "disk2s1").exitStatus, 0);
    ASSERT_EQ(mountVolume(w, "disk2s1").exitStatus, 0);
    EXPECT_FALSE(isFolder(mountRoot() + "/USB STICK"));
    EXPECT_FALSE(parseSimulatedWorld(serializeSimulatedWorld(w)).createMountDirectories);
}

TEST_F(SimulatedMachineWorld, SecondVolumeOfTheSameNameGetsANumberedPath) {
    SimulatedWorld w = world();
    attachPreset(w, SimulatedDrivePreset::usbStick, std::string("STICK"));
    const std::string second =
        attachPreset(w, SimulatedDrivePreset::usbStick, std::string("STICK"));
    EXPECT_EQ(w.findVolume(second + "s1")->mountPath,
              std::optional<std::string>(mountRoot() + "/STICK 1"));
    // A slash in a name cannot lead out of the mount root.
    EXPECT_EQ(w.mountPathFor("../x/y"), mountRoot() + "/..:x:y");
}

TEST_F(SimulatedMachineWorld, EjectOfAnAPFSVolumeTakesThePhysicalDiskAndItsContainer) {
    SimulatedWorld w = world();
    const std::string physical = attachPreset(w, SimulatedDrivePreset::apfsDisk);
    const std::string container = w.containersOn(*w.findDisk(physical)).front()->bsdName;
    const std::string volumePath = *w.findVolume(container + "s1")->mountPath;
    const auto result = ejectDisk(w, "/dev/" + container + "s1");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "Disk " + physical + " ejected\n");
    EXPECT_EQ(w.findDisk(physical), nullptr);
    EXPECT_EQ(w.findDisk(container), nullptr);
    EXPECT_FALSE(isFolder(volumePath));
    EXPECT_NE(w.findDisk("disk2"), nullptr); // the USB stick stays
}

TEST_F(SimulatedMachineWorld, RefusalsLeaveTheWorldAlone) {
    struct Case {
        const char* verb;
        const char* device;
    };
    const Case cases[] = {
        {"eject", "disk0"},                          // internal, not ejectable
        {"eject", "disk99"},                         // unknown
        {"unmount", "disk2"},                        // a whole disk
        {"unmount", "disk99"}, {"mount", "disk0s2"}, // APFS store: no file system
        {"mount", "disk99"},   {"mountDisk", "disk99"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.verb) + " " + c.device);
        SimulatedWorld w = world();
        const SimulatedWorld before = w;
        const std::string verb = c.verb;
        const auto result = verb == "eject"     ? ejectDisk(w, c.device)
                            : verb == "unmount" ? unmountVolume(w, c.device)
                            : verb == "mount"   ? mountVolume(w, c.device)
                                                : mountWholeDisk(w, c.device);
        EXPECT_NE(result.exitStatus, 0);
        EXPECT_FALSE(result.standardError.empty());
        EXPECT_TRUE(result.standardOutput.empty());
        EXPECT_EQ(w, before);
    }
}

TEST_F(SimulatedMachineWorld, UnmountAndMountRoundTrip) {
    SimulatedWorld w = world();
    const std::string path = *w.findVolume("disk2s1")->mountPath;
    auto result = unmountVolume(w, "disk2s1");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "Volume USB STICK on disk2s1 unmounted\n");
    EXPECT_FALSE(w.findVolume("disk2s1")->mounted);
    EXPECT_FALSE(isFolder(path));
    EXPECT_NE(unmountVolume(w, "disk2s1").exitStatus, 0); // not mounted any more

    result = mountVolume(w, "disk2s1");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(w.findVolume("disk2s1")->mountPath, std::optional<std::string>(path));
    EXPECT_TRUE(isFolder(path));

    // Unmounting by mount path works as well.
    EXPECT_EQ(unmountVolume(w, path).exitStatus, 0);
}

TEST_F(SimulatedMachineWorld, UnmountKeepsAFolderThatHasFilesInIt) {
    SimulatedWorld w = world();
    const std::string path = *w.findVolume("disk2s1")->mountPath;
    QFile file(QString::fromStdString(path + "/open.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(unmountVolume(w, "disk2s1").exitStatus, 0);
    EXPECT_TRUE(QFileInfo::exists(file.fileName()));
}

TEST_F(SimulatedMachineWorld, MountDiskMountsTheVolumesOfItsContainers) {
    SimulatedWorld w = world();
    const std::string physical = attachPreset(w, SimulatedDrivePreset::apfsDisk);
    const std::string container = w.containersOn(*w.findDisk(physical)).front()->bsdName;
    ASSERT_EQ(unmountVolume(w, container + "s1").exitStatus, 0);
    ASSERT_EQ(unmountVolume(w, container + "s2").exitStatus, 0);
    EXPECT_EQ(mountWholeDisk(w, physical).exitStatus, 0);
    EXPECT_TRUE(w.findVolume(container + "s1")->mounted);
    EXPECT_TRUE(w.findVolume(container + "s2")->mounted);
    EXPECT_FALSE(w.findVolume(physical + "s1")->mounted); // EFI stays unmounted
}

TEST_F(SimulatedMachineWorld, DetachPullsDisksAndSharesOut) {
    SimulatedWorld w = world();
    const std::string share = attachPreset(w, SimulatedDrivePreset::networkVolume);
    EXPECT_TRUE(detachDevice(w, "disk2"));
    EXPECT_EQ(w.findDisk("disk2"), nullptr);
    EXPECT_TRUE(detachDevice(w, share));
    EXPECT_TRUE(w.networkVolumes.empty());
    EXPECT_FALSE(isFolder(share));
    EXPECT_FALSE(detachDevice(w, "disk42"));
}

TEST_F(SimulatedMachineWorld, DiskServiceDescriptionsFollowTheWorld) {
    SimulatedWorld w = world();
    attachPreset(w, SimulatedDrivePreset::apfsDisk);  // disk3, container disk4
    attachPreset(w, SimulatedDrivePreset::diskImage); // disk5
    const std::string share = attachPreset(w, SimulatedDrivePreset::networkVolume);
    const auto disks = simulatedDiskArbitrationDisks(w);

    const auto* whole = findEntry(disks, "disk2");
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->lastKnownDescription.mediaWhole, true);
    EXPECT_EQ(whole->lastKnownDescription.mediaLeaf, false);
    EXPECT_FALSE(whole->lastKnownDescription.volumePath.has_value());

    const auto* stick = findEntry(disks, "disk2s1");
    ASSERT_NE(stick, nullptr);
    const auto& d = stick->lastKnownDescription;
    EXPECT_EQ(d.deviceInternal, false);
    EXPECT_EQ(d.deviceProtocol, std::optional<std::string>("USB"));
    EXPECT_EQ(d.mediaEjectable, true);
    EXPECT_EQ(d.mediaRemovable, true);
    EXPECT_EQ(d.mediaWhole, false);
    EXPECT_EQ(d.mediaLeaf, true);
    EXPECT_EQ(d.volumeMountable, true);
    EXPECT_EQ(d.volumeNetwork, false);
    EXPECT_EQ(d.volumeName, std::optional<std::string>("USB STICK"));
    ASSERT_TRUE(d.volumeUUID.has_value());
    EXPECT_EQ(d.volumeUUID->toString(QUuid::WithoutBraces).toUpper().toStdString(),
              *w.findVolume("disk2s1")->volumeUUID);
    ASSERT_TRUE(d.volumePath.has_value());
    EXPECT_TRUE(d.volumePath->isLocalFile());
    EXPECT_EQ(d.volumePath->toLocalFile().toStdString(), mountRoot() + "/USB STICK/");

    // APFS volumes carry the facts of the disk behind their container.
    const auto* apfs = findEntry(disks, "disk4s1");
    ASSERT_NE(apfs, nullptr);
    EXPECT_EQ(apfs->lastKnownDescription.deviceProtocol, std::optional<std::string>("USB"));
    EXPECT_EQ(apfs->lastKnownDescription.mediaEjectable, true);

    EXPECT_EQ(findEntry(disks, "disk5s1")->lastKnownDescription.deviceProtocol,
              std::optional<std::string>("Disk Image"));
    EXPECT_EQ(findEntry(disks, "disk0")->lastKnownDescription.deviceInternal, true);
    EXPECT_FALSE(findEntry(disks, "disk3s2")->lastKnownDescription.volumeMountable.has_value());

    const auto* network = findEntry(disks, "network:" + share);
    ASSERT_NE(network, nullptr);
    EXPECT_FALSE(network->bsdName.has_value());
    EXPECT_EQ(network->lastKnownDescription.volumeNetwork, true);
    EXPECT_FALSE(network->lastKnownDescription.deviceInternal.has_value());

    // Unmounting drops the volume path and nothing else.
    ASSERT_EQ(unmountVolume(w, "disk2s1").exitStatus, 0);
    auto unmounted = findEntry(simulatedDiskArbitrationDisks(w), "disk2s1")->lastKnownDescription;
    EXPECT_FALSE(unmounted.volumePath.has_value());
    unmounted.volumePath = d.volumePath;
    EXPECT_EQ(unmounted, d);
}

// Alpha is ejected, a newcomer takes its freed name and is ejected too: every road
// back (a replug, renumbered or not, and a wake) takes the drive parked first with
// only its own containers, and the other waits, whole, until its name is free.
TEST_F(SimulatedMachineWorld, DrivesParkedOnOneNameComeBackOldestFirstAndNoneIsLost) {
    enum class Road { replugRenumbered, replugInPlace, wake };
    const char* const roadNames[] = {"replug --renumber", "replug", "wake"};
    for (const auto preset : {SimulatedDrivePreset::usbStick, SimulatedDrivePreset::apfsDisk}) {
        for (const Road road : {Road::replugRenumbered, Road::replugInPlace, Road::wake}) {
            SCOPED_TRACE(toString(preset) + ", " + roadNames[static_cast<int>(road)]);
            SimulatedWorld w = world();
            const std::string name = attachPreset(w, preset, std::string("Alpha"));
            ASSERT_EQ(ejectDisk(w, name).exitStatus, 0);
            ASSERT_EQ(attachPreset(w, preset, std::string("Beta")), name);
            ASSERT_EQ(ejectDisk(w, name).exitStatus, 0);
            const std::vector<std::string> beta = mountableVolumeNames(std::vector<SimulatedDisk>(
                w.parkedDisks.begin() + w.parkedDisks.size() / 2, w.parkedDisks.end()));
            ASSERT_EQ(beta.front(), "Beta");
            const std::size_t perDrive = w.parkedDisks.size() / 2;
            const std::size_t everyDisk = w.disks.size() + w.parkedDisks.size();
            const auto comeBack = [&](bool renumber) {
                if (road == Road::wake) {
                    bringBackParkedDisks(w);
                    return name;
                }
                return replugDisk(w, name, renumber).diskName;
            };

            const std::string alphaBack = comeBack(road == Road::replugRenumbered);
            EXPECT_EQ(alphaBack != name, road == Road::replugRenumbered);
            EXPECT_EQ(wholeDiskWithVolume(w, "Alpha"), alphaBack);
            EXPECT_EQ(mountableVolumeNames(w.parkedDisks), beta);
            EXPECT_EQ(w.parkedDisks.size(), perDrive);
            if (perDrive == 2) {
                // Beta's container is Beta's: replugged alone it would land on Alpha.
                const SimulatedWorld before = w;
                EXPECT_FALSE(replugDisk(w, w.parkedDisks[1].bsdName, true).replugged);
                EXPECT_EQ(w, before);
            }

            const std::string betaBack = comeBack(road == Road::replugRenumbered);
            if (road == Road::replugRenumbered) {
                EXPECT_EQ(wholeDiskWithVolume(w, "Beta"), betaBack);
                EXPECT_TRUE(w.parkedDisks.empty());
            } else {
                EXPECT_EQ(mountableVolumeNames(w.parkedDisks), beta);
            }
            EXPECT_EQ(w.disks.size() + w.parkedDisks.size(), everyDisk);
            EXPECT_EQ(parseSimulatedWorld(serializeSimulatedWorld(w)), w);
        }
    }
}

} // namespace
} // namespace berthkeep
