#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "FullFileSystem.hpp"
#include "platform/Files/AtomicFileWriter.hpp"

namespace berthkeep {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream stream(path);
    std::stringstream buffer;
    buffer << stream.rdbuf();
    return buffer.str();
}

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
    EXPECT_EQ(readAll(path), "old");

    disk.makeRoom();
    // No temporary file is left behind.
    EXPECT_EQ(entryCount(disk.folder()), 1u);
    EXPECT_TRUE(writer.write("new").succeeded());
    EXPECT_EQ(readAll(path), "new");

    disk.fill();
    EXPECT_TRUE(writer.write(std::string(10000, 'n')).needsReport())
        << "a success in between makes the next failure news again";
    EXPECT_EQ(readAll(path), "new");
}

TEST(AtomicFileWriterTest, ReplacedFileKeepsItsPermissionsAndLinkAndANewOneFollowsTheUmask) {
    QTemporaryDir folder;
    const std::string kept = folder.path().toStdString() + "/kept";
    ASSERT_FALSE(AtomicFileWriter::replace(kept, "one"));
    ::chmod(kept.c_str(), 0600);
    ASSERT_FALSE(AtomicFileWriter::replace(kept, "two"));
    EXPECT_EQ(permissions(kept), 0600u);
    EXPECT_EQ(readAll(kept), "two");

    const std::string link = folder.path().toStdString() + "/link";
    std::filesystem::create_symlink(kept, link);
    ASSERT_FALSE(AtomicFileWriter::replace(link, "three"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readAll(kept), "three");

    const mode_t mask = ::umask(0022);
    ::umask(mask);
    const std::string created = folder.path().toStdString() + "/created";
    ASSERT_FALSE(AtomicFileWriter::replace(created, ""));
    EXPECT_EQ(permissions(created), 0666u & ~mask);
}

} // namespace
} // namespace berthkeep
