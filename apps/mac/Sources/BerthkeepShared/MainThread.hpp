#pragma once

#include <functional>
#include <string>

namespace berthkeep {

class BerthkeepLogger;

// The main actor is the Qt main thread and its event loop.

// True on the thread of the QCoreApplication (false when there is none).
bool isMainThread();

// For main-thread-only entry points: true on the main thread; elsewhere an
// error naming the operation goes to the log and the answer is false, so the
// caller returns without touching its state. Unlike an assertion this holds in
// every build.
bool requireMainThread(const BerthkeepLogger& logger, const std::string& operation);

// Queues the work on the main event loop; it runs on a later turn of the loop,
// never inside this call, even when called on the main thread. Work still queued
// when the application object is destroyed is dropped unrun.
void postToMainThread(std::function<void()> work);

} // namespace berthkeep
