#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BerthkeepShared/CancelToken.hpp"

namespace berthkeep {

// What a run keeps of each of stdout and stderr; the tools' answers are far smaller.
inline constexpr std::size_t defaultProcessOutputLimit = 4u << 20;

// One child-process runner for the whole program: posix_spawn with close-on-exec
// pipes, stdin written while stdout and stderr drain together, a deadline, SIGTERM
// then SIGKILL after a grace period. Blocking: worker threads call it directly,
// main-thread code awaits it on a pool (see runProcessAsync).
struct ProcessRequest {
    std::string executablePath;
    std::vector<std::string> arguments;       // without argv[0]
    std::optional<std::string> standardInput; // closed at once when absent
    std::chrono::milliseconds timeout{5000};
    std::chrono::milliseconds terminationGracePeriod{250};
    // Extra or replaced environment variables; the rest is inherited.
    std::map<std::string, std::string> environment;
    std::shared_ptr<CancelToken> cancelToken;            // optional
    std::size_t outputLimit = defaultProcessOutputLimit; // bytes, per stream
};

enum class ProcessOutcome {
    exited,         // ended on its own; exitCode holds the status
    signaled,       // killed by a signal it did not get from us; exitCode holds the signal number
    timedOut,       // stopped at the deadline
    cancelled,      // stopped because the token was cancelled
    outputTooLarge, // a stream passed the output limit; the child was stopped
};

struct ProcessResult {
    ProcessOutcome outcome = ProcessOutcome::exited;
    int exitCode = 0;
    bool killed = false; // SIGKILL was needed after the grace period
    std::string standardOutput;
    std::string standardError;
    std::chrono::milliseconds elapsed{0};

    bool succeeded() const { return outcome == ProcessOutcome::exited && exitCode == 0; }
};

// Thrown only when the child could not be started at all.
class ProcessLaunchError : public std::runtime_error {
public:
    ProcessLaunchError(std::string path, int errorNumber);
    const std::string& path() const noexcept { return m_path; }
    int errorNumber() const noexcept { return m_errorNumber; }

private:
    std::string m_path;
    int m_errorNumber;
};

// Returns only once the child is gone: no child outlives its call.
// - executablePath without a '/' is looked up on PATH.
// - The child leads its own process group; a stop (deadline or cancel) sends
//   SIGTERM to the group, SIGKILL after the grace period, and SIGKILL to what is
//   left of the group once the child has ended. On a stop, exitCode holds the
//   child's status or signal number and outcome says why it was stopped.
// - A stream that passes request.outputLimit stops the child as the deadline
//   would (outcome outputTooLarge, even when it has already exited with 0); the
//   stream keeps its first outputLimit bytes. No read holds the loop past the
//   deadline, so a flood of output cannot delay the return.
// - A token already cancelled starts nothing (outcome cancelled).
// - Output of processes the child leaves running is not waited for.
// - SIGPIPE is ignored process-wide (once) unless the program set a handler.
// Throws ProcessLaunchError when the child cannot be started (missing, not
// executable, no pipes); this is reported at once, never after the deadline.
ProcessResult runProcess(const ProcessRequest& request);

// For quitting: stops every run under way as its own token's cancel would, and
// every later run starts nothing (outcome cancelled). Returns at once; each
// run still returns only once its child is gone.
void cancelAllProcesses();
// Undoes cancelAllProcesses, for tests that go on running children after it.
void allowProcessesAgainForTesting();

const char* toString(ProcessOutcome outcome);

} // namespace berthkeep
