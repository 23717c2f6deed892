#pragma once

#include <QUrl>

#include "platform/UrlOpening/UrlOpening.hpp"

namespace berthkeep {

// The live opener over QDesktopServices. Where the system settings live differs
// between desktops, so the caller says which URL stands for them.
class DesktopUrlOpener final : public UrlOpening {
public:
    explicit DesktopUrlOpener(QUrl systemSettingsURL)
        : m_systemSettingsURL(std::move(systemSettingsURL)) {}

    bool open(const QUrl& url) override;
    bool openSystemSettings() override { return open(m_systemSettingsURL); }
    QString failureReason() const override { return m_failureReason; }

    const QUrl& systemSettingsURL() const { return m_systemSettingsURL; }

private:
    QUrl m_systemSettingsURL;
    QString m_failureReason;
};

} // namespace berthkeep
