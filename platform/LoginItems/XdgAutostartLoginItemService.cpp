#include "platform/LoginItems/XdgAutostartLoginItemService.hpp"

#include "platform/Files/AtomicFileWriter.hpp"
#include "platform/Files/RegularFileReader.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

namespace berthkeep {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The keys of the [Desktop Entry] group; nothing when the file cannot be read.
std::optional<std::map<std::string, std::string>> readDesktopEntry(const std::string& path) {
    // An entry is a few lines; anything far larger, or not a file, is none.
    constexpr std::int64_t maximumEntrySize = 1024 * 1024;
    const auto file = RegularFileReader::read(path, maximumEntrySize);
    if (!file.succeeded()) {
        return std::nullopt;
    }
    std::map<std::string, std::string> keys;
    bool inMainGroup = false;
    std::istringstream lines(file.bytes);
    for (std::string raw; std::getline(lines, raw);) {
        const std::string line = trimmed(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos) {
            continue;
        }
        keys.try_emplace(trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)));
    }
    return keys;
}

bool hasControlCharacter(const std::string& text) {
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            return true;
        }
    }
    return false;
}

bool isExecutableFile(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return info.isFile() && info.isExecutable();
}

} // namespace

XdgAutostartLoginItemService::XdgAutostartLoginItemService(std::string autostartFolder,
                                                           std::string entryName,
                                                           std::string executablePath,
                                                           std::string applicationName)
    : m_folder(std::move(autostartFolder))
    , m_entryName(std::move(entryName))
    , m_executablePath(std::move(executablePath))
    , m_applicationName(std::move(applicationName)) {}

std::string XdgAutostartLoginItemService::defaultAutostartFolder() {
    // Relative values of XDG_CONFIG_HOME are invalid and ignored.
    if (const char* configHome = std::getenv("XDG_CONFIG_HOME");
        configHome != nullptr && configHome[0] == '/') {
        return std::string(configHome) + "/autostart";
    }
    const char* home = std::getenv("HOME");
    const std::string homePath =
        home != nullptr && home[0] != '\0' ? std::string(home) : QDir::homePath().toStdString();
    return homePath + "/.config/autostart";
}

std::string XdgAutostartLoginItemService::execValue(const std::string& executablePath) {
    std::string quoted = "\"";
    for (const char c : executablePath) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    // The string escape applies on top of the quoting: every backslash doubles.
    std::string value;
    for (const char c : quoted) {
        if (c == '\\') {
            value += "\\\\";
        } else if (c == '%') {
            value += "%%";
        } else {
            value += c;
        }
    }
    return value;
}

std::string XdgAutostartLoginItemService::entryPath() const {
    return m_folder + "/" + m_entryName + ".desktop";
}

LoginItemStatus XdgAutostartLoginItemService::status() const {
    const auto path = entryPath();
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        return isExecutableFile(m_executablePath) ? LoginItemStatus::notRegistered
                                                  : LoginItemStatus::notFound;
    }
    const auto keys = readDesktopEntry(path);
    if (!keys) {
        return LoginItemStatus::requiresApproval;
    }
    const auto value = [&](const std::string& key) -> std::string {
        const auto found = keys->find(key);
        return found == keys->end() ? std::string() : found->second;
    };
    if (value("Hidden") == "true" || value("X-GNOME-Autostart-enabled") == "false" ||
        value("Exec") != execValue(m_executablePath)) {
        return LoginItemStatus::requiresApproval;
    }
    return LoginItemStatus::enabled;
}

std::string XdgAutostartLoginItemService::entryContents() const {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           m_applicationName +
           "\n"
           "Exec=" +
           execValue(m_executablePath) +
           "\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

void XdgAutostartLoginItemService::registerItem() {
    if (m_executablePath.empty() || m_executablePath.front() != '/' ||
        hasControlCharacter(m_executablePath) || hasControlCharacter(m_applicationName)) {
        throw LoginItemError(LoginItemError::errorDomain, LoginItemError::invalidExecutablePath,
                             "The application path cannot be used for a login item.");
    }
    if (!isExecutableFile(m_executablePath)) {
        throw LoginItemError(LoginItemError::errorDomain, LoginItemError::applicationNotFound,
                             "The application could not be found.");
    }
    if (!QDir().mkpath(QString::fromStdString(m_folder))) {
        throw LoginItemError(LoginItemError::errorDomain, LoginItemError::writeFailed,
                             "The autostart folder could not be created.");
    }
    if (auto failure = AtomicFileWriter::replace(entryPath(), entryContents())) {
        throw LoginItemError(LoginItemError::errorDomain, LoginItemError::writeFailed,
                             "The login item could not be written: " + *failure);
    }
}

void XdgAutostartLoginItemService::unregisterItem() {
    QFile file(QString::fromStdString(entryPath()));
    if (!file.exists()) {
        return;
    }
    if (!file.remove()) {
        throw LoginItemError(LoginItemError::errorDomain, LoginItemError::removeFailed,
                             "The login item could not be removed: " +
                                 file.errorString().toStdString());
    }
}

} // namespace berthkeep
