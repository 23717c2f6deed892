#include "platform/Defaults/UserDefaults.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cctype>
#include <charconv>
#include <cmath>

#include "platform/Bundle/AppBundle.hpp"
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
            return;
        }
        m_values.insert_or_assign(key, std::move(value));
        persist(m_values);
    }
    emit valueChanged(QString::fromStdString(key));
}

void UserDefaults::removeObject(const std::string& key) {
    {
        std::lock_guard lock(m_mutex);
        if (m_values.erase(key) == 0) {
            return;
        }
        persist(m_values);
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
    , m_writer(m_filePath)
    , m_log(log ? std::move(log) : UnifiedLog::shared()) {
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
    QFile file(QString::fromStdString(m_filePath));
    if (!file.exists()) {
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_preserveUnreadableFile = true;
        logLine(true,
                "Cannot open preferences file " + m_filePath + "; starting with empty preferences");
        return;
    }
    std::string problem;
    // Read one byte past the bound, whatever size the file claims.
    const QByteArray bytes = file.read(maximumFileSize + 1);
    if (bytes.size() > maximumFileSize) {
        // Parsed, such a file takes some twenty times its size in memory, and
        // every change would rewrite it whole.
        problem = "larger than " + std::to_string(maximumFileSize >> 20) + " MiB";
    } else {
        try {
            auto parsed = decodePropertyList(bytes.toStdString());
            if (const auto* dictionary = parsed.dictionary()) {
                m_values = *dictionary;
                return;
            }
            problem = "property list is not a dictionary";
        } catch (const PropertyListError& error) {
            problem = error.what();
        }
    }
    m_preserveUnreadableFile = true;
    logLine(true, "Preferences file " + m_filePath + " is unreadable (" + problem +
                      "); starting with empty preferences");
}

void FileUserDefaults::persist(const PropertyListValue::Dictionary& values) {
    const QString path = QString::fromStdString(m_filePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (m_preserveUnreadableFile) {
        const QString aside = path + QStringLiteral(".unreadable");
        QFile::remove(aside);
        if (QFile::exists(path) && !QFile::rename(path, aside)) {
            logLine(true, "Cannot move the unreadable preferences file " + m_filePath +
                              " aside; leaving it untouched");
            m_lastWriteSucceeded = false;
            return;
        }
        logLine(true, "Moved the unreadable preferences file to " + aside.toStdString());
        m_preserveUnreadableFile = false;
    }
    const auto outcome = m_writer.write(serializePropertyListXml(values));
    if (outcome.needsReport()) {
        logLine(true, "Cannot write preferences file: " + *outcome.failure);
    }
    m_lastWriteSucceeded = outcome.succeeded();
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
