#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"
#include "platform/Bundle/AppBundle.hpp"

using namespace berthkeep;

namespace {

// Answers from a set of paths and records every path it was asked about.
class RecordingFileManager final : public BerthkeepFileManager {
public:
    std::set<std::string> existing;
    std::set<std::string> executable;
    std::string currentDirectory = "/work/dev";
    mutable std::vector<std::string> asked;

    bool fileExistsAtPath(const std::string& path) const override {
        asked.push_back(path);
        return existing.count(path) > 0 || executable.count(path) > 0;
    }
    bool isExecutableFileAtPath(const std::string& path) const override {
        asked.push_back(path);
        return executable.count(path) > 0;
    }
    std::string currentDirectoryPath() const override { return currentDirectory; }
};

const std::string kLibrary = BerthkeepRustBridgeLocation::libraryFileName;
const std::string kHelper = BerthkeepRustBridgeLocation::executableFileName;
const std::string kLibraryKey = BerthkeepRustBridgeLocation::libraryPathEnvironmentKey;
const std::string kHelperKey = BerthkeepRustBridgeLocation::bridgePathEnvironmentKey;

std::optional<std::string>
findLibrary(const RecordingFileManager& files, const BerthkeepProcessInfo& info = {},
            std::optional<std::string> bundle = "/Apps/Berthkeep.app",
            std::optional<std::string> executable = "/Apps/Berthkeep.app/Contents/MacOS/Berthkeep",
            std::optional<std::string> frameworks = "/Apps/Berthkeep.app/Contents/Frameworks",
            std::optional<std::string> current = std::nullopt, bool development = true) {
    return BerthkeepRustBridgeLocation::defaultLibraryURL(
        info, files, kLibraryKey, bundle, executable, frameworks, current, development);
}

std::optional<std::string>
findHelper(const RecordingFileManager& files, const BerthkeepProcessInfo& info = {},
           std::optional<std::string> bundle = "/Apps/Berthkeep.app",
           std::optional<std::string> executable = "/Apps/Berthkeep.app/Contents/MacOS/Berthkeep",
           std::optional<std::string> current = std::nullopt, bool development = true) {
    return BerthkeepRustBridgeLocation::defaultExecutableURL(info, files, kHelperKey, bundle,
                                                             executable, current, development);
}

} // namespace

TEST(RustBridgeLocationTests, EnvironmentLibraryWinsOverTheBundleCopy) {
    RecordingFileManager files;
    files.existing = {"/opt/core/" + kLibrary,
                      "/Apps/Berthkeep.app/Contents/Frameworks/" + kLibrary};
    BerthkeepProcessInfo info{{{kLibraryKey, "/opt/core/" + kLibrary}}};
    EXPECT_EQ(findLibrary(files, info), "/opt/core/" + kLibrary);
}

TEST(RustBridgeLocationTests, MissingOrEmptyEnvironmentPathFallsThroughToTheBundle) {
    for (const auto& value : {std::string("/nowhere/") + kLibrary, std::string()}) {
        RecordingFileManager files;
        files.existing = {"/Apps/Berthkeep.app/Contents/Frameworks/" + kLibrary};
        BerthkeepProcessInfo info{{{kLibraryKey, value}}};
        EXPECT_EQ(findLibrary(files, info), "/Apps/Berthkeep.app/Contents/Frameworks/" + kLibrary)
            << "environment value '" << value << "'";
        if (value.empty()) {
            // An empty value is never tested as a path.
            EXPECT_EQ(files.asked.front(), "/Apps/Berthkeep.app/Contents/Frameworks/" + kLibrary);
        }
    }
}

TEST(RustBridgeLocationTests, RelativeEnvironmentPathIsTakenAgainstTheCurrentDirectory) {
    RecordingFileManager files;
    files.currentDirectory = "/home/dev/checkout";
    files.existing = {"/home/dev/checkout/out/" + kLibrary};
    BerthkeepProcessInfo info{{{kLibraryKey, "out/" + kLibrary}}};
    EXPECT_EQ(findLibrary(files, info), "/home/dev/checkout/out/" + kLibrary);
}

TEST(RustBridgeLocationTests, LibraryCandidatesComeInTheFixedOrder) {
    RecordingFileManager files;
    EXPECT_EQ(findLibrary(files, {}, "/B.app", "/x/y/app", "/B.app/Contents/Frameworks", "/w"),
              std::nullopt);

    std::vector<std::string> expected = {
        "/B.app/Contents/Frameworks/" + kLibrary,
        "/B.app/Contents/Frameworks/" + kLibrary,
        "/x/y/" + kLibrary,
    };
    for (const std::string folder : {"target/debug",
                                     "../target/debug",
                                     "../../target/debug",
                                     "target/release",
                                     "../target/release",
                                     "../../target/release",
                                     "packages/rust-bridge/target/debug",
                                     "../packages/rust-bridge/target/debug",
                                     "rust-bridge/target/debug",
                                     "../rust-bridge/target/debug",
                                     "packages/rust-bridge/target/release",
                                     "../packages/rust-bridge/target/release",
                                     "rust-bridge/target/release",
                                     "../rust-bridge/target/release",
                                     "packages/rust-core/target/debug",
                                     "../packages/rust-core/target/debug",
                                     "rust-core/target/debug",
                                     "../rust-core/target/debug",
                                     "packages/rust-core/target/release",
                                     "../packages/rust-core/target/release",
                                     "rust-core/target/release",
                                     "../rust-core/target/release"}) {
        expected.push_back("/w/" + folder + "/" + kLibrary);
    }
    const std::vector<std::string> ancestorFolders = {"target/debug",
                                                      "target/release",
                                                      "packages/rust-bridge/target/debug",
                                                      "packages/rust-bridge/target/release",
                                                      "rust-bridge/target/debug",
                                                      "rust-bridge/target/release",
                                                      "packages/rust-core/target/debug",
                                                      "packages/rust-core/target/release",
                                                      "rust-core/target/debug",
                                                      "rust-core/target/release"};
    for (const std::string ancestor : {"/x/y", "/x", "/"}) {
        for (const auto& folder : ancestorFolders) {
            expected.push_back(ancestor + (ancestor == "/" ? "" : "/") + folder + "/" + kLibrary);
        }
    }
    EXPECT_EQ(files.asked, expected);
    EXPECT_EQ(files.asked.size(), 25u + 30u);
}

TEST(RustBridgeLocationTests, WithoutBundleTheSearchStartsBesideTheExecutable) {
    RecordingFileManager files;
    findLibrary(files, {}, std::nullopt, "/opt/bk/bin/app", std::nullopt, "/w");
    ASSERT_GE(files.asked.size(), 2u);
    EXPECT_EQ(files.asked[0], "/opt/bk/bin/" + kLibrary);
    EXPECT_EQ(files.asked[1], "/w/target/debug/" + kLibrary);
}

TEST(RustBridgeLocationTests, AncestorsStopAfterFiveLevelsAboveTheExecutableFolder) {
    RecordingFileManager files;
    findLibrary(files, {}, std::nullopt, "/a/b/c/d/e/f/g/app", std::nullopt, "/w");
    // One executable-folder candidate and 22 working-directory ones, then ten per
    // ancestor, each group starting with target/debug.
    const std::string suffix = "/target/debug/" + kLibrary;
    std::vector<std::string> ancestorsSeen;
    for (std::size_t index = 23; index < files.asked.size(); index += 10) {
        const auto& path = files.asked[index];
        ASSERT_GT(path.size(), suffix.size());
        ASSERT_EQ(path.substr(path.size() - suffix.size()), suffix);
        ancestorsSeen.push_back(path.substr(0, path.size() - suffix.size()));
    }
    EXPECT_EQ(ancestorsSeen,
              (std::vector<std::string>{"/a/b/c/d/e/f/g", "/a/b/c/d/e/f", "/a/b/c/d/e", "/a/b/c/d",
                                        "/a/b/c", "/a/b"}));
}

TEST(RustBridgeLocationTests, WorkingDirectoryCandidateWinsOverAncestorCandidate) {
    RecordingFileManager files;
    files.existing = {"/w/../target/release/" + kLibrary, "/x/target/debug/" + kLibrary};
    EXPECT_EQ(findLibrary(files, {}, std::nullopt, "/x/app", std::nullopt, "/w"),
              "/w/../target/release/" + kLibrary);
}

TEST(RustBridgeLocationTests, DevelopmentBaseDefaultsToTheFileManagersDirectory) {
    RecordingFileManager files;
    files.currentDirectory = "/checkout";
    files.existing = {"/checkout/rust-core/target/release/" + kLibrary};
    EXPECT_EQ(findLibrary(files, {}, std::nullopt, std::nullopt, std::nullopt, std::nullopt),
              "/checkout/rust-core/target/release/" + kLibrary);
}

TEST(RustBridgeLocationTests, HelperSearchNeedsAnExecutableFile) {
    RecordingFileManager files;
    // Present but not executable: passed over, the environment path included.
    files.existing = {"/env/" + kHelper, "/Apps/Berthkeep.app/Contents/Helpers/" + kHelper};
    files.executable = {"/Apps/Berthkeep.app/Contents/MacOS/" + kHelper};
    BerthkeepProcessInfo info{{{kHelperKey, "/env/" + kHelper}}};
    EXPECT_EQ(findHelper(files, info), "/Apps/Berthkeep.app/Contents/MacOS/" + kHelper);

    // The library search only asks for existence.
    RecordingFileManager libraryFiles;
    libraryFiles.existing = {"/Apps/Berthkeep.app/Contents/Frameworks/" + kLibrary};
    EXPECT_TRUE(findLibrary(libraryFiles).has_value());
}

TEST(RustBridgeLocationTests, HelperCandidatesComeInTheFixedOrder) {
    RecordingFileManager files;
    EXPECT_EQ(findHelper(files, {}, "/B.app", "/x/app", "/w"), std::nullopt);
    ASSERT_EQ(files.asked.size(), 28u + 20u);
    EXPECT_EQ(files.asked[0], "/B.app/Contents/Helpers/" + kHelper);
    EXPECT_EQ(files.asked[1], "/x/" + kHelper);
    EXPECT_EQ(files.asked[2], "/w/target/debug/" + kHelper);
    EXPECT_EQ(files.asked[16], "/w/../../packages/rust-bridge/target/debug/" + kHelper);
    EXPECT_EQ(files.asked[17], "/w/../../packages/rust-bridge/target/release/" + kHelper);
    EXPECT_EQ(files.asked[26], "/w/../../packages/rust-core/target/debug/" + kHelper);
    EXPECT_EQ(files.asked[27], "/w/../../packages/rust-core/target/release/" + kHelper);
    EXPECT_EQ(files.asked[28], "/x/target/debug/" + kHelper);
    EXPECT_EQ(files.asked[47], "/rust-core/target/release/" + kHelper);
}

TEST(RustBridgeLocationTests, ShippedBuildSearchesOnlyItsBundleAndExecutableFolder) {
    RecordingFileManager files;
    files.existing = {"/opt/core/" + kLibrary, "/w/target/debug/" + kLibrary};
    files.executable = {"/opt/core/" + kHelper, "/w/target/debug/" + kHelper};
    BerthkeepProcessInfo info{
        {{kLibraryKey, "/opt/core/" + kLibrary}, {kHelperKey, "/opt/core/" + kHelper}}};

    EXPECT_EQ(findLibrary(files, info, "/B.app", "/B.app/Contents/MacOS/app",
                          "/B.app/Contents/Frameworks", "/w", false),
              std::nullopt);
    EXPECT_EQ(files.asked, (std::vector<std::string>{"/B.app/Contents/Frameworks/" + kLibrary,
                                                     "/B.app/Contents/Frameworks/" + kLibrary,
                                                     "/B.app/Contents/MacOS/" + kLibrary}));

    files.asked.clear();
    EXPECT_EQ(findHelper(files, info, "/B.app", "/B.app/Contents/MacOS/app", "/w", false),
              std::nullopt);
    EXPECT_EQ(files.asked, (std::vector<std::string>{"/B.app/Contents/Helpers/" + kHelper,
                                                     "/B.app/Contents/MacOS/" + kHelper}));

    files.existing.insert("/B.app/Contents/Frameworks/" + kLibrary);
    EXPECT_EQ(findLibrary(files, info, "/B.app", "/B.app/Contents/MacOS/app",
                          "/B.app/Contents/Frameworks", "/w", false),
              "/B.app/Contents/Frameworks/" + kLibrary);
}

TEST(RustBridgeLocationTests, MainBundleSearchFollowsTheRuntimeIdentity) {
    // A debug build always allows the development locations; the test build is one
    // unless built for release, where only a non-production identifier does.
    const auto previous = AppBundle::main();
    AppBundle::setMain(InMemoryAppBundle::withIdentifier(kTestBundleIdentifier));
    EXPECT_TRUE(BerthkeepRustBridgeLocation::developmentLocationsAllowed());
    AppBundle::setMain(InMemoryAppBundle::withIdentifier(kProductionBundleIdentifier));
    EXPECT_EQ(BerthkeepRustBridgeLocation::developmentLocationsAllowed(),
              BerthkeepRuntimeIdentity::isDebugBuild);

    RecordingFileManager files;
    files.existing = {"/opt/core/" + kLibrary};
    BerthkeepProcessInfo info{{{kLibraryKey, "/opt/core/" + kLibrary}}};
    const auto found = BerthkeepRustBridgeLocation::mainBundleLibraryURL(info, files);
    if (BerthkeepRuntimeIdentity::isDebugBuild) {
        EXPECT_EQ(found, "/opt/core/" + kLibrary);
    } else {
        EXPECT_EQ(found, std::nullopt);
    }
    AppBundle::setMain(previous);
}

TEST(RustBridgeLocationTests, LiveFileManagerTellsExecutablesFromPlainFiles) {
    const auto& files = BerthkeepFileManager::defaultManager();
    EXPECT_TRUE(files.fileExistsAtPath("/bin/sh"));
    EXPECT_TRUE(files.isExecutableFileAtPath("/bin/sh"));
    EXPECT_TRUE(files.fileExistsAtPath("/etc/passwd"));
    EXPECT_FALSE(files.isExecutableFileAtPath("/etc/passwd"));
    EXPECT_FALSE(files.isExecutableFileAtPath("/bin")); // a folder is not a helper
    EXPECT_FALSE(files.fileExistsAtPath("/nonexistent/berthkeep"));
    EXPECT_FALSE(files.currentDirectoryPath().empty());
}
