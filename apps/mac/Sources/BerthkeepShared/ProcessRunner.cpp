#include "BerthkeepShared/ProcessRunner.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace berthkeep {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string launchErrorText(const std::string& path, int errorNumber) {
    return "could not start " + path + ": " + std::strerror(errorNumber);
}

// Writing to a child that closed its stdin must give EPIPE, not end our process.
// Only a default disposition is replaced, so a handler the program set stays.
void ignoreSigpipeOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGPIPE, &ignore, nullptr);
        }
    });
}

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~FileDescriptor() { reset(); }

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    int release() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1) noexcept {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

struct Pipe {
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
};

Pipe makePipe(const std::string& path) {
    int fds[2];
    // Close-on-exec from birth: a child spawned by another thread at the same
    // moment must not inherit our ends, or we would never see EOF.
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw ProcessLaunchError(path, errno);
    }
    Pipe pipe{FileDescriptor(fds[0]), FileDescriptor(fds[1])};
    // With our own 0, 1 or 2 closed, a pipe end can land there and the child's
    // dup2 sequence would overwrite it; keep every end above the standard three.
    for (FileDescriptor* end : {&pipe.readEnd, &pipe.writeEnd}) {
        if (end->get() <= STDERR_FILENO) {
            const int moved = ::fcntl(end->get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            if (moved < 0) {
                throw ProcessLaunchError(path, errno);
            }
            end->reset(moved);
        }
    }
    return pipe;
}

void setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    }
}

// Wakes the poll loop when the cancel token fires. Shared with the token's
// callback, which may still run on another thread after the loop has ended.
class Wakeup {
public:
    Wakeup()
        : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    int fd() const noexcept { return m_fd.get(); }
    bool valid() const noexcept { return m_fd.valid(); }
    void signal() const noexcept {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_fd.get(), &one, sizeof one);
    }

private:
    FileDescriptor m_fd;
};

class CancelRegistration {
public:
    CancelRegistration(std::shared_ptr<CancelToken> token, std::shared_ptr<Wakeup> wakeup)
        : m_token(std::move(token)) {
        if (m_token && wakeup->valid()) {
            m_id = m_token->onCancel([wakeup] { wakeup->signal(); });
        }
    }
    ~CancelRegistration() {
        if (m_token) {
            m_token->removeCallback(m_id);
        }
    }
    CancelRegistration(const CancelRegistration&) = delete;
    CancelRegistration& operator=(const CancelRegistration&) = delete;

private:
    std::shared_ptr<CancelToken> m_token;
    CancelToken::CallbackId m_id = 0;
};

// Cancelled once the program quits; every run watches it beside its own token.
std::mutex g_quitMutex;
std::shared_ptr<CancelToken> g_quitToken = CancelToken::make();

std::shared_ptr<CancelToken> quitToken() {
    std::lock_guard lock(g_quitMutex);
    return g_quitToken;
}

std::vector<std::string> buildEnvironment(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> result;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        const auto equals = text.find('=');
        const std::string key(text.substr(0, equals));
        if (!overrides.contains(key)) {
            result.emplace_back(text);
        }
    }
    for (const auto& [key, value] : overrides) {
        result.push_back(key + "=" + value);
    }
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (auto& string : strings) {
        pointers.push_back(string.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Frees the spawn attributes and file actions on every path out.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

pid_t spawnChild(const ProcessRequest& request, int stdinFd, int stdoutFd, int stderrFd) {
    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, stdinFd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, stdoutFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, stderrFd, STDERR_FILENO);

    // The child starts with default signal handling (our ignored SIGPIPE and any
    // blocked signals of this thread would otherwise be inherited) and in its own
    // process group, so a stop reaches whatever it started as well.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    sigset_t emptyMask;
    sigemptyset(&emptyMask);
    posix_spawnattr_setsigmask(&setup.attributes, &emptyMask);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                                    POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> argumentStrings;
    argumentStrings.reserve(request.arguments.size() + 1);
    argumentStrings.push_back(request.executablePath);
    argumentStrings.insert(argumentStrings.end(), request.arguments.begin(),
                           request.arguments.end());
    auto argv = pointersTo(argumentStrings);
    auto environmentStrings = buildEnvironment(request.environment);
    auto envp = pointersTo(environmentStrings);

    pid_t pid = -1;
    const bool searchPath = request.executablePath.find('/') == std::string::npos;
    // glibc reports a failed exec (missing file, not executable) as the return
    // value, so launch errors show at once instead of as a silent exit 127.
    const int error = searchPath
                          ? ::posix_spawnp(&pid, request.executablePath.c_str(), &setup.actions,
                                           &setup.attributes, argv.data(), envp.data())
                          : ::posix_spawn(&pid, request.executablePath.c_str(), &setup.actions,
                                          &setup.attributes, argv.data(), envp.data());
    if (error != 0) {
        throw ProcessLaunchError(request.executablePath, error);
    }
    return pid;
}

int pidfdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        return static_cast<int>(fd);
    }
#else
    (void)pid;
#endif
    return -1;
}

enum class ReadState { readSome, drained, closed, overflowed };

// One read per call, so a child writing faster than we read cannot hold the
// loop past its deadline; keeps no more than `limit` bytes in all.
ReadState readOnce(int fd, std::string& into, std::size_t limit) {
    char buffer[65536];
    while (true) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            const auto size = static_cast<std::size_t>(count);
            const std::size_t room = limit > into.size() ? limit - into.size() : 0;
            into.append(buffer, std::min(size, room));
            return size > room ? ReadState::overflowed : ReadState::readSome;
        }
        if (count == 0) {
            return ReadState::closed;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK ? ReadState::drained : ReadState::closed;
    }
}

int waitMilliseconds(SteadyClock::time_point now, std::optional<SteadyClock::time_point> until) {
    if (!until) {
        return -1;
    }
    if (*until <= now) {
        return 0;
    }
    // Round up so the loop does not spin just before the moment.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - now);
    return static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), 60'000));
}

// The child leads its own process group; the signal goes to all of it, so a
// shell script's own children stop with it.
void signalChild(pid_t pid, int signalNumber) {
    if (::kill(-pid, signalNumber) != 0) {
        ::kill(pid, signalNumber); // it left its group
    }
}

// The fallback when pidfd is unavailable: how often to look for the exit.
constexpr std::chrono::milliseconds exitPollInterval{10};

} // namespace

ProcessLaunchError::ProcessLaunchError(std::string path, int errorNumber)
    : std::runtime_error(launchErrorText(path, errorNumber))
    , m_path(std::move(path))
    , m_errorNumber(errorNumber) {}

void cancelAllProcesses() {
    quitToken()->cancel();
}

void allowProcessesAgainForTesting() {
    std::lock_guard lock(g_quitMutex);
    g_quitToken = CancelToken::make();
}

const char* toString(ProcessOutcome outcome) {
    switch (outcome) {
    case ProcessOutcome::exited:
        return "exited";
    case ProcessOutcome::signaled:
        return "signaled";
    case ProcessOutcome::timedOut:
        return "timedOut";
    case ProcessOutcome::cancelled:
        return "cancelled";
    case ProcessOutcome::outputTooLarge:
        return "outputTooLarge";
    }
    return "unknown";
}

ProcessResult runProcess(const ProcessRequest& request) {
    ignoreSigpipeOnce();
    const auto started = SteadyClock::now();
    ProcessResult result;
    const auto quit = quitToken();
    auto cancelRequested = [&] {
        return quit->isCancelled() || (request.cancelToken && request.cancelToken->isCancelled());
    };

    if (cancelRequested()) {
        result.outcome = ProcessOutcome::cancelled;
        return result;
    }

    Pipe input = makePipe(request.executablePath);
    Pipe output = makePipe(request.executablePath);
    Pipe error = makePipe(request.executablePath);
    auto wakeup = std::make_shared<Wakeup>();

    const pid_t pid =
        spawnChild(request, input.readEnd.get(), output.writeEnd.get(), error.writeEnd.get());
    // Only the child keeps its ends; ours must close so EOF arrives when it exits.
    input.readEnd.reset();
    output.writeEnd.reset();
    error.writeEnd.reset();

    FileDescriptor exitFd(pidfdOpen(pid));
    CancelRegistration registration(request.cancelToken, wakeup);
    CancelRegistration quitRegistration(quit, wakeup);

    const std::string emptyInput;
    const std::string& stdinData = request.standardInput ? *request.standardInput : emptyInput;
    std::size_t stdinWritten = 0;
    if (stdinData.empty()) {
        input.writeEnd.reset();
    } else {
        setNonBlocking(input.writeEnd.get());
    }
    setNonBlocking(output.readEnd.get());
    setNonBlocking(error.readEnd.get());

    const auto deadline = started + request.timeout;
    std::optional<SteadyClock::time_point> killAt;
    bool stopping = false;
    bool exited = false;
    int status = 0;

    auto stop = [&](ProcessOutcome why) {
        if (stopping) {
            return;
        }
        stopping = true;
        result.outcome = why;
        signalChild(pid, SIGTERM);
        killAt = SteadyClock::now() + request.terminationGracePeriod;
    };

    // Past the limit the stream is closed: the child's next write fails, and
    // what it sends is no longer kept.
    bool overflowed = false;
    auto readFrom = [&](FileDescriptor& end, std::string& into) {
        const ReadState state = readOnce(end.get(), into, request.outputLimit);
        if (state == ReadState::closed || state == ReadState::overflowed) {
            end.reset();
        }
        overflowed = overflowed || state == ReadState::overflowed;
        return state;
    };

    // Notices the exit without reaping: the zombie keeps the pid (and so the
    // process group id) ours until the leftovers are dealt with below.
    auto noticeExit = [&] {
        while (true) {
            siginfo_t info{};
            const int rc =
                ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
            if (rc == 0 && info.si_pid == pid) {
                exited = true;
                return;
            }
            if (rc < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
    };

    while (!exited) {
        if (!stopping && cancelRequested()) {
            stop(ProcessOutcome::cancelled);
        }
        auto now = SteadyClock::now();
        if (!stopping && now >= deadline) {
            stop(ProcessOutcome::timedOut);
        }
        if (killAt && !result.killed && now >= *killAt) {
            signalChild(pid, SIGKILL);
            result.killed = true;
        }

        std::vector<pollfd> fds;
        enum Slot { stdinSlot, stdoutSlot, stderrSlot, wakeSlot, exitSlot };
        std::vector<Slot> slots;
        auto watch = [&](int fd, short events, Slot slot) {
            if (fd >= 0) {
                fds.push_back(pollfd{fd, events, 0});
                slots.push_back(slot);
            }
        };
        watch(input.writeEnd.get(), POLLOUT, stdinSlot);
        watch(output.readEnd.get(), POLLIN, stdoutSlot);
        watch(error.readEnd.get(), POLLIN, stderrSlot);
        if (!stopping) {
            watch(wakeup->fd(), POLLIN, wakeSlot);
        }
        watch(exitFd.get(), POLLIN, exitSlot);

        std::optional<SteadyClock::time_point> wakeAt;
        if (result.killed) {
            wakeAt.reset(); // only the exit is left to wait for
        } else if (killAt) {
            wakeAt = *killAt;
        } else {
            wakeAt = deadline;
        }
        int timeoutMs = waitMilliseconds(now, wakeAt);
        if (!exitFd.valid()) {
            const int interval = static_cast<int>(exitPollInterval.count());
            timeoutMs = timeoutMs < 0 ? interval : std::min(timeoutMs, interval);
        }

        const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0 && errno != EINTR) {
            // Nothing sensible is left to wait on; make sure the child ends.
            stop(ProcessOutcome::cancelled);
            signalChild(pid, SIGKILL);
            result.killed = true;
            break;
        }
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            switch (slots[i]) {
            case stdinSlot: {
                const ssize_t count = ::write(input.writeEnd.get(), stdinData.data() + stdinWritten,
                                              stdinData.size() - stdinWritten);
                if (count > 0) {
                    stdinWritten += static_cast<std::size_t>(count);
                }
                // EPIPE: the child does not want the rest; that is its choice.
                const bool failed =
                    count < 0 && errno != EAGAIN && errno != EINTR && errno != EWOULDBLOCK;
                if (failed || stdinWritten == stdinData.size()) {
                    input.writeEnd.reset();
                }
                break;
            }
            case stdoutSlot:
                readFrom(output.readEnd, result.standardOutput);
                break;
            case stderrSlot:
                readFrom(error.readEnd, result.standardError);
                break;
            case wakeSlot:
                stop(ProcessOutcome::cancelled);
                break;
            case exitSlot:
                break;
            }
        }
        if (overflowed) {
            stop(ProcessOutcome::outputTooLarge);
        }
        noticeExit();
    }

    if (stopping) {
        // Whatever it started and left behind goes too: no process of a stopped
        // run outlives the call.
        ::kill(-pid, SIGKILL);
    }
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }

    // What the child wrote before it ended is already in the pipes, at most
    // their capacity. Output of processes it left behind is not waited for.
    for (auto [end, into] : {std::pair{&output.readEnd, &result.standardOutput},
                             std::pair{&error.readEnd, &result.standardError}}) {
        if (!end->valid()) {
            continue;
        }
        const int capacity = ::fcntl(end->get(), F_GETPIPE_SZ);
        const std::size_t until =
            into->size() + (capacity > 0 ? static_cast<std::size_t>(capacity) : 1u << 20);
        while (end->valid() && into->size() < until &&
               readFrom(*end, *into) == ReadState::readSome) {
        }
    }

    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitCode = WTERMSIG(status);
        if (!stopping) {
            result.outcome = ProcessOutcome::signaled;
        }
    }
    if (overflowed && !stopping) {
        // Found only after the child had ended: never a truncated success.
        result.outcome = ProcessOutcome::outputTooLarge;
    }
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - started);
    return result;
}

} // namespace berthkeep
