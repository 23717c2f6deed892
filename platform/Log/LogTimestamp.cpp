#include "platform/Log/LogTimestamp.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace berthkeep {

namespace {

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

} // namespace

std::string logTimestamp() {
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

} // namespace berthkeep
