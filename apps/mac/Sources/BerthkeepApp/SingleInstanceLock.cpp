#include "BerthkeepApp/SingleInstanceLock.hpp"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace berthkeep {

namespace {

constexpr const char* lockFileName = "berthkeep.lock";

std::string lockPathIn(const std::string& folder) {
    return QDir(QString::fromStdString(folder)).filePath(lockFileName).toStdString();
}

std::string reason(int error) {
    return error == ELOOP ? "it is a symbolic link" : std::strerror(error);
}

// Where Qt falls back to without a session's runtime folder.
std::string fallbackRuntimeFolder() {
    const passwd* user = ::getpwuid(::geteuid());
    const std::string name = user && user->pw_name ? user->pw_name : std::to_string(::geteuid());
    return QDir::tempPath().toStdString() + "/runtime-" + name;
}

// Opens a runtime folder this user can trust, made first when missing: a real
// folder, not a link, that the user owns, made private (0700) when it is not
// yet. Anything else another user may have made or can write: -1, and
// `refusal` says why it is not used.
int openPrivateFolder(const std::string& path, std::string& refusal) {
    ::mkdir(path.c_str(), 0700);
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::string problem;
    struct stat status {};
    if (folder < 0) {
        const int error = errno;
        const bool link = ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
        problem = link ? reason(ELOOP) : error == ENOTDIR ? "it is not a folder" : reason(error);
    } else if (::fstat(folder, &status) != 0) {
        problem = reason(errno);
    } else if (status.st_uid != ::geteuid()) {
        problem = "it belongs to user " + std::to_string(status.st_uid);
    } else if ((status.st_mode & 07777) != 0700 && ::fchmod(folder, 0700) != 0) {
        problem = "it cannot be made private: " + reason(errno);
    }
    if (problem.empty()) {
        return folder;
    }
    if (folder >= 0) {
        ::close(folder);
    }
    refusal = path + " is not used: " + problem;
    return -1;
}

// Whose process `pid` is: its real user, from the kernel's status of it.
std::optional<uid_t> userOf(const std::string& pid) {
    std::ifstream status("/proc/" + pid + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Uid:", 0) == 0) {
            std::istringstream fields(line.substr(4));
            uid_t user = 0;
            if (fields >> user) {
                return user;
            }
        }
    }
    return std::nullopt;
}

// The executable a process runs, by the path it was started from (an update
// may since have replaced the file there); empty when the system hides it.
std::string executablePath(const std::string& link) {
    std::error_code error;
    std::string path = std::filesystem::read_symlink(link, error).string();
    constexpr std::string_view replaced = " (deleted)";
    if (path.size() > replaced.size() &&
        path.compare(path.size() - replaced.size(), replaced.size(), replaced) == 0) {
        path.erase(path.size() - replaced.size());
    }
    return path;
}

// Whether process `pid` runs this program: the same executable file, or one
// at the same path. Not its command name, which is whatever name it was
// started by (a launcher's link) and which any process can set.
std::optional<bool> runsThisProgram(const std::string& pid) {
    const std::string theirs = "/proc/" + pid + "/exe";
    const std::string ours = "/proc/self/exe";
    struct stat their {};
    struct stat our {};
    if (::stat(theirs.c_str(), &their) != 0 || ::stat(ours.c_str(), &our) != 0) {
        return std::nullopt;
    }
    if (their.st_dev == our.st_dev && their.st_ino == our.st_ino) {
        return true;
    }
    const std::string path = executablePath(theirs);
    return !path.empty() && path == executablePath(ours);
}

// Whoever holds an flock on the open file: the kernel lists every lock with
// its process and the file's device and inode.
std::optional<SingleInstanceLock::Holder> flockHolder(int descriptor) {
    struct stat file {};
    if (::fstat(descriptor, &file) != 0) {
        return std::nullopt;
    }
    char identity[64];
    std::snprintf(identity, sizeof identity, "%02x:%02x:%llu", major(file.st_dev),
                  minor(file.st_dev), static_cast<unsigned long long>(file.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, type, mode, access, pid, where;
        // Waiters are marked "->"; only the holder's line reads straight on.
        if (!(fields >> number >> type >> mode >> access >> pid >> where) || type != "FLOCK" ||
            where != identity) {
            continue;
        }
        SingleInstanceLock::Holder holder;
        holder.pid = std::atoi(pid.c_str());
        if (holder.pid <= 0) {
            return std::nullopt;
        }
        std::ifstream(("/proc/" + pid + "/comm").c_str()) >> holder.name;
        holder.user = userOf(pid);
        holder.runsThisProgram = runsThisProgram(pid);
        return holder;
    }
    return std::nullopt;
}

// Group and others lose every right on a folder of this user's: the lock
// on it is then no one else's to take. Through the handle's own entry, as
// a handle that cannot read the folder cannot change its mode either.
bool makePrivate(int folder) {
    struct stat status {};
    if (::fstat(folder, &status) != 0 || status.st_uid != ::geteuid() ||
        (status.st_mode & 077) == 0) {
        return false;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(folder);
    return ::chmod(self.c_str(), status.st_mode & 07700) == 0;
}

// Where the opened folder is, when it is open to other users: a folder a
// link leads to is the user's own choice (a synced or shared one) and keeps
// its mode.
std::string openToOthers(int folder) {
    struct stat status {};
    if (::fstat(folder, &status) != 0 || (status.st_mode & 077) == 0) {
        return {};
    }
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(folder), error).string();
}

// Whether the opened folder is the one at `path` itself, not one a link
// there leads to.
bool isAtPath(int folder, const std::string& path) {
    struct stat opened {};
    struct stat there {};
    return ::fstat(folder, &opened) == 0 && ::lstat(path.c_str(), &there) == 0 &&
           S_ISDIR(there.st_mode) && opened.st_dev == there.st_dev && opened.st_ino == there.st_ino;
}

} // namespace

SingleInstanceLock::SingleInstanceLock(std::string preferencesFolder, RuntimeFolder runtimeFolder)
    : m_preferencesFolder(std::move(preferencesFolder))
    , m_runtimeFolder(std::move(runtimeFolder)) {}

SingleInstanceLock::~SingleInstanceLock() {
    release(m_preferences);
    release(m_runtime);
}

bool SingleInstanceLock::Holder::isCopy() const {
    if (runsThisProgram) {
        return *runsThisProgram;
    }
    return name.empty() || name == programName;
}

SingleInstanceLock::RuntimeFolder SingleInstanceLock::provideRuntimeFolder() {
    RuntimeFolder runtime;
    const char* inherited = std::getenv("XDG_RUNTIME_DIR");
    const bool given = inherited && *inherited;
    const std::string path = given ? std::string(inherited) : fallbackRuntimeFolder();
    const int folder = openPrivateFolder(path, runtime.refusal);
    if (folder < 0) {
        return runtime;
    }
    ::close(folder);
    runtime.path = path;
    if (!given) {
        ::setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
    }
    return runtime;
}

SingleInstanceLock::Outcome SingleInstanceLock::tryLock() {
    release(m_preferences);
    release(m_runtime);
    m_holder.reset();
    m_notCounted.clear();
    m_madePrivate.clear();
    m_linkedLeftOpen.clear();
    m_runtimeFailure = m_runtimeFolder.refusal;

    // The session's lock first: a second start in a session where a copy
    // runs then ends before it makes or locks anything beside the
    // preferences, where the running copy may be about to take its lock
    // again (its folder deleted or renamed away), and a copy that holds the
    // lock there is always one that runs on.
    const Attempt runtime = lockRuntime();
    const Attempt preferences = runtime == Attempt::held ? Attempt::failed : lockPreferences();
    if (preferences == Attempt::held || runtime == Attempt::held) {
        release(m_preferences);
        release(m_runtime);
        return Outcome::heldByAnother;
    }
    m_preferences.kept = preferences == Attempt::taken;
    m_runtime.kept = runtime == Attempt::taken;
    if (preferences == Attempt::failed && runtime != Attempt::taken) {
        return Outcome::unavailable;
    }
    return Outcome::acquired;
}

SingleInstanceLock::Attempt SingleInstanceLock::lockPreferences() {
    m_preferencesFailure.clear();
    m_lockFileFailure.clear();
    const std::string preferencesLock = lockPathIn(m_preferencesFolder);
    // Made private from the start; an older one is put right below.
    QDir().mkpath(QFileInfo(QString::fromStdString(m_preferencesFolder)).absolutePath());
    ::mkdir(m_preferencesFolder.c_str(), 0700);
    // A handle that needs no right to read the folder: through it the lock
    // file is made where the user may write but not list (mode 0300).
    const int folder = ::open(m_preferencesFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        m_preferencesFailure = preferencesLock + ": " + reason(errno);
        return Attempt::failed;
    }
    if (!isAtPath(folder, m_preferencesFolder)) {
        m_linkedLeftOpen = openToOthers(folder);
    } else if (makePrivate(folder)) {
        m_madePrivate = m_preferencesFolder;
    }
    m_preferences.folder = identityOf(folder);
    Attempt preferences = lockIn(folder, preferencesLock, m_lockFileFailure, m_preferences);
    if (preferences == Attempt::held) {
        ::close(folder);
        return Attempt::held;
    }
    // The folder itself is locked too, by every copy: it can be where no
    // lock file can be made or opened safely (a read-only folder, a link
    // in its place), and where one copy holds a lock file that another
    // cannot see (since removed or replaced), the folder is still the same.
    // Opened through the handle, so it is the same folder.
    std::string folderFailure;
    const int readable = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int openError = errno;
    ::close(folder);
    const Attempt locked =
        readable < 0 ? Attempt::failed
                     : lockDescriptor(readable, m_preferencesFolder, folderFailure, m_preferences);
    if (readable < 0) {
        folderFailure = m_preferencesFolder + ": " + reason(openError);
    }
    switch (locked) {
    case Attempt::held:
        release(m_preferences);
        return Attempt::held;
    case Attempt::taken:
        return Attempt::taken;
    case Attempt::failed:
        // The lock file alone serves, or neither does.
        if (preferences == Attempt::failed) {
            m_preferencesFailure = m_lockFileFailure + "; " + folderFailure;
        }
        m_lockFileFailure.clear();
        return preferences;
    }
    return preferences;
}

SingleInstanceLock::Attempt SingleInstanceLock::lockRuntime() {
    if (!m_runtimeFolder.path || *m_runtimeFolder.path == m_preferencesFolder) {
        return Attempt::failed;
    }
    // Checked again as it is opened: what is at that path now holds the lock.
    const int folder = openPrivateFolder(*m_runtimeFolder.path, m_runtimeFailure);
    if (folder < 0) {
        return Attempt::failed;
    }
    m_runtime.folder = identityOf(folder);
    const Attempt runtime =
        lockIn(folder, lockPathIn(*m_runtimeFolder.path), m_runtimeFailure, m_runtime);
    ::close(folder);
    return runtime;
}

SingleInstanceLock::Renewal SingleInstanceLock::renew() {
    Renewal renewal;
    for (const bool preferences : {true, false}) {
        Place& place = preferences ? m_preferences : m_runtime;
        const std::string folder =
            preferences ? m_preferencesFolder : m_runtimeFolder.path.value_or(std::string());
        if (!place.kept || stillInPlace(place, folder)) {
            continue;
        }
        // A folder that is gone is not made here: the user may be about to
        // make it again, or to put a link there. Whoever makes it, the lock
        // is taken when it is there.
        struct stat status {};
        if (::stat(folder.c_str(), &status) != 0 && errno == ENOENT) {
            place.contestedSince.reset();
            renewal.kind = Renewal::Kind::waiting;
            renewal.folder = folder;
            continue;
        }
        // Let go first: a new lock on the same folder through another
        // descriptor would meet this process's own.
        release(place);
        const Attempt again = preferences ? lockPreferences() : lockRuntime();
        renewal.folder = folder;
        if (again != Attempt::held) {
            place.contestedSince.reset();
        } else {
            // A copy that ends lets go at once: only one that still holds the
            // lock a while later runs on, and only for that does this one give
            // way.
            const auto now = std::chrono::steady_clock::now();
            if (!place.contestedSince) {
                place.contestedSince = now;
            }
            renewal.kind = now - *place.contestedSince < contestedGrace
                               ? Renewal::Kind::contested
                               : Renewal::Kind::heldByAnother;
            return renewal;
        }
        if (again == Attempt::failed) {
            renewal.kind = Renewal::Kind::failed;
            renewal.why = preferences ? m_preferencesFailure : m_runtimeFailure;
            return renewal;
        }
        renewal.kind = Renewal::Kind::renewed;
    }
    return renewal;
}

std::vector<std::string> SingleInstanceLock::watchedFolders() const {
    return {m_preferencesFolder,
            QFileInfo(QString::fromStdString(m_preferencesFolder)).absolutePath().toStdString()};
}

bool SingleInstanceLock::stillInPlace(const Place& place, const std::string& folder) const {
    struct stat status {};
    if (place.descriptors.empty() || ::stat(folder.c_str(), &status) != 0 ||
        place.folder != Identity{status.st_dev, status.st_ino}) {
        return false;
    }
    return !place.lockFile || (::lstat(lockPathIn(folder).c_str(), &status) == 0 &&
                               place.lockFile == Identity{status.st_dev, status.st_ino});
}

SingleInstanceLock::Attempt SingleInstanceLock::lockIn(int folder, const std::string& path,
                                                       std::string& failure, Place& place) {
    // Close-on-exec: a disk tool left hanging after this process must not go on
    // holding the lock. Never waiting: whatever is at the path, a pipe included.
    // Never through a link: where it leads is no lock of ours.
    constexpr int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW;
    int descriptor = ::openat(folder, lockFileName, O_RDWR | O_CREAT | flags, 0600);
    if (descriptor < 0) {
        const int error = errno;
        // An flock needs no write access: a lock file left in a folder that
        // is now read-only still keeps a second copy out.
        descriptor = error == ELOOP ? -1 : ::openat(folder, lockFileName, O_RDONLY | flags);
        if (descriptor < 0) {
            failure = path + ": " + reason(error);
            return Attempt::failed;
        }
    }
    struct stat file {};
    const bool known = ::fstat(descriptor, &file) == 0;
    const Attempt locked = lockDescriptor(descriptor, path, failure, place);
    if (locked != Attempt::taken) {
        return locked;
    }
    place.lockFile = identityOf(descriptor);
    // The holder's process id, for a person looking; the lock itself is the
    // flock, so a failed write (a full file system) changes nothing. Only a
    // regular file with no other name is written: a device or a pipe at the
    // path is not ours, and a hard link is another file of the user's too.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (known && S_ISREG(file.st_mode) && file.st_nlink == 1 && ::ftruncate(descriptor, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::write(descriptor, pid.data(), pid.size());
    }
    return Attempt::taken;
}

SingleInstanceLock::Attempt SingleInstanceLock::lockDescriptor(int descriptor,
                                                               const std::string& path,
                                                               std::string& failure, Place& place) {
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK) {
            ::close(descriptor);
            failure = path + ": " + reason(error);
            return Attempt::failed;
        }
        auto holder = flockHolder(descriptor);
        ::close(descriptor);
        // Another user may open what it can read and lock it: that is no
        // copy of this user's, only a lock this place cannot have.
        if (holder && holder->user && *holder->user != ::geteuid()) {
            failure = path + " is held by process " + std::to_string(holder->pid) + " (" +
                      holder->name + ") of another user (" + std::to_string(*holder->user) + ")";
            m_notCounted.push_back(failure);
            return Attempt::failed;
        }
        m_heldPath = path;
        m_holder = std::move(holder);
        return Attempt::held;
    }
    place.descriptors.push_back(descriptor);
    return Attempt::taken;
}

std::optional<SingleInstanceLock::Identity> SingleInstanceLock::identityOf(int descriptor) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        return std::nullopt;
    }
    return Identity{status.st_dev, status.st_ino};
}

void SingleInstanceLock::release(Place& place) {
    for (const int descriptor : place.descriptors) {
        ::close(descriptor);
    }
    place.descriptors.clear();
    place.folder.reset();
    place.lockFile.reset();
}

} // namespace berthkeep
