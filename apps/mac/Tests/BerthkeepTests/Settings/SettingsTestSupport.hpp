#pragma once

#include <QTemporaryDir>

#include <memory>

#include "../Store/StoreFixture.hpp"
#include "../Store/StoreTestSupport.hpp"
#include "TaskDriver.hpp"

namespace berthkeep::settingstest {

// A store without launch refreshes, so the page sees only what a test sets.
inline std::unique_ptr<BerthkeepStore> quietStore(storetest::StoreFixture& fixture) {
    fixture.performInitialAsyncInventoryRefresh = false;
    fixture.performInitialDriveUsageRefresh = false;
    auto store = fixture.make();
    test::processQueuedEvents();
    return store;
}

} // namespace berthkeep::settingstest
