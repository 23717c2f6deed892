#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <filesystem>
#include <memory>
#include <tuple>

#include "Fifo.hpp"
#include "FullFileSystem.hpp"
#include "PropertyListTestInputs.hpp"
#include "platform/Defaults/UserDefaults.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {
namespace {

using namespace std::string_literals;

constexpr const char* kIdentifier = "app.example.Defaults";

QByteArray readAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const std::string& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void fillEveryType(UserDefaults& defaults) {
    defaults.setBool("b", true);
    defaults.setInteger("i", -42);
    defaults.setDouble("r", 2.5);
    defaults.setString("s", "text with <xml> & \"quotes\"");
    defaults.setData("d", PropertyListValue::Data{0, 1, 255});
    defaults.setStringArray("a", {"one", "two"});
    defaults.setDictionary("m", PropertyListValue::Dictionary{{"k", PropertyListValue(7)}});
}

void expectEveryType(const UserDefaults& defaults) {
    EXPECT_TRUE(defaults.boolForKey("b"));
    EXPECT_EQ(defaults.integerForKey("i"), -42);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("r"), 2.5);
    EXPECT_EQ(defaults.stringForKey("s"), "text with <xml> & \"quotes\"");
    EXPECT_EQ(defaults.dataForKey("d"), (PropertyListValue::Data{0, 1, 255}));
    EXPECT_EQ(defaults.stringArrayForKey("a"), (std::vector<std::string>{"one", "two"}));
    const auto dictionary = defaults.dictionaryForKey("m");
    ASSERT_TRUE(dictionary.has_value());
    EXPECT_EQ(dictionary->at("k").integer(), 7);
}

TEST(UserDefaultsTest, InMemoryStoreKeepsEveryType) {
    InMemoryUserDefaults defaults;
    fillEveryType(defaults);
    expectEveryType(defaults);
}

TEST(UserDefaultsTest, FileStoreSurvivesANewInstance) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    {
        FileUserDefaults defaults(kIdentifier, path);
        fillEveryType(defaults);
        EXPECT_TRUE(defaults.lastWriteSucceeded());
        EXPECT_EQ(defaults.filePath(), path + "/" + kIdentifier + ".plist");
    }
    FileUserDefaults reread(kIdentifier, path);
    expectEveryType(reread);
    // Nothing left behind by the atomic write.
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
              QStringList{QString(kIdentifier) + ".plist"});
}

TEST(UserDefaultsTest, OneFilePerBundleIdentifier) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    FileUserDefaults first("app.example.One", path);
    FileUserDefaults second("app.example.Two", path);
    first.setString("k", "one");
    EXPECT_EQ(second.stringForKey("k"), std::nullopt);
    EXPECT_EQ(FileUserDefaults("app.example.One", path).stringForKey("k"), "one");
}

TEST(UserDefaultsTest, RemoveObjectDeletesFromFileAndSignals) {
    QTemporaryDir folder;
    FileUserDefaults defaults(kIdentifier, folder.path().toStdString());
    QStringList changed;
    QObject::connect(&defaults, &UserDefaults::valueChanged,
                     [&](const QString& key) { changed << key; });

    defaults.setString("berthkeep.k", "v");
    defaults.setString("berthkeep.k", "v"); // unchanged: no signal
    defaults.removeObject("berthkeep.k");
    defaults.removeObject("berthkeep.k"); // already gone: no signal
    EXPECT_EQ(changed, (QStringList{"berthkeep.k", "berthkeep.k"}));
    EXPECT_EQ(defaults.object("berthkeep.k"), std::nullopt);
    EXPECT_EQ(FileUserDefaults(kIdentifier, folder.path().toStdString()).object("berthkeep.k"),
              std::nullopt);
}

TEST(UserDefaultsTest, UnreadableFileReadsEmptyAndIsKeptAsideWithALogLine) {
    using namespace PropertyListTestInputs;
    const std::vector<std::tuple<const char*, QByteArray, const char*>> cases{
        {"truncated", "<?xml version=\"1.0\"?><plist><dict><key>half", "not well-formed"},
        {"not a dictionary", QByteArray::fromStdString(xml("<string>x</string>")),
         "not a dictionary"},
        {"NUL in a key", QByteArray::fromStdString(xml("<dict><key>a\0b</key><true/></dict>"s)),
         "NUL"},
        {"NUL in a string",
         QByteArray::fromStdString(xml("<dict><key>k</key><string>a\0b</string></dict>"s)), "NUL"},
        {"deeply nested", QByteArray::fromStdString(nested(30000)), "deeper"},
        {"binary with shared sub-trees",
         QByteArray::fromStdString(sharedSubtreeBinaryPropertyList(16)), "binary"},
        {"past the size bound",
         QByteArray::fromStdString(xml("<dict><key>k</key><string>" +
                                       std::string(FileUserDefaults::maximumFileSize, 'x') +
                                       "</string></dict>")),
         "larger than 4 MiB"},
    };
    for (const auto& [name, contents, logged] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir folder;
        const std::string path = folder.path().toStdString() + "/" + kIdentifier + ".plist";
        writeAll(path, contents);
        auto log = std::make_shared<CaptureUnifiedLog>();

        FileUserDefaults defaults(kIdentifier, folder.path().toStdString(), log);
        EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
        ASSERT_EQ(log->entries().size(), 1u);
        EXPECT_EQ(log->entries()[0].type, UnifiedLogType::error);
        EXPECT_NE(log->entries()[0].message.find(logged), std::string::npos)
            << log->entries()[0].message;
        EXPECT_EQ(readAll(path), contents) << "reading must not touch the file";

        defaults.setBool("k", true);
        EXPECT_EQ(readAll(path + ".unreadable"), contents);
        EXPECT_EQ(log->entries().size(), 2u);
        EXPECT_TRUE(
            FileUserDefaults(kIdentifier, folder.path().toStdString(), log).boolForKey("k"));
    }
}

TEST(UserDefaultsTest, FailedWriteIsReportedAndLogged) {
    QTemporaryDir folder;
    // A regular file where the folder should be makes every write fail.
    const std::string blocked = folder.path().toStdString() + "/blocked";
    writeAll(blocked, "file");
    auto log = std::make_shared<CaptureUnifiedLog>();
    FileUserDefaults defaults(kIdentifier, blocked, log);
    defaults.setBool("k", true);
    EXPECT_FALSE(defaults.lastWriteSucceeded());
    EXPECT_FALSE(log->entries().empty());
}

TEST(UserDefaultsTest, FullDiskKeepsTheFileWholeAndLogsTheFailureOnce) {
    test::FullFileSystem disk;
    auto log = std::make_shared<CaptureUnifiedLog>();
    FileUserDefaults defaults(kIdentifier, disk.folder(), log);
    defaults.setStringArray("excluded", {"Backup"});
    defaults.setBool("notifications", false);
    const QByteArray before = readAll(defaults.filePath());
    disk.fill();

    defaults.setBool("notifications", true);
    defaults.setInteger("ticks", 1);
    defaults.setInteger("ticks", 2);
    EXPECT_FALSE(defaults.lastWriteSucceeded());
    EXPECT_EQ(readAll(defaults.filePath()), before);
    EXPECT_EQ(log->entries().size(), 1u);
    const FileUserDefaults reread(kIdentifier, disk.folder(), log);
    EXPECT_EQ(reread.stringArrayForKey("excluded"), std::vector<std::string>{"Backup"});
    EXPECT_FALSE(reread.boolForKey("notifications"));
    EXPECT_EQ(log->entries().size(), 1u) << "the old file still reads";

    disk.makeRoom();
    defaults.setInteger("ticks", 3);
    EXPECT_TRUE(defaults.lastWriteSucceeded());
    EXPECT_EQ(FileUserDefaults(kIdentifier, disk.folder(), log).integerForKey("ticks"), 3);
}

TEST(UserDefaultsTest, AChangeAFullDiskRefusedIsWrittenOnceThereIsRoom) {
    test::FullFileSystem disk;
    auto log = std::make_shared<CaptureUnifiedLog>();
    FileUserDefaults defaults(kIdentifier, disk.folder(), log);
    defaults.setString("summary", "before");
    disk.fill();
    defaults.setString("summary", "notice pending");
    EXPECT_FALSE(defaults.lastWriteSucceeded());
    disk.makeRoom();

    // The same outcome again: the value in memory is unchanged, the file is not.
    defaults.setString("summary", "notice pending");
    EXPECT_TRUE(defaults.lastWriteSucceeded());
    EXPECT_EQ(FileUserDefaults(kIdentifier, disk.folder(), log).stringForKey("summary"),
              "notice pending");

    // Or the retry of every pending write, as the timer and quitting do.
    disk.fill();
    defaults.setString("summary", "second notice");
    disk.makeRoom();
    EXPECT_TRUE(AtomicFileWriter::retryAllPending());
    EXPECT_EQ(FileUserDefaults(kIdentifier, disk.folder(), log).stringForKey("summary"),
              "second notice");
}

TEST(UserDefaultsTest, AChangeThatWouldPassTheSizeBoundIsRefusedAndTheFileStaysReadable) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/" + kIdentifier + ".plist";
    // Exactly at the bound, as this store writes it.
    const auto sized = [](std::size_t padding) {
        return serializePropertyListXml(
            PropertyListValue::Dictionary{{"filler", PropertyListValue(std::string(padding, 'x'))},
                                          {"summary", PropertyListValue("old")}});
    };
    const std::size_t overhead = sized(0).size();
    const std::string atBound = sized(FileUserDefaults::maximumFileSize - overhead);
    ASSERT_EQ(static_cast<std::int64_t>(atBound.size()), FileUserDefaults::maximumFileSize);
    writeAll(path, QByteArray::fromStdString(atBound));
    auto log = std::make_shared<CaptureUnifiedLog>();

    FileUserDefaults defaults(kIdentifier, folder.path().toStdString(), log);
    EXPECT_EQ(defaults.stringForKey("summary"), "old") << "a file at the bound is read";
    defaults.setString("summary", "a longer summary than before");
    defaults.setBool("added", true);
    EXPECT_EQ(defaults.stringForKey("summary"), "old");
    EXPECT_EQ(defaults.object("added"), std::nullopt);
    ASSERT_EQ(log->entries().size(), 2u);
    EXPECT_NE(log->entries()[0].message.find("Refused the change of preference summary"),
              std::string::npos)
        << log->entries()[0].message;
    EXPECT_EQ(readAll(path).toStdString(), atBound);

    // A change that keeps the file within the bound is still made.
    defaults.setString("summary", "new");
    FileUserDefaults reread(kIdentifier, folder.path().toStdString(), log);
    EXPECT_EQ(reread.stringForKey("summary"), "new");
    EXPECT_EQ(log->entries().size(), 2u) << "the file still reads";
}

TEST(UserDefaultsTest, EarlierUnreadableFilesAreKeptAside) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/" + kIdentifier + ".plist";
    for (const QByteArray& bad : {QByteArray("first"), QByteArray("second")}) {
        writeAll(path, bad);
        FileUserDefaults defaults(kIdentifier, folder.path().toStdString(),
                                  std::make_shared<CaptureUnifiedLog>());
        defaults.setBool("k", true);
    }
    EXPECT_EQ(readAll(path + ".unreadable"), "second");
    EXPECT_EQ(readAll(path + ".unreadable.1"), "first");
}

TEST(UserDefaultsTest, ALinkToNothingIsKeptAndTheLogSaysWhatHappened) {
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString();
    const std::string path = base + "/" + kIdentifier + ".plist";
    std::filesystem::create_directory(base + "/dotfiles");
    std::filesystem::create_symlink(base + "/dotfiles/prefs.plist", path);
    auto log = std::make_shared<CaptureUnifiedLog>();

    FileUserDefaults defaults(kIdentifier, base, log);
    defaults.setBool("k", true);
    ASSERT_EQ(log->entries().size(), 1u);
    EXPECT_NE(log->entries()[0].message.find("symbolic link to " + base +
                                             "/dotfiles/prefs.plist, which does not exist"),
              std::string::npos)
        << log->entries()[0].message;
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_TRUE(FileUserDefaults(kIdentifier, base, log).boolForKey("k"));
    EXPECT_FALSE(std::filesystem::exists(path + ".unreadable"));
}

bool logged(const CaptureUnifiedLog& log, const std::string& text) {
    for (const auto& entry : log.entries()) {
        if (entry.message.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A pipe in its place is no file to read: the store starts empty at once and
// its first write moves the pipe aside.
TEST(UserDefaultsTest, APipeAtThePathIsUnreadableWithoutWaitingAndIsSetAside) {
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString();
    const test::Fifo fifo(base + "/" + kIdentifier + ".plist");
    ASSERT_TRUE(fifo.made());
    auto log = std::make_shared<CaptureUnifiedLog>();
    std::unique_ptr<FileUserDefaults> defaults;
    QThread* const testThread = QThread::currentThread();
    ASSERT_TRUE(fifo.returnsWithin([&] {
        defaults = std::make_unique<FileUserDefaults>(kIdentifier, base, log);
        defaults->moveToThread(testThread);
    }));
    EXPECT_TRUE(defaults->dictionaryRepresentation().empty());
    EXPECT_TRUE(logged(*log, "not a regular file"));

    defaults->setString("berthkeep.k", "v");
    EXPECT_TRUE(defaults->lastWriteSucceeded());
    EXPECT_TRUE(std::filesystem::is_fifo(fifo.path() + ".unreadable"));
    EXPECT_TRUE(std::filesystem::is_regular_file(fifo.path()));
    EXPECT_EQ(FileUserDefaults(kIdentifier, base, log).stringForKey("berthkeep.k"), "v");
}

// An unreadable file that cannot be set aside yet (its file system is
// read-only, so no new file can go beside it either) keeps the change pending,
// retried like a full disk's, and the file is set aside and replaced once it
// can be.
TEST(UserDefaultsTest, AChangeStaysPendingWhileTheUnreadableFileCannotBeMovedAside) {
    test::FullFileSystem elsewhere;
    if (!elsewhere.isTmpfs()) {
        GTEST_SKIP() << "no file system of the test's own to make read-only";
    }
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString();
    const std::string target = elsewhere.folder() + "/prefs.plist";
    writeAll(target, "not a plist");
    std::filesystem::create_symlink(target, base + "/" + kIdentifier + ".plist");
    ASSERT_TRUE(elsewhere.setReadOnly(true));
    auto log = std::make_shared<CaptureUnifiedLog>();

    FileUserDefaults defaults(kIdentifier, base, log);
    defaults.setString("berthkeep.summary", "kept");
    EXPECT_FALSE(defaults.lastWriteSucceeded());
    EXPECT_TRUE(logged(*log, "Cannot write preferences file"));
    EXPECT_FALSE(AtomicFileWriter::retryAllPending()) << "the change must stay pending";
    EXPECT_EQ(readAll(target), "not a plist");

    ASSERT_TRUE(elsewhere.setReadOnly(false));
    EXPECT_TRUE(AtomicFileWriter::retryAllPending());
    EXPECT_EQ(readAll(target + ".unreadable"), "not a plist");
    EXPECT_TRUE(
        logged(*log, "Kept the unreadable preferences file aside as " + target + ".unreadable"));
    EXPECT_EQ(FileUserDefaults(kIdentifier, base, log).stringForKey("berthkeep.summary"), "kept");
}

// Something else at every name an unreadable file could be kept under (a
// folder of the user's at each): the change is saved all the same, and the log says the
// file could not be kept.
TEST(UserDefaultsTest, AChangeIsSavedWhenEveryNameToKeepTheUnreadableFileIsTaken) {
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString();
    const std::string path = base + "/" + kIdentifier + ".plist";
    writeAll(path, "not a plist");
    for (int index = 0; index <= 105; ++index) {
        const std::string name =
            path + ".unreadable" + (index == 0 ? "" : "." + std::to_string(index));
        writeAll(name + "/notes", "the user's own");
    }
    auto log = std::make_shared<CaptureUnifiedLog>();

    FileUserDefaults defaults(kIdentifier, base, log);
    defaults.setString("berthkeep.summary", "kept");
    EXPECT_TRUE(defaults.lastWriteSucceeded());
    EXPECT_FALSE(logged(*log, "written again later"));
    EXPECT_TRUE(logged(*log, "Could not keep the unreadable preferences file " + path + " aside"));
    EXPECT_EQ(FileUserDefaults(kIdentifier, base, log).stringForKey("berthkeep.summary"), "kept");
}

// Files that read within the bound but grow past it when written back: an
// unwrapped base64 line (written wrapped) and CDATA full of "<" (written
// escaped). The program's own keys are still written; the original is kept
// whole beside it, and nothing of the program's is forgotten.
TEST(UserDefaultsTest, AFileThatWouldGrowPastTheBoundKeepsItsOriginalAsideAndOwnKeysWritable) {
    const auto withExclusions = [](const std::string& foreign) {
        return PropertyListTestInputs::xml(
            "<dict><key>berthkeep.excludedDriveIDs</key><array><string>Backup</string>"
            "</array><key>com.example.other</key>" +
            foreign + "</dict>");
    };
    const std::size_t bound = FileUserDefaults::maximumFileSize;
    const std::string shell = withExclusions("<data></data>");
    const std::string base64Line((bound - shell.size() - 4) / 4 * 4, 'A');
    const std::string cdata = "<string><![CDATA[" + std::string(1'500'000, '<') + "]]></string>";
    for (const auto& [name, contents] :
         {std::pair("unwrapped base64", withExclusions("<data>" + base64Line + "</data>")),
          std::pair("CDATA of <", withExclusions(cdata))}) {
        SCOPED_TRACE(name);
        ASSERT_LE(contents.size(), bound);
        QTemporaryDir folder;
        const std::string base = folder.path().toStdString();
        const std::string path = base + "/" + kIdentifier + ".plist";
        writeAll(path, QByteArray::fromStdString(contents));
        auto log = std::make_shared<CaptureUnifiedLog>();
        FileUserDefaults defaults(kIdentifier, base, log);
        ASSERT_TRUE(defaults.object("com.example.other").has_value()) << "the file reads";
        QStringList changed;
        QObject::connect(&defaults, &UserDefaults::valueChanged,
                         [&](const QString& key) { changed << key; });

        defaults.setData("berthkeep.pendingSleepFailureNotification",
                         {'{', '"', 'n', '"', ':', '1', '}'});
        EXPECT_TRUE(defaults.lastWriteSucceeded());
        EXPECT_EQ(changed, QStringList{"berthkeep.pendingSleepFailureNotification"});
        EXPECT_TRUE(readAll(path + ".oversized").toStdString() == contents) << "kept whole";
        EXPECT_LE(readAll(path).size(), static_cast<qsizetype>(bound));
        FileUserDefaults reread(kIdentifier, base, log);
        EXPECT_TRUE(reread.dataForKey("berthkeep.pendingSleepFailureNotification").has_value());
        EXPECT_EQ(reread.stringArrayForKey("berthkeep.excludedDriveIDs"),
                  std::vector<std::string>{"Backup"});

        // Later changes, a removal among them, are made and said.
        defaults.removeObject("berthkeep.pendingSleepFailureNotification");
        EXPECT_EQ(changed.size(), 2);
        EXPECT_FALSE(FileUserDefaults(kIdentifier, base, log)
                         .object("berthkeep.pendingSleepFailureNotification")
                         .has_value());
    }
}

// The same file on a full disk: the new one cannot be written, so the old one
// stays at its path, whole, and the next start still reads every preference.
// Once there is room, the retry keeps it aside as before.
TEST(UserDefaultsTest, AFileThatWouldGrowStaysAtItsPathWhileTheNewOneCannotBeWritten) {
    test::FullFileSystem disk(8);
    const std::string contents = PropertyListTestInputs::xml(
        "<dict><key>berthkeep.excludedDriveIDs</key><array><string>Backup</string></array>"
        "<key>com.example.other</key><string><![CDATA[" +
        std::string(1'200'000, '<') + "]]></string></dict>");
    const std::string path = disk.folder() + "/" + kIdentifier + ".plist";
    writeAll(path, QByteArray::fromStdString(contents));
    auto log = std::make_shared<CaptureUnifiedLog>();
    FileUserDefaults defaults(kIdentifier, disk.folder(), log);
    disk.fill();

    defaults.setString("berthkeep.summary", "after the sleep");
    EXPECT_FALSE(defaults.lastWriteSucceeded());
    EXPECT_TRUE(readAll(path).toStdString() == contents) << "the old file stays whole";
    EXPECT_FALSE(std::filesystem::exists(path + ".oversized"));
    EXPECT_FALSE(logged(*log, "preferences file aside"));
    EXPECT_EQ(FileUserDefaults(kIdentifier, disk.folder(), log)
                  .stringArrayForKey("berthkeep.excludedDriveIDs"),
              std::vector<std::string>{"Backup"});

    disk.makeRoom();
    EXPECT_TRUE(AtomicFileWriter::retryAllPending());
    EXPECT_TRUE(readAll(path + ".oversized").toStdString() == contents) << "kept whole";
    EXPECT_TRUE(logged(*log, "Kept the preferences file aside as " + path + ".oversized"));
    const FileUserDefaults reread(kIdentifier, disk.folder(), log);
    EXPECT_EQ(reread.stringArrayForKey("berthkeep.excludedDriveIDs"),
              std::vector<std::string>{"Backup"});
    EXPECT_EQ(reread.stringForKey("berthkeep.summary"), "after the sleep");
}

// A removal that the same file makes grow past the bound is written too.
TEST(UserDefaultsTest, ARemovalFromAFileThatWouldGrowIsWrittenAndSaid) {
    const std::size_t bound = FileUserDefaults::maximumFileSize;
    const std::string shell =
        PropertyListTestInputs::xml("<dict><key>berthkeep.summary</key><string>s</string>"
                                    "<key>com.example.other</key><data></data></dict>");
    const std::string contents = PropertyListTestInputs::xml(
        "<dict><key>berthkeep.summary</key><string>s</string><key>com.example.other</key>"
        "<data>" +
        std::string((bound - shell.size() - 4) / 4 * 4, 'A') + "</data></dict>");
    QTemporaryDir folder;
    const std::string base = folder.path().toStdString();
    writeAll(base + "/" + kIdentifier + ".plist", QByteArray::fromStdString(contents));
    auto log = std::make_shared<CaptureUnifiedLog>();
    FileUserDefaults defaults(kIdentifier, base, log);
    QStringList changed;
    QObject::connect(&defaults, &UserDefaults::valueChanged,
                     [&](const QString& key) { changed << key; });

    defaults.removeObject("berthkeep.summary");
    EXPECT_EQ(changed, QStringList{"berthkeep.summary"});
    EXPECT_FALSE(FileUserDefaults(kIdentifier, base, log).object("berthkeep.summary").has_value());
}

TEST(UserDefaultsTest, ReadersConvertLikeThePlatform) {
    struct Case {
        PropertyListValue value;
        bool boolean;
        std::int64_t integer;
        double real;
    };
    const std::vector<Case> cases = {
        {PropertyListValue(true), true, 1, 1},
        {PropertyListValue(false), false, 0, 0},
        {PropertyListValue(3), true, 3, 3},
        {PropertyListValue(0.5), true, 0, 0.5},
        {PropertyListValue("YES"), true, 0, 0},
        {PropertyListValue("true"), true, 0, 0},
        {PropertyListValue("  12"), true, 12, 12},
        {PropertyListValue("no"), false, 0, 0},
        {PropertyListValue("0"), false, 0, 0},
        {PropertyListValue(""), false, 0, 0},
        {PropertyListValue(PropertyListValue::Data{1}), false, 0, 0},
    };
    for (const auto& testCase : cases) {
        InMemoryUserDefaults defaults({{"k", testCase.value}});
        EXPECT_EQ(defaults.boolForKey("k"), testCase.boolean);
        EXPECT_EQ(defaults.integerForKey("k"), testCase.integer);
        EXPECT_DOUBLE_EQ(defaults.doubleForKey("k"), testCase.real);
    }
    InMemoryUserDefaults empty;
    EXPECT_FALSE(empty.boolForKey("missing"));
    EXPECT_EQ(empty.integerForKey("missing"), 0);
    EXPECT_EQ(empty.stringForKey("missing"), std::nullopt);
}

TEST(UserDefaultsTest, TypedReadersGiveNothingForOtherTypes) {
    InMemoryUserDefaults defaults({{"n", PropertyListValue(5LL)},
                                   {"mixed", PropertyListValue(PropertyListValue::Array{"a", 1})}});
    EXPECT_EQ(defaults.stringForKey("n"), std::nullopt);
    EXPECT_EQ(defaults.dataForKey("n"), std::nullopt);
    EXPECT_EQ(defaults.dictionaryForKey("n"), std::nullopt);
    EXPECT_EQ(defaults.stringArrayForKey("mixed"), std::nullopt);
}

TEST(UserDefaultsTest, StandardInstanceCanBeReplaced) {
    auto memory = std::make_shared<InMemoryUserDefaults>();
    UserDefaults::setStandard(memory);
    EXPECT_EQ(UserDefaults::standard(), memory);
    UserDefaults::setStandard(nullptr);
}

} // namespace
} // namespace berthkeep
