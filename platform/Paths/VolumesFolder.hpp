#pragma once

#include <string>

namespace berthkeep {

// The folder removable volumes are mounted under: "/Volumes" on a live machine,
// the mount root of the simulated machine where that stands in. Whoever asks
// whether a path is under it asks this one value, so the inventory and the
// start-up audit always agree.
class VolumesFolder {
public:
    static constexpr const char* livePath = "/Volumes";

    static VolumesFolder live() { return VolumesFolder(livePath); }

    // An absolute path; trailing slashes are dropped ("/" stays "/"). A relative
    // or empty path names no folder, and contains nothing.
    explicit VolumesFolder(std::string path);

    const std::string& path() const { return m_path; }

    // The folder itself or anything below it. Exact and case-sensitive, with no
    // normalising: "/volumes/x" and "/Volumes2" are not under "/Volumes".
    bool contains(const std::string& path) const;

    bool operator==(const VolumesFolder&) const = default;

private:
    std::string m_path;
};

} // namespace berthkeep
