#include "platform/UrlOpening/DesktopUrlOpener.hpp"

#include <QDesktopServices>
#include <QFileInfo>

namespace berthkeep {

bool DesktopUrlOpener::open(const QUrl& url) {
    m_failureReason.clear();
    if (!url.isValid()) {
        m_failureReason = QStringLiteral("The address is not valid.");
        return false;
    }
    // The desktop's opener starts and fails on its own, later and unseen; a
    // missing file is known now.
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        m_failureReason = QStringLiteral("%1 is not on this computer.").arg(url.toLocalFile());
        return false;
    }
    if (!QDesktopServices::openUrl(url)) {
        m_failureReason = QStringLiteral("No program on this computer could open it.");
        return false;
    }
    return true;
}

} // namespace berthkeep
