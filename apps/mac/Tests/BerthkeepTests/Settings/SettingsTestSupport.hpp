#pragma once

#include <QTemporaryDir>

#include <memory>

#include "../Store/StoreFixture.hpp"
#include "../Store/StoreTestSupport.hpp"
#include "TaskDriver.hpp"

namespace berthkeep::settingstest {

// A store without launch refreshes, so the page sees only what a test sets.
inline std::unique_ptr<BerthkeepStore> quietStore(storetest::StoreFixture& fixture) {
    return fixture.makeQuiet();
}

} // namespace berthkeep::settingstest
