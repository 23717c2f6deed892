#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/PropertyList/PropertyListValue.hpp"

namespace berthkeep {

// The shipped application's bundle identifier, and the one the tests run under.
// cmake/BerthkeepBundle.cmake writes the same production value into Info.plist.
inline constexpr const char* kProductionBundleIdentifier = "app.berthkeep.Berthkeep";
inline constexpr const char* kTestBundleIdentifier = "app.berthkeep.Berthkeep.test";

// An application bundle: <name>.app/Contents/{MacOS, Info.plist, Frameworks,
// Helpers, Resources}, and the values of its Info.plist.
class AppBundle {
public:
    virtual ~AppBundle() = default;

    // The bundle folder (the ".app" folder, or the executable's folder when the
    // executable is not inside a bundle).
    virtual std::string bundlePath() const = 0;
    virtual std::optional<std::string> executablePath() const = 0;
    // Empty when the bundle has no readable Info.plist.
    virtual const PropertyListValue::Dictionary& infoDictionary() const = 0;

    // CFBundleIdentifier when it is a non-empty string.
    std::optional<std::string> bundleIdentifier() const;
    // A string value of Info.plist; values of other types give nothing.
    std::optional<std::string> stringValue(const std::string& key) const;
    // An integer value of Info.plist (reals are not converted).
    std::optional<std::int64_t> integerValue(const std::string& key) const;
    std::optional<std::string> shortVersion() const;  // CFBundleShortVersionString
    std::optional<std::string> bundleVersion() const; // CFBundleVersion

    std::string contentsPath() const;
    std::string privateFrameworksPath() const; // Contents/Frameworks
    std::string helpersPath() const;           // Contents/Helpers
    std::string resourcesPath() const;         // Contents/Resources
    std::optional<std::string> executableFolderPath() const;

    // The bundle of the running process, found from /proc/self/exe on first use.
    static std::shared_ptr<const AppBundle> main();
    // Replaces the main bundle (composition root and tests).
    static void setMain(std::shared_ptr<const AppBundle> bundle);
};

// A bundle on disk. Info.plist is read once, at construction.
class FileAppBundle final : public AppBundle {
public:
    explicit FileAppBundle(std::string bundlePath,
                           std::optional<std::string> executablePath = std::nullopt);

    // The bundle that holds an executable at <bundle>/Contents/MacOS/<name>; an
    // executable elsewhere makes its own folder the bundle, with no Info.plist.
    static std::shared_ptr<FileAppBundle> forExecutable(const std::string& executablePath);
    static std::shared_ptr<FileAppBundle> forCurrentProcess();

    std::string bundlePath() const override { return m_bundlePath; }
    std::optional<std::string> executablePath() const override { return m_executablePath; }
    const PropertyListValue::Dictionary& infoDictionary() const override { return m_info; }

    // Info.plist as a dictionary; nothing when missing, unreadable or not a dictionary.
    static std::optional<PropertyListValue::Dictionary> readInfoPlist(const std::string& path);

private:
    std::string m_bundlePath;
    std::optional<std::string> m_executablePath;
    PropertyListValue::Dictionary m_info;
};

// A bundle that exists only in memory, for tests.
class InMemoryAppBundle final : public AppBundle {
public:
    explicit InMemoryAppBundle(PropertyListValue::Dictionary info = {},
                               std::string bundlePath = "/nonexistent/Berthkeep.app",
                               std::optional<std::string> executablePath = std::nullopt);

    static std::shared_ptr<InMemoryAppBundle> withIdentifier(const std::string& identifier);

    std::string bundlePath() const override { return m_bundlePath; }
    std::optional<std::string> executablePath() const override { return m_executablePath; }
    const PropertyListValue::Dictionary& infoDictionary() const override { return m_info; }

private:
    PropertyListValue::Dictionary m_info;
    std::string m_bundlePath;
    std::optional<std::string> m_executablePath;
};

} // namespace berthkeep
