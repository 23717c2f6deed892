#pragma once

#include <string>

namespace berthkeep {

// Now, in local time, as both logs begin their lines: "yyyy-MM-dd HH:mm:ss.zzz". The
// time zone is looked up again when TZ changed or a minute passed, not for every line:
// the lookup checks the zone file on disk, most of a line's cost.
std::string logTimestamp();

} // namespace berthkeep
