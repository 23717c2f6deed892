#pragma once

#include <functional>

namespace berthkeep {

// The main actor is the Qt main thread and its event loop.

// True on the thread of the QCoreApplication (false when there is none).
bool isMainThread();

// Queues the work on the main event loop; it runs on a later turn of the loop,
// never inside this call, even when called on the main thread. Work still queued
// when the application object is destroyed is dropped unrun.
void postToMainThread(std::function<void()> work);

} // namespace berthkeep
