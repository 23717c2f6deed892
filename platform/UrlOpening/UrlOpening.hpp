#pragma once

#include <QUrl>

namespace berthkeep {

// Hands links and the system settings to the desktop. Main thread only. Both
// return false when nothing could open the target, and failureReason() then
// says why in words for the user; callers that have no use for the answer
// ignore it.
class UrlOpening {
public:
    virtual ~UrlOpening() = default;

    virtual bool open(const QUrl& url) = 0;
    // The system settings page where the user grants the permissions Full
    // Monitoring needs.
    virtual bool openSystemSettings() = 0;
    // Why the last request that returned false failed.
    virtual QString failureReason() const = 0;
};

} // namespace berthkeep
