#include "BerthkeepRustBridge/FileTargetedAssistLearningStore.hpp"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

#include <QDir>
#include <QString>

#include <nlohmann/json.hpp>

#include "Berthkeep/Domain/BoundedJson.hpp"
#include "BerthkeepShared/BerthkeepLogCategory.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "platform/Files/RegularFileReader.hpp"
#include "platform/Log/UnifiedLog.hpp"
#include "platform/Paths/ApplicationSupport.hpp"

namespace berthkeep {

namespace {

using nlohmann::json;

std::string trimmed(const std::string& text) {
    return QString::fromStdString(text).trimmed().toStdString();
}

std::string baseFolder(const std::optional<std::string>& baseDirectory) {
    if (baseDirectory) {
        return *baseDirectory;
    }
    if (auto support = ApplicationSupport::baseDirectory()) {
        return *support;
    }
    return QDir::tempPath().toStdString();
}

bool allDigits(const std::string& text, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

int number(const std::string& text, std::size_t from, std::size_t count) {
    return std::stoi(text.substr(from, count));
}

std::optional<FileTargetedAssistLearningStore::PersistedRecord> record(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    const auto identity = value.find("identity");
    const auto displayName = value.find("display_name");
    const auto hitCount = value.find("hit_count");
    const auto lastSeenAt = value.find("last_seen_at");
    if (identity == value.end() || !identity->is_string() || displayName == value.end() ||
        !displayName->is_string() || hitCount == value.end() || lastSeenAt == value.end() ||
        !lastSeenAt->is_string()) {
        return std::nullopt;
    }
    std::int64_t count = 0;
    if (hitCount->is_number_unsigned()) {
        const auto raw = hitCount->get<std::uint64_t>();
        if (raw > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        count = static_cast<std::int64_t>(raw);
    } else if (hitCount->is_number_integer()) {
        count = hitCount->get<std::int64_t>();
    } else {
        return std::nullopt;
    }
    const auto date = FileTargetedAssistLearningStore::parseDate(lastSeenAt->get<std::string>());
    if (!date) {
        return std::nullopt;
    }
    return FileTargetedAssistLearningStore::PersistedRecord{
        identity->get<std::string>(), displayName->get<std::string>(), count, *date};
}

} // namespace

const std::set<std::string> FileTargetedAssistLearningStore::builtInIdentities = {
    "preview", "tv", "quicktime player"};

FileTargetedAssistLearningStore::FileTargetedAssistLearningStore(
    std::optional<std::string> bundleIdentifier, std::optional<std::string> baseDirectory,
    NowProvider nowProvider, std::shared_ptr<UnifiedLog> log)
    : m_directoryPath(
          QDir(QString::fromStdString(baseFolder(baseDirectory)))
              .filePath(QString::fromStdString(
                  BerthkeepRuntimeIdentity::applicationSupportDirectoryName(bundleIdentifier)))
              .toStdString())
    , m_nowProvider(nowProvider ? std::move(nowProvider)
                                : NowProvider([] { return std::chrono::system_clock::now(); }))
    , m_writer(filePath())
    , m_log(log ? std::move(log) : UnifiedLog::shared()) {
    AtomicFileWriter::removeStaleTemporaries(filePath());
    std::string problem;
    m_recordsByIdentity = loadRecords(m_directoryPath, &problem);
    if (!problem.empty()) {
        logError("Cannot read what was learned from " + filePath() + " (" + problem +
                 "); starting afresh");
    }
}

std::string FileTargetedAssistLearningStore::filePath() const {
    return QDir(QString::fromStdString(m_directoryPath)).filePath(fileName).toStdString();
}

std::string FileTargetedAssistLearningStore::identityKey(const std::string& identity) {
    return QString::fromStdString(identity).trimmed().toLower().toStdString();
}

bool FileTargetedAssistLearningStore::isSkipped(const std::string& key) {
    if (builtInIdentities.count(key) != 0) {
        return true;
    }
    if (key.find("quicklook") != std::string::npos) {
        return true;
    }
    // The last non-empty component between "/" separators; the whole key without one.
    std::string last = key;
    if (key.find('/') != std::string::npos) {
        last.clear();
        std::size_t end = key.size();
        while (end > 0) {
            const auto slash = key.rfind('/', end - 1);
            const auto start = slash == std::string::npos ? 0 : slash + 1;
            if (start < end) {
                last = key.substr(start, end - start);
                break;
            }
            if (slash == std::string::npos) {
                break;
            }
            end = slash;
        }
    }
    // The key is lower-case already; the component is compared as it stands.
    return builtInIdentities.count(last) != 0;
}

void FileTargetedAssistLearningStore::recordObserved(const std::vector<Identity>& identities) {
    if (identities.empty()) {
        return;
    }
    std::lock_guard guard(m_lock);
    const auto now = m_nowProvider();
    pruneExpiredRecords(now);
    for (const auto& observed : deduplicated(identities)) {
        const auto key = identityKey(observed.identity);
        // An identity that is blank after trimming names no application.
        if (key.empty() || isSkipped(key)) {
            continue;
        }
        auto found = m_recordsByIdentity.find(key);
        PersistedRecord record = found != m_recordsByIdentity.end()
                                     ? found->second
                                     : PersistedRecord{key, observed.displayName, 0, now};
        if (record.hitCount < std::numeric_limits<std::int64_t>::max()) {
            record.hitCount += 1;
        }
        record.lastSeenAt = now;
        if (!trimmed(observed.displayName).empty()) {
            record.displayName = observed.displayName;
        }
        m_recordsByIdentity[key] = std::move(record);
    }
    saveLocked();
}

std::vector<FileTargetedAssistLearningStore::Identity>
FileTargetedAssistLearningStore::promotedIdentities() {
    std::lock_guard guard(m_lock);
    pruneExpiredRecords(m_nowProvider());
    return promotedIdentitiesLocked();
}

std::vector<FileTargetedAssistLearningStore::Identity>
FileTargetedAssistLearningStore::promotedIdentitiesLocked() const {
    std::vector<const PersistedRecord*> candidates;
    for (const auto& [key, record] : m_recordsByIdentity) {
        if (record.hitCount >= promotionHitCount) {
            candidates.push_back(&record);
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const PersistedRecord* left, const PersistedRecord* right) {
                         if (left->hitCount != right->hitCount) {
                             return left->hitCount > right->hitCount;
                         }
                         return left->lastSeenAt > right->lastSeenAt;
                     });
    if (candidates.size() > maximumPromotedCount) {
        candidates.resize(maximumPromotedCount);
    }
    std::vector<Identity> result;
    result.reserve(candidates.size());
    for (const auto* record : candidates) {
        result.push_back({record->identity, record->displayName});
    }
    return result;
}

void FileTargetedAssistLearningStore::pruneExpiredRecords(Date now) {
    // Compared against a cut-off rather than by subtracting each date from now:
    // a date near the clock's ends would overflow the difference.
    if (now < Date::min() + expiryInterval) {
        return;
    }
    const Date cutoff = now - expiryInterval;
    std::erase_if(m_recordsByIdentity,
                  [cutoff](const auto& entry) { return entry.second.lastSeenAt < cutoff; });
}

std::vector<FileTargetedAssistLearningStore::Identity>
FileTargetedAssistLearningStore::deduplicated(const std::vector<Identity>& identities) {
    std::set<std::string> seen;
    std::vector<Identity> result;
    for (const auto& identity : identities) {
        if (seen.insert(identityKey(identity.identity)).second) {
            result.push_back(identity);
        }
    }
    return result;
}

void FileTargetedAssistLearningStore::saveLocked() {
    if (!QDir().mkpath(QString::fromStdString(m_directoryPath))) {
        return;
    }
    PersistedState state;
    for (const auto& [key, record] : m_recordsByIdentity) {
        state.records.push_back(record); // the map already orders by identity
    }
    std::string text;
    try {
        text = encodeState(state);
    } catch (const std::exception&) {
        return;
    }
    const auto outcome = m_writer.write(text);
    if (outcome.needsReport()) {
        logError("Cannot save what was learned: " + *outcome.failure);
    }
}

void FileTargetedAssistLearningStore::logError(const std::string& message) const {
    const UnifiedLogEntry entry{BerthkeepRuntimeIdentity::currentBundleIdentifier(),
                                toString(BerthkeepLogCategory::reliability), UnifiedLogType::error,
                                message};
    if (m_log->isEnabled(entry.subsystem, entry.category, entry.type)) {
        m_log->write(entry);
    }
}

std::string FileTargetedAssistLearningStore::encodeState(const PersistedState& state) {
    std::vector<PersistedRecord> records = state.records;
    std::stable_sort(records.begin(), records.end(), [](const auto& left, const auto& right) {
        return left.identity < right.identity;
    });
    json array = json::array();
    for (const auto& record : records) {
        // nlohmann objects keep their keys sorted, as the file wants.
        array.push_back(json{{"identity", record.identity},
                             {"display_name", record.displayName},
                             {"hit_count", record.hitCount},
                             {"last_seen_at", formatDate(record.lastSeenAt)}});
    }
    return json{{"records", std::move(array)}}.dump(2);
}

std::optional<FileTargetedAssistLearningStore::PersistedState>
FileTargetedAssistLearningStore::decodeState(const std::string& text) {
    const auto document = parseBoundedJsonOrDiscarded(text);
    if (document.is_discarded() || !document.is_object()) {
        return std::nullopt;
    }
    const auto records = document.find("records");
    if (records == document.end() || !records->is_array()) {
        return std::nullopt;
    }
    PersistedState state;
    for (const auto& element : *records) {
        auto decoded = record(element);
        if (!decoded) {
            return std::nullopt;
        }
        state.records.push_back(std::move(*decoded));
    }
    return state;
}

std::string FileTargetedAssistLearningStore::formatDate(Date date) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(date);
    const std::time_t time = std::chrono::system_clock::to_time_t(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return buffer;
}

std::optional<FileTargetedAssistLearningStore::Date>
FileTargetedAssistLearningStore::parseDate(const std::string& text) {
    // yyyy-MM-ddTHH:mm:ss followed by Z or ±HH:MM; nothing else.
    if (text.size() != 20 && text.size() != 25) {
        return std::nullopt;
    }
    if (!allDigits(text, 0, 4) || text[4] != '-' || !allDigits(text, 5, 2) || text[7] != '-' ||
        !allDigits(text, 8, 2) || text[10] != 'T' || !allDigits(text, 11, 2) || text[13] != ':' ||
        !allDigits(text, 14, 2) || text[16] != ':' || !allDigits(text, 17, 2)) {
        return std::nullopt;
    }
    int offsetSeconds = 0;
    if (text.size() == 20) {
        if (text[19] != 'Z') {
            return std::nullopt;
        }
    } else {
        if ((text[19] != '+' && text[19] != '-') || !allDigits(text, 20, 2) || text[22] != ':' ||
            !allDigits(text, 23, 2)) {
            return std::nullopt;
        }
        const int hours = number(text, 20, 2);
        const int minutes = number(text, 23, 2);
        if (hours > 23 || minutes > 59) {
            return std::nullopt;
        }
        offsetSeconds = (hours * 3600 + minutes * 60) * (text[19] == '-' ? -1 : 1);
    }
    const int year = number(text, 0, 4);
    const int month = number(text, 5, 2);
    const int day = number(text, 8, 2);
    const int hour = number(text, 11, 2);
    const int minute = number(text, 14, 2);
    const int second = number(text, 17, 2);
    using namespace std::chrono;
    const year_month_day ymd{std::chrono::year(year),
                             std::chrono::month(static_cast<unsigned>(month)),
                             std::chrono::day(static_cast<unsigned>(day))};
    if (!ymd.ok() || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const sys_seconds date =
        sys_days(ymd) + hours(hour) + minutes(minute) + seconds(second) - seconds(offsetSeconds);
    // The clock counts nanoseconds in 64 bits (1677 to 2262): a date outside it
    // cannot be held, so it is unreadable like any other bad date.
    constexpr sys_seconds earliest = ceil<seconds>(Date::min());
    constexpr sys_seconds latest = floor<seconds>(Date::max());
    if (date < earliest || date > latest) {
        return std::nullopt;
    }
    return time_point_cast<system_clock::duration>(date);
}

std::map<std::string, FileTargetedAssistLearningStore::PersistedRecord>
FileTargetedAssistLearningStore::loadRecords(const std::string& directoryPath,
                                             std::string* problem) {
    const auto path = QDir(QString::fromStdString(directoryPath)).filePath(fileName).toStdString();
    const auto fail = [problem](std::string why) {
        if (problem) {
            *problem = std::move(why);
        }
        return std::map<std::string, PersistedRecord>{};
    };
    const auto file = RegularFileReader::read(path, maximumFileSize);
    if (file.status == RegularFileReader::Status::missing) {
        return {};
    }
    if (!file.succeeded()) {
        return fail(file.problem);
    }
    const auto state = decodeState(file.bytes);
    if (!state) {
        return fail("not a record of learned applications");
    }
    std::map<std::string, PersistedRecord> records;
    for (const auto& record : state->records) {
        records.emplace(record.identity, record); // a repeated identity keeps its first record
    }
    return records;
}

} // namespace berthkeep
