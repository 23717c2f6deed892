#include "ActivityMonitorFileEvents.hpp"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <set>
#include <system_error>

namespace berthkeep::core {

namespace {

// Changes only: reads and opens are not activity that makes ejecting risky, and the
// monitor's own walks would otherwise report themselves.
constexpr std::uint32_t kChangeMask = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                      IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF |
                                      IN_MOVE_SELF;

std::string joined(const std::string& directory, const char* name) {
    return directory == "/" ? "/" + std::string(name) : directory + "/" + name;
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
    for (const auto& [descriptor, watch] : m_watches) {
        inotify_rm_watch(m_fd, descriptor);
    }
    m_watches.clear();
    m_watchesPerRoot.assign(roots.size(), 0);
    m_rootDevices.assign(roots.size(), 0);
    for (std::size_t root = 0; root < roots.size(); ++root) {
        struct stat status {};
        if (stat(roots[root].c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            continue;
        }
        m_rootDevices[root] = status.st_dev;
        addTree(root, roots[root]);
    }
}

bool FileEventWatcher::addWatch(std::size_t root, const std::string& path) {
    if (m_watches.size() >= kMaxWatches || m_watchesPerRoot[root] >= kMaxWatchesPerRoot) {
        return false;
    }
    const int descriptor =
        inotify_add_watch(m_fd, path.c_str(), kChangeMask | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK);
    if (descriptor < 0) {
        return false;
    }
    // The same directory under two roots yields the same watch.
    Watch& watch = m_watches[descriptor];
    if (watch.path.empty()) {
        watch.path = path;
    }
    if (std::find(watch.roots.begin(), watch.roots.end(), root) == watch.roots.end()) {
        watch.roots.push_back(root);
        ++m_watchesPerRoot[root];
    }
    return true;
}

void FileEventWatcher::addTree(std::size_t root, const std::string& path) {
    std::deque<std::string> pending{path};
    while (!pending.empty()) {
        const std::string directory = std::move(pending.front());
        pending.pop_front();
        if (!addWatch(root, directory)) {
            continue;
        }
        DIR* listing = opendir(directory.c_str());
        if (!listing) {
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
            const std::string child = joined(directory, entry->d_name);
            struct stat status {};
            // Another file system mounted inside is not part of this drive.
            if (lstat(child.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
                status.st_dev != m_rootDevices[root]) {
                continue;
            }
            pending.push_back(child);
        }
        closedir(listing);
        if (m_watches.size() >= kMaxWatches || m_watchesPerRoot[root] >= kMaxWatchesPerRoot) {
            break;
        }
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
                for (std::size_t root = 0; root < m_watchesPerRoot.size(); ++root) {
                    changed.insert(root);
                }
                continue;
            }
            const auto found = m_watches.find(event->wd);
            if (found == m_watches.end()) {
                continue;
            }
            if (event->mask & IN_IGNORED) {
                for (std::size_t root : found->second.roots) {
                    --m_watchesPerRoot[root];
                }
                m_watches.erase(found);
                continue;
            }
            const Watch watch = found->second;
            changed.insert(watch.roots.begin(), watch.roots.end());
            if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO)) &&
                event->len > 0) {
                for (std::size_t root : watch.roots) {
                    addTree(root, joined(watch.path, event->name));
                }
            }
        }
    }
    return {changed.begin(), changed.end()};
}

} // namespace berthkeep::core
