#include "platform/UrlOpening/DesktopUrlOpener.hpp"

#include <QDesktopServices>

namespace berthkeep {

bool DesktopUrlOpener::open(const QUrl& url) {
    if (!url.isValid()) {
        return false;
    }
    return QDesktopServices::openUrl(url);
}

} // namespace berthkeep
