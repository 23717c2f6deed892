#include "BerthkeepShared/MainThread.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QtGlobal>

namespace berthkeep {

bool isMainThread() {
    const auto* application = QCoreApplication::instance();
    return application != nullptr && QThread::currentThread() == application->thread();
}

void postToMainThread(std::function<void()> work) {
    auto* application = QCoreApplication::instance();
    if (application == nullptr) {
        qWarning("postToMainThread: no application object; the work is dropped");
        return;
    }
    QMetaObject::invokeMethod(application, std::move(work), Qt::QueuedConnection);
}

} // namespace berthkeep
