#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace berthkeep::core {

// Change notifications for a few directory trees through one inotify instance. Each
// tree is watched recursively up to a fixed number of directories (breadth first, so
// the upper levels are covered first); directories created later are added while the
// budget lasts. Not thread-safe: the owner serialises every call.
class FileEventWatcher {
public:
    static constexpr std::size_t kMaxWatchesPerRoot = 1024;
    static constexpr std::size_t kMaxWatches = 4096;

    // Throws std::system_error when the kernel refuses an inotify instance.
    FileEventWatcher();
    ~FileEventWatcher();
    FileEventWatcher(const FileEventWatcher&) = delete;
    FileEventWatcher& operator=(const FileEventWatcher&) = delete;

    // The descriptor to poll for readability.
    int descriptor() const { return m_fd; }

    // Drops every watch and watches the given trees instead; roots are identified by
    // their position. Roots that do not exist are skipped.
    void watch(const std::vector<std::string>& roots);

    // Reads what is pending (never blocks) and returns the positions of the roots that
    // saw a change, each once. A queue overflow counts as a change on every root.
    std::vector<std::size_t> readChanges();

    std::size_t watchCount() const { return m_watches.size(); }

    // False when nothing under the root is watched (it was missing, or its file system
    // went away and took the watches with it).
    bool covers(std::size_t root) const {
        return root < m_watchesPerRoot.size() && m_watchesPerRoot[root] > 0;
    }

private:
    struct Watch {
        std::string path;
        std::vector<std::size_t> roots;
    };

    void addTree(std::size_t root, const std::string& path);
    bool addWatch(std::size_t root, const std::string& path);

    int m_fd = -1;
    std::unordered_map<int, Watch> m_watches;
    std::vector<std::size_t> m_watchesPerRoot;
    std::vector<unsigned long> m_rootDevices;
};

} // namespace berthkeep::core
