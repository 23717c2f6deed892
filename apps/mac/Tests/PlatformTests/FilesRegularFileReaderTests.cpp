#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "Fifo.hpp"
#include "platform/Files/RegularFileReader.hpp"

namespace berthkeep {
namespace {

using Status = RegularFileReader::Status;

// Only a regular file is read, through links, and only up to its bound; a
// pipe, a folder or a device is answered at once, never waited on.
TEST(RegularFileReaderTest, ReadsRegularFilesOnlyWithoutEverWaiting) {
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString();
    std::ofstream(base + "/file") << "bytes";
    std::filesystem::create_symlink(base + "/file", base + "/link");
    std::filesystem::create_symlink(base + "/nothing", base + "/dangling");
    std::ofstream(base + "/large") << std::string(11, 'x');
    std::filesystem::create_directory(base + "/folder");
    const test::Fifo fifo(base + "/pipe");
    std::filesystem::create_symlink(fifo.path(), base + "/link-to-pipe");

    const struct {
        std::string path;
        Status status;
        std::string bytes;
    } cases[] = {
        {base + "/file", Status::read, "bytes"},
        {base + "/link", Status::read, "bytes"},
        {base + "/missing", Status::missing, ""},
        {base + "/dangling", Status::missing, ""},
        {base + "/file/below", Status::missing, ""},
        {base + "/large", Status::tooLarge, ""},
        {base + "/folder", Status::notRegular, ""},
        {"/dev/zero", Status::notRegular, ""},
        {fifo.path(), Status::notRegular, ""},
        {base + "/link-to-pipe", Status::notRegular, ""},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.path);
        RegularFileReader::Result result;
        ASSERT_TRUE(
            fifo.returnsWithin([&] { result = RegularFileReader::read(expected.path, 10); }));
        EXPECT_EQ(result.status, expected.status) << result.problem;
        EXPECT_EQ(result.bytes, expected.bytes);
        EXPECT_EQ(result.problem.empty(),
                  expected.status == Status::read || expected.status == Status::missing);
    }
    EXPECT_EQ(RegularFileReader::read(base + "/large", 10).problem, "larger than 10 bytes");
}

} // namespace
} // namespace berthkeep
