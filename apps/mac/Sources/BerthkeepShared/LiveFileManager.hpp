#pragma once

#include "BerthkeepShared/BerthkeepFileManager.hpp"

namespace berthkeep {

// The real file system: stat(2), access(2) and getcwd(3); stateless.
class LiveFileManager final : public BerthkeepFileManager {
public:
    bool fileExistsAtPath(const std::string& path) const override;
    bool isExecutableFileAtPath(const std::string& path) const override;
    std::string currentDirectoryPath() const override;
};

} // namespace berthkeep
