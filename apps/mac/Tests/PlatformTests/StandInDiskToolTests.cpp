#include "SimulatedMachineTestSupport.hpp"

#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <map>
#include <set>
#include <sstream>

namespace berthkeep {
namespace {

using testing::parsePlist;
using testing::plistBool;
using testing::plistString;
using testing::plistStrings;

// The keys the inventory decodes from `diskutil info -plist`, with their types.
const std::map<std::string, plist_type>& diskInfoKeyTypes() {
    static const std::map<std::string, plist_type> types{
        {"APFSContainerReference", PLIST_STRING},
        {"APFSPhysicalStores", PLIST_ARRAY},
        {"BusProtocol", PLIST_STRING},
        {"Content", PLIST_STRING},
        {"DeviceIdentifier", PLIST_STRING},
        {"DeviceTreePath", PLIST_STRING},
        {"Ejectable", PLIST_BOOLEAN},
        {"FilesystemName", PLIST_STRING},
        {"FilesystemType", PLIST_STRING},
        {"Internal", PLIST_BOOLEAN},
        {"IORegistryEntryName", PLIST_STRING},
        {"MediaName", PLIST_STRING},
        {"MediaType", PLIST_STRING},
        {"MountPoint", PLIST_STRING},
        {"ParentWholeDisk", PLIST_STRING},
        {"Removable", PLIST_BOOLEAN},
        {"RemovableMedia", PLIST_BOOLEAN},
        {"RemovableMediaOrExternalDevice", PLIST_BOOLEAN},
        {"SystemImage", PLIST_BOOLEAN},
        {"VirtualOrPhysical", PLIST_STRING},
        {"VolumeName", PLIST_STRING},
        {"VolumeUUID", PLIST_STRING},
        {"WholeDisk", PLIST_BOOLEAN},
        {"Writable", PLIST_BOOLEAN},
        {"WritableMedia", PLIST_BOOLEAN},
    };
    return types;
}

class StandInDiskTool : public testing::SimulatedMachineFixture {
protected:
    // disk0/disk1 internal, disk2 USB stick, disk3 + container disk4 APFS SSD,
    // disk5 disk image, plus a network volume.
    void SetUp() override {
        SimulatedMachineFixture::SetUp();
        SimulatedWorld world = makeSampleWorld(mountRoot());
        attachPreset(world, SimulatedDrivePreset::apfsDisk);
        attachPreset(world, SimulatedDrivePreset::diskImage, std::nullopt,
                     std::string("/images/Installer.dmg"));
        attachPreset(world, SimulatedDrivePreset::networkVolume);
        stateFile().write(world);
    }

    ToolRun diskutil(const QStringList& arguments, int timeoutMs = 10000) {
        return runTool(QStringLiteral("diskutil"), arguments, timeoutMs);
    }

    testing::PlistHandle info(const std::string& device) {
        const auto run = diskutil({"info", "-plist", QString::fromStdString(device)});
        EXPECT_EQ(run.exitCode, 0) << run.standardError;
        auto plist = parsePlist(run.standardOutput);
        EXPECT_TRUE(plist && plist_get_node_type(plist.get()) == PLIST_DICT) << device;
        return plist;
    }

    void script(const QStringList& arguments) {
        const auto run =
            runTool(QStringLiteral("berthkeep-sim"), QStringList{"script"} + arguments);
        ASSERT_EQ(run.exitCode, 0) << run.standardError;
    }
};

TEST_F(StandInDiskTool, ListNamesEveryExternalDiskAndPartition) {
    const auto run = diskutil({"list", "-plist", "external"});
    ASSERT_EQ(run.exitCode, 0) << run.standardError;
    auto plist = parsePlist(run.standardOutput);
    ASSERT_TRUE(plist);
    plist_t allDisks = plist_dict_get_item(plist.get(), "AllDisks");
    ASSERT_TRUE(allDisks && plist_get_node_type(allDisks) == PLIST_ARRAY);
    const std::vector<std::string> expected{"disk2", "disk2s1", "disk3",   "disk3s1", "disk3s2",
                                            "disk4", "disk4s1", "disk4s2", "disk5",   "disk5s1"};
    EXPECT_EQ(plistStrings(allDisks), expected);
    EXPECT_TRUE(plist_dict_get_item(plist.get(), "AllDisksAndPartitions"));
    EXPECT_EQ(plistStrings(plist_dict_get_item(plist.get(), "WholeDisks")),
              (std::vector<std::string>{"disk2", "disk3", "disk4", "disk5"}));
}

TEST_F(StandInDiskTool, InfoKeysHaveTheTypesTheInventoryDecodes) {
    for (const char* device : {"disk0", "disk1s1", "disk2", "disk2s1", "disk3s1", "disk3s2",
                               "disk4", "disk4s1", "disk5", "disk5s1"}) {
        SCOPED_TRACE(device);
        auto plist = info(device);
        ASSERT_TRUE(plist);
        EXPECT_EQ(plistString(plist_dict_get_item(plist.get(), "DeviceIdentifier")), device);
        for (const auto& [key, type] : diskInfoKeyTypes()) {
            plist_t value = plist_dict_get_item(plist.get(), key.c_str());
            if (value) {
                EXPECT_EQ(plist_get_node_type(value), type) << key;
            }
        }
        for (const char* always :
             {"WholeDisk", "Internal", "Ejectable", "Removable", "RemovableMedia",
              "RemovableMediaOrExternalDevice", "BusProtocol", "Content", "MountPoint",
              "VolumeName", "VirtualOrPhysical", "ParentWholeDisk"}) {
            EXPECT_TRUE(plist_dict_get_item(plist.get(), always)) << always;
        }
    }
}

TEST_F(StandInDiskTool, InfoCarriesTheFactsThatClassifyEachKindOfDevice) {
    struct Expectation {
        const char* device;
        const char* key;
        const char* text;         // string value, or null
        std::optional<bool> flag; // Boolean value
    };
    const Expectation expectations[] = {
        {"disk2", "WholeDisk", nullptr, true},
        {"disk2s1", "WholeDisk", nullptr, false},
        {"disk2s1", "Internal", nullptr, false},
        {"disk2s1", "Removable", nullptr, true},
        {"disk2s1", "Ejectable", nullptr, true},
        {"disk2s1", "BusProtocol", "USB", std::nullopt},
        {"disk2s1", "FilesystemType", "msdos", std::nullopt},
        {"disk2s1", "VolumeName", "USB STICK", std::nullopt},
        {"disk2s1", "ParentWholeDisk", "disk2", std::nullopt},
        {"disk0s1", "Internal", nullptr, true},
        {"disk1s1", "MountPoint", "/", std::nullopt},
        {"disk3s1", "Content", "EFI", std::nullopt},
        {"disk3s2", "Content", "Apple_APFS", std::nullopt},
        {"disk3s2", "APFSContainerReference", "disk4", std::nullopt},
        {"disk4s1", "APFSContainerReference", "disk4", std::nullopt},
        {"disk4s1", "Internal", nullptr, false},
        {"disk4s1", "Ejectable", nullptr, true},
        {"disk4s1", "FilesystemType", "apfs", std::nullopt},
        {"disk4s1", "VolumeName", "Backup", std::nullopt},
        {"disk5s1", "BusProtocol", "Disk Image", std::nullopt},
        {"disk5s1", "VirtualOrPhysical", "Virtual", std::nullopt},
        {"disk2s1", "VirtualOrPhysical", "Physical", std::nullopt},
    };
    for (const auto& e : expectations) {
        SCOPED_TRACE(std::string(e.device) + " " + e.key);
        auto plist = info(e.device);
        ASSERT_TRUE(plist);
        plist_t value = plist_dict_get_item(plist.get(), e.key);
        ASSERT_TRUE(value);
        if (e.text) {
            EXPECT_EQ(plistString(value), e.text);
        } else {
            EXPECT_EQ(plistBool(value), e.flag);
        }
    }
    auto apfs = info("disk4s2");
    plist_t stores = plist_dict_get_item(apfs.get(), "APFSPhysicalStores");
    ASSERT_TRUE(stores && plist_array_get_size(stores) == 1);
    EXPECT_EQ(
        plistString(plist_dict_get_item(plist_array_get_item(stores, 0), "APFSPhysicalStore")),
        "disk3s2");
    auto stick = info("disk2s1");
    EXPECT_EQ(plistString(plist_dict_get_item(stick.get(), "MountPoint")),
              mountRoot() + "/USB STICK");
}

TEST_F(StandInDiskTool, InfoOfAnUnknownDeviceFails) {
    const auto run = diskutil({"info", "-plist", "disk42"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.standardOutput.empty());
    EXPECT_NE(run.standardError.find("disk42"), std::string::npos);
}

TEST_F(StandInDiskTool, DiskImageInfoListsTheAttachedImage) {
    const auto run = runTool(QStringLiteral("hdiutil"), {"info", "-plist"});
    ASSERT_EQ(run.exitCode, 0) << run.standardError;
    auto plist = parsePlist(run.standardOutput);
    ASSERT_TRUE(plist);
    plist_t images = plist_dict_get_item(plist.get(), "images");
    ASSERT_TRUE(images && plist_get_node_type(images) == PLIST_ARRAY);
    ASSERT_EQ(plist_array_get_size(images), 1u);
    plist_t image = plist_array_get_item(images, 0);
    EXPECT_EQ(plistString(plist_dict_get_item(image, "image-path")), "/images/Installer.dmg");
    plist_t entities = plist_dict_get_item(image, "system-entities");
    ASSERT_TRUE(entities && plist_get_node_type(entities) == PLIST_ARRAY);
    ASSERT_EQ(plist_array_get_size(entities), 2u);
    EXPECT_EQ(plistString(plist_dict_get_item(plist_array_get_item(entities, 0), "dev-entry")),
              "/dev/disk5");
    plist_t volume = plist_array_get_item(entities, 1);
    EXPECT_EQ(plistString(plist_dict_get_item(volume, "dev-entry")), "/dev/disk5s1");
    EXPECT_EQ(plistString(plist_dict_get_item(volume, "mount-point")), mountRoot() + "/Installer");
}

TEST_F(StandInDiskTool, UnknownArgumentsPrintUsage) {
    const QStringList cases[] = {
        {},
        {"list"},
        {"list", "-plist"},
        {"list", "external"},
        {"info", "-plist"},
        {"info", "disk2"},
        {"eject"},
        {"eject", "disk2", "disk3"},
        {"frobnicate", "disk2"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const auto run = diskutil(arguments);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.standardError.find("Usage:"), std::string::npos);
    }
    const auto run = runTool(QStringLiteral("hdiutil"), {"info"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.standardError.find("Usage:"), std::string::npos);
    EXPECT_EQ(stateFile().read().disks.size(), 6u); // nothing changed
}

TEST_F(StandInDiskTool, EjectUnmountAndMountChangeTheWorld) {
    const std::string stickPath = mountRoot() + "/USB STICK";
    auto run = diskutil({"unmount", "disk2s1"});
    EXPECT_EQ(run.exitCode, 0) << run.standardError;
    EXPECT_FALSE(stateFile().read().findVolume("disk2s1")->mounted);
    EXPECT_FALSE(QFileInfo(QString::fromStdString(stickPath)).exists());

    run = diskutil({"mount", "disk2s1"});
    EXPECT_EQ(run.exitCode, 0) << run.standardError;
    EXPECT_TRUE(QFileInfo(QString::fromStdString(stickPath)).isDir());

    run = diskutil({"eject", "disk2"});
    EXPECT_EQ(run.exitCode, 0) << run.standardError;
    EXPECT_EQ(run.standardOutput, "Disk disk2 ejected\n");
    EXPECT_EQ(stateFile().read().findDisk("disk2"), nullptr);
    auto list = parsePlist(diskutil({"list", "-plist", "external"}).standardOutput);
    const auto names = plistStrings(plist_dict_get_item(list.get(), "AllDisks"));
    EXPECT_EQ(std::count(names.begin(), names.end(), "disk2"), 0);

    run = diskutil({"eject", "disk2"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.standardError.empty());

    run = diskutil({"unmount", "disk4s1"});
    EXPECT_EQ(run.exitCode, 0);
    run = diskutil({"mountDisk", "disk3"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(stateFile().read().findVolume("disk4s1")->mounted);
}

TEST_F(StandInDiskTool, ScriptedFailureIsReportedOnceAndLeavesTheWorldAlone) {
    script({"eject", "--device", "disk2", "--exit", "1", "--stderr", "  failed\n", "--times", "1"});
    // Another device is not affected.
    EXPECT_EQ(diskutil({"eject", "disk5"}).exitCode, 0);
    auto run = diskutil({"eject", "/dev/disk2"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.standardError, "  failed\n");
    EXPECT_NE(stateFile().read().findDisk("disk2"), nullptr);
    EXPECT_TRUE(stateFile().read().behaviours.empty());
    run = diskutil({"eject", "disk2"});
    EXPECT_EQ(run.exitCode, 0) << run.standardError;
}

TEST_F(StandInDiskTool, ScriptedFailureWithoutCountStays) {
    script({"info", "--exit", "3"});
    script({"info", "--tool", "hdiutil", "--exit", "1", "--stdout", "<plist/>"});
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(diskutil({"info", "-plist", "disk2"}).exitCode, 3);
    }
    const auto images = runTool(QStringLiteral("hdiutil"), {"info", "-plist"});
    EXPECT_EQ(images.exitCode, 1);
    EXPECT_EQ(images.standardOutput, "<plist/>");
    EXPECT_EQ(diskutil({"list", "-plist", "external"}).exitCode, 0);
    ASSERT_EQ(runTool(QStringLiteral("berthkeep-sim"), {"clear-scripts"}).exitCode, 0);
    EXPECT_EQ(diskutil({"info", "-plist", "disk2"}).exitCode, 0);
}

TEST_F(StandInDiskTool, ScriptedDelayHoldsTheAnswerBack) {
    script({"list", "--delay", "400", "--times", "1"});
    QElapsedTimer timer;
    timer.start();
    const auto run = diskutil({"list", "-plist", "external"});
    EXPECT_GE(timer.elapsed(), 400);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(parsePlist(run.standardOutput));
}

TEST_F(StandInDiskTool, ScriptedHangNeverAnswersAndEndsOnTerminate) {
    script({"eject", "--hang", "--ready-file", readyPath()});
    QProcess process;
    process.setProcessEnvironment(toolEnvironment());
    process.start(toolPath(QStringLiteral("diskutil")), {"eject", "disk2"});
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(waitUntilReady());
    EXPECT_FALSE(process.waitForFinished(700));
    process.terminate();
    EXPECT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
    EXPECT_NE(stateFile().read().findDisk("disk2"), nullptr);
}

TEST_F(StandInDiskTool, ScriptedHangCanShrugOffTerminate) {
    script({"mount", "--hang", "--ignore-term", "--times", "1", "--ready-file", readyPath()});
    QProcess process;
    process.setProcessEnvironment(toolEnvironment());
    process.start(toolPath(QStringLiteral("diskutil")), {"mount", "disk2s1"});
    ASSERT_TRUE(process.waitForStarted(5000));
    // The behaviour is used up the moment the tool takes it; it hangs right after.
    ASSERT_TRUE(testing::spinUntil([&] { return stateFile().read().behaviours.empty(); }));
    // SIGTERM before that would end it: terminate only once it says it hangs.
    ASSERT_TRUE(waitUntilReady());
    EXPECT_FALSE(process.waitForFinished(300));
    process.terminate();
    EXPECT_FALSE(process.waitForFinished(300));
    process.kill();
    EXPECT_TRUE(process.waitForFinished(5000));
}

TEST_F(StandInDiskTool, ConcurrentAttachesGetDistinctDisks) {
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 8; ++i) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(toolEnvironment());
        process->start(toolPath(QStringLiteral("berthkeep-sim")), {"attach", "usb-stick"});
        processes.push_back(std::move(process));
    }
    std::set<std::string> names;
    for (auto& process : processes) {
        ASSERT_TRUE(process->waitForFinished(10000));
        EXPECT_EQ(process->exitCode(), 0);
        names.insert(process->readAllStandardOutput().trimmed().toStdString());
    }
    EXPECT_EQ(names.size(), 8u);
    const SimulatedWorld world = stateFile().read();
    EXPECT_EQ(world.disks.size(), 14u);
    for (const auto& name : names) {
        EXPECT_NE(world.findDisk(name), nullptr) << name;
    }
}

TEST_F(StandInDiskTool, ControlToolDetachesAndRejectsBadInput) {
    EXPECT_EQ(runTool(QStringLiteral("berthkeep-sim"), {"detach", "disk3"}).exitCode, 0);
    const SimulatedWorld world = stateFile().read();
    EXPECT_EQ(world.findDisk("disk3"), nullptr);
    EXPECT_EQ(world.findDisk("disk4"), nullptr); // its APFS container went with it
    EXPECT_EQ(runTool(QStringLiteral("berthkeep-sim"), {"detach", "disk3"}).exitCode, 1);
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"attach", "floppy"}, QStringList{"script", "eject"},
          QStringList{"script", "eject", "--exit", "x"},
          QStringList{"init", "--mount-root", "relative"}, QStringList{"fly"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const auto run = runTool(QStringLiteral("berthkeep-sim"), arguments);
        EXPECT_EQ(run.exitCode, 64);
        EXPECT_NE(run.standardError.find("Usage:"), std::string::npos);
    }
    const auto init =
        runTool(QStringLiteral("berthkeep-sim"),
                {"init", "--mount-root", QString::fromStdString(mountRoot()), "--empty"});
    EXPECT_EQ(init.exitCode, 0);
    EXPECT_TRUE(stateFile().read().disks.empty());
    EXPECT_TRUE(QDir(QString::fromStdString(mountRoot())).isEmpty());
}

} // namespace
} // namespace berthkeep

namespace berthkeep {
namespace {

// An ejected disk stays plugged in: replug brings it back, unmounted, under its
// own numbers or new ones, APFS containers and all.
TEST_F(StandInDiskTool, EjectedDiskIsParkedAndReplugsUnmounted) {
    ASSERT_EQ(diskutil({"eject", "disk3"}).exitCode, 0);
    EXPECT_EQ(stateFile().read().parkedDisks.size(), 2u); // disk3 and its container disk4

    struct Case {
        QStringList arguments;
        int exitCode;
        std::string output;
    };
    const Case cases[] = {
        {{"replug", "disk9"}, 1, ""},
        {{"replug", "disk3", "--renumber"}, 0, "disk6\n"},
        {{"replug", "disk3"}, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto run = runTool(QStringLiteral("berthkeep-sim"), c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.standardError;
        if (c.exitCode == 0) {
            EXPECT_EQ(run.standardOutput, c.output);
        }
    }
    const SimulatedWorld world = stateFile().read();
    EXPECT_TRUE(world.parkedDisks.empty());
    ASSERT_TRUE(world.findDisk("disk6"));
    const SimulatedDisk* container = world.findDisk("disk7");
    ASSERT_TRUE(container);
    EXPECT_EQ(container->apfsPhysicalStore.value_or(""), "disk6s2");
    for (const auto& volume : container->volumes) {
        EXPECT_FALSE(volume.mounted) << volume.bsdName;
    }
    EXPECT_EQ(diskutil({"mountDisk", "disk6"}).exitCode, 0);
    EXPECT_TRUE(stateFile().read().findVolume("disk7s1")->mounted);
    EXPECT_EQ(parseSimulatedWorld(serializeSimulatedWorld(world)), world);
}

// Two sticks ejected on one name (the newcomer took the freed disk2): list tells
// them apart and which a replug brings back first, and the replug takes only
// that one; the other stays parked and listed.
TEST_F(StandInDiskTool, ListTellsApartDisksParkedOnOneNameAndReplugTakesTheFirst) {
    const QString sim = QStringLiteral("berthkeep-sim");
    const auto parkedLines = [&] {
        const auto run = runTool(sim, {"list"});
        EXPECT_EQ(run.exitCode, 0) << run.standardError;
        std::vector<std::string> lines;
        std::istringstream text(run.standardOutput);
        for (std::string line; std::getline(text, line);) {
            if (line.find("  ejected, still plugged in") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    };
    ASSERT_EQ(diskutil({"eject", "disk2"}).exitCode, 0);
    ASSERT_EQ(diskutil({"eject", "disk3"}).exitCode, 0);
    ASSERT_EQ(runTool(sim, {"attach", "usb-stick", "--name", "Beta"}).standardOutput, "disk2\n");
    ASSERT_EQ(diskutil({"eject", "disk2"}).exitCode, 0);
    EXPECT_EQ(parkedLines(),
              (std::vector<std::string>{
                  "disk2  ejected, still plugged in: SanDisk Ultra (USB) \"USB STICK\"  (1st in "
                  "line for replug disk2)",
                  "disk3  ejected, still plugged in: Samsung Portable SSD T7 (USB)  (1st in line "
                  "for replug disk3)",
                  "disk4  ejected, still plugged in: APFS container on disk3s2 \"Backup\" "
                  "\"Archive\"  (comes back with the disk3 above)",
                  "disk2  ejected, still plugged in: SanDisk Ultra (USB) \"Beta\"  (2nd in line "
                  "for replug disk2)",
              }));

    const auto replug = runTool(sim, {"replug", "disk2", "--renumber"});
    EXPECT_EQ(replug.exitCode, 0) << replug.standardError;
    EXPECT_EQ(replug.standardOutput, "disk6\n");
    const std::string list = runTool(sim, {"list"}).standardOutput;
    EXPECT_NE(list.find("\ndisk6  SanDisk Ultra (USB) removable ejectable\n"
                        "  disk6s1  DOS_FAT_32  \"USB STICK\"\n"),
              std::string::npos)
        << list;
    EXPECT_EQ(parkedLines(),
              (std::vector<std::string>{
                  "disk3  ejected, still plugged in: Samsung Portable SSD T7 (USB)  (1st in line "
                  "for replug disk3)",
                  "disk4  ejected, still plugged in: APFS container on disk3s2 \"Backup\" "
                  "\"Archive\"  (comes back with the disk3 above)",
                  "disk2  ejected, still plugged in: SanDisk Ultra (USB) \"Beta\"  (1st in line "
                  "for replug disk2)",
              }));
}

// A process with a file open, or its working directory, under a volume's folder
// keeps the volume: eject and unmount refuse, name it, and change nothing.
TEST_F(StandInDiskTool, VolumeInUseRefusesEjectAndUnmountUntilReleased) {
    const QString folder = QString::fromStdString(mountRoot() + "/USB STICK");
    QFile(folder + "/notes.txt").open(QIODevice::WriteOnly);
    struct Holder {
        const char* name;
        const char* script;
    };
    const Holder holders[] = {
        {"open file", "exec 3<\"$1/notes.txt\"; echo ready; exec sleep 60"},
        {"working directory", "cd \"$1\" && echo ready && exec sleep 60"},
    };
    for (const Holder& h : holders) {
        SCOPED_TRACE(h.name);
        QProcess holder;
        holder.start("/bin/sh", {"-c", h.script, "sh", folder});
        ASSERT_TRUE(holder.waitForReadyRead(5000));
        for (const QStringList& arguments :
             {QStringList{"unmount", "disk2s1"}, QStringList{"eject", "disk2"}}) {
            SCOPED_TRACE(arguments.join(' ').toStdString());
            const auto run = diskutil(arguments);
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_NE(run.standardError.find("Volume USB STICK on disk2s1 failed to unmount: in "
                                             "use by 1 process"),
                      std::string::npos)
                << run.standardError;
            EXPECT_TRUE(stateFile().read().findVolume("disk2s1")->mounted);
        }
        holder.kill();
        holder.waitForFinished(5000);
    }
    EXPECT_EQ(diskutil({"eject", "disk2"}).exitCode, 0);
    EXPECT_EQ(stateFile().read().findDisk("disk2"), nullptr);
}

TEST_F(StandInDiskTool, RefusalsSuggestOnlyVerbsItAccepts) {
    const auto run = diskutil({"unmount", "disk2"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.standardError,
              "disk2 is a whole disk; unmount one of its volumes, or eject the disk\n");
}

// A call that changes the machine holds the disk its device named as it began:
// if the disk is pulled out while the call is held back, the call finds no disk,
// and a stick plugged in meanwhile onto the freed name is left alone.
TEST_F(StandInDiskTool, DelayedCallActsOnlyOnTheDiskItBeganWith) {
    // Long enough for this process to change the machine while the tool waits.
    const QString delayMs = QStringLiteral("1000");
    enum class Meanwhile { nothing, pulledOut, stickOnTheName, unmountedStickOnTheName };
    const char* const meanwhileNames[] = {"nothing", "pulled out", "stick on the name",
                                          "unmounted stick on the name"};
    struct Case {
        QStringList arguments;
        Meanwhile meanwhile;
        int exitCode;
    };
    const Case cases[] = {
        {{"eject", "disk2"}, Meanwhile::stickOnTheName, 1},
        {{"unmount", "/dev/disk2s1"}, Meanwhile::stickOnTheName, 1},
        {{"mount", "disk2s1"}, Meanwhile::unmountedStickOnTheName, 1},
        {{"mountDisk", "disk2"}, Meanwhile::unmountedStickOnTheName, 1},
        {{"eject", "disk2"}, Meanwhile::pulledOut, 1},
        {{"eject", "disk2"}, Meanwhile::nothing, 0},
    };
    const SimulatedWorld initial = stateFile().read();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString() + ", meanwhile " +
                     meanwhileNames[static_cast<int>(c.meanwhile)]);
        stateFile().write(initial);
        script({c.arguments[0], "--delay", delayMs, "--times", "1"});
        QProcess tool;
        tool.setProcessEnvironment(toolEnvironment());
        tool.start(toolPath(QStringLiteral("diskutil")), c.arguments);
        ASSERT_TRUE(tool.waitForStarted(5000));
        ASSERT_TRUE(testing::spinUntil([this] { return stateFile().read().behaviours.empty(); },
                                       testing::toolAnswerTimeoutMs));
        // Changed from here: a tool run for it may start later than the delay ends.
        bool pulledOut = true;
        std::string newcomer = "disk2";
        SimulatedWorld changed;
        stateFile().update([&](SimulatedWorld& world) {
            if (c.meanwhile != Meanwhile::nothing) {
                pulledOut = detachDevice(world, "disk2");
            }
            if (c.meanwhile == Meanwhile::stickOnTheName ||
                c.meanwhile == Meanwhile::unmountedStickOnTheName) {
                newcomer = attachPreset(world, SimulatedDrivePreset::usbStick, "Placeholder");
            }
            if (c.meanwhile == Meanwhile::unmountedStickOnTheName) {
                markVolumeUnmounted(*world.findVolume("disk2s1"));
            }
            changed = world;
            return true;
        });
        ASSERT_TRUE(pulledOut) << "the call ended before the disk was pulled out";
        ASSERT_EQ(newcomer, "disk2");
        ASSERT_TRUE(tool.waitForFinished(testing::toolAnswerTimeoutMs));
        EXPECT_EQ(tool.exitCode(), c.exitCode);
        const SimulatedWorld after = stateFile().read();
        if (c.exitCode == 0) {
            EXPECT_EQ(tool.readAllStandardOutput().toStdString(), "Disk disk2 ejected\n");
            EXPECT_EQ(after.findDisk("disk2"), nullptr);
            EXPECT_EQ(after.parkedDisks.size(), 1u);
        } else {
            EXPECT_EQ(tool.readAllStandardError().toStdString(),
                      "Unable to find disk for " + c.arguments[1].toStdString() + "\n");
            EXPECT_EQ(after, changed);
        }
    }
}

} // namespace
} // namespace berthkeep
