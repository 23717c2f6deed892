#pragma once

#include <QUrl>

#include <variant>
#include <vector>

#include "platform/UrlOpening/UrlOpening.hpp"

namespace berthkeep {

// An opener for tests and the harness: opens nothing, records every request in
// order, and answers with the scripted result.
class RecordingUrlOpener final : public UrlOpening {
public:
    struct SystemSettings {
        bool operator==(const SystemSettings&) const = default;
    };
    using Request = std::variant<QUrl, SystemSettings>;

    bool open(const QUrl& url) override {
        m_requests.emplace_back(url);
        return m_succeeds;
    }
    bool openSystemSettings() override {
        m_requests.emplace_back(SystemSettings{});
        return m_succeeds;
    }

    QString failureReason() const override { return m_failureReason; }

    const std::vector<Request>& requests() const { return m_requests; }
    void setSucceeds(bool succeeds, QString failureReason = {}) {
        m_succeeds = succeeds;
        m_failureReason = std::move(failureReason);
    }

private:
    std::vector<Request> m_requests;
    bool m_succeeds = true;
    QString m_failureReason;
};

} // namespace berthkeep
