#include "platform/Defaults/UserDefaults.hpp"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <sys/stat.h>

#include "platform/Bundle/AppBundle.hpp"
#include "platform/Files/RegularFileReader.hpp"
#include "platform/Files/ResolvedTarget.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {

namespace {

std::mutex g_standardMutex;
std::shared_ptr<UserDefaults> g_standard;

std::string trimmedLeft(const std::string& text) {
    std::size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) {
        ++start;
    }
    return text.substr(start);
}

std::optional<std::int64_t> parseInteger(const std::string& text) {
    std::string digits = trimmedLeft(text);
    if (!digits.empty() && digits.front() == '+') {
        digits.erase(0, 1);
    }
    std::int64_t value = 0;
    const auto* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (error != std::errc() || stop == digits.data()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<PropertyListValue> UserDefaults::object(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_values.find(key);
    if (found == m_values.end()) {
        return std::nullopt;
    }
    return found->second;
}

void UserDefaults::setObject(const std::string& key, PropertyListValue value) {
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_values.find(key);
        if (found != m_values.end() && found->second == value) {
            retryFailedWrite();
            return;
        }
        std::optional<PropertyListValue> previous;
        if (found != m_values.end()) {
            previous = found->second;
        }
        m_values.insert_or_assign(key, std::move(value));
        if (!persist(m_values, key)) {
            if (previous) {
                m_values.insert_or_assign(key, std::move(*previous));
            } else {
                m_values.erase(key);
            }
            return;
        }
    }
    emit valueChanged(QString::fromStdString(key));
}

void UserDefaults::removeObject(const std::string& key) {
    {
        std::lock_guard lock(m_mutex);
        auto removed = m_values.extract(key);
        if (removed.empty()) {
            retryFailedWrite();
            return;
        }
        if (!persist(m_values, key)) {
            m_values.insert(std::move(removed));
            return;
        }
    }
    emit valueChanged(QString::fromStdString(key));
}

PropertyListValue::Dictionary UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(m_mutex);
    return m_values;
}

bool UserDefaults::boolForKey(const std::string& key) const {
    const auto value = object(key);
    if (!value) {
        return false;
    }
    if (auto boolean = value->boolean()) {
        return *boolean;
    }
    if (auto integer = value->integer()) {
        return *integer != 0;
    }
    if (auto real = value->real()) {
        return *real != 0;
    }
    if (const auto* text = value->string()) {
        const std::string trimmed = trimmedLeft(*text);
        if (trimmed.empty()) {
            return false;
        }
        const char first = trimmed.front();
        return first == 'Y' || first == 'y' || first == 'T' || first == 't' ||
               (first >= '1' && first <= '9');
    }
    return false;
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
    const auto value = object(key);
    if (!value) {
        return 0;
    }
    if (auto integer = value->integer()) {
        return *integer;
    }
    if (auto boolean = value->boolean()) {
        return *boolean ? 1 : 0;
    }
    if (auto real = value->real()) {
        if (std::isfinite(*real) && std::fabs(*real) < 9.2e18) {
            return static_cast<std::int64_t>(*real);
        }
        return 0;
    }
    if (const auto* text = value->string()) {
        return parseInteger(*text).value_or(0);
    }
    return 0;
}

double UserDefaults::doubleForKey(const std::string& key) const {
    const auto value = object(key);
    if (!value) {
        return 0;
    }
    if (auto real = value->real()) {
        return *real;
    }
    if (auto integer = value->integer()) {
        return static_cast<double>(*integer);
    }
    if (auto boolean = value->boolean()) {
        return *boolean ? 1 : 0;
    }
    if (const auto* text = value->string()) {
        bool ok = false;
        const double parsed = QString::fromStdString(*text).trimmed().toDouble(&ok);
        return ok ? parsed : 0;
    }
    return 0;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    const auto value = object(key);
    if (!value || !value->string()) {
        return std::nullopt;
    }
    return *value->string();
}

std::optional<PropertyListValue::Data> UserDefaults::dataForKey(const std::string& key) const {
    const auto value = object(key);
    if (!value || !value->data()) {
        return std::nullopt;
    }
    return *value->data();
}

std::optional<std::vector<std::string>>
UserDefaults::stringArrayForKey(const std::string& key) const {
    const auto value = object(key);
    if (!value) {
        return std::nullopt;
    }
    return value->stringArrayValue();
}

std::optional<PropertyListValue::Dictionary>
UserDefaults::dictionaryForKey(const std::string& key) const {
    const auto value = object(key);
    if (!value || !value->dictionary()) {
        return std::nullopt;
    }
    return *value->dictionary();
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    std::lock_guard lock(g_standardMutex);
    if (!g_standard) {
        const auto identifier = AppBundle::main()->bundleIdentifier();
        g_standard =
            std::make_shared<FileUserDefaults>(identifier.value_or(kProductionBundleIdentifier));
    }
    return g_standard;
}

void UserDefaults::setStandard(std::shared_ptr<UserDefaults> defaults) {
    std::lock_guard lock(g_standardMutex);
    g_standard = std::move(defaults);
}

InMemoryUserDefaults::InMemoryUserDefaults(PropertyListValue::Dictionary initial, QObject* parent)
    : UserDefaults(parent) {
    m_values = std::move(initial);
}

FileUserDefaults::FileUserDefaults(const std::string& bundleIdentifier,
                                   std::optional<std::string> folder,
                                   std::shared_ptr<UnifiedLog> log, QObject* parent)
    : UserDefaults(parent)
    , m_bundleIdentifier(bundleIdentifier)
    , m_filePath(QDir(QString::fromStdString(folder.value_or(defaultFolder())))
                     .filePath(QString::fromStdString(bundleIdentifier + ".plist"))
                     .toStdString())
    , m_log(log ? std::move(log) : UnifiedLog::shared())
    , m_writer(m_filePath) {
    load();
}

std::string FileUserDefaults::defaultFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) {
        base = QDir::home().filePath(QStringLiteral(".config"));
    }
    return QDir(base).filePath(QStringLiteral("Berthkeep")).toStdString();
}

bool FileUserDefaults::lastWriteSucceeded() const {
    std::lock_guard lock(m_mutex);
    return m_lastWriteSucceeded;
}

void FileUserDefaults::load() {
    if (const auto removed = AtomicFileWriter::removeStaleTemporaries(m_filePath)) {
        logLine(false, "Removed " + std::to_string(removed) +
                           " temporary files of unfinished preference writes");
    }
    struct stat link {};
    struct stat target {};
    if (::lstat(m_filePath.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
        ::stat(m_filePath.c_str(), &target) != 0 && errno == ENOENT) {
        // Nothing to read and nothing to set aside. The link is kept, as the
        // user put it there: writes go where it leads.
        logLine(true, "Preferences file " + m_filePath + " is a symbolic link to " +
                          resolvedTarget(m_filePath) +
                          ", which does not exist; starting with empty preferences");
        return;
    }
    // Parsed, a file past the bound takes some twenty times its size in
    // memory, and every change would rewrite it whole.
    const auto file = RegularFileReader::read(m_filePath, maximumFileSize);
    if (file.status == RegularFileReader::Status::missing) {
        return;
    }
    std::string problem = file.problem;
    if (file.succeeded()) {
        try {
            auto parsed = decodePropertyList(file.bytes);
            if (const auto* dictionary = parsed.dictionary()) {
                m_values = *dictionary;
                return;
            }
            problem = "property list is not a dictionary";
        } catch (const PropertyListError& error) {
            problem = error.what();
        }
    }
    keepAsideBeforeNextWrite(setAsideSuffix, "unreadable preferences file");
    logLine(true, "Preferences file " + m_filePath + " is unreadable (" + problem +
                      "); starting with empty preferences");
}

bool FileUserDefaults::persist(PropertyListValue::Dictionary& values,
                               const std::string& changedKey) {
    std::string bytes = serializePropertyListXml(values);
    if (static_cast<std::int64_t>(bytes.size()) > maximumFileSize) {
        auto trimmed = ownKeysWithinBound(values, changedKey, bytes.size());
        if (!trimmed) {
            // A file this store would refuse to read at the next start would
            // cost every preference, not just this change.
            logLine(true, "Refused the change of preference " + changedKey +
                              ": the preferences file would grow to " +
                              std::to_string(bytes.size()) + " bytes, past its bound of " +
                              std::to_string(maximumFileSize >> 20) + " MiB");
            return false;
        }
        bytes = std::move(*trimmed);
    }
    QDir().mkpath(QFileInfo(QString::fromStdString(m_filePath)).absolutePath());
    const auto outcome = m_writer.write(bytes);
    if (outcome.needsReport()) {
        const std::string what = outcome.setAsideFailed ? "Cannot set the preferences file aside: "
                                                        : "Cannot write preferences file: ";
        logLine(true, what + *outcome.failure + "; the change is kept and written again later");
    }
    m_lastWriteSucceeded = outcome.succeeded();
    return true;
}

std::optional<std::string>
FileUserDefaults::ownKeysWithinBound(PropertyListValue::Dictionary& values,
                                     const std::string& changedKey, std::size_t grownSize) {
    if (!changedKey.starts_with(ownKeyPrefix)) {
        return std::nullopt;
    }
    PropertyListValue::Dictionary own;
    for (const auto& [key, value] : values) {
        if (key.starts_with(ownKeyPrefix)) {
            own.emplace(key, value);
        }
    }
    std::string bytes = serializePropertyListXml(own);
    // Still too large: an own key holds more than the program ever writes.
    // The largest go first; never the one being changed.
    std::vector<std::pair<std::size_t, std::string>> bySize;
    for (const auto& [key, value] : own) {
        if (key != changedKey) {
            bySize.emplace_back(
                serializePropertyListXml(PropertyListValue::Dictionary{{key, value}}).size(), key);
        }
    }
    std::sort(bySize.rbegin(), bySize.rend());
    std::string leftOut;
    for (const auto& [size, key] : bySize) {
        if (static_cast<std::int64_t>(bytes.size()) <= maximumFileSize) {
            break;
        }
        own.erase(key);
        leftOut += (leftOut.empty() ? "" : ", ") + key;
        bytes = serializePropertyListXml(own);
    }
    if (static_cast<std::int64_t>(bytes.size()) > maximumFileSize) {
        return std::nullopt;
    }
    // What is left out stays in the file kept aside.
    values = std::move(own);
    keepAsideBeforeNextWrite(oversizedSuffix, "preferences file");
    logLine(true, "Preferences file " + m_filePath + " would grow to " + std::to_string(grownSize) +
                      " bytes written back, past its bound of " +
                      std::to_string(maximumFileSize >> 20) +
                      " MiB; it is kept whole aside and the new one holds only Berthkeep's own "
                      "preferences" +
                      (leftOut.empty() ? std::string() : " (without " + leftOut + ")"));
    return bytes;
}

void FileUserDefaults::retryFailedWrite() {
    if (m_writer.hasPending()) {
        m_lastWriteSucceeded = m_writer.retryPending().succeeded();
    }
}

void FileUserDefaults::keepAsideBeforeNextWrite(const char* suffix, const std::string& what) {
    // Told by whichever write moves it: a change, or the retry of one.
    auto moved = [this, what](const SetAsideFile::Outcome& done) {
        if (done.destination && done.linked) {
            // A second name given before the new file took its path.
            logLine(true, "Kept the " + what + " aside as " + *done.destination);
        } else if (done.destination) {
            logLine(true, "Moved the " + what + " to " + *done.destination);
        } else if (done.givenUp) {
            logLine(true, "Could not keep the " + what + " " + m_filePath +
                              " aside: every name for it is taken by something else; "
                              "it is replaced");
        } else {
            logLine(true, "The " + what + " " + m_filePath + " is gone; nothing was moved aside");
        }
    };
    m_writer.setAsideBeforeNextWrite(suffix, std::move(moved));
}

void FileUserDefaults::logLine(bool isError, const std::string& message) const {
    const UnifiedLogEntry entry{m_bundleIdentifier, "Defaults",
                                isError ? UnifiedLogType::error : UnifiedLogType::defaultType,
                                message};
    if (m_log->isEnabled(entry.subsystem, entry.category, entry.type)) {
        m_log->write(entry);
    }
}

} // namespace berthkeep
