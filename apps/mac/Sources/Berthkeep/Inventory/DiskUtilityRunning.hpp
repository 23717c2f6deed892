#pragma once

#include <string>
#include <vector>

namespace berthkeep {

// Runs one `diskutil` command and hands back its standard output. Throws when
// the command cannot be started, times out or exits with a non-zero status.
// Callable from several threads at once.
class DiskUtilityRunning {
public:
    virtual ~DiskUtilityRunning() = default;

    virtual std::string run(const std::vector<std::string>& arguments) const = 0;
};

} // namespace berthkeep
