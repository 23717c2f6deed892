#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
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
using test::setAsideContents;

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
// finds a name, and no earlier one is lost.
TEST(SetAsideFileTest, ABlockedSlotIsPassedOverAndNoEarlierOneIsLost) {
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

// Whichever name is in the way (a folder at the oldest kept name, at one in
// the middle, at the first), the newest five are kept, newest first past the
// folder, and what was set aside is never lost before five newer ones are.
TEST(SetAsideFileTest, TheNewestAreKeptWhicheverNameIsInTheWay) {
    for (const char* blocked : {".unreadable.4", ".unreadable.2", ".unreadable"}) {
        SCOPED_TRACE(blocked);
        QTemporaryDir folder;
        const std::string path = folder.path().toStdString() + "/prefs.plist";
        std::filesystem::create_directory(path + blocked);
        std::ofstream(path + blocked + "/notes") << "the user's own";
        for (int round = 1; round <= 1000; ++round) {
            std::ofstream(path) << round;
            const auto outcome = SetAsideFile::moveAside(path, ".unreadable");
            ASSERT_TRUE(outcome.destination) << round << ": " << outcome.failure.value_or("");
            ASSERT_EQ(fileText(*outcome.destination), std::to_string(round));
            std::multiset<std::string> newest;
            for (int kept = std::max(1, round - 4); kept <= round; ++kept) {
                newest.insert(std::to_string(kept));
            }
            ASSERT_EQ(setAsideContents(path + ".unreadable"), newest) << round;
        }
        std::vector<std::string> inNameOrder;
        for (int index = 0; index <= 6; ++index) {
            const std::string name =
                path + ".unreadable" + (index == 0 ? "" : "." + std::to_string(index));
            if (std::filesystem::is_regular_file(name)) {
                inNameOrder.push_back(fileText(name));
            }
        }
        EXPECT_EQ(inNameOrder, (std::vector<std::string>{"1000", "999", "998", "997", "996"}));
        EXPECT_EQ(fileText(path + blocked + "/notes"), "the user's own");
    }
}

// With a folder at every name a set-aside may take, the new file still gets
// its path: what was there goes over the oldest set-aside of the program's
// own where there is one, else it is given up; neither is a failure.
TEST(SetAsideFileTest, WithEveryNameTakenTheFileGoesOverTheOldestSetAsideOrIsGivenUp) {
    for (const bool ownSetAside : {true, false}) {
        SCOPED_TRACE(ownSetAside ? "one of its own" : "none of its own");
        QTemporaryDir folder;
        const std::string path = folder.path().toStdString() + "/prefs.plist";
        const auto name = [&path](int index) {
            return path + ".unreadable" + (index == 0 ? "" : "." + std::to_string(index));
        };
        for (int index = 0; index <= 105; ++index) {
            if (ownSetAside && index == 50) {
                std::ofstream(name(index)) << "oldest";
            } else {
                std::filesystem::create_directory(name(index));
                std::ofstream(name(index) + "/notes") << "the user's own";
            }
        }
        std::ofstream(path) << "newest";
        const auto outcome = SetAsideFile::moveAside(path, ".unreadable");
        EXPECT_FALSE(outcome.failure) << *outcome.failure;
        if (ownSetAside) {
            EXPECT_EQ(outcome.destination, name(50));
            EXPECT_EQ(fileText(name(50)), "newest");
        } else {
            EXPECT_FALSE(outcome.destination);
            EXPECT_EQ(fileText(path), "newest") << "a move given up leaves the file";
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
