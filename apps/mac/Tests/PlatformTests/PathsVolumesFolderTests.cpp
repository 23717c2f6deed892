#include <gtest/gtest.h>

#include "platform/Paths/VolumesFolder.hpp"
#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {
namespace {

TEST(VolumesFolderTest, ContainsTheFolderAndWhatIsBelowItExactly) {
    struct Row {
        const char* folder;
        const char* path;
        bool expected;
    };
    const Row rows[] = {
        {"/Volumes", "/Volumes", true},
        {"/Volumes", "/Volumes/", true},
        {"/Volumes", "/Volumes/x", true},
        {"/Volumes", "/Volumes/Untitled ", true},
        {"/Volumes", "/volumes/x", false},
        {"/Volumes", "/Volumes2", false},
        {"/Volumes", "/Users/x", false},
        {"/Volumes", "", false},
        {"/Volumes", "Volumes/x", false},
        // Another mount root, given with a trailing slash.
        {"/tmp/sim/Volumes/", "/tmp/sim/Volumes", true},
        {"/tmp/sim/Volumes/", "/tmp/sim/Volumes/USB", true},
        {"/tmp/sim/Volumes/", "/Volumes/USB", false},
        {"/tmp/sim/Volumes/", "/tmp/sim/VolumesX/USB", false},
        // The root as the folder holds every absolute path.
        {"/", "/", true},
        {"/", "/USB", true},
        {"/", "USB", false},
        // A relative or empty folder names nothing.
        {"Volumes", "Volumes/x", false},
        {"", "", false},
        {"", "/x", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(VolumesFolder(row.folder).contains(row.path), row.expected)
            << "folder '" << row.folder << "', path '" << row.path << "'";
    }
}

TEST(VolumesFolderTest, LiveFolderAndTheSimulatedMountRoot) {
    EXPECT_EQ(VolumesFolder::live().path(), "/Volumes");
    SimulatedWorld world;
    EXPECT_EQ(world.volumesFolder(), VolumesFolder::live());
    world.mountRoot = "/tmp/sim/Volumes/";
    EXPECT_EQ(world.volumesFolder().path(), "/tmp/sim/Volumes");
}

} // namespace
} // namespace berthkeep
