#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryQueueStore.hpp"
#include "DeepJson.hpp"
#include "Fifo.hpp"
#include "FullFileSystem.hpp"

using namespace berthkeep;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream stream(path);
    std::stringstream buffer;
    buffer << stream.rdbuf();
    return buffer.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// Sets the queue that does not decode aside as a pass does, with the save
// that replaces it; where it went.
std::optional<std::string> setAsideWithASave(const FileBerthkeepTelemetryQueueStore& store) {
    std::optional<std::string> where;
    store.setAsideUndecodableQueue(
        [&where](const SetAsideFile::Outcome& done) { where = done.destination; });
    store.save(BerthkeepTelemetryQueue::empty);
    return where;
}

} // namespace

TEST(TelemetryQueueStore, FolderByBundleIdentifier) {
    EXPECT_EQ(FileBerthkeepTelemetryQueueStore("com.example", std::string("/tmp/x")).fileURL(),
              "/tmp/x/Berthkeep/telemetry-queue.json");
    EXPECT_EQ(FileBerthkeepTelemetryQueueStore(std::nullopt, std::string("/tmp/x")).directoryURL(),
              "/tmp/x/Berthkeep");
    EXPECT_EQ(FileBerthkeepTelemetryQueueStore(BerthkeepRuntimeIdentity::productionBundleIdentifier,
                                               std::string("/tmp/x"))
                  .directoryURL(),
              "/tmp/x/Berthkeep");
    EXPECT_EQ(FileBerthkeepTelemetryQueueStore(BerthkeepRuntimeIdentity::testBundleIdentifier,
                                               std::string("/tmp/x"))
                  .directoryURL(),
              "/tmp/x/Berthkeep Test");
}

TEST(TelemetryQueueStore, MissingFileLoadsEmptyAndSaveCreatesIt) {
    QTemporaryDir temporary;
    const FileBerthkeepTelemetryQueueStore store("com.example", temporary.path().toStdString());
    EXPECT_EQ(store.load(), BerthkeepTelemetryQueue::empty);
    EXPECT_FALSE(std::filesystem::exists(store.directoryURL()));

    BerthkeepTelemetryQueue queue;
    queue.installID = "I";
    queue.consecutiveFailures = 2;
    store.save(queue);
    EXPECT_EQ(store.load(), queue);

    const auto text = readFile(store.fileURL());
    EXPECT_LT(text.find("\"consecutiveFailures\""), text.find("\"installId\""));
    EXPECT_LT(text.find("\"installId\""), text.find("\"items\""));
    EXPECT_EQ(text.find("nextFlushAt"), std::string::npos);
    EXPECT_NE(text.find('\n'), std::string::npos); // pretty-printed
}

TEST(TelemetryQueueStore, OlderCategorySpellingIsRewritten) {
    QTemporaryDir temporary;
    const FileBerthkeepTelemetryQueueStore store("com.example", temporary.path().toStdString());
    writeFile(store.fileURL(), R"({"consecutiveFailures":0,"items":[{"eventId":"E","name":"n",
        "category":"anonymousImprovement","occurredAt":1,"installId":"I","sessionId":"S",
        "appVersion":"v","macosMajorVersion":12,"payload":{}}]})");
    const auto queue = store.load();
    ASSERT_EQ(queue.items.size(), 1u);
    store.save(queue);
    const auto text = readFile(store.fileURL());
    EXPECT_NE(text.find("\"anonymous_improvement\""), std::string::npos);
    EXPECT_EQ(text.find("anonymousImprovement"), std::string::npos);
}

TEST(TelemetryQueueStore, DamagedFileFailsAsUndecodableAndCanBeSetAside) {
    QTemporaryDir temporary;
    const FileBerthkeepTelemetryQueueStore store("com.example", temporary.path().toStdString());
    for (const char* damaged : {"", "{\"consecutiveFailures\":0,\"ite", "not json", "[]"}) {
        SCOPED_TRACE(damaged);
        writeFile(store.fileURL(), damaged);
        try {
            store.load();
            ADD_FAILURE() << "loaded a damaged file";
        } catch (const BerthkeepTelemetryQueueStoreError& error) {
            EXPECT_EQ(error.kind(), BerthkeepTelemetryQueueStoreError::Kind::undecodable);
        }
    }
    const auto aside = setAsideWithASave(store);
    EXPECT_EQ(aside, store.fileURL() + ".corrupt");
    EXPECT_EQ(readFile(aside.value_or("")), "[]");
    EXPECT_EQ(store.load(), BerthkeepTelemetryQueue::empty);
}

// A pipe in the queue's place is read at once as a queue that does not
// decode (the main thread reads the file for every event it makes), so a
// pass sets it aside and starts afresh.
TEST(TelemetryQueueStore, APipeIsUndecodableWithoutWaitingAndCanBeSetAside) {
    QTemporaryDir temporary;
    const FileBerthkeepTelemetryQueueStore store("com.example", temporary.path().toStdString());
    const test::Fifo fifo(store.fileURL());
    ASSERT_TRUE(fifo.made());
    std::optional<BerthkeepTelemetryQueueStoreError::Kind> failure;
    ASSERT_TRUE(fifo.returnsWithin([&] {
        try {
            store.load();
        } catch (const BerthkeepTelemetryQueueStoreError& error) {
            failure = error.kind();
        }
    }));
    EXPECT_EQ(failure, BerthkeepTelemetryQueueStoreError::Kind::undecodable);
    EXPECT_TRUE(std::filesystem::is_fifo(setAsideWithASave(store).value_or("")));
    EXPECT_EQ(store.load(), BerthkeepTelemetryQueue::empty);
}

TEST(TelemetryQueueStore, FileNestedPastTheBoundIsUndecodable) {
    QTemporaryDir temporary;
    const FileBerthkeepTelemetryQueueStore store("com.example", temporary.path().toStdString());
    writeFile(store.fileURL(), test::withNestedMember(R"({"consecutiveFailures":0,"items":[]})",
                                                      kMaximumJsonNestingDepth));
    try {
        store.load();
        ADD_FAILURE() << "loaded a file nested past the bound";
    } catch (const BerthkeepTelemetryQueueStoreError& error) {
        EXPECT_EQ(error.kind(), BerthkeepTelemetryQueueStoreError::Kind::undecodable);
        EXPECT_NE(std::string(error.what()).find("nested deeper than 256 levels"),
                  std::string::npos)
            << error.what();
    }
}

TEST(TelemetryQueueStore, UnwritableFolderFailsTheSave) {
    QTemporaryDir temporary;
    const auto blocker = temporary.path().toStdString() + "/file";
    writeFile(blocker, "x");
    const FileBerthkeepTelemetryQueueStore store("com.example", blocker);
    EXPECT_THROW(store.save(BerthkeepTelemetryQueue::empty), BerthkeepTelemetryQueueStoreError);
}

TEST(TelemetryQueueStore, AFileLargerThanTheBoundIsUndecodableWithoutBeingReadWhole) {
    QTemporaryDir temporary;
    const FileBerthkeepTelemetryQueueStore store("com.example", temporary.path().toStdString());
    writeFile(store.fileURL(), "");
    // Sparse: 129 MB that take no room on disk.
    std::filesystem::resize_file(store.fileURL(), 129'000'000);
    try {
        store.load();
        ADD_FAILURE() << "loaded a file past the bound";
    } catch (const BerthkeepTelemetryQueueStoreError& error) {
        EXPECT_EQ(error.kind(), BerthkeepTelemetryQueueStoreError::Kind::undecodable);
        EXPECT_NE(std::string(error.what()).find("larger than 4 MiB"), std::string::npos)
            << error.what();
    }
    const auto aside = setAsideWithASave(store).value_or("");
    EXPECT_EQ(std::filesystem::file_size(aside), 129'000'000u);
    EXPECT_EQ(store.load(), BerthkeepTelemetryQueue::empty);

    // A later one goes aside too, without taking the earlier one's place.
    writeFile(store.fileURL(), "[]");
    EXPECT_EQ(setAsideWithASave(store), aside);
    EXPECT_EQ(std::filesystem::file_size(aside + ".1"), 129'000'000u);
}

TEST(TelemetryQueueStore, AQueueAFullDiskRefusedIsLoadedAndWrittenOnceThereIsRoom) {
    test::FullFileSystem disk;
    const FileBerthkeepTelemetryQueueStore store("com.example", disk.folder());
    store.save(BerthkeepTelemetryQueue::empty);
    BerthkeepTelemetryQueue queue;
    queue.installID = "I";
    queue.consecutiveFailures = 1;
    disk.fill();
    EXPECT_THROW(store.save(queue), BerthkeepTelemetryQueueStoreError);
    EXPECT_EQ(store.load(), queue) << "the next pass starts from what was not saved";

    disk.makeRoom();
    EXPECT_TRUE(AtomicFileWriter::retryAllPending());
    EXPECT_EQ(FileBerthkeepTelemetryQueueStore("com.example", disk.folder()).load(), queue);
}
