#include "platform/Log/UnifiedLog.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace berthkeep {

namespace {

std::mutex g_sharedMutex;
std::shared_ptr<UnifiedLog> g_shared;

// The time zone is looked up again when TZ changed or a minute passed, not for every
// line: the lookup checks the zone file on disk, most of a line's cost.
void refreshTimeZone(std::time_t now) {
    static std::mutex mutex;
    static std::time_t checkedAt = 0;
    static std::string checkedZone;
    const char* zone = std::getenv("TZ");
    const std::string currentZone = zone ? std::string("=") + zone : std::string();
    std::lock_guard lock(mutex);
    if (checkedAt == 0 || now - checkedAt >= 60 || now < checkedAt || currentZone != checkedZone) {
        tzset();
        checkedAt = now;
        checkedZone = currentZone;
    }
}

// "yyyy-MM-dd HH:mm:ss.zzz" in local time.
std::string localTimestamp() {
    const auto sinceEpoch = std::chrono::floor<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const std::time_t time = std::time_t(seconds.count());
    refreshTimeZone(time);
    std::tm local{};
    localtime_r(&time, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  int((sinceEpoch - seconds).count()));
    return text;
}

} // namespace

std::string toString(UnifiedLogType type) {
    switch (type) {
    case UnifiedLogType::debug:
        return "debug";
    case UnifiedLogType::info:
        return "info";
    case UnifiedLogType::defaultType:
        return "default";
    case UnifiedLogType::error:
        return "error";
    case UnifiedLogType::fault:
        return "fault";
    }
    return "default";
}

std::shared_ptr<UnifiedLog> UnifiedLog::shared() {
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared) {
        g_shared = std::make_shared<StandardErrorUnifiedLog>();
    }
    return g_shared;
}

void UnifiedLog::setShared(std::shared_ptr<UnifiedLog> log) {
    std::lock_guard lock(g_sharedMutex);
    g_shared = std::move(log);
}

StandardErrorUnifiedLog::StandardErrorUnifiedLog(bool debugEnabled)
    : m_debugEnabled(debugEnabled) {}

bool StandardErrorUnifiedLog::isEnabled(const std::string&, const std::string&,
                                        UnifiedLogType type) const {
    return type != UnifiedLogType::debug || m_debugEnabled;
}

std::string StandardErrorUnifiedLog::formatLine(const UnifiedLogEntry& entry) {
    return localTimestamp() + " [" + std::to_string(::getpid()) + "] <" + toString(entry.type) +
           "> [" + entry.subsystem + ":" + entry.category + "] " + entry.message;
}

void StandardErrorUnifiedLog::write(const UnifiedLogEntry& entry) {
    if (!isEnabled(entry.subsystem, entry.category, entry.type)) {
        return;
    }
    const std::string line = formatLine(entry) + "\n";
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

bool CaptureUnifiedLog::isEnabled(const std::string&, const std::string&,
                                  UnifiedLogType type) const {
    std::lock_guard lock(m_mutex);
    return m_disabled.count(type) == 0;
}

void CaptureUnifiedLog::write(const UnifiedLogEntry& entry) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back(entry);
}

std::vector<UnifiedLogEntry> CaptureUnifiedLog::entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

void CaptureUnifiedLog::clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

void CaptureUnifiedLog::setEnabled(UnifiedLogType type, bool enabled) {
    std::lock_guard lock(m_mutex);
    if (enabled) {
        m_disabled.erase(type);
    } else {
        m_disabled.insert(type);
    }
}

} // namespace berthkeep
