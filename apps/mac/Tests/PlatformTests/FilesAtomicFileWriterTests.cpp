#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "FileCallInterposer.hpp"
#include "FileText.hpp"
#include "FullFileSystem.hpp"
#include "platform/Files/AtomicFileWriter.hpp"
#include "platform/Files/SetAsideFile.hpp"

namespace berthkeep {
namespace {

using test::fileText;
using test::setAsideContents;

std::size_t entryCount(const std::string& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

mode_t permissions(const std::string& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

TEST(AtomicFileWriterTest, FullDiskKeepsTheOldFileAndReportsTheFailureOnce) {
    test::FullFileSystem disk;
    const std::string path = disk.folder() + "/state.json";
    AtomicFileWriter writer(path);
    ASSERT_TRUE(writer.write("old").succeeded());
    disk.fill();

    const auto first = writer.write(std::string(10000, 'n'));
    ASSERT_FALSE(first.succeeded());
    EXPECT_TRUE(first.needsReport());
    EXPECT_NE(first.failure->find(path), std::string::npos) << *first.failure;
    const auto second = writer.write(std::string(10000, 'n'));
    EXPECT_FALSE(second.succeeded());
    EXPECT_FALSE(second.needsReport()) << "the same failure again is not news";
    EXPECT_EQ(fileText(path), "old");

    disk.makeRoom();
    // No temporary file is left behind.
    EXPECT_EQ(entryCount(disk.folder()), 1u);
    EXPECT_TRUE(writer.write("new").succeeded());
    EXPECT_EQ(fileText(path), "new");

    disk.fill();
    EXPECT_TRUE(writer.write(std::string(10000, 'n')).needsReport())
        << "a success in between makes the next failure news again";
    EXPECT_EQ(fileText(path), "new");
}

// A file due to go aside stays at its path until the new one takes it: a
// full disk that refuses the new one, however often, leaves the old one where
// it was and nothing aside; the write that succeeds keeps it aside.
TEST(AtomicFileWriterTest, AFileSetAsideStaysAtItsPathUntilTheNewOneIsInPlace) {
    test::FullFileSystem disk;
    const std::string path = disk.folder() + "/prefs.plist";
    AtomicFileWriter writer(path);
    ASSERT_TRUE(writer.write("old").succeeded());
    std::vector<std::optional<std::string>> told;
    writer.setAsideBeforeNextWrite(
        ".oversized", [&](const SetAsideFile::Outcome& done) { told.push_back(done.destination); });
    disk.fill();

    EXPECT_FALSE(writer.write("new").succeeded());
    EXPECT_FALSE(writer.retryPending().succeeded());
    EXPECT_EQ(fileText(path), "old");
    EXPECT_FALSE(std::filesystem::exists(path + ".oversized"));
    EXPECT_TRUE(told.empty());

    disk.makeRoom();
    EXPECT_TRUE(writer.retryPending().succeeded());
    EXPECT_EQ(fileText(path), "new");
    EXPECT_EQ(fileText(path + ".oversized"), "old");
    EXPECT_EQ(told, std::vector<std::optional<std::string>>{path + ".oversized"});
}

// What can have no second name (a folder here) is moved aside instead, once
// the new file is ready to take its place; a new file's mode is its own.
TEST(AtomicFileWriterTest, AFolderAtThePathIsMovedAsideForTheNewFile) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/prefs.plist";
    std::filesystem::create_directory(path);
    ::chmod(path.c_str(), 0755);
    std::ofstream(path + "/inside") << "kept";
    AtomicFileWriter writer(path);
    writer.setAsideBeforeNextWrite(".unreadable");

    ASSERT_TRUE(writer.write("new").succeeded());
    EXPECT_EQ(fileText(path), "new");
    EXPECT_EQ(fileText(path + ".unreadable/inside"), "kept");
    const mode_t mask = ::umask(0022);
    ::umask(mask);
    EXPECT_EQ(permissions(path), 0666u & ~mask) << "no mode from a folder";
}

// What the writer tells of the set-aside it is given for its next write.
std::shared_ptr<std::vector<SetAsideFile::Outcome>>
setAsideAtTheNextWrite(AtomicFileWriter& writer) {
    auto told = std::make_shared<std::vector<SetAsideFile::Outcome>>();
    writer.setAsideBeforeNextWrite(
        ".unreadable", [told](const SetAsideFile::Outcome& done) { told->push_back(done); });
    return told;
}

// A file that can have no second link (another owner's, with protected hard
// links) is exchanged with the new one in one step, then set aside: after
// every step the path holds the old bytes or the new ones.
TEST(AtomicFileWriterTest, AFileThatCannotBeLinkedIsExchangedSoThePathIsNeverEmpty) {
    for (const bool earlier : {false, true}) {
        SCOPED_TRACE(earlier ? "an earlier set-aside" : "the first set-aside");
        QTemporaryDir folder;
        const std::string path = folder.path().toStdString() + "/prefs.plist";
        std::ofstream(path) << "old";
        if (earlier) {
            std::ofstream(path + ".unreadable") << "earlier";
        }
        AtomicFileWriter writer(path);
        const auto told = setAsideAtTheNextWrite(writer);
        test::FileCallInterposer calls;
        calls.refuse(test::FileCallInterposer::Call::link, EPERM);
        // What the path holds after each step: what a kill then leaves.
        std::vector<std::string> seen;
        calls.afterEachStep([&seen, &path] {
            seen.push_back(std::filesystem::exists(path) ? fileText(path) : "nothing");
        });

        ASSERT_TRUE(writer.write("new").succeeded());
        for (const auto& held : seen) {
            EXPECT_TRUE(held == "old" || held == "new") << held;
        }
        EXPECT_EQ(fileText(path), "new");
        EXPECT_EQ(fileText(path + ".unreadable"), "old");
        if (earlier) {
            EXPECT_EQ(fileText(path + ".unreadable.1"), "earlier");
        }
        ASSERT_EQ(told->size(), 1u);
        EXPECT_EQ((*told)[0].destination, path + ".unreadable");
        EXPECT_FALSE((*told)[0].linked);
        EXPECT_EQ(entryCount(folder.path().toStdString()), earlier ? 3u : 2u);
    }
}

// Where the file system refuses the exchange too, the old file is moved aside
// and the new one follows at once; a write that fails after a second link was
// made leaves nothing aside.
TEST(AtomicFileWriterTest, WithoutAnExchangeTheOldFileMovesAsideAndAFailedWriteLeavesNothing) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/prefs.plist";
    std::ofstream(path) << "old";
    AtomicFileWriter writer(path);
    const auto told = setAsideAtTheNextWrite(writer);
    {
        test::FileCallInterposer calls;
        calls.refuse(test::FileCallInterposer::Call::rename, EIO);
        EXPECT_FALSE(writer.write("new").succeeded());
        EXPECT_EQ(fileText(path), "old");
        EXPECT_FALSE(std::filesystem::exists(path + ".unreadable")) << "nothing aside";
        EXPECT_TRUE(told->empty());
    }
    {
        test::FileCallInterposer calls;
        calls.refuse(test::FileCallInterposer::Call::link, EPERM);
        calls.refuse(test::FileCallInterposer::Call::exchange, EINVAL);
        ASSERT_TRUE(writer.retryPending().succeeded());
    }
    EXPECT_EQ(fileText(path), "new");
    EXPECT_EQ(fileText(path + ".unreadable"), "old");
    ASSERT_EQ(told->size(), 1u);
    EXPECT_EQ((*told)[0].destination, path + ".unreadable");
    EXPECT_FALSE((*told)[0].linked);
}

// The roads by which the old file goes aside: a second link; an exchange
// where it can have no second name; a move where nothing can be exchanged.
struct SetAsideRoad {
    const char* name;
    std::vector<std::pair<test::FileCallInterposer::Call, int>> refused;
};

const std::vector<SetAsideRoad>& setAsideRoads() {
    using Call = test::FileCallInterposer::Call;
    static const std::vector<SetAsideRoad> roads{
        {"link", {}},
        {"exchange", {{Call::link, EPERM}}},
        {"move", {{Call::link, EPERM}, {Call::exchange, EINVAL}}},
    };
    return roads;
}

// A write killed after any one of its steps, on every road, leaves the old
// bytes or the new ones at its path (on the move road nothing for one step at
// most), the old ones aside once they left the path, and every earlier
// set-aside; the next set-aside keeps all of them as well.
TEST(AtomicFileWriterTest, AKillAfterAnyStepOfASetAsideLosesNothing) {
    constexpr int killed = 9;
    for (const auto& road : setAsideRoads()) {
        int emptyPath = 0;
        for (int step = 1;; ++step) {
            SCOPED_TRACE(std::string(road.name) + ", killed after step " + std::to_string(step));
            QTemporaryDir folder;
            const std::string path = folder.path().toStdString() + "/prefs.plist";
            std::ofstream(path + ".unreadable") << "second";
            std::ofstream(path + ".unreadable.1") << "first";
            std::ofstream(path) << "old";
            AtomicFileWriter writer(path);
            writer.setAsideBeforeNextWrite(".unreadable");
            const pid_t child = ::fork();
            if (child == 0) {
                test::FileCallInterposer calls;
                for (const auto& [call, error] : road.refused) {
                    calls.refuse(call, error);
                }
                int steps = 0;
                calls.afterEachStep([&steps, step] {
                    if (++steps == step) {
                        ::_exit(killed);
                    }
                });
                ::_exit(writer.write("new").succeeded() ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            const bool ended = WEXITSTATUS(status) != killed;
            ASSERT_TRUE(!ended || WEXITSTATUS(status) == 0);

            const std::string held = std::filesystem::exists(path) ? fileText(path) : "nothing";
            EXPECT_TRUE(held == "old" || held == "new" || held == "nothing") << held;
            emptyPath += held == "nothing";
            std::multiset<std::string> expected{"first", "second"};
            if (held != "old") {
                expected.insert("old");
            }
            const auto aside = setAsideContents(path + ".unreadable");
            EXPECT_TRUE(std::includes(aside.begin(), aside.end(), expected.begin(), expected.end()))
                << aside.size();

            AtomicFileWriter next(path);
            next.setAsideBeforeNextWrite(".unreadable");
            ASSERT_TRUE(next.write("newest").succeeded());
            if (held != "nothing") {
                expected.insert(held);
            }
            const auto after = setAsideContents(path + ".unreadable");
            EXPECT_TRUE(std::includes(after.begin(), after.end(), expected.begin(), expected.end()))
                << after.size();
            if (held != "nothing") {
                EXPECT_EQ(fileText(path + ".unreadable"), held) << "the newest comes first";
            }
            if (ended) {
                break;
            }
        }
        EXPECT_LE(emptyPath, 1) << road.name;
    }
}

// A write whose new file cannot take the path (the rename fails) leaves the
// path and every set-aside as they were, whatever road it took.
TEST(AtomicFileWriterTest, AWriteThatCannotReplaceThePathLosesNoSetAside) {
    for (const auto& road : setAsideRoads()) {
        if (road.name == std::string("exchange")) {
            continue; // its exchange is what gives the new file the path
        }
        SCOPED_TRACE(road.name);
        QTemporaryDir folder;
        const std::string path = folder.path().toStdString() + "/prefs.plist";
        std::multiset<std::string> earlier;
        for (int index = 0; index < 5; ++index) {
            const std::string content = "earlier " + std::to_string(index);
            std::ofstream(path + ".unreadable" + (index == 0 ? "" : "." + std::to_string(index)))
                << content;
            earlier.insert(content);
        }
        std::ofstream(path) << "old";
        AtomicFileWriter writer(path);
        writer.setAsideBeforeNextWrite(".unreadable");
        {
            test::FileCallInterposer calls;
            for (const auto& [call, error] : road.refused) {
                calls.refuse(call, error);
            }
            calls.refuse(test::FileCallInterposer::Call::rename, EIO, path);
            EXPECT_FALSE(writer.write("new").succeeded());
        }
        EXPECT_EQ(fileText(path), "old");
        EXPECT_EQ(setAsideContents(path + ".unreadable"), earlier);
    }
}

TEST(AtomicFileWriterTest, ReplacedFileKeepsItsPermissionsAndLinkAndANewOneFollowsTheUmask) {
    QTemporaryDir folder;
    const std::string kept = folder.path().toStdString() + "/kept";
    ASSERT_FALSE(AtomicFileWriter::replace(kept, "one"));
    ::chmod(kept.c_str(), 0600);
    ASSERT_FALSE(AtomicFileWriter::replace(kept, "two"));
    EXPECT_EQ(permissions(kept), 0600u);
    EXPECT_EQ(fileText(kept), "two");

    const std::string link = folder.path().toStdString() + "/link";
    std::filesystem::create_symlink(kept, link);
    ASSERT_FALSE(AtomicFileWriter::replace(link, "three"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(fileText(kept), "three");

    const mode_t mask = ::umask(0022);
    ::umask(mask);
    const std::string created = folder.path().toStdString() + "/created";
    ASSERT_FALSE(AtomicFileWriter::replace(created, ""));
    EXPECT_EQ(permissions(created), 0666u & ~mask);
}

TEST(AtomicFileWriterTest, AFailedWriteStaysPendingUntilWrittenAgain) {
    test::FullFileSystem disk;
    const std::string path = disk.folder() + "/state.json";
    AtomicFileWriter writer(path);
    ASSERT_TRUE(writer.write("old").succeeded());
    disk.fill();
    ASSERT_FALSE(writer.write("kept").succeeded());
    EXPECT_EQ(writer.pendingBytes(), "kept");
    EXPECT_FALSE(AtomicFileWriter::retryAllPending());
    EXPECT_EQ(fileText(path), "old");

    disk.makeRoom();
    EXPECT_TRUE(AtomicFileWriter::retryAllPending());
    EXPECT_EQ(fileText(path), "kept");
    EXPECT_FALSE(writer.hasPending());

    // A newer write that succeeds supersedes what was pending.
    disk.fill();
    ASSERT_FALSE(writer.write("lost to the newer").succeeded());
    disk.makeRoom();
    EXPECT_TRUE(writer.write("newer").succeeded());
    EXPECT_FALSE(writer.hasPending());
    EXPECT_TRUE(AtomicFileWriter::retryAllPending());
    EXPECT_EQ(fileText(path), "newer");
}

TEST(AtomicFileWriterTest, StaleTemporariesOfGoneOrOldWritersAreRemoved) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/prefs.plist";
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const std::string own = std::to_string(::getpid());
    const auto make = [&](const std::string& name) {
        std::ofstream(folder.path().toStdString() + "/" + name) << "partial";
    };
    const std::vector<std::string> stale{"prefs.plist.tmp-" + std::to_string(gone) + "-0",
                                         "prefs.plist.tmp-" + own + "-7"};
    const std::vector<std::string> kept{"prefs.plist.tmp-" + own + "-8", "prefs.plist.tmp-x-1",
                                        "other.json.tmp-" + std::to_string(gone) + "-0",
                                        "prefs.plist"};
    for (const auto& name : stale) {
        make(name);
    }
    for (const auto& name : kept) {
        make(name);
    }
    // A live process's temporary goes only once it is older than any write.
    std::filesystem::last_write_time(folder.path().toStdString() + "/" + stale[1],
                                     std::filesystem::file_time_type::clock::now() -
                                         std::chrono::hours(1));

    EXPECT_EQ(AtomicFileWriter::removeStaleTemporaries(path), stale.size());
    for (const auto& name : kept) {
        EXPECT_TRUE(std::filesystem::exists(folder.path().toStdString() + "/" + name)) << name;
    }
    EXPECT_EQ(entryCount(folder.path().toStdString()), kept.size());
}

TEST(AtomicFileWriterTest, ALinkToNothingStaysALinkAndIsWrittenThroughOrFails) {
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString();
    const std::string link = base + "/link";
    std::filesystem::create_symlink("elsewhere/made.plist", link);
    std::filesystem::create_directory(base + "/elsewhere");
    ASSERT_FALSE(AtomicFileWriter::replace(link, "one"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(fileText(base + "/elsewhere/made.plist"), "one");

    const std::string intoNothing = base + "/broken";
    std::filesystem::create_symlink(base + "/missing/file", intoNothing);
    EXPECT_TRUE(AtomicFileWriter::replace(intoNothing, "two").has_value());
    EXPECT_TRUE(std::filesystem::is_symlink(intoNothing)) << "the link is not replaced";
    EXPECT_FALSE(std::filesystem::exists(base + "/missing"));
}

} // namespace
} // namespace berthkeep
