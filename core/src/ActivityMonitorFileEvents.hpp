#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace berthkeep::core {

// Change notifications for a few directory trees through one inotify instance. Each
// tree is watched recursively up to a fixed number of directories (breadth first, so
// the upper levels are covered first); directories created later are added while the
// budget lasts. A tree that could not be watched whole keeps the directories it found
// but could not watch, and gets them when room comes back. Not thread-safe: the owner
// serialises every call.
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

    // Watches the given trees, identified by their position, changing only what
    // differs: a tree still at the same place on the same file system keeps its
    // watches, a tree no longer listed loses them, a new one (or one that appeared,
    // or was mounted over) is walked. A tree only partly watched gets one try for what
    // it misses, which costs nothing while the budget is spent. Missing roots are
    // skipped until they exist.
    void watch(const std::vector<std::string>& roots);

    // Reads what is pending (never blocks) and returns the positions of the roots that
    // saw a change, each once. A queue overflow counts as a change on every root. Opens
    // are no change, but a file's opening and every other event move the root's
    // generation.
    std::vector<std::size_t> readChanges();

    // Moves with every event read for the root but a folder's opening, file opens
    // included, and whenever its watches start over; never the same for two trees. Equal
    // values at two moments mean, for a tree that sees every open, that no file under it
    // was opened in between (once the events up to the second moment are read).
    std::uint64_t generation(std::size_t root) const {
        return root < m_trees.size() ? m_trees[root].generation : 0;
    }

    // True when an open of any file under the root reaches this watcher: every folder of
    // the tree is watched, none was unreadable and no other file system is mounted inside.
    bool seesEveryOpen(std::size_t root) const {
        return root < m_trees.size() && m_trees[root].device != 0 && m_trees[root].watches > 0 &&
               !isPartial(root) && !m_trees[root].blind;
    }

    std::size_t watchCount() const { return m_watches.size(); }
    std::size_t watchCount(std::size_t root) const {
        return root < m_trees.size() ? m_trees[root].watches : 0;
    }

    // True when the root exists and some of the directories found under it are not
    // watched: the budget or the kernel's limit ran out.
    bool isPartial(std::size_t root) const {
        return root < m_trees.size() &&
               (!m_trees[root].unwatched.empty() || m_trees[root].overflowed);
    }

private:
    struct Watch {
        std::string path;
        std::vector<std::size_t> roots;
    };

    struct Tree {
        std::string path;
        // Zero until the root has been found as a directory.
        dev_t device = 0;
        ino_t inode = 0;
        std::size_t watches = 0;
        // Directories found but not watched yet, in walking order.
        std::deque<std::string> unwatched;
        // More were found than the list keeps: the tree is walked afresh once the
        // list is done.
        bool overflowed = false;
        // Some folder could not be watched or listed, or holds another file system.
        bool blind = false;
        std::uint64_t generation = 0;
    };

    enum class Placement { placed, alreadyWatched, noRoom, unusable };

    // A root position in moves that no longer exists.
    static constexpr std::size_t kGone = SIZE_MAX;

    void keepTrees(const std::vector<std::string>& roots);
    void dropWatchesOf(std::size_t root);
    // Gives each watch's roots their new positions (moves[old]); a watch left with no
    // root is removed.
    void moveOwners(const std::vector<std::size_t>& moves);
    void walk(std::size_t root);
    void advance(Tree& tree) { tree.generation = ++m_generations; }
    static void queue(Tree& tree, std::string directory);
    Placement addWatch(std::size_t root, const std::string& path);

    int m_fd = -1;
    std::unordered_map<int, Watch> m_watches;
    std::vector<Tree> m_trees;
    std::uint64_t m_generations = 0;
};

} // namespace berthkeep::core
