#include "BerthkeepShared/MainThread.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QtGlobal>

#include "BerthkeepShared/BerthkeepLogger.hpp"

namespace berthkeep {

bool isMainThread() {
    const auto* application = QCoreApplication::instance();
    return application != nullptr && QThread::currentThread() == application->thread();
}

bool requireMainThread(const BerthkeepLogger& logger, const std::string& operation) {
    if (isMainThread()) {
        return true;
    }
    logger.error(BerthkeepLogCategory::state, "main_thread.violation",
                 operation + " was called off the main thread; the call is ignored",
                 {{"operation", operation}});
    return false;
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
