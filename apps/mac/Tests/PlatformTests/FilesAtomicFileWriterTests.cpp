#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "FileText.hpp"
#include "FullFileSystem.hpp"
#include "platform/Files/AtomicFileWriter.hpp"

namespace berthkeep {
namespace {

using test::fileText;

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
        ".oversized", [&](const std::optional<std::string>& where) { told.push_back(where); });
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
// the new file is ready to take its place.
TEST(AtomicFileWriterTest, AFolderAtThePathIsMovedAsideForTheNewFile) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/prefs.plist";
    std::filesystem::create_directory(path);
    std::ofstream(path + "/inside") << "kept";
    AtomicFileWriter writer(path);
    writer.setAsideBeforeNextWrite(".unreadable");

    ASSERT_TRUE(writer.write("new").succeeded());
    EXPECT_EQ(fileText(path), "new");
    EXPECT_EQ(fileText(path + ".unreadable/inside"), "kept");
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
