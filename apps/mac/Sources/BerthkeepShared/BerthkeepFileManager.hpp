#pragma once

#include <memory>
#include <string>

namespace berthkeep {

// The file tests the library and helper searches make. Paths are plain file
// system paths; a relative one is taken against the process's current directory.
class BerthkeepFileManager {
public:
    virtual ~BerthkeepFileManager() = default;

    // Anything at the path (a file, a folder, a link to one).
    virtual bool fileExistsAtPath(const std::string& path) const = 0;
    // A regular file (links followed) that this process may execute.
    virtual bool isExecutableFileAtPath(const std::string& path) const = 0;
    virtual std::string currentDirectoryPath() const = 0;

    // The live file system; stateless, shared.
    static const BerthkeepFileManager& defaultManager();
};

} // namespace berthkeep
