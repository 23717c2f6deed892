#pragma once

#include <optional>
#include <string>

namespace berthkeep {

// The user's Application Support folder: the XDG data home ($XDG_DATA_HOME, else
// ~/.local/share). Read afresh on every call; nothing is created.
class ApplicationSupport {
public:
    // Nothing when no such folder can be named (no home folder).
    static std::optional<std::string> baseDirectory();
    // <base>/<folderName>; the folder name comes from the runtime identity
    // ("Berthkeep" or "Berthkeep Test").
    static std::optional<std::string> directory(const std::string& folderName);
};

} // namespace berthkeep
