#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep {
namespace {

const char* kInfoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>app.example.Tool</string>
  <key>CFBundleShortVersionString</key><string>1.4.2</string>
  <key>CFBundleVersion</key><string>77</string>
  <key>Interval</key><integer>21600</integer>
  <key>Flag</key><true/>
</dict>
</plist>
)";

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(AppBundleTest, FindsBundleFromExecutableInsideContentsMacOS) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString bundle = root.filePath("Tool.app");
    writeFile(bundle + "/Contents/Info.plist", kInfoPlist);
    const std::string executable = (bundle + "/Contents/MacOS/Tool").toStdString();

    const auto found = FileAppBundle::forExecutable(executable);
    EXPECT_EQ(found->bundlePath(), bundle.toStdString());
    EXPECT_EQ(found->executablePath(), executable);
    EXPECT_EQ(found->bundleIdentifier(), "app.example.Tool");
    EXPECT_EQ(found->shortVersion(), "1.4.2");
    EXPECT_EQ(found->bundleVersion(), "77");
    EXPECT_EQ(found->integerValue("Interval"), 21600);
    EXPECT_EQ(found->stringValue("Interval"), std::nullopt);
    EXPECT_EQ(found->stringValue("Flag"), std::nullopt);
    EXPECT_EQ(found->contentsPath(), (bundle + "/Contents").toStdString());
    EXPECT_EQ(found->privateFrameworksPath(), (bundle + "/Contents/Frameworks").toStdString());
    EXPECT_EQ(found->helpersPath(), (bundle + "/Contents/Helpers").toStdString());
    EXPECT_EQ(found->resourcesPath(), (bundle + "/Contents/Resources").toStdString());
    EXPECT_EQ(found->executableFolderPath(), (bundle + "/Contents/MacOS").toStdString());
}

TEST(AppBundleTest, ExecutableOutsideBundleHasNoInfo) {
    QTemporaryDir root;
    const std::string executable = root.filePath("bin/tool").toStdString();
    const auto found = FileAppBundle::forExecutable(executable);
    EXPECT_EQ(found->bundlePath(), root.filePath("bin").toStdString());
    EXPECT_TRUE(found->infoDictionary().empty());
    EXPECT_EQ(found->bundleIdentifier(), std::nullopt);
}

TEST(AppBundleTest, MacOSFolderOutsideContentsIsNotABundle) {
    QTemporaryDir root;
    const auto found = FileAppBundle::forExecutable(root.filePath("MacOS/tool").toStdString());
    EXPECT_EQ(found->bundlePath(), root.filePath("MacOS").toStdString());
}

TEST(AppBundleTest, UnreadableOrWrongShapedInfoPlistGivesEmptyInfo) {
    QTemporaryDir root;
    writeFile(root.filePath("A.app/Contents/Info.plist"), "<plist><dict><key>x</key>");
    EXPECT_TRUE(FileAppBundle(root.filePath("A.app").toStdString()).infoDictionary().empty());

    writeFile(
        root.filePath("B.app/Contents/Info.plist"),
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>");
    EXPECT_TRUE(FileAppBundle(root.filePath("B.app").toStdString()).infoDictionary().empty());

    EXPECT_TRUE(FileAppBundle(root.filePath("Missing.app").toStdString()).infoDictionary().empty());
}

TEST(AppBundleTest, EmptyIdentifierCountsAsNone) {
    PropertyListValue::Dictionary info;
    info["CFBundleIdentifier"] = "";
    EXPECT_EQ(InMemoryAppBundle(info).bundleIdentifier(), std::nullopt);
    info["CFBundleIdentifier"] = 5;
    EXPECT_EQ(InMemoryAppBundle(info).bundleIdentifier(), std::nullopt);
}

TEST(AppBundleTest, MainBundleCanBeReplacedAndFoundAgain) {
    const auto fake = InMemoryAppBundle::withIdentifier("app.example.Fake");
    AppBundle::setMain(fake);
    EXPECT_EQ(AppBundle::main()->bundleIdentifier(), "app.example.Fake");
    AppBundle::setMain(nullptr);
    // The test executable is not inside a bundle.
    const auto live = AppBundle::main();
    ASSERT_NE(live, nullptr);
    ASSERT_TRUE(live->executablePath().has_value());
    EXPECT_FALSE(live->executablePath()->empty());
}

TEST(AppBundleTest, IdentifierConstantsAreProductionAndTestPair) {
    EXPECT_EQ(std::string(kTestBundleIdentifier),
              std::string(kProductionBundleIdentifier) + ".test");
}

} // namespace
} // namespace berthkeep
