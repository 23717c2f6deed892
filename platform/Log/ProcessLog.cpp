#include "platform/Log/ProcessLog.hpp"

#include <cstdio>
#include <cstring>
#include <errno.h>
#include <unistd.h>

#include "platform/Log/LogTimestamp.hpp"

namespace berthkeep {

namespace {

std::mutex g_sharedMutex;
std::shared_ptr<ProcessLog> g_shared;

} // namespace

std::shared_ptr<ProcessLog> ProcessLog::shared() {
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared) {
        g_shared = std::make_shared<StandardErrorProcessLog>();
    }
    return g_shared;
}

void ProcessLog::setShared(std::shared_ptr<ProcessLog> log) {
    std::lock_guard lock(g_sharedMutex);
    g_shared = std::move(log);
}

std::string StandardErrorProcessLog::prefix() {
    const char* name = program_invocation_short_name;
    return logTimestamp() + " " + (name ? name : "") + "[" + std::to_string(::getpid()) + "] ";
}

void StandardErrorProcessLog::write(const std::string& line) {
    const std::string text = prefix() + line + "\n";
    std::lock_guard lock(m_mutex);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void CaptureProcessLog::write(const std::string& line) {
    std::lock_guard lock(m_mutex);
    m_lines.push_back(line);
}

std::vector<std::string> CaptureProcessLog::lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

void CaptureProcessLog::clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

} // namespace berthkeep
