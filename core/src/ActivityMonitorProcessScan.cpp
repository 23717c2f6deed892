#include "ActivityMonitorProcessScan.hpp"

#include "ActivityMonitorQuietProcessCache.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <unordered_map>

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
    const auto isSpace = [](unsigned char c) {
        return std::isspace(c) != 0;
    };
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

constexpr std::string_view kDeleted = " (deleted)";

// A file deleted while open (or mapped) keeps its file system busy all the same.
std::string_view withoutDeletedMark(std::string_view path) {
    if (path.size() > kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted) {
        path.remove_suffix(kDeleted.size());
    }
    return path;
}

// The kernel's query of one mapping through an open /proc/<pid>/maps (Linux 6.11): the
// file-backed mappings without the text lines of all of them.
struct MappingQuery {
    std::uint64_t size = sizeof(MappingQuery);
    std::uint64_t queryFlags = 0;
    std::uint64_t queryAddress = 0;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t flags = 0;
    std::uint64_t pageSize = 0;
    std::uint64_t offset = 0;
    std::uint64_t inode = 0;
    std::uint32_t deviceMajor = 0;
    std::uint32_t deviceMinor = 0;
    std::uint32_t nameSize = 0;
    std::uint32_t buildIdSize = 0;
    std::uint64_t nameAddress = 0;
    std::uint64_t buildIdAddress = 0;
};
constexpr unsigned long kQueryMapping = _IOWR('f', 17, MappingQuery);
constexpr std::uint64_t kCoveringOrNextMapping = 0x10;
constexpr std::uint64_t kFileBackedMapping = 0x20;

struct MappedFile {
    dev_t device = 0;
    std::uint64_t inode = 0;

    friend bool operator==(const MappedFile&, const MappedFile&) = default;
};

struct MappedFileHash {
    std::size_t operator()(const MappedFile& file) const {
        return std::hash<std::uint64_t>()(file.inode) ^ (std::hash<dev_t>()(file.device) << 1);
    }
};

// What one read of the open entry gives, the entry closed; empty when there is nothing.
template <std::size_t Size> std::string_view readOnce(int fd, std::array<char, Size>& buffer) {
    if (fd < 0) {
        return {};
    }
    const ssize_t length = ::read(fd, buffer.data(), buffer.size());
    close(fd);
    return length > 0 ? std::string_view(buffer.data(), std::size_t(length)) : std::string_view();
}

// The leading numbers of text, separated by spaces, into fields in their order.
bool readNumbers(std::string_view text, std::initializer_list<std::uint64_t*> fields) {
    const char* position = text.data();
    const char* const end = text.data() + text.size();
    for (std::uint64_t* field : fields) {
        while (position < end && *position == ' ') {
            ++position;
        }
        const auto [next, error] = std::from_chars(position, end, *field);
        if (error != std::errc()) {
            return false;
        }
        position = next;
    }
    return true;
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

// The kernel's pid counter and task count, when procRoot is this process's own /proc or
// a stand-in for one (which may leave it out).
std::optional<QuietProcessCache::TaskCount> readTaskCount(int proc, bool real) {
    if (real) {
        // The counter is of this process's pid namespace; /proc may show another one.
        static const bool ownNamespace = [proc] {
            std::array<char, 32> link{};
            const ssize_t length = readlinkat(proc, "self", link.data(), link.size() - 1);
            return length > 0 &&
                   std::string_view(link.data(), std::size_t(length)) == std::to_string(getpid());
        }();
        if (!ownNamespace) {
            return std::nullopt;
        }
    }
    // "load1 load5 load15 running/tasks lastPid"
    std::array<char, 128> buffer;
    const std::string_view text = readOnce(openat(proc, "loadavg", O_RDONLY | O_CLOEXEC), buffer);
    const auto slash = text.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    QuietProcessCache::TaskCount count;
    const char* const end = text.data() + text.size();
    const auto tasks = std::from_chars(text.data() + slash + 1, end, count.tasks);
    if (tasks.ec != std::errc() || tasks.ptr == end || *tasks.ptr != ' ') {
        return std::nullopt;
    }
    const auto lastPid = std::from_chars(tasks.ptr + 1, end, count.lastPid);
    if (lastPid.ec != std::errc()) {
        return std::nullopt;
    }
    return count;
}

// Marks on which roots one process holds something, with a count so "every root is
// marked already" is one comparison.
class RootMarks {
public:
    explicit RootMarks(std::size_t size)
        : m_marks(size, false) {}

    void clear() {
        std::fill(m_marks.begin(), m_marks.end(), false);
        m_count = 0;
    }
    bool all() const { return m_count == m_marks.size(); }
    bool none() const { return m_count == 0; }
    bool operator[](std::size_t index) const { return m_marks[index]; }

    // Marks every root the path lies under; true once every root is marked.
    bool mark(std::string_view path, const std::vector<std::string>& roots) {
        if (path.empty() || path.front() != '/') {
            return all();
        }
        for (std::size_t index = 0; index < roots.size(); ++index) {
            if (!m_marks[index] && isPathUnder(path, roots[index])) {
                m_marks[index] = true;
                ++m_count;
            }
        }
        return all();
    }

    const std::vector<bool>& marks() const { return m_marks; }
    void assign(const std::vector<bool>& marks) {
        m_marks = marks;
        m_count = std::size_t(std::count(m_marks.begin(), m_marks.end(), true));
    }

    void add(const RootMarks& other) {
        for (std::size_t index = 0; index < m_marks.size(); ++index) {
            if (other.m_marks[index] && !m_marks[index]) {
                m_marks[index] = true;
                ++m_count;
            }
        }
    }

private:
    std::vector<bool> m_marks;
    std::size_t m_count = 0;
};

// The longest entry of a process read: "task/<thread>/schedstat".
constexpr std::size_t kLongestEntry = 32;

// "<pid>/<entry>" relative to the /proc directory, the pid written once per process.
class EntryPath {
public:
    // pid is a directory entry's name, so at most NAME_MAX long.
    void setProcess(std::string_view pid) {
        std::memcpy(m_path.data(), pid.data(), pid.size());
        m_path[pid.size()] = '/';
        m_prefix = pid.size() + 1;
    }

    // Entries are the short fixed names below.
    const char* entry(std::string_view name) {
        std::memcpy(m_path.data() + m_prefix, name.data(), name.size());
        m_path[m_prefix + name.size()] = '\0';
        return m_path.data();
    }

private:
    std::array<char, NAME_MAX + 1 + kLongestEntry + 1> m_path{};
    std::size_t m_prefix = 0;
};

// Reads one process after another through buffers kept for the whole scan. Each /proc
// entry of a process is read at most once, and reading stops as soon as the process is
// known to hold every root: counting is per process, so more of it changes nothing.
class ProcessReader {
public:
    ProcessReader(int procDirectory, const std::vector<std::string>& roots, ProcessNameCache* names,
                  QuietProcessCache* quiet, bool nothingOpened, pid_t self)
        : m_proc(procDirectory)
        , m_roots(roots)
        , m_names(names)
        , m_quiet(quiet)
        , m_nothingOpened(nothingOpened)
        , m_self(self)
        , m_cwd(roots.size())
        , m_open(roots.size())
        , m_viewerMarks(roots.size())
        , m_buffer(kBufferSize) {
        for (const std::string& root : roots) {
            struct stat status {};
            if (stat(root.c_str(), &status) == 0) {
                m_rootDevices.push_back(status.st_dev);
            }
        }
    }

    // directory is the inode of the process's /proc directory.
    void read(std::string_view pid, ino_t directory, const ViewerMatcher* viewers) {
        startProcess(pid, directory);
        if (m_quiet && m_quiet->isKernelThread(m_process.pid, directory)) {
            return;
        }

        // The scanning thread runs, so this process has always run since the last scan.
        m_recording = m_quiet && m_process.pid != m_self &&
                      m_quiet->seenBefore(m_process.pid, directory) && readActivity(directory);
        if (m_recording) {
            if (const QuietProcessCache::Marks* kept = m_quiet->find(m_process.pid, m_activity)) {
                m_cwd.assign(kept->cwd);
                m_open.assign(kept->open);
                m_viewerMarks.assign(kept->viewer);
                m_viewer = kept->viewerIdentity;
                return;
            }
            m_holdings = {};
        }
        readHoldings(viewers);
        if (m_recording) {
            // Reading stops once every root is held, so what was read may judge no others.
            const bool whole = !m_open.all() && !(m_viewer && m_viewerMarks.all());
            m_quiet->keep(m_process.pid, m_activity, std::move(m_holdings),
                          {m_cwd.marks(), m_open.marks(), m_viewerMarks.marks(), m_viewer}, whole);
        }
        if (m_quiet && m_kernelThread) {
            m_quiet->keepKernelThread(m_process.pid, directory);
        }
        if (m_quiet && m_mappingsRead) {
            m_quiet->keepMappedNothingAt(m_process.pid, directory, m_mappedNothingAt);
        }
    }

    const RootMarks& cwdMarks() const { return m_cwd; }
    // Descriptors, mapped files and the executable: all keep the file system busy.
    const RootMarks& openMarks() const { return m_open; }
    const RootMarks& viewerMarks() const { return m_viewerMarks; }
    const std::optional<ViewerIdentity>& viewer() const { return m_viewer; }

private:
    static constexpr std::size_t kBufferSize = 64 * 1024;
    // Long argument lists are cut here; a file argument comes early in practice.
    static constexpr std::size_t kArgumentLimit = 1 << 20;

    using LinkBuffer = std::array<char, PATH_MAX>;

    // Forgets what was read of the process before.
    void startProcess(std::string_view pid, ino_t directory) {
        m_cwd.clear();
        m_open.clear();
        m_viewerMarks.clear();
        m_viewer.reset();
        m_path.setProcess(pid);
        m_process = {};
        std::from_chars(pid.data(), pid.data() + pid.size(), m_process.pid);
        m_process.directory = directory;
        m_kernelThread = false;
        m_mappingsRead = false;
        m_mappedNothingAt.reset();
    }

    // Reads how each thread ran into m_activity; false when the kernel keeps no counts.
    bool readActivity(ino_t directory) {
        m_activity.directory = directory;
        m_activity.threads.clear();
        // A process gains a thread only by one of its threads running, which that thread's
        // counts show: while the threads last read are all there and have not run, no
        // thread came, and the list need not be read.
        const QuietProcessCache::Activity* last = m_quiet->lastActivity(m_process.pid);
        // Threads read just now, up to the first that ran: not read twice.
        std::vector<QuietProcessCache::ThreadRun> fresh;
        if (last && last->directory == directory) {
            // It ran at each of its last readings: taken to have run again unread, as what
            // it holds is read either way.
            if (m_quiet->keepsRunning(m_process.pid)) {
                return false;
            }
            if (readThreadsOf(*last)) {
                return true;
            }
            fresh.swap(m_activity.threads);
        }
        const auto readRun = [&](auto open, pid_t thread) {
            const auto known = std::find_if(fresh.begin(), fresh.end(), [thread](const auto& run) {
                return run.thread == thread;
            });
            if (known == fresh.end()) {
                return readThreadRun(open(), thread);
            }
            m_activity.threads.push_back(*known);
            return true;
        };
        // The threads directory links one entry per thread besides "." and "..".
        struct stat threads {};
        if (fstatat(m_proc, m_path.entry("task"), &threads, 0) != 0 || threads.st_nlink < 3) {
            return false;
        }
        if (threads.st_nlink == 3) {
            // One thread: the process's own counts are that thread's.
            return readRun([this] { return openEntry("schedstat", 0); }, m_process.pid);
        }
        const int task = openEntry("task", O_DIRECTORY);
        if (task < 0) {
            return false;
        }
        bool read = true;
        for (bool complete = false; !complete;) {
            const ssize_t length = getdents64(task, m_buffer.data(), m_buffer.size());
            if (length <= 0) {
                break;
            }
            complete = listedAll(length);
            for (ssize_t offset = 0; read && offset < length;) {
                const auto* entry = reinterpret_cast<const dirent64*>(m_buffer.data() + offset);
                offset += entry->d_reclen;
                if (entry->d_name[0] == '.') {
                    continue;
                }
                pid_t thread = 0;
                std::from_chars(entry->d_name, entry->d_name + std::strlen(entry->d_name), thread);
                read = readRun(
                    [task, entry] {
                        char name[NAME_MAX + 16];
                        std::snprintf(name, sizeof name, "%s/schedstat", entry->d_name);
                        return openat(task, name, O_RDONLY | O_CLOEXEC);
                    },
                    thread);
            }
        }
        close(task);
        // A thread that ended between the listing and its reading: read afresh next time.
        return read && !m_activity.threads.empty();
    }

    // True when every thread last read is there and has not run since; stops at the
    // first that has, as the whole list is read afresh then.
    bool readThreadsOf(const QuietProcessCache::Activity& last) {
        if (last.threads.empty()) {
            return false;
        }
        if (last.threads.size() == 1 && last.threads.front().thread == m_process.pid) {
            return readThreadRun(openEntry("schedstat", 0), m_process.pid) &&
                   m_activity.threads.back() == last.threads.front();
        }
        for (const QuietProcessCache::ThreadRun& run : last.threads) {
            char name[kLongestEntry + 1];
            std::snprintf(name, sizeof name, "task/%d/schedstat", int(run.thread));
            if (!readThreadRun(openEntry(name, 0), run.thread) ||
                m_activity.threads.back() != run) {
                return false;
            }
        }
        return true;
    }

    // "runtime waited timesRun\n" from the open schedstat, which is closed.
    bool readThreadRun(int fd, pid_t thread) {
        std::array<char, 96> buffer;
        const std::string_view text = readOnce(fd, buffer);
        if (text.empty()) {
            return false;
        }
        QuietProcessCache::ThreadRun run{thread};
        if (!readNumbers(text, {&run.runtime, &run.waited, &run.timesRun})) {
            return false;
        }
        // All zero where the kernel keeps no scheduler counts.
        if (run.runtime == 0 && run.timesRun == 0) {
            return false;
        }
        m_activity.threads.push_back(run);
        return true;
    }

    // After a listing read of length bytes into the buffer: the kernel fills it until the
    // next entry does not fit, so room for one more means the listing is complete, and the
    // empty read that would say so is saved.
    bool listedAll(ssize_t length) const {
        return m_buffer.size() - std::size_t(length) >= sizeof(dirent64);
    }

    // Marks the roots path lies under and, when the process is being kept, keeps path.
    // True once reading can stop: every root is marked.
    bool hold(RootMarks& marks, QuietProcessCache::Paths& kept, std::string_view path) {
        const bool all = marks.mark(path, m_roots);
        // A library shows in several mappings in a row: one copy will do.
        if (m_recording && !path.empty() && path.front() == '/' &&
            (kept.empty() || *kept.back() != path)) {
            kept.push_back(m_quiet->intern(path));
        }
        return all;
    }

    void readHoldings(const ViewerMatcher* viewers) {
        std::string_view executable;
        if (viewers) {
            // A viewer is known by its executable, so it is read first: kernel threads
            // and zombies have none, and that one call skips them.
            const std::optional<std::string_view> link = readLink("exe", m_executable);
            if (!link && errno != ENAMETOOLONG) {
                m_kernelThread = errno == ENOENT && readKernelThreadFlag();
                // Another user's process without privilege: only what anyone may read
                // tells a viewer.
                if (errno == EACCES) {
                    matchViewer({}, *viewers);
                }
                return;
            }
            executable = link.value_or(std::string_view());
            hold(m_open, m_holdings.open, executable);
            if (!readWorkingDirectory()) {
                return;
            }
        } else {
            // Without viewers the executable matters only as a held file, and it shows
            // among the mappings (or, when they are not read, was opened on no drive). A
            // kernel thread works in "/" and has no executable: only there is it asked
            // for, to skip the rest.
            const std::optional<std::string_view> cwd = readWorkingDirectory();
            if (!cwd) {
                return;
            }
            if (*cwd == "/") {
                const std::optional<std::string_view> link = readLink("exe", m_executable);
                if (!link && errno != ENAMETOOLONG) {
                    m_kernelThread = errno == ENOENT && readKernelThreadFlag();
                    return;
                }
                hold(m_open, m_holdings.open, link.value_or(std::string_view()));
            }
        }
        if (!m_open.all()) {
            readDescriptors();
        }
        if (!m_open.all()) {
            readMappingsUnlessUnchanged();
        }
        if (viewers) {
            matchViewer(executable, *viewers);
        }
    }

    // A zombie or an exiting process has no executable either; the kernel's flag tells a
    // kernel thread, which never holds a drive and stays what it is.
    bool readKernelThreadFlag() {
        constexpr std::uint64_t kKernelThread = 0x00200000;
        std::array<char, 512> buffer;
        // "pid (name) state ppid pgrp session tty tpgid flags ...": the name may hold
        // anything, so fields are counted from its last ')'.
        const std::string_view line = readOnce(openEntry("stat", 0), buffer);
        const auto nameEnd = line.rfind(')');
        if (nameEnd == std::string_view::npos) {
            return false;
        }
        std::size_t position = nameEnd + 1;
        for (int field = 0; field < 7; ++field) {
            position = line.find(' ', position);
            if (position == std::string_view::npos) {
                return false;
            }
            ++position;
        }
        std::uint64_t flags = 0;
        const auto [next, error] =
            std::from_chars(line.data() + position, line.data() + line.size(), flags);
        return error == std::errc() && (flags & kKernelThread) != 0;
    }

    // Null (with errno set) when the link cannot be read.
    static std::optional<std::string_view> readLinkAt(int directory, const char* name,
                                                      LinkBuffer& buffer) {
        const ssize_t length = readlinkat(directory, name, buffer.data(), buffer.size());
        if (length <= 0 || std::size_t(length) >= buffer.size()) {
            if (length > 0) {
                errno = ENAMETOOLONG;
            }
            return std::nullopt;
        }
        return withoutDeletedMark(std::string_view(buffer.data(), std::size_t(length)));
    }

    // Null for a zombie, a process gone meanwhile or another user's; empty when too long.
    std::optional<std::string_view> readWorkingDirectory() {
        std::optional<std::string_view> cwd = readLink("cwd", m_link);
        if (!cwd) {
            if (errno != ENAMETOOLONG) {
                return std::nullopt;
            }
            cwd = std::string_view();
        }
        hold(m_cwd, m_holdings.cwd, *cwd);
        return cwd;
    }

    std::optional<std::string_view> readLink(std::string_view entry, LinkBuffer& buffer) {
        return readLinkAt(m_proc, m_path.entry(entry), buffer);
    }

    int openEntry(std::string_view entry, int flags) {
        return openat(m_proc, m_path.entry(entry), flags | O_RDONLY | O_CLOEXEC);
    }

    void readDescriptors() {
        const int directory = openEntry("fd", O_DIRECTORY);
        if (directory < 0) {
            return;
        }
        bool done = false;
        while (!done) {
            const ssize_t length = getdents64(directory, m_buffer.data(), m_buffer.size());
            if (length <= 0) {
                break;
            }
            m_entries.clear();
            for (ssize_t offset = 0; offset < length;) {
                const auto* entry = reinterpret_cast<const dirent64*>(m_buffer.data() + offset);
                if (entry->d_name[0] != '.') {
                    m_entries.push_back(entry->d_name);
                }
                offset += entry->d_reclen;
            }
            // Highest descriptors first: the standard streams come first in the table,
            // and a file opened on a drive usually later, so reading can stop sooner.
            for (auto name = m_entries.rbegin(); name != m_entries.rend() && !done; ++name) {
                if (const auto target = readLinkAt(directory, *name, m_link)) {
                    done = hold(m_open, m_holdings.open, *target);
                }
            }
            done = done || listedAll(length);
        }
        close(directory);
    }

    // Calls onLine for each line of the open entry, read in large pieces through the shared
    // buffer; stops early when onLine returns true or the limit is reached. Closes fd.
    template <typename OnLine>
    void readLines(int fd, char separator, std::size_t limit, OnLine&& onLine) {
        if (fd < 0) {
            return;
        }
        std::size_t kept = 0;
        std::size_t total = 0;
        bool done = false;
        while (!done && total < limit) {
            const ssize_t length = ::read(fd, m_buffer.data() + kept, m_buffer.size() - kept);
            if (length <= 0) {
                if (kept > 0) {
                    onLine(std::string_view(m_buffer.data(), kept));
                }
                break;
            }
            total += std::size_t(length);
            const std::size_t end = kept + std::size_t(length);
            std::size_t start = 0;
            while (!done) {
                const void* found = std::memchr(m_buffer.data() + start, separator, end - start);
                if (!found) {
                    break;
                }
                const std::size_t stop =
                    std::size_t(static_cast<const char*>(found) - m_buffer.data());
                done = onLine(std::string_view(m_buffer.data() + start, stop - start));
                start = stop + 1;
            }
            // A line longer than the whole buffer cannot be a path: drop it.
            kept = end - start;
            if (kept == m_buffer.size()) {
                kept = 0;
            } else if (kept > 0 && start > 0) {
                std::memmove(m_buffer.data(), m_buffer.data() + start, kept);
            }
        }
        close(fd);
    }

    // A file mapped into memory holds its file system like an open descriptor, also
    // after the descriptor was closed. A process the quiet-process cache keeps a record of
    // is spared the reading while its address space says it mapped nothing new.
    void readMappingsUnlessUnchanged() {
        std::optional<QuietProcessCache::AddressSpace> space;
        if (m_quiet && (m_recording || m_quiet->lastActivity(m_process.pid))) {
            // Read first: a mapping made meanwhile is then either read or another size.
            space = readAddressSpace();
            // A process being recorded is read whole, so what it keeps while it sleeps is
            // what it holds.
            if (space && !m_recording && m_nothingOpened && m_open.none() &&
                m_quiet->mappedNothingAt(m_process.pid, m_process.directory, *space)) {
                m_quiet->countUnreadMappings();
                return;
            }
        }
        m_mappingsRead = readMappings();
        if (m_mappingsRead && m_open.none()) {
            m_mappedNothingAt = space;
        }
    }

    // "size resident shared text lib data dt", in pages; anyone may read it.
    std::optional<QuietProcessCache::AddressSpace> readAddressSpace() {
        std::array<char, 128> buffer;
        const std::string_view text = readOnce(openEntry("statm", 0), buffer);
        QuietProcessCache::AddressSpace space;
        std::uint64_t other = 0;
        if (!readNumbers(text, {&space.size, &other, &other, &other, &other, &space.data})) {
            return std::nullopt;
        }
        return space;
    }

    // False when the mappings cannot be read.
    bool readMappings() {
        const int fd = openEntry("maps", 0);
        if (fd < 0) {
            return false;
        }
        if (m_queriesMappings && queryMappings(fd)) {
            close(fd);
            return true;
        }
        // Where the vsyscall page exists (x86-64) the kernel lists it last: seeing it
        // spares the read that would only say end of file.
        constexpr std::string_view kLastMapping = "[vsyscall]";
        readLines(fd, '\n', SIZE_MAX, [this, kLastMapping](std::string_view line) {
            const bool last = line.size() >= kLastMapping.size() &&
                              line.substr(line.size() - kLastMapping.size()) == kLastMapping;
            return hold(m_open, m_holdings.open, mappedPath(line)) || last;
        });
        return true;
    }

    // False when the kernel cannot be asked mapping by mapping: the text is read then.
    bool queryMappings(int fd) {
        MappedFile previous;
        std::uint64_t address = 0;
        bool done = false;
        while (!done) {
            MappingQuery query;
            query.queryFlags = kCoveringOrNextMapping | kFileBackedMapping;
            query.queryAddress = address;
            if (ioctl(fd, kQueryMapping, &query) != 0) {
                if (errno == ENOTTY || errno == EINVAL) {
                    m_queriesMappings = false;
                    return false;
                }
                // ENOENT: no mapping after the last one.
                break;
            }
            address = query.end;
            const MappedFile file{makedev(query.deviceMajor, query.deviceMinor), query.inode};
            // A library is mapped several times in a row.
            if (file == previous) {
                continue;
            }
            previous = file;
            done = hold(m_open, m_holdings.open, mappedName(fd, query, file));
        }
        return true;
    }

    // The path of the mapped file. Processes map the same libraries: a file met before in
    // this scan keeps its name, unless it lies on a drive's file system, where the path by
    // which this process reached it decides.
    std::string_view mappedName(int fd, MappingQuery query, const MappedFile& file) {
        const bool onADrive = std::find(m_rootDevices.begin(), m_rootDevices.end(), file.device) !=
                              m_rootDevices.end();
        if (!onADrive) {
            if (const auto known = m_mappedNames.find(file); known != m_mappedNames.end()) {
                return known->second;
            }
        }
        query.queryAddress = query.start;
        query.queryFlags = kFileBackedMapping;
        query.nameAddress = reinterpret_cast<std::uint64_t>(m_link.data());
        query.nameSize = std::uint32_t(m_link.size());
        if (ioctl(fd, kQueryMapping, &query) != 0 || query.nameSize == 0) {
            return {};
        }
        // The size counts the closing zero.
        const std::string_view name =
            withoutDeletedMark(std::string_view(m_link.data(), query.nameSize - 1));
        if (!onADrive) {
            m_mappedNames.emplace(file, name);
        }
        return name;
    }

    // "address perms offset dev inode   path": the path is what follows the fifth field
    // and its padding, when it is a path at all (not "[heap]" or an anonymous name).
    static std::string_view mappedPath(std::string_view line) {
        std::size_t position = 0;
        for (int field = 0; field < 5; ++field) {
            position = line.find(' ', position);
            if (position == std::string_view::npos) {
                return {};
            }
            ++position;
        }
        while (position < line.size() && line[position] == ' ') {
            ++position;
        }
        if (position >= line.size() || line[position] != '/') {
            return {};
        }
        return withoutDeletedMark(line.substr(position));
    }

    // The kernel's short name; from the cache when it still holds there.
    std::string_view processName(std::string_view executable) {
        m_process.executable = executable;
        if (m_names) {
            if (const std::optional<std::string_view> kept = m_names->find(m_process)) {
                return *kept;
            }
        }
        std::size_t nameLength = readOnce(openEntry("comm", 0), m_name).size();
        while (nameLength > 0 &&
               (m_name[nameLength - 1] == '\n' || m_name[nameLength - 1] == '\0')) {
            --nameLength;
        }
        const std::string_view name(m_name.data(), nameLength);
        if (m_names) {
            m_names->keep(m_process, name);
        }
        return name;
    }

    void matchViewer(std::string_view executable, const ViewerMatcher& viewers) {
        m_viewer = viewers.match(processName(executable), executable);
        if (!m_viewer) {
            return;
        }
        m_viewerMarks.add(m_cwd);
        m_viewerMarks.add(m_open);
        if (m_viewerMarks.all()) {
            return;
        }
        // A viewer may have read the file it was started with and let it go while it
        // still shows it. "file:///path" arguments are common for desktop launches.
        readLines(openEntry("cmdline", 0), '\0', kArgumentLimit, [this](std::string_view argument) {
            constexpr std::string_view kFileScheme = "file://";
            if (argument.substr(0, kFileScheme.size()) == kFileScheme) {
                argument.remove_prefix(kFileScheme.size());
            }
            return hold(m_viewerMarks, m_holdings.viewerArguments, argument);
        });
    }

    const int m_proc;
    const std::vector<std::string>& m_roots;
    ProcessNameCache* const m_names;
    QuietProcessCache* const m_quiet;
    const bool m_nothingOpened;
    const pid_t m_self;
    ProcessNameCache::Process m_process;
    EntryPath m_path;
    RootMarks m_cwd;
    RootMarks m_open;
    RootMarks m_viewerMarks;
    std::optional<ViewerIdentity> m_viewer;
    // The process's activity and all it holds are being read for the quiet-process cache.
    bool m_recording = false;
    bool m_kernelThread = false;
    // Of the process read last: its mappings were read, and the size of its address space
    // when they held nothing under the roots.
    bool m_mappingsRead = false;
    std::optional<QuietProcessCache::AddressSpace> m_mappedNothingAt;
    QuietProcessCache::Activity m_activity;
    QuietProcessCache::Holdings m_holdings;
    LinkBuffer m_executable;
    LinkBuffer m_link;
    std::array<char, 64> m_name{};
    std::vector<char> m_buffer;
    // Names of the descriptors in the buffer, in listing order.
    std::vector<const char*> m_entries;
    // Devices of the roots' file systems.
    std::vector<dev_t> m_rootDevices;
    bool m_queriesMappings = true;
    // Names of the mapped files met so far in this scan.
    std::unordered_map<MappedFile, std::string, MappedFileHash> m_mappedNames;
};

} // namespace

std::string resolvedScanRoot(const std::string& mountPath) {
    if (char* resolved = realpath(mountPath.c_str(), nullptr)) {
        std::string result(resolved);
        std::free(resolved);
        return result;
    }
    std::string normal = std::filesystem::path(mountPath).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    return normal;
}

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

ProcessScanResult scanProcesses(const std::vector<std::string>& roots, const ViewerMatcher* viewers,
                                const std::string& procRoot, ProcessNameCache* names,
                                QuietProcessCache* quiet, bool nothingOpened) {
    ProcessScanResult result;
    result.volumes.resize(roots.size());
    if (roots.empty()) {
        return result;
    }
    DIR* proc = opendir(procRoot.c_str());
    if (!proc) {
        return result;
    }
    const auto now = ProcessNameCache::Clock::now();
    if (names) {
        names->startScan(now);
    }
    if (quiet) {
        quiet->startScan(now, roots, viewers);
    }
    // Only the real /proc lists this process.
    ProcessReader reader(dirfd(proc), roots, names, quiet, nothingOpened,
                         procRoot == "/proc" ? getpid() : 0);
    std::set<std::string> seenIdentities;
    const auto count = quiet ? readTaskCount(dirfd(proc), procRoot == "/proc") : std::nullopt;
    const std::vector<QuietProcessCache::ListedProcess>* listed =
        quiet ? quiet->listingSince(count) : nullptr;
    std::vector<QuietProcessCache::ListedProcess> listing;
    if (!listed) {
        // The listing gives each process directory's inode without a call of its own.
        while (const dirent* entry = readdir(proc)) {
            if (isProcessDirectory(entry->d_name)) {
                listing.push_back({entry->d_name, entry->d_ino});
            }
        }
        listed = &listing;
    }
    // Marks the roots a viewer touches, and notes the viewer once.
    const auto noteViewer = [&](const std::optional<ViewerIdentity>& identity,
                                const RootMarks& touched) {
        if (!identity) {
            return;
        }
        bool touches = false;
        for (std::size_t index = 0; index < roots.size(); ++index) {
            if (touched[index]) {
                result.volumes[index].viewerTouches = true;
                touches = true;
            }
        }
        if (touches && seenIdentities.insert(identity->identity).second) {
            result.observedViewers.push_back(*identity);
        }
    };
    for (const QuietProcessCache::ListedProcess& process : *listed) {
        reader.read(process.pid, process.directory, viewers);
        noteViewer(reader.viewer(), reader.viewerMarks());
        for (std::size_t index = 0; index < roots.size(); ++index) {
            result.volumes[index].cwdProcesses += reader.cwdMarks()[index] ? 1 : 0;
            result.volumes[index].openFileProcesses += reader.openMarks()[index] ? 1 : 0;
        }
    }
    closedir(proc);
    if (names) {
        names->finishScan();
    }
    if (quiet) {
        if (listed == &listing) {
            quiet->keepListing(count, std::move(listing));
        }
        quiet->finishScan();
    }
    return result;
}

} // namespace berthkeep::core
