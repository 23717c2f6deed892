#pragma once

#include "ActivityMonitorProcessNameCache.hpp"
#include "ActivityMonitorRequests.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace berthkeep::core {

class QuietProcessCache;

// True when path is root itself or lies below it. Both are absolute and normalised.
bool isPathUnder(std::string_view path, std::string_view root);

// A mount path in the form /proc reports paths: resolved through symbolic links
// (lexically normalised when it cannot be resolved), without a trailing slash.
// Roots handed to scanProcesses must be in this form.
std::string resolvedScanRoot(const std::string& mountPath);

// Recognises viewer applications by process: a small built-in list of Linux file
// viewers and players, plus the identities the program promotes.
class ViewerMatcher {
public:
    explicit ViewerMatcher(const std::vector<ViewerIdentity>& promoted = {});

    // processName is the kernel's short name (/proc/<pid>/comm); executablePath may be
    // empty when the link is unreadable.
    std::optional<ViewerIdentity> match(std::string_view processName,
                                        std::string_view executablePath) const;

    friend bool operator==(const ViewerMatcher&, const ViewerMatcher&) = default;

private:
    struct Entry {
        std::string key;
        ViewerIdentity identity;

        friend bool operator==(const Entry&, const Entry&) = default;
    };
    std::vector<Entry> m_promoted;
};

struct VolumeProcessUsage {
    // Processes holding at least one descriptor, mapped file or their executable on the
    // volume; each process counts once however much it holds.
    std::int64_t openFileProcesses = 0;
    // Processes whose current directory is on the volume.
    std::int64_t cwdProcesses = 0;
    // A viewer application touches the volume right now.
    bool viewerTouches = false;
};

struct ProcessScanResult {
    // One entry per root, in the order given.
    std::vector<VolumeProcessUsage> volumes;
    // Viewer applications seen touching any of the roots, one per identity.
    std::vector<ViewerIdentity> observedViewers;
};

// One pass over the processes under procRoot. Processes and entries that cannot be
// read (gone meanwhile, or another user's without privilege) are skipped, and so are
// kernel threads and zombies, after a call or two. Without a viewer matcher no viewer
// is looked for. Process names, read only to match viewers, are taken from the cache
// when one is given and kept there for the next scan. With a quiet-process cache, what a
// process held is read again only once it has run. With nothingOpened the caller vouches
// that no file under the roots was opened since the last scan: the cache then tells which
// mappings need no reading.
ProcessScanResult scanProcesses(const std::vector<std::string>& roots, const ViewerMatcher* viewers,
                                const std::string& procRoot = "/proc",
                                ProcessNameCache* names = nullptr,
                                QuietProcessCache* quiet = nullptr, bool nothingOpened = false);

} // namespace berthkeep::core
