#include "ActivityMonitorFileEvents.hpp"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <set>
#include <system_error>

namespace berthkeep::core {

namespace {

constexpr std::uint32_t kChangeMask = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                      IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF |
                                      IN_MOVE_SELF;
// Opens are no change: reading is not activity that makes ejecting risky, and the
// monitor's own walks would report themselves. They only tell that a file on the drive
// may be held or mapped now.
constexpr std::uint32_t kWatchMask = kChangeMask | IN_OPEN;

std::string joined(const std::string& directory, const char* name) {
    std::string path = directory;
    if (path != "/") {
        path += '/';
    }
    return path += name;
}

} // namespace

FileEventWatcher::FileEventWatcher() {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        throw std::system_error(errno, std::generic_category(), "inotify");
    }
}

FileEventWatcher::~FileEventWatcher() {
    close(m_fd);
}

void FileEventWatcher::watch(const std::vector<std::string>& roots) {
    keepTrees(roots);
    for (std::size_t root = 0; root < m_trees.size(); ++root) {
        Tree& tree = m_trees[root];
        struct stat status {};
        if (stat(tree.path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            if (tree.device != 0) {
                dropWatchesOf(root);
                tree.device = 0;
                tree.inode = 0;
            }
            continue;
        }
        // Another directory (or file system) now at the same path, or the old one went
        // away and took every watch with it: start over.
        const bool replaced = status.st_dev != tree.device || status.st_ino != tree.inode;
        const bool listDone = tree.unwatched.empty();
        if (replaced || (listDone && (tree.watches == 0 || tree.overflowed))) {
            dropWatchesOf(root);
            tree.device = status.st_dev;
            tree.inode = status.st_ino;
            tree.unwatched.assign(1, tree.path);
            advance(tree);
        }
        walk(root);
    }
}

void FileEventWatcher::keepTrees(const std::vector<std::string>& roots) {
    const bool unchanged =
        roots.size() == m_trees.size() &&
        std::equal(roots.begin(), roots.end(), m_trees.begin(),
                   [](const std::string& root, const Tree& tree) { return root == tree.path; });
    if (unchanged) {
        return;
    }
    std::vector<std::size_t> moves(m_trees.size(), kGone);
    std::vector<Tree> trees(roots.size());
    for (std::size_t root = 0; root < roots.size(); ++root) {
        trees[root].path = roots[root];
        advance(trees[root]);
        for (std::size_t old = 0; old < m_trees.size(); ++old) {
            if (moves[old] == kGone && m_trees[old].path == roots[root]) {
                moves[old] = root;
                trees[root] = std::move(m_trees[old]);
                break;
            }
        }
    }
    moveOwners(moves);
    m_trees = std::move(trees);
}

void FileEventWatcher::dropWatchesOf(std::size_t root) {
    Tree& tree = m_trees[root];
    // Walks every watch: only when there is something to let go.
    if (tree.watches > 0) {
        std::vector<std::size_t> moves(m_trees.size());
        for (std::size_t index = 0; index < moves.size(); ++index) {
            moves[index] = index == root ? kGone : index;
        }
        moveOwners(moves);
    }
    tree.watches = 0;
    tree.unwatched.clear();
    tree.overflowed = false;
    tree.blind = false;
    advance(tree);
}

void FileEventWatcher::moveOwners(const std::vector<std::size_t>& moves) {
    for (auto watch = m_watches.begin(); watch != m_watches.end();) {
        std::vector<std::size_t>& owners = watch->second.roots;
        for (std::size_t& owner : owners) {
            owner = moves[owner];
        }
        owners.erase(std::remove(owners.begin(), owners.end(), kGone), owners.end());
        if (owners.empty()) {
            inotify_rm_watch(m_fd, watch->first);
            watch = m_watches.erase(watch);
        } else {
            ++watch;
        }
    }
}

FileEventWatcher::Placement FileEventWatcher::addWatch(std::size_t root, const std::string& path) {
    Tree& tree = m_trees[root];
    if (m_watches.size() >= kMaxWatches || tree.watches >= kMaxWatchesPerRoot) {
        return Placement::noRoom;
    }
    const int descriptor = inotify_add_watch(
        m_fd, path.c_str(), kWatchMask | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK);
    if (descriptor < 0) {
        // The kernel's own limit: later, when watches were let go, it may work.
        if (errno == ENOSPC || errno == ENOMEM) {
            return Placement::noRoom;
        }
        tree.blind = true;
        return Placement::unusable;
    }
    // The same directory under two roots yields the same watch.
    Watch& watch = m_watches[descriptor];
    if (watch.path.empty()) {
        watch.path = path;
    }
    if (std::find(watch.roots.begin(), watch.roots.end(), root) != watch.roots.end()) {
        return Placement::alreadyWatched;
    }
    watch.roots.push_back(root);
    ++tree.watches;
    return Placement::placed;
}

void FileEventWatcher::queue(Tree& tree, std::string directory) {
    // Bounds the memory a tree with a huge number of folders (or a burst of new ones
    // while the budget is spent) may take.
    constexpr std::size_t kMaxUnwatched = 16 * kMaxWatchesPerRoot;
    if (tree.unwatched.size() >= kMaxUnwatched) {
        tree.overflowed = true;
        return;
    }
    tree.unwatched.push_back(std::move(directory));
}

void FileEventWatcher::walk(std::size_t root) {
    Tree& tree = m_trees[root];
    while (!tree.unwatched.empty()) {
        const Placement placement = addWatch(root, tree.unwatched.front());
        if (placement == Placement::noRoom) {
            // First in line at the next try.
            return;
        }
        const std::string directory = std::move(tree.unwatched.front());
        tree.unwatched.pop_front();
        if (placement != Placement::placed) {
            continue;
        }
        DIR* listing = opendir(directory.c_str());
        if (!listing) {
            tree.blind = true;
            continue;
        }
        while (const dirent* entry = readdir(listing)) {
            const std::string_view name(entry->d_name);
            if (name == "." || name == "..") {
                continue;
            }
            if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN) {
                continue;
            }
            std::string child = joined(directory, entry->d_name);
            struct stat status {};
            if (lstat(child.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
                continue;
            }
            // Another file system mounted inside is not part of this drive, though its
            // files lie under the drive's path.
            if (status.st_dev != tree.device) {
                tree.blind = true;
                continue;
            }
            queue(tree, std::move(child));
        }
        closedir(listing);
    }
}

std::vector<std::size_t> FileEventWatcher::readChanges() {
    std::set<std::size_t> changed;
    alignas(inotify_event) std::array<char, 16384> buffer;
    for (;;) {
        const ssize_t length = read(m_fd, buffer.data(), buffer.size());
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                for (std::size_t root = 0; root < m_trees.size(); ++root) {
                    changed.insert(root);
                    advance(m_trees[root]);
                }
                continue;
            }
            const auto found = m_watches.find(event->wd);
            // A folder opened gives no descriptor a file can be mapped through (the files
            // opened by way of it show as opens of their own), and folders are opened all
            // the time: by listings, indexers, this monitor's own walks.
            if (found == m_watches.end() || event->mask == (IN_OPEN | IN_ISDIR)) {
                continue;
            }
            for (std::size_t root : found->second.roots) {
                advance(m_trees[root]);
            }
            if (event->mask & IN_IGNORED) {
                for (std::size_t root : found->second.roots) {
                    --m_trees[root].watches;
                }
                m_watches.erase(found);
                continue;
            }
            // A folder's own removal or move shows in its parent's events too; only the
            // drive's folder has no watched parent, and it goes away with the unmount
            // itself: nothing another process did on the drive.
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                continue;
            }
            if ((event->mask & ~IN_ISDIR) == IN_OPEN) {
                continue;
            }
            const Watch watch = found->second;
            changed.insert(watch.roots.begin(), watch.roots.end());
            if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO)) &&
                event->len > 0) {
                for (std::size_t root : watch.roots) {
                    queue(m_trees[root], joined(watch.path, event->name));
                    walk(root);
                }
            }
        }
    }
    return {changed.begin(), changed.end()};
}

} // namespace berthkeep::core
