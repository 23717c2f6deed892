#include "BerthkeepRustBridge/FileTargetedAssistLearningStore.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "DeepJson.hpp"
#include "Fifo.hpp"
#include "FullFileSystem.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {
namespace {

using Identity = WireDriveUsageMonitorTargetedAssistIdentity;
using Date = FileTargetedAssistLearningStore::Date;
using std::chrono::seconds;

// 2026-01-31T17:05:09Z
const Date kStart = Date(seconds(1769879109));

class FileTargetedAssistLearningStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<FileTargetedAssistLearningStore> makeStore() {
        return std::make_unique<FileTargetedAssistLearningStore>(
            BerthkeepRuntimeIdentity::testBundleIdentifier, m_base.path().toStdString(),
            [now = m_now] { return *now; });
    }
    void advance(seconds step) { *m_now += step; }
    std::string folder() const {
        return QDir(m_base.path()).filePath("Berthkeep Test").toStdString();
    }
    std::string file() const {
        return QDir(QString::fromStdString(folder()))
            .filePath("targeted-assist-learning.json")
            .toStdString();
    }
    std::string readFile() const {
        QFile handle(QString::fromStdString(file()));
        return handle.open(QIODevice::ReadOnly) ? handle.readAll().toStdString() : std::string();
    }
    void writeFile(const std::string& text) const {
        QDir().mkpath(QString::fromStdString(folder()));
        QFile handle(QString::fromStdString(file()));
        ASSERT_TRUE(handle.open(QIODevice::WriteOnly));
        handle.write(text.data(), static_cast<qint64>(text.size()));
    }

    QTemporaryDir m_base;
    std::shared_ptr<Date> m_now = std::make_shared<Date>(kStart);
};

TEST_F(FileTargetedAssistLearningStoreTest, FolderNameFollowsTheBundleIdentifier) {
    EXPECT_EQ(makeStore()->directoryPath(), folder());
    FileTargetedAssistLearningStore production(BerthkeepRuntimeIdentity::productionBundleIdentifier,
                                               m_base.path().toStdString());
    EXPECT_EQ(QFileInfo(QString::fromStdString(production.directoryPath())).fileName(),
              "Berthkeep");
    // Construction creates nothing.
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder())));
}

TEST_F(FileTargetedAssistLearningStoreTest, SkipRuleTable) {
    struct Case {
        const char* key;
        bool skipped;
    };
    const Case cases[] = {
        {"preview", true},
        {"tv", true},
        {"quicktime player", true},
        {"com.apple.quicklook.thumbnailextension", true},
        {"/system/library/quicklookui", true},
        {"/applications/tv", true},
        {"/applications/tv/", true},
        {"/applications/preview.app", false},
        {"vlc", false},
        {"/", false},
        // The last component is compared as it stands, blanks included.
        {"/applications/ tv", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileTargetedAssistLearningStore::isSkipped(c.key), c.skipped) << c.key;
    }
}

TEST_F(FileTargetedAssistLearningStoreTest, BuiltInIdentityIsNotLearnedButTheFileIsWritten) {
    auto store = makeStore();
    store->recordObserved({{"  Preview \n", "Preview"}});
    EXPECT_EQ(readFile(), "{\n  \"records\": []\n}");
    store->recordObserved({{"  Preview \n", "Preview"}});
    EXPECT_TRUE(store->promotedIdentities().empty());
}

TEST_F(FileTargetedAssistLearningStoreTest, DuplicatesInOneCallCountOnceAndKeepTheFirst) {
    auto store = makeStore();
    store->recordObserved({{"Foo", "Foo"}, {"foo ", "Other"}});
    const auto records = FileTargetedAssistLearningStore::loadRecords(folder());
    ASSERT_EQ(records.size(), 1u);
    const auto& record = records.at("foo");
    EXPECT_EQ(record.identity, "foo");
    EXPECT_EQ(record.displayName, "Foo");
    EXPECT_EQ(record.hitCount, 1);
    EXPECT_EQ(record.lastSeenAt, kStart);
}

TEST_F(FileTargetedAssistLearningStoreTest, PromotesAfterTheSecondSighting) {
    auto store = makeStore();
    store->recordObserved({{"foo", "Foo"}});
    EXPECT_TRUE(store->promotedIdentities().empty());
    advance(seconds(5));
    store->recordObserved({{"FOO", "Foo App"}});
    EXPECT_EQ(store->promotedIdentities(), (std::vector<Identity>{{"foo", "Foo App"}}));
}

TEST_F(FileTargetedAssistLearningStoreTest, BlankDisplayNameKeepsTheStoredOne) {
    auto store = makeStore();
    store->recordObserved({{"foo", "Foo"}});
    store->recordObserved({{"foo", "   "}});
    EXPECT_EQ(store->promotedIdentities(), (std::vector<Identity>{{"foo", "Foo"}}));
    store->recordObserved({{"foo", " Foo Player "}});
    EXPECT_EQ(store->promotedIdentities(), (std::vector<Identity>{{"foo", " Foo Player "}}));
}

TEST_F(FileTargetedAssistLearningStoreTest, BlankIdentityIsNotLearned) {
    auto store = makeStore();
    store->recordObserved({{"  ", "Nothing"}});
    store->recordObserved({{"", "Nothing"}});
    EXPECT_TRUE(FileTargetedAssistLearningStore::loadRecords(folder()).empty());
}

TEST_F(FileTargetedAssistLearningStoreTest, ReturnsTheTwelveBestByCountThenRecency) {
    auto store = makeStore();
    // app00..app12 seen twice, app12 three times; app05 and app06 tie on count,
    // app06 was seen later.
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 13; ++i) {
            advance(seconds(1));
            const std::string name = (i < 10 ? "app0" : "app") + std::to_string(i);
            store->recordObserved({{name, name}});
        }
    }
    advance(seconds(1));
    store->recordObserved({{"app12", "app12"}});
    const auto promoted = store->promotedIdentities();
    ASSERT_EQ(promoted.size(), 12u);
    EXPECT_EQ(promoted.front().identity, "app12");
    EXPECT_EQ(promoted[1].identity, "app11");
    EXPECT_EQ(promoted.back().identity, "app01"); // app00, the oldest of the twos, drops out
}

TEST_F(FileTargetedAssistLearningStoreTest, ExpiresOneSecondAfterThirtyDays) {
    auto store = makeStore();
    store->recordObserved({{"foo", "Foo"}});
    store->recordObserved({{"foo", "Foo"}});
    advance(seconds(2'592'000));
    EXPECT_EQ(store->promotedIdentities().size(), 1u);
    advance(seconds(1));
    EXPECT_TRUE(store->promotedIdentities().empty());
    // The file follows at the next save.
    EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(folder()).size(), 1u);
    store->recordObserved({{"bar", "Bar"}});
    const auto records = FileTargetedAssistLearningStore::loadRecords(folder());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records.count("bar"), 1u);
}

TEST_F(FileTargetedAssistLearningStoreTest, RecordDatedInTheFutureStays) {
    writeFile(
        R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":2,"last_seen_at":"2030-01-01T00:00:00Z"}]})");
    EXPECT_EQ(makeStore()->promotedIdentities().size(), 1u);
}

TEST_F(FileTargetedAssistLearningStoreTest, FileLayoutIsSortedWithWholeSecondDates) {
    auto store = makeStore();
    *m_now += std::chrono::milliseconds(750);
    store->recordObserved({{"zeta", "Zeta"}, {"alpha", "Alpha"}});
    EXPECT_EQ(readFile(), R"({
  "records": [
    {
      "display_name": "Alpha",
      "hit_count": 1,
      "identity": "alpha",
      "last_seen_at": "2026-01-31T17:05:09Z"
    },
    {
      "display_name": "Zeta",
      "hit_count": 1,
      "identity": "zeta",
      "last_seen_at": "2026-01-31T17:05:09Z"
    }
  ]
})");
}

TEST_F(FileTargetedAssistLearningStoreTest, LearningSurvivesANewStore) {
    makeStore()->recordObserved({{"foo", "Foo"}});
    auto second = makeStore();
    second->recordObserved({{"foo", "Foo"}});
    EXPECT_EQ(second->promotedIdentities(), (std::vector<Identity>{{"foo", "Foo"}}));
}

TEST_F(FileTargetedAssistLearningStoreTest, LoadTable) {
    const std::string nestedTooDeep = test::withNestedMember(
        R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":3,"last_seen_at":"2026-01-31T17:05:09Z"}]})",
        kMaximumJsonNestingDepth);
    struct Case {
        const char* name;
        const char* text;
        std::size_t records;
    };
    const Case cases[] = {
        {"valid",
         R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":3,"last_seen_at":"2026-01-31T17:05:09Z"}]})",
         1},
        {"offset date",
         R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":3,"last_seen_at":"2026-01-31T18:05:09+01:00"}]})",
         1},
        {"missing hit_count",
         R"({"records":[{"identity":"foo","display_name":"Foo","last_seen_at":"2026-01-31T17:05:09Z"}]})",
         0},
        {"date in words",
         R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":3,"last_seen_at":"last tuesday"}]})",
         0},
        {"fractional seconds",
         R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":3,"last_seen_at":"2026-01-31T17:05:09.5Z"}]})",
         0},
        {"count as text",
         R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":"3","last_seen_at":"2026-01-31T17:05:09Z"}]})",
         0},
        {"one bad record spoils all",
         R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":3,"last_seen_at":"2026-01-31T17:05:09Z"},{"identity":"bar"}]})",
         0},
        {"no records key", R"({"items":[]})", 0},
        {"not json", "{{{ nope", 0},
        {"nested past the bound", nestedTooDeep.c_str(), 0},
        {"empty file", "", 0},
        {"month thirteen",
         R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":3,"last_seen_at":"2026-13-01T00:00:00Z"}]})",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(c.text);
        EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(folder()).size(), c.records);
    }
}

TEST_F(FileTargetedAssistLearningStoreTest, LoadedRecordIsKeptAsStored) {
    writeFile(
        R"({"records":[{"identity":"Foo Bar","display_name":"FB","hit_count":3,"last_seen_at":"2026-01-31T17:05:09Z"}]})");
    const auto records = FileTargetedAssistLearningStore::loadRecords(folder());
    ASSERT_EQ(records.count("Foo Bar"), 1u);
    EXPECT_EQ(records.at("Foo Bar"),
              (FileTargetedAssistLearningStore::PersistedRecord{"Foo Bar", "FB", 3, kStart}));
}

TEST_F(FileTargetedAssistLearningStoreTest, CorruptFileReadsAsEmptyAndIsReplacedAtTheNextSave) {
    writeFile("garbage");
    auto store = makeStore();
    EXPECT_TRUE(store->promotedIdentities().empty());
    EXPECT_EQ(readFile(), "garbage"); // reading and promoting write nothing
    store->recordObserved({{"foo", "Foo"}});
    EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(folder()).size(), 1u);
}

TEST_F(FileTargetedAssistLearningStoreTest, AFileLargerThanTheBoundIsNotReadAndSaysSoOnce) {
    writeFile("");
    std::filesystem::resize_file(file(), 129'000'000); // sparse
    auto log = std::make_shared<CaptureUnifiedLog>();
    FileTargetedAssistLearningStore store(
        BerthkeepRuntimeIdentity::testBundleIdentifier, m_base.path().toStdString(),
        [now = m_now] { return *now; }, log);
    EXPECT_TRUE(store.promotedIdentities().empty());
    ASSERT_EQ(log->entries().size(), 1u);
    EXPECT_NE(log->entries()[0].message.find("larger than 4 MiB"), std::string::npos)
        << log->entries()[0].message;
    store.recordObserved({{"foo", "Foo"}});
    EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(folder()).size(), 1u);
}

// A pipe, reached through a link, is no file of learned applications: the
// store starts empty at once (the usage probe that builds it must not wait on
// a writer), and its next save puts a file in the pipe's place.
TEST_F(FileTargetedAssistLearningStoreTest,
       APipeBehindALinkIsNotWaitedForAndTheNextSaveReplacesIt) {
    QDir().mkpath(QString::fromStdString(folder()));
    const test::Fifo fifo(folder() + "/pipe");
    ASSERT_TRUE(fifo.made());
    std::filesystem::create_symlink(fifo.path(), file());
    auto log = std::make_shared<CaptureUnifiedLog>();
    std::unique_ptr<FileTargetedAssistLearningStore> store;
    ASSERT_TRUE(fifo.returnsWithin([&] {
        store = std::make_unique<FileTargetedAssistLearningStore>(
            BerthkeepRuntimeIdentity::testBundleIdentifier, m_base.path().toStdString(),
            [now = m_now] { return *now; }, log);
    }));
    EXPECT_TRUE(store->promotedIdentities().empty());
    ASSERT_EQ(log->entries().size(), 1u);
    EXPECT_NE(log->entries()[0].message.find("not a regular file"), std::string::npos)
        << log->entries()[0].message;

    store->recordObserved({{"foo", "Foo"}});
    EXPECT_TRUE(std::filesystem::is_regular_file(fifo.path()));
    EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(folder()).size(), 1u);
}

TEST_F(FileTargetedAssistLearningStoreTest, EmptyListLeavesTheFileUntouched) {
    writeFile("garbage");
    makeStore()->recordObserved({});
    EXPECT_EQ(readFile(), "garbage");
}

TEST_F(FileTargetedAssistLearningStoreTest, UnwritableFolderKeepsLearningInMemory) {
    // A plain file where the folder should be: the folder cannot be made.
    QFile blocker(QString::fromStdString(folder()));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto store = makeStore();
    store->recordObserved({{"foo", "Foo"}});
    store->recordObserved({{"foo", "Foo"}});
    EXPECT_EQ(store->promotedIdentities().size(), 1u);
}

TEST_F(FileTargetedAssistLearningStoreTest, FullDiskKeepsTheFileWholeAndLogsTheFailureOnce) {
    test::FullFileSystem disk;
    auto log = std::make_shared<CaptureUnifiedLog>();
    FileTargetedAssistLearningStore store(
        BerthkeepRuntimeIdentity::testBundleIdentifier, disk.folder(),
        [now = m_now] { return *now; }, log);
    store.recordObserved({{"foo", "Foo"}});
    const auto before = FileTargetedAssistLearningStore::loadRecords(store.directoryPath());
    ASSERT_EQ(before.size(), 1u);
    disk.fill();

    store.recordObserved({{"foo", "Foo"}, {"bar", "Bar"}});
    store.recordObserved({{"bar", "Bar"}});
    EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(store.directoryPath()), before);
    ASSERT_EQ(log->entries().size(), 1u);
    EXPECT_EQ(log->entries()[0].type, UnifiedLogType::error);
    EXPECT_EQ(log->entries()[0].category, "Reliability");
    EXPECT_EQ(store.promotedIdentities().size(), 2u) << "learning stays in memory";

    disk.makeRoom();
    // Written again without waiting for the next sighting.
    EXPECT_TRUE(AtomicFileWriter::retryAllPending());
    EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(store.directoryPath()).size(), 2u);
    store.recordObserved({{"baz", "Baz"}});
    EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(store.directoryPath()).size(), 3u);
}

TEST_F(FileTargetedAssistLearningStoreTest, ConcurrentCallersLoseNoSighting) {
    auto store = makeStore();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store] {
            for (int i = 0; i < 25; ++i) {
                store->recordObserved({{"foo", "Foo"}});
                store->promotedIdentities();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(folder()).at("foo").hitCount, 100);
}

// Dates are read as whole UTC seconds, within what Date (64-bit nanoseconds) holds;
// a stored date outside that range is unreadable, and one inside it at either end
// still expires or stays without the arithmetic overflowing.
TEST_F(FileTargetedAssistLearningStoreTest, DatesAreReadWithinTheClockAndExpireWithoutOverflow) {
    struct Case {
        const char* name;
        const char* lastSeenAt;                        // the JSON value as stored
        std::optional<std::int64_t> secondsSinceEpoch; // nothing: unreadable
        bool promotedAtStart;
    };
    const Case cases[] = {
        {"in range", R"("2026-01-31T17:05:09Z")", 1769879109, true},
        {"in range with an offset", R"("2026-01-31T12:05:09-05:00")", 1769879109, true},
        {"last whole second of the clock", R"("2262-04-11T23:47:16Z")", 9223372036, true},
        {"one second past the clock", R"("2262-04-11T23:47:17Z")", std::nullopt, false},
        {"an offset carries it past the clock", R"("2262-04-11T23:47:16-00:01")", std::nullopt,
         false},
        {"year 3000", R"("3000-01-01T00:00:00Z")", std::nullopt, false},
        {"year 9999", R"("9999-12-31T23:59:59Z")", std::nullopt, false},
        {"first whole second of the clock", R"("1677-09-21T00:12:44Z")", -9223372036, false},
        {"one second before the clock", R"("1677-09-21T00:12:43Z")", std::nullopt, false},
        {"an offset carries it before the clock", R"("1677-09-21T00:12:44+00:01")", std::nullopt,
         false},
        {"year 1678", R"("1678-01-01T00:00:00Z")", -9214560000, false},
        {"year 0", R"("0000-01-01T00:00:00Z")", std::nullopt, false},
        {"five-digit year", R"("10000-01-01T00:00:00Z")", std::nullopt, false},
        {"signed year", R"("-001-01-01T00:00:00Z")", std::nullopt, false},
        {"not a number", R"("NaN")", std::nullopt, false},
        {"infinity", R"("inf")", std::nullopt, false},
        {"space for T", R"("2026-01-31 17:05:09Z")", std::nullopt, false},
        {"February 30", R"("2026-02-30T17:05:09Z")", std::nullopt, false},
        {"no zone", R"("2026-01-31T17:05:09")", std::nullopt, false},
        {"seconds as a number", "1769879109", std::nullopt, false},
        {"a huge number", "1e308", std::nullopt, false},
        {"null", "null", std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string stored = c.lastSeenAt;
        if (stored.front() == '"') {
            const auto parsed =
                FileTargetedAssistLearningStore::parseDate(stored.substr(1, stored.size() - 2));
            if (c.secondsSinceEpoch) {
                EXPECT_EQ(parsed, Date(seconds(*c.secondsSinceEpoch)));
            } else {
                EXPECT_EQ(parsed, std::nullopt);
            }
        }
        writeFile(
            R"({"records":[{"identity":"foo","display_name":"Foo","hit_count":2,"last_seen_at":)" +
            stored + "}]}");
        EXPECT_EQ(FileTargetedAssistLearningStore::loadRecords(folder()).size(),
                  c.secondsSinceEpoch ? 1u : 0u);
        // Far-past records expire and far-future ones stay, rather than wrapping round.
        EXPECT_EQ(makeStore()->promotedIdentities().size(), c.promotedAtStart ? 1u : 0u);
    }
    EXPECT_EQ(FileTargetedAssistLearningStore::formatDate(kStart), "2026-01-31T17:05:09Z");
    EXPECT_EQ(FileTargetedAssistLearningStore::formatDate(Date(seconds(9223372036))),
              "2262-04-11T23:47:16Z");
}

} // namespace
} // namespace berthkeep
