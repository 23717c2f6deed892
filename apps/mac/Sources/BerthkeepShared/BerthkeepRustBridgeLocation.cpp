#include "BerthkeepShared/BerthkeepRustBridgeLocation.hpp"

#include <array>
#include <string_view>

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep {

namespace {

// Build folders of a development checkout, relative to the working directory.
constexpr std::array<std::string_view, 22> kLibraryWorkingDirectoryFolders = {
    "target/debug",
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
    "../rust-core/target/release",
};

// The helper is also looked for two levels up in the package folders.
constexpr std::array<std::string_view, 26> kExecutableWorkingDirectoryFolders = {
    "target/debug",
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
    "../../packages/rust-bridge/target/debug",
    "../../packages/rust-bridge/target/release",
    "packages/rust-core/target/debug",
    "../packages/rust-core/target/debug",
    "rust-core/target/debug",
    "../rust-core/target/debug",
    "packages/rust-core/target/release",
    "../packages/rust-core/target/release",
    "rust-core/target/release",
    "../rust-core/target/release",
    "../../packages/rust-core/target/debug",
    "../../packages/rust-core/target/release",
};

// Build folders looked for in the executable's folder and its ancestors.
constexpr std::array<std::string_view, 10> kAncestorFolders = {
    "target/debug",
    "target/release",
    "packages/rust-bridge/target/debug",
    "packages/rust-bridge/target/release",
    "rust-bridge/target/debug",
    "rust-bridge/target/release",
    "packages/rust-core/target/debug",
    "packages/rust-core/target/release",
    "rust-core/target/debug",
    "rust-core/target/release",
};

constexpr int kMaximumAncestorSteps = 6;

// ".." stays as written: the tested and returned path may hold it.
std::string appending(const std::string& base, std::string_view relative) {
    if (base.empty()) {
        return std::string(relative);
    }
    std::string result = base;
    if (result.back() != '/') {
        result += '/';
    }
    result += relative;
    return result;
}

std::string appending(const std::string& base, std::string_view folder, std::string_view name) {
    return appending(appending(base, folder), name);
}

// The path without its last component ("/a/b/" and "/a/b" both give "/a").
std::string deletingLastPathComponent(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const auto slash = trimmed.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return trimmed.substr(0, slash);
}

std::optional<std::string> executableDirectory(const std::optional<std::string>& executableURL) {
    if (!executableURL || executableURL->empty()) {
        return std::nullopt;
    }
    return deletingLastPathComponent(*executableURL);
}

std::string workingDirectory(const BerthkeepFileManager& fileManager,
                             const std::optional<std::string>& currentDirectoryURL) {
    if (currentDirectoryURL) {
        return *currentDirectoryURL;
    }
    return fileManager.currentDirectoryPath();
}

// A set, non-empty environment path, made absolute against the current directory.
std::optional<std::string> environmentPath(const BerthkeepProcessInfo& processInfo,
                                           const BerthkeepFileManager& fileManager,
                                           const std::string& key) {
    const auto found = processInfo.environment.find(key);
    if (found == processInfo.environment.end() || found->second.empty()) {
        return std::nullopt;
    }
    if (found->second.front() == '/') {
        return found->second;
    }
    return appending(fileManager.currentDirectoryPath(), found->second);
}

template <typename Test>
std::optional<std::string> firstPassing(const std::vector<std::string>& candidates, Test test) {
    for (const auto& candidate : candidates) {
        if (test(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

// Development build folders: under the working directory, then under the
// executable's folder and each of its ancestors.
template <std::size_t Count>
void appendDevelopmentCandidates(std::vector<std::string>& candidates,
                                 const std::array<std::string_view, Count>& workingFolders,
                                 const std::string& workingDirectoryPath,
                                 const std::vector<std::string>& executableAncestors,
                                 std::string_view fileName) {
    for (const auto folder : workingFolders) {
        candidates.push_back(appending(workingDirectoryPath, folder, fileName));
    }
    for (const auto& ancestor : executableAncestors) {
        for (const auto folder : kAncestorFolders) {
            candidates.push_back(appending(ancestor, folder, fileName));
        }
    }
}

} // namespace

std::vector<std::string> BerthkeepRustBridgeLocation::executableAncestors(
    const std::optional<std::string>& executableFolder) {
    if (!executableFolder) {
        return {};
    }
    return ancestorDirectories(*executableFolder);
}

std::optional<std::string> BerthkeepRustBridgeLocation::defaultLibraryURL(
    const BerthkeepProcessInfo& processInfo, const BerthkeepFileManager& fileManager,
    const std::string& libraryPathEnvironmentKey, const std::optional<std::string>& bundleURL,
    const std::optional<std::string>& executableURL,
    const std::optional<std::string>& privateFrameworksURL,
    const std::optional<std::string>& currentDirectoryURL, bool allowsDevelopmentLocations) {
    const auto exists = [&fileManager](const std::string& path) {
        return fileManager.fileExistsAtPath(path);
    };

    if (allowsDevelopmentLocations) {
        if (auto path = environmentPath(processInfo, fileManager, libraryPathEnvironmentKey);
            path && exists(*path)) {
            return path;
        }
    }

    std::vector<std::string> candidates;
    if (privateFrameworksURL) {
        candidates.push_back(appending(*privateFrameworksURL, libraryFileName));
    }
    if (bundleURL) {
        candidates.push_back(appending(*bundleURL, "Contents/Frameworks", libraryFileName));
    }
    const auto executableFolder = executableDirectory(executableURL);
    if (executableFolder) {
        candidates.push_back(appending(*executableFolder, libraryFileName));
    }
    if (allowsDevelopmentLocations) {
        appendDevelopmentCandidates(candidates, kLibraryWorkingDirectoryFolders,
                                    workingDirectory(fileManager, currentDirectoryURL),
                                    executableAncestors(executableFolder), libraryFileName);
    }
    return firstPassing(candidates, exists);
}

std::optional<std::string> BerthkeepRustBridgeLocation::defaultExecutableURL(
    const BerthkeepProcessInfo& processInfo, const BerthkeepFileManager& fileManager,
    const std::string& bridgePathEnvironmentKey, const std::optional<std::string>& bundleURL,
    const std::optional<std::string>& executableURL,
    const std::optional<std::string>& currentDirectoryURL, bool allowsDevelopmentLocations) {
    const auto executable = [&fileManager](const std::string& path) {
        return fileManager.isExecutableFileAtPath(path);
    };

    if (allowsDevelopmentLocations) {
        if (auto path = environmentPath(processInfo, fileManager, bridgePathEnvironmentKey);
            path && executable(*path)) {
            return path;
        }
    }

    std::vector<std::string> candidates;
    if (bundleURL) {
        candidates.push_back(appending(*bundleURL, "Contents/Helpers", executableFileName));
    }
    const auto executableFolder = executableDirectory(executableURL);
    if (executableFolder) {
        candidates.push_back(appending(*executableFolder, executableFileName));
    }
    if (allowsDevelopmentLocations) {
        appendDevelopmentCandidates(candidates, kExecutableWorkingDirectoryFolders,
                                    workingDirectory(fileManager, currentDirectoryURL),
                                    executableAncestors(executableFolder), executableFileName);
    }
    return firstPassing(candidates, executable);
}

std::optional<std::string>
BerthkeepRustBridgeLocation::mainBundleLibraryURL(const BerthkeepProcessInfo& processInfo,
                                                  const BerthkeepFileManager& fileManager) {
    const auto bundle = AppBundle::main();
    return defaultLibraryURL(processInfo, fileManager, libraryPathEnvironmentKey,
                             bundle->bundlePath(), bundle->executablePath(),
                             bundle->privateFrameworksPath(), std::nullopt,
                             BerthkeepRuntimeIdentity::allowsEnvironmentConfigurationOverrides(
                                 bundle->bundleIdentifier()));
}

std::optional<std::string>
BerthkeepRustBridgeLocation::mainBundleExecutableURL(const BerthkeepProcessInfo& processInfo,
                                                     const BerthkeepFileManager& fileManager) {
    const auto bundle = AppBundle::main();
    return defaultExecutableURL(processInfo, fileManager, bridgePathEnvironmentKey,
                                bundle->bundlePath(), bundle->executablePath(), std::nullopt,
                                BerthkeepRuntimeIdentity::allowsEnvironmentConfigurationOverrides(
                                    bundle->bundleIdentifier()));
}

bool BerthkeepRustBridgeLocation::developmentLocationsAllowed() {
    return BerthkeepRuntimeIdentity::allowsEnvironmentConfigurationOverrides(
        AppBundle::main()->bundleIdentifier());
}

std::vector<std::string>
BerthkeepRustBridgeLocation::ancestorDirectories(const std::string& directory) {
    std::vector<std::string> directories;
    std::string current = directory;
    for (int step = 0; step < kMaximumAncestorSteps; ++step) {
        directories.push_back(current);
        const auto parent = deletingLastPathComponent(current);
        if (parent == current) {
            break;
        }
        current = parent;
    }
    return directories;
}

} // namespace berthkeep
