#include "platform/Bundle/AppBundle.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <mutex>

namespace berthkeep {

namespace {

std::mutex g_mainMutex;
std::shared_ptr<const AppBundle> g_main;

std::string joinPath(const std::string& folder, const char* component) {
    return QDir(QString::fromStdString(folder))
        .filePath(QString::fromUtf8(component))
        .toStdString();
}

} // namespace

std::optional<std::string> AppBundle::bundleIdentifier() const {
    auto identifier = stringValue("CFBundleIdentifier");
    if (!identifier || identifier->empty()) {
        return std::nullopt;
    }
    return identifier;
}

std::optional<std::string> AppBundle::stringValue(const std::string& key) const {
    const auto& info = infoDictionary();
    const auto found = info.find(key);
    if (found == info.end() || !found->second.string()) {
        return std::nullopt;
    }
    return *found->second.string();
}

std::optional<std::int64_t> AppBundle::integerValue(const std::string& key) const {
    const auto& info = infoDictionary();
    const auto found = info.find(key);
    if (found == info.end()) {
        return std::nullopt;
    }
    return found->second.integer();
}

std::optional<std::string> AppBundle::shortVersion() const {
    return stringValue("CFBundleShortVersionString");
}

std::optional<std::string> AppBundle::bundleVersion() const {
    return stringValue("CFBundleVersion");
}

std::string AppBundle::contentsPath() const {
    return joinPath(bundlePath(), "Contents");
}

std::string AppBundle::privateFrameworksPath() const {
    return joinPath(contentsPath(), "Frameworks");
}

std::string AppBundle::helpersPath() const {
    return joinPath(contentsPath(), "Helpers");
}

std::string AppBundle::resourcesPath() const {
    return joinPath(contentsPath(), "Resources");
}

std::optional<std::string> AppBundle::executableFolderPath() const {
    const auto executable = executablePath();
    if (!executable) {
        return std::nullopt;
    }
    return QFileInfo(QString::fromStdString(*executable)).absolutePath().toStdString();
}

std::shared_ptr<const AppBundle> AppBundle::main() {
    std::lock_guard lock(g_mainMutex);
    if (!g_main) {
        g_main = FileAppBundle::forCurrentProcess();
    }
    return g_main;
}

void AppBundle::setMain(std::shared_ptr<const AppBundle> bundle) {
    std::lock_guard lock(g_mainMutex);
    g_main = std::move(bundle);
}

FileAppBundle::FileAppBundle(std::string bundlePath, std::optional<std::string> executablePath)
    : m_bundlePath(std::move(bundlePath))
    , m_executablePath(std::move(executablePath)) {
    if (auto info = readInfoPlist(joinPath(contentsPath(), "Info.plist"))) {
        m_info = std::move(*info);
    }
}

std::shared_ptr<FileAppBundle> FileAppBundle::forExecutable(const std::string& executablePath) {
    const QFileInfo executable(QString::fromStdString(executablePath));
    QDir macOS = executable.absoluteDir();
    QDir contents = macOS;
    if (macOS.dirName() == QStringLiteral("MacOS") && contents.cdUp() &&
        contents.dirName() == QStringLiteral("Contents")) {
        QDir bundle = contents;
        bundle.cdUp();
        return std::make_shared<FileAppBundle>(bundle.absolutePath().toStdString(), executablePath);
    }
    // Not inside a bundle: the folder stands in for one. It never has a
    // Contents/Info.plist of its own, so the info dictionary stays empty.
    auto loose =
        std::make_shared<FileAppBundle>(macOS.absolutePath().toStdString(), executablePath);
    return loose;
}

std::shared_ptr<FileAppBundle> FileAppBundle::forCurrentProcess() {
    const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return forExecutable(executable.toStdString());
}

std::optional<PropertyListValue::Dictionary> FileAppBundle::readInfoPlist(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    const auto value = parsePropertyList(bytes.toStdString());
    if (!value || !value->dictionary()) {
        return std::nullopt;
    }
    return *value->dictionary();
}

InMemoryAppBundle::InMemoryAppBundle(PropertyListValue::Dictionary info, std::string bundlePath,
                                     std::optional<std::string> executablePath)
    : m_info(std::move(info))
    , m_bundlePath(std::move(bundlePath))
    , m_executablePath(std::move(executablePath)) {}

std::shared_ptr<InMemoryAppBundle>
InMemoryAppBundle::withIdentifier(const std::string& identifier) {
    PropertyListValue::Dictionary info;
    info["CFBundleIdentifier"] = identifier;
    return std::make_shared<InMemoryAppBundle>(std::move(info));
}

} // namespace berthkeep
