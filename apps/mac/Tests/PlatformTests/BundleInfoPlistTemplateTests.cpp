#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep {
namespace {

// The build writes Berthkeep.app/Contents/Info.plist at the top of the build
// tree; find it from this test executable.
std::optional<QString> builtBundlePath() {
    QDir folder = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absoluteDir();
    for (int depth = 0; depth < 8; ++depth) {
        if (folder.exists(QStringLiteral("Berthkeep.app/Contents/Info.plist"))) {
            return folder.filePath(QStringLiteral("Berthkeep.app"));
        }
        if (!folder.cdUp()) {
            break;
        }
    }
    return std::nullopt;
}

TEST(BundleInfoPlistTemplateTest, BuiltInfoPlistReadsWithProductionIdentifier) {
    const auto path = builtBundlePath();
    if (!path) {
        GTEST_SKIP() << "no built bundle next to this test executable";
    }
    const FileAppBundle bundle(path->toStdString());
    EXPECT_EQ(bundle.bundleIdentifier(), kProductionBundleIdentifier);
    EXPECT_EQ(bundle.stringValue("CFBundleExecutable"), "Berthkeep");
    ASSERT_TRUE(bundle.shortVersion().has_value());
    EXPECT_FALSE(bundle.shortVersion()->empty());
    const auto found = bundle.infoDictionary().find("LSUIElement");
    ASSERT_NE(found, bundle.infoDictionary().end());
    EXPECT_EQ(found->second.boolean(), true);
    // Unconfigured update and feedback values are present but empty.
    EXPECT_EQ(bundle.stringValue("SUFeedURL"), "");
}

} // namespace
} // namespace berthkeep
