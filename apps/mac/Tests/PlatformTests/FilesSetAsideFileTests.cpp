#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "FileText.hpp"
#include "platform/Files/SetAsideFile.hpp"

namespace berthkeep {
namespace {

using test::fileText;

TEST(SetAsideFileTest, EarlierSetAsidesAreKeptUpToTheBound) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/queue.json";
    for (int round = 1; round <= 4; ++round) {
        std::ofstream(path) << "bad " << round;
        const auto outcome = SetAsideFile::moveAside(path, ".corrupt", 3);
        ASSERT_EQ(outcome.destination, path + ".corrupt") << outcome.failure.value_or("");
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_EQ(fileText(path + ".corrupt"), "bad 4");
    EXPECT_EQ(fileText(path + ".corrupt.1"), "bad 3");
    EXPECT_EQ(fileText(path + ".corrupt.2"), "bad 2");
    EXPECT_FALSE(std::filesystem::exists(path + ".corrupt.3")) << "only three are kept";
}

TEST(SetAsideFileTest, ALinkStaysAndWhatItLeadsToIsSetAside) {
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString();
    std::ofstream(base + "/real.plist") << "bad";
    std::filesystem::create_symlink("real.plist", base + "/prefs.plist");
    const auto outcome = SetAsideFile::moveAside(base + "/prefs.plist", ".unreadable");
    EXPECT_EQ(outcome.destination, base + "/real.plist.unreadable");
    EXPECT_TRUE(std::filesystem::is_symlink(base + "/prefs.plist"));
    EXPECT_EQ(fileText(base + "/real.plist.unreadable"), "bad");

    // Now a link to nothing: nothing is moved, and nothing claims it was.
    const auto again = SetAsideFile::moveAside(base + "/prefs.plist", ".unreadable");
    EXPECT_TRUE(again.nothingToMove);
    EXPECT_FALSE(again.destination);
    EXPECT_FALSE(again.failure);
    EXPECT_EQ(fileText(base + "/real.plist.unreadable"), "bad");
}

} // namespace
} // namespace berthkeep
