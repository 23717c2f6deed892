#include "ActivityMonitorProcessScan.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

namespace berthkeep::core {

namespace {

struct BuiltInViewer {
    std::string_view processName;
    std::string_view displayName;
};

// Image and document viewers and media players that read a file and may let it go
// again quickly; process names as the kernel shows them (at most 15 characters).
constexpr std::array<BuiltInViewer, 30> kBuiltInViewers{{
    {"eog", "Eye of GNOME"},
    {"loupe", "Image Viewer"},
    {"eom", "Eye of MATE"},
    {"ristretto", "Ristretto"},
    {"gwenview", "Gwenview"},
    {"gthumb", "gThumb"},
    {"shotwell", "Shotwell"},
    {"feh", "feh"},
    {"sxiv", "sxiv"},
    {"nsxiv", "nsxiv"},
    {"xviewer", "Xviewer"},
    {"evince", "Document Viewer"},
    {"papers", "Papers"},
    {"okular", "Okular"},
    {"atril", "Atril"},
    {"xreader", "Xreader"},
    {"zathura", "zathura"},
    {"mupdf", "MuPDF"},
    {"qpdfview", "qpdfview"},
    {"sushi", "Sushi"},
    {"totem", "Videos"},
    {"showtime", "Showtime"},
    {"vlc", "VLC"},
    {"mpv", "mpv"},
    {"celluloid", "Celluloid"},
    {"smplayer", "SMPlayer"},
    {"mplayer", "MPlayer"},
    {"parole", "Parole"},
    {"haruna", "Haruna"},
    {"ffplay", "ffplay"},
}};

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return result;
}

std::string trimmed(std::string_view text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string readLinkAt(int directory, const char* name) {
    std::array<char, 4096> buffer;
    const ssize_t length = readlinkat(directory, name, buffer.data(), buffer.size());
    if (length <= 0 || std::size_t(length) >= buffer.size()) {
        return {};
    }
    std::string target(buffer.data(), std::size_t(length));
    // A deleted file that is still open keeps its file system busy all the same.
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.size() > kDeleted.size() &&
        std::string_view(target).substr(target.size() - kDeleted.size()) == kDeleted) {
        target.resize(target.size() - kDeleted.size());
    }
    return target;
}

std::string readSmallFileAt(int directory, const char* name, std::size_t limit) {
    const int fd = openat(directory, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string content;
    std::array<char, 4096> buffer;
    while (content.size() < limit) {
        const ssize_t length = read(fd, buffer.data(), buffer.size());
        if (length <= 0) {
            break;
        }
        content.append(buffer.data(), std::size_t(length));
    }
    close(fd);
    return content;
}

bool isProcessDirectory(const char* name) {
    if (!*name) {
        return false;
    }
    for (const char* c = name; *c; ++c) {
        if (!std::isdigit(static_cast<unsigned char>(*c))) {
            return false;
        }
    }
    return true;
}

// Marks every root the path lies under.
void markRoots(std::string_view path, const std::vector<std::string>& roots,
               std::vector<bool>& marks) {
    if (path.empty() || path.front() != '/') {
        return;
    }
    for (std::size_t index = 0; index < roots.size(); ++index) {
        if (!marks[index] && isPathUnder(path, roots[index])) {
            marks[index] = true;
        }
    }
}

// Files a viewer has mapped or was started with: it may have closed the descriptor
// already while it still shows the file.
void markViewerPaths(int processDirectory, const std::vector<std::string>& roots,
                     std::vector<bool>& marks) {
    constexpr std::size_t kReadLimit = 1 << 20;
    const std::string maps = readSmallFileAt(processDirectory, "maps", kReadLimit);
    std::size_t start = 0;
    while (start < maps.size()) {
        std::size_t end = maps.find('\n', start);
        if (end == std::string::npos) {
            end = maps.size();
        }
        const std::string_view line(maps.data() + start, end - start);
        const auto slash = line.find('/');
        if (slash != std::string_view::npos) {
            std::string path(line.substr(slash));
            constexpr std::string_view kDeleted = " (deleted)";
            if (path.size() > kDeleted.size() &&
                std::string_view(path).substr(path.size() - kDeleted.size()) == kDeleted) {
                path.resize(path.size() - kDeleted.size());
            }
            markRoots(path, roots, marks);
        }
        start = end + 1;
    }

    const std::string arguments = readSmallFileAt(processDirectory, "cmdline", kReadLimit);
    std::size_t argument = 0;
    while (argument < arguments.size()) {
        std::size_t end = arguments.find('\0', argument);
        if (end == std::string::npos) {
            end = arguments.size();
        }
        std::string_view value(arguments.data() + argument, end - argument);
        // "file:///path" arguments are common for desktop launches.
        constexpr std::string_view kFileScheme = "file://";
        if (value.substr(0, kFileScheme.size()) == kFileScheme) {
            value.remove_prefix(kFileScheme.size());
        }
        markRoots(value, roots, marks);
        argument = end + 1;
    }
}

} // namespace

bool isPathUnder(std::string_view path, std::string_view root) {
    if (root == "/") {
        return !path.empty() && path.front() == '/';
    }
    if (path.size() < root.size() || path.substr(0, root.size()) != root) {
        return false;
    }
    return path.size() == root.size() || path[root.size()] == '/';
}

ViewerMatcher::ViewerMatcher(const std::vector<ViewerIdentity>& promoted) {
    for (const ViewerIdentity& identity : promoted) {
        std::string key = lowered(trimmed(identity.identity));
        if (!key.empty()) {
            m_promoted.push_back({std::move(key), identity});
        }
    }
}

std::optional<ViewerIdentity> ViewerMatcher::match(std::string_view processName,
                                                   std::string_view executablePath) const {
    const std::string name = lowered(processName);
    const std::string executable = lowered(executablePath);
    const std::string executableName(lastComponent(executable));
    for (const BuiltInViewer& viewer : kBuiltInViewers) {
        if (name == viewer.processName || executableName == viewer.processName) {
            return ViewerIdentity{std::string(viewer.processName), std::string(viewer.displayName)};
        }
    }
    // Promoted identities may be a process name, an executable path or a path whose
    // last part names the program.
    for (const Entry& entry : m_promoted) {
        const std::string_view keyName = lastComponent(entry.key);
        if (entry.key == name || (!executable.empty() && entry.key == executable) ||
            (!executableName.empty() && keyName == executableName) || keyName == name) {
            return entry.identity;
        }
    }
    return std::nullopt;
}

ProcessScanResult scanProcesses(const std::vector<std::string>& roots,
                                const ViewerMatcher* viewers, const std::string& procRoot) {
    ProcessScanResult result;
    result.volumes.resize(roots.size());
    if (roots.empty()) {
        return result;
    }
    DIR* proc = opendir(procRoot.c_str());
    if (!proc) {
        return result;
    }
    std::set<std::string> seenIdentities;
    while (const dirent* entry = readdir(proc)) {
        if (!isProcessDirectory(entry->d_name)) {
            continue;
        }
        const int processDirectory =
            openat(dirfd(proc), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (processDirectory < 0) {
            continue;
        }
        std::vector<bool> cwdMarks(roots.size(), false);
        std::vector<bool> openMarks(roots.size(), false);
        markRoots(readLinkAt(processDirectory, "cwd"), roots, cwdMarks);
        const std::string executable = readLinkAt(processDirectory, "exe");
        markRoots(executable, roots, openMarks);

        const int fdDirectory = openat(processDirectory, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdDirectory >= 0) {
            if (DIR* descriptors = fdopendir(fdDirectory)) {
                while (const dirent* descriptor = readdir(descriptors)) {
                    if (descriptor->d_name[0] == '.') {
                        continue;
                    }
                    markRoots(readLinkAt(fdDirectory, descriptor->d_name), roots, openMarks);
                }
                closedir(descriptors);
            } else {
                close(fdDirectory);
            }
        }

        if (viewers) {
            std::string name = readSmallFileAt(processDirectory, "comm", 64);
            while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) {
                name.pop_back();
            }
            if (const auto identity = viewers->match(name, executable)) {
                std::vector<bool> viewerMarks(roots.size(), false);
                for (std::size_t index = 0; index < roots.size(); ++index) {
                    viewerMarks[index] = cwdMarks[index] || openMarks[index];
                }
                markViewerPaths(processDirectory, roots, viewerMarks);
                bool touches = false;
                for (std::size_t index = 0; index < roots.size(); ++index) {
                    if (viewerMarks[index]) {
                        result.volumes[index].viewerTouches = true;
                        touches = true;
                    }
                }
                if (touches && seenIdentities.insert(identity->identity).second) {
                    result.observedViewers.push_back(*identity);
                }
            }
        }
        close(processDirectory);

        for (std::size_t index = 0; index < roots.size(); ++index) {
            result.volumes[index].cwdProcesses += cwdMarks[index] ? 1 : 0;
            result.volumes[index].openFileProcesses += openMarks[index] ? 1 : 0;
        }
    }
    closedir(proc);
    return result;
}

} // namespace berthkeep::core
