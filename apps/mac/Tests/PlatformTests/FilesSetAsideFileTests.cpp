#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "FileText.hpp"
#include "platform/Files/SetAsideFile.hpp"

namespace berthkeep {
namespace {

using test::fileText;

// What the regular files named `first`, `first`.1 and on hold.
std::multiset<std::string> setAsideContents(const std::string& first) {
    std::multiset<std::string> contents;
    const std::filesystem::path base(first);
    for (const auto& entry : std::filesystem::directory_iterator(base.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.rfind(base.filename().string(), 0) == 0) {
            contents.insert(fileText(entry.path().string()));
        }
    }
    return contents;
}

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

// Marks a file immutable (root only, where the file system has the flag):
// nobody can then move it or give it another name.
class ImmutableFile {
public:
    explicit ImmutableFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        m_set = m_fd >= 0 && setFlag(true);
    }
    ~ImmutableFile() {
        if (m_set) {
            setFlag(false);
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    bool set() const { return m_set; }

private:
    bool setFlag(bool on) {
        int flags = 0;
        if (::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) != 0) {
            return false;
        }
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        return ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
    }

    int m_fd;
    bool m_set = false;
};

// A set-aside that keeps failing, tried again and again, costs none of the
// earlier ones.
TEST(SetAsideFileTest, ASetAsideThatKeepsFailingKeepsTheEarlierOnes) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/queue.json";
    for (const char* earlier : {"first", "second", "third"}) {
        std::ofstream(path) << earlier;
        ASSERT_TRUE(SetAsideFile::moveAside(path, ".corrupt", 3).destination);
    }
    std::ofstream(path) << "fourth";
    const ImmutableFile stuck(path);
    if (!stuck.set()) {
        GTEST_SKIP() << "no immutable files here (root on a file system that has them)";
    }

    for (int attempt = 0; attempt < 5; ++attempt) {
        for (const auto setAside : {&SetAsideFile::moveAside, &SetAsideFile::linkAside}) {
            const auto outcome = setAside(path, ".corrupt", 3);
            EXPECT_TRUE(outcome.failure);
            EXPECT_FALSE(outcome.destination);
        }
    }
    EXPECT_EQ(fileText(path), "fourth");
    EXPECT_EQ(fileText(path + ".corrupt"), "third");
    EXPECT_EQ(fileText(path + ".corrupt.1"), "second");
    EXPECT_EQ(fileText(path + ".corrupt.2"), "first");
}

// A slot that cannot be rotated is passed over: a folder where the oldest
// would go, or a folder with files in it past the kept ones. The newest still
// finds a free name, and no earlier one is lost.
TEST(SetAsideFileTest, ABlockedSlotIsPassedOverAndTheNewestGoesToTheNextFreeName) {
    for (const auto setAside : {&SetAsideFile::moveAside, &SetAsideFile::linkAside}) {
        for (const char* blocked : {".corrupt.4", ".corrupt.5"}) {
            SCOPED_TRACE(blocked);
            QTemporaryDir folder;
            const std::string path = folder.path().toStdString() + "/queue.json";
            const std::vector<std::string> earlier{".corrupt", ".corrupt.1", ".corrupt.2",
                                                   ".corrupt.3"};
            for (const auto& name : earlier) {
                std::ofstream(path + name) << name;
            }
            std::filesystem::create_directory(path + blocked);
            std::ofstream(path + blocked + "/inside") << "someone's";
            std::ofstream(path) << "newest";

            const auto outcome = setAside(path, ".corrupt", 5);
            ASSERT_TRUE(outcome.destination) << outcome.failure.value_or("");
            EXPECT_FALSE(outcome.failure);
            EXPECT_EQ(fileText(*outcome.destination), "newest");
            EXPECT_EQ(fileText(path + blocked + "/inside"), "someone's");
            std::multiset<std::string> expected(earlier.begin(), earlier.end());
            expected.insert("newest");
            EXPECT_EQ(setAsideContents(path + ".corrupt"), expected) << "none is lost";
        }
    }
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
