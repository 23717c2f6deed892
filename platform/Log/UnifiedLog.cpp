#include "platform/Log/UnifiedLog.hpp"

#include <cstdio>
#include <unistd.h>

#include "platform/Log/LogTimestamp.hpp"

namespace berthkeep {

namespace {

std::mutex g_sharedMutex;
std::shared_ptr<UnifiedLog> g_shared;

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
    return logTimestamp() + " [" + std::to_string(::getpid()) + "] <" + toString(entry.type) +
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
