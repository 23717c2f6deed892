#include "BerthkeepShared/ProcessRunner.hpp"

#include <atomic>
#include <csignal>
#include <fstream>
#include <future>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace berthkeep {
namespace {

ProcessRequest shell(const std::string& script, std::chrono::milliseconds timeout = 5000ms) {
    ProcessRequest request;
    request.executablePath = "/bin/sh";
    request.arguments = {"-c", script};
    request.timeout = timeout;
    return request;
}

// Runs a script that prints a first line once set up (its SIGTERM trap set),
// until a run has printed it by the deadline: a stop that comes before that
// ends the shell the default way and proves nothing. A loaded machine, slow to
// start the shell, gets a deadline four times as long each time, up to 20 s;
// request.timeout ends as the deadline of the run returned. An empty
// `firstLine` takes any line.
ProcessResult runSetUpByTheDeadline(ProcessRequest& request, const std::string& firstLine) {
    for (;;) {
        ProcessResult result = runProcess(request);
        const auto& output = result.standardOutput;
        const bool setUp = firstLine.empty() ? output.find('\n') != std::string::npos
                                             : output.rfind(firstLine + "\n", 0) == 0;
        if (setUp || request.timeout >= 20s) {
            return result;
        }
        request.timeout *= 4;
    }
}

// A zombie waiting for its new parent to reap it counts as gone.
bool processRuns(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) {
        return false;
    }
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

TEST(ProcessRunner, ReportsExitCodeAndBothStreams) {
    const auto result = runProcess(shell("echo out; echo err >&2; exit 3"));
    EXPECT_EQ(result.outcome, ProcessOutcome::exited);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.standardOutput, "out\n");
    EXPECT_EQ(result.standardError, "err\n");
    EXPECT_FALSE(result.killed);
    EXPECT_FALSE(result.succeeded());
    EXPECT_TRUE(runProcess(shell("true")).succeeded());
}

TEST(ProcessRunner, PassesArgumentsUnchangedAndEnvironmentOverrides) {
    auto request = shell("printf '%s|' \"$0\" \"$1\" \"$BK_TEST_VALUE\" \"$HOME\"", 5000ms);
    request.arguments.push_back("with space");
    request.arguments.push_back("$not_expanded");
    request.environment["BK_TEST_VALUE"] = "a=b c";
    request.environment["HOME"] = "/nowhere";
    const auto result = runProcess(request);
    EXPECT_EQ(result.standardOutput, "with space|$not_expanded|a=b c|/nowhere|");
}

TEST(ProcessRunner, DrainsMoreThanAPipeBufferOnBothStreamsAtOnce) {
    // 1 MiB on each stream, interleaved: a runner that reads one stream after
    // the other deadlocks here until the deadline.
    const auto result = runProcess(shell("i=0; while [ $i -lt 16 ]; do head -c 65536 /dev/zero; "
                                         "head -c 65536 /dev/zero >&2; i=$((i+1)); done",
                                         5000ms));
    EXPECT_EQ(result.outcome, ProcessOutcome::exited);
    EXPECT_EQ(result.standardOutput.size(), 1u << 20);
    EXPECT_EQ(result.standardError.size(), 1u << 20);
}

TEST(ProcessRunner, OutputPastTheLimitFailsTheRunAndKeepsOnlyTheLimit) {
    constexpr std::size_t limit = 64 * 1024;
    struct Case {
        const char* script;
        ProcessOutcome outcome;
        std::size_t keptOut;
        std::size_t keptErr;
    };
    const Case cases[] = {
        {"head -c 65536 /dev/zero; head -c 65536 /dev/zero >&2", ProcessOutcome::exited, limit,
         limit},
        // Ends with status 0 before its output is read: still no success.
        {"head -c 65537 /dev/zero", ProcessOutcome::outputTooLarge, limit, 0},
        {"echo note; head -c 200000 /dev/zero >&2; exec sleep 30", ProcessOutcome::outputTooLarge,
         5, limit},
        // Never stops on its own and shrugs off SIGTERM.
        {"trap '' TERM; yes", ProcessOutcome::outputTooLarge, limit, 0},
    };
    for (const auto& c : cases) {
        auto request = shell(c.script, 10s);
        request.outputLimit = limit;
        const auto result = runProcess(request);
        EXPECT_EQ(result.outcome, c.outcome) << c.script;
        EXPECT_EQ(result.succeeded(), c.outcome == ProcessOutcome::exited) << c.script;
        EXPECT_EQ(result.standardOutput.size(), c.keptOut) << c.script;
        EXPECT_EQ(result.standardError.size(), c.keptErr) << c.script;
        EXPECT_LT(result.elapsed, 2s) << c.script;
    }
}

TEST(ProcessRunner, FloodUnderAShortDeadlineReturnsPromptlyWithBoundedMemory) {
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    auto request = shell("exec yes", 500ms);
    const auto result = runProcess(request);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);

    EXPECT_EQ(result.outcome, ProcessOutcome::outputTooLarge);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.standardOutput.size(), defaultProcessOutputLimit);
    EXPECT_EQ(result.standardOutput.substr(0, 4), "y\ny\n");
    EXPECT_LT(result.elapsed, request.timeout + request.terminationGracePeriod + 500ms);
    // ru_maxrss is in KiB: the peak grew by a few times the limit at most.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);
}

TEST(ProcessRunner, RoundTripsLargeStandardInput) {
    std::string input;
    input.reserve(3u << 20);
    for (int i = 0; input.size() < (3u << 20); ++i) {
        input += std::to_string(i) + "\n";
    }
    ProcessRequest request;
    request.executablePath = "/bin/cat";
    request.standardInput = input;
    request.timeout = 5000ms;
    const auto result = runProcess(request);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput.size(), input.size());
    EXPECT_TRUE(result.standardOutput == input);
}

TEST(ProcessRunner, AbsentInputIsAnImmediateEndOfFile) {
    ProcessRequest request;
    request.executablePath = "/bin/cat";
    request.timeout = 2000ms;
    const auto result = runProcess(request);
    EXPECT_EQ(result.outcome, ProcessOutcome::exited);
    EXPECT_EQ(result.standardOutput, "");
}

TEST(ProcessRunner, ChildThatClosesStdinEarlyDoesNotHurtUs) {
    auto request = shell("exec 0<&-; echo done", 3000ms);
    request.standardInput = std::string(4u << 20, 'x');
    const auto result = runProcess(request);
    EXPECT_EQ(result.outcome, ProcessOutcome::exited);
    EXPECT_EQ(result.standardOutput, "done\n");
}

TEST(ProcessRunner, WorksWhenOurOwnStandardStreamsAreClosed) {
    // A program started without stdin/stdout gets pipes on fds 0 and 1.
    const int savedIn = ::dup(STDIN_FILENO);
    const int savedOut = ::dup(STDOUT_FILENO);
    std::fflush(stdout);
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
    ProcessRequest request;
    request.executablePath = "/bin/cat";
    request.standardInput = "through the pipes";
    request.timeout = 2000ms;
    ProcessResult result;
    std::string failure;
    try {
        result = runProcess(request);
    } catch (const std::exception& error) {
        failure = error.what();
    }
    ::dup2(savedIn, STDIN_FILENO);
    ::dup2(savedOut, STDOUT_FILENO);
    ::close(savedIn);
    ::close(savedOut);
    EXPECT_EQ(failure, "");
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput, "through the pipes");
}

TEST(ProcessRunner, HangingChildIsStoppedAtTheDeadline) {
    auto request = shell("echo started; exec sleep 30", 400ms);
    const auto result = runSetUpByTheDeadline(request, "started");
    EXPECT_EQ(result.outcome, ProcessOutcome::timedOut);
    EXPECT_FALSE(result.killed);
    EXPECT_EQ(result.exitCode, SIGTERM);
    EXPECT_EQ(result.standardOutput, "started\n");
    EXPECT_GE(result.elapsed, request.timeout);
    EXPECT_LT(result.elapsed, request.timeout + 1100ms);
}

TEST(ProcessRunner, ChildIgnoringSigtermIsKilledAfterTheGracePeriod) {
    auto request = shell("trap '' TERM; echo ready; while :; do sleep 1; done", 400ms);
    request.terminationGracePeriod = 250ms;
    const auto result = runSetUpByTheDeadline(request, "ready");
    EXPECT_EQ(result.outcome, ProcessOutcome::timedOut);
    EXPECT_TRUE(result.killed);
    EXPECT_EQ(result.exitCode, SIGKILL);
    EXPECT_GE(result.elapsed, request.timeout + 250ms);
    EXPECT_LT(result.elapsed, request.timeout + 1600ms);
}

TEST(ProcessRunner, ChildEndingOnSigtermWithinTheGracePeriodIsNotKilled) {
    auto request =
        shell("trap 'echo bye; exit 7' TERM; echo ready; while :; do sleep 0.02; done", 400ms);
    request.terminationGracePeriod = 2000ms;
    const auto result = runSetUpByTheDeadline(request, "ready");
    EXPECT_EQ(result.outcome, ProcessOutcome::timedOut);
    EXPECT_FALSE(result.killed);
    EXPECT_EQ(result.exitCode, 7);
    EXPECT_EQ(result.standardOutput, "ready\nbye\n");
    EXPECT_LT(result.elapsed, request.timeout + 1100ms);
}

TEST(ProcessRunner, DeathByASignalReportsTheSignalNumber) {
    const auto result = runProcess(shell("kill -USR1 $$; sleep 5"));
    EXPECT_EQ(result.outcome, ProcessOutcome::signaled);
    EXPECT_EQ(result.exitCode, SIGUSR1);
    EXPECT_FALSE(result.killed);
}

TEST(ProcessRunner, MissingOrNonExecutableProgramFailsAtOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string plainFile = dir.filePath("not-executable").toStdString();
    FILE* file = std::fopen(plainFile.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("#!/bin/sh\necho hi\n", file);
    std::fclose(file);
    ::chmod(plainFile.c_str(), 0644);

    struct Case {
        std::string path;
        int errorNumber;
    };
    const Case cases[] = {
        {dir.filePath("missing").toStdString(), ENOENT},
        {plainFile, EACCES},
        {"berthkeep-no-such-program-on-path", ENOENT},
    };
    for (const auto& c : cases) {
        ProcessRequest request;
        request.executablePath = c.path;
        request.timeout = 10s;
        const auto before = std::chrono::steady_clock::now();
        try {
            runProcess(request);
            ADD_FAILURE() << "no launch error for " << c.path;
        } catch (const ProcessLaunchError& error) {
            EXPECT_EQ(error.path(), c.path);
            EXPECT_EQ(error.errorNumber(), c.errorNumber) << c.path;
            EXPECT_NE(std::string(error.what()).find(c.path), std::string::npos);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1s) << c.path;
    }
}

TEST(ProcessRunner, CancellationStopsTheChildPromptly) {
    auto token = CancelToken::make();
    auto request = shell("echo started; exec sleep 30", 10s);
    request.cancelToken = token;
    std::thread canceller([token] {
        std::this_thread::sleep_for(300ms);
        token->cancel();
    });
    const auto result = runProcess(request);
    canceller.join();
    EXPECT_EQ(result.outcome, ProcessOutcome::cancelled);
    EXPECT_EQ(result.standardOutput, "started\n");
    EXPECT_LT(result.elapsed, 2s);
}

TEST(ProcessRunner, AlreadyCancelledTokenStartsNothing) {
    auto token = CancelToken::make();
    token->cancel();
    auto request = shell("echo should-not-run");
    request.cancelToken = token;
    const auto result = runProcess(request);
    EXPECT_EQ(result.outcome, ProcessOutcome::cancelled);
    EXPECT_EQ(result.standardOutput, "");
}

// Quitting: every run under way stops, whatever its own token, and nothing new
// starts until it is allowed again.
TEST(ProcessRunner, CancellingAllStopsEveryRunAndStartsNoMore) {
    auto ignoring = shell("trap '' TERM; echo started; while :; do sleep 1; done", 30s);
    ignoring.terminationGracePeriod = 200ms;
    auto plain = shell("exec sleep 30", 30s);
    plain.cancelToken = CancelToken::make(); // never cancelled itself
    auto first = std::async(std::launch::async, [&] { return runProcess(ignoring); });
    auto second = std::async(std::launch::async, [&] { return runProcess(plain); });
    std::this_thread::sleep_for(300ms);
    cancelAllProcesses();
    for (auto* run : {&first, &second}) {
        ASSERT_EQ(run->wait_for(5s), std::future_status::ready);
        const auto result = run->get();
        EXPECT_EQ(result.outcome, ProcessOutcome::cancelled);
        EXPECT_LT(result.elapsed, 2s);
    }
    const auto later = runProcess(shell("echo should-not-run"));
    allowProcessesAgainForTesting();
    EXPECT_EQ(later.outcome, ProcessOutcome::cancelled);
    EXPECT_EQ(later.standardOutput, "");
    EXPECT_TRUE(runProcess(shell("true")).succeeded());
}

TEST(ProcessRunner, StoppedRunLeavesNoProcessOfItsGroupBehind) {
    // The script starts a background child that ignores SIGTERM and reports its pid.
    auto request = shell("(trap '' TERM; exec sleep 30) & echo $!; wait", 400ms);
    request.terminationGracePeriod = 100ms;
    const auto result = runSetUpByTheDeadline(request, "");
    EXPECT_EQ(result.outcome, ProcessOutcome::timedOut);
    ASSERT_FALSE(result.standardOutput.empty());
    const pid_t grandchild = std::stoi(result.standardOutput);
    // The kill is delivered asynchronously; give it a moment.
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (processRuns(grandchild) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(processRuns(grandchild));
}

TEST(ProcessRunner, ParallelRunsKeepTheirOwnPipes) {
    // With inherited pipe ends a slow sibling would hold another run's output
    // open until it ends, and the fast runs would take as long as the slowest.
    constexpr int runs = 12;
    std::vector<std::future<ProcessResult>> results;
    for (int i = 0; i < runs; ++i) {
        results.push_back(std::async(std::launch::async, [i] {
            auto request = shell(
                i % 3 == 0 ? "sleep 1.5; echo slow" : "echo fast " + std::to_string(i), 5000ms);
            request.standardInput = std::string(1000, 'x');
            return runProcess(request);
        }));
    }
    for (int i = 0; i < runs; ++i) {
        const auto result = results[static_cast<std::size_t>(i)].get();
        EXPECT_TRUE(result.succeeded());
        if (i % 3 == 0) {
            EXPECT_EQ(result.standardOutput, "slow\n");
        } else {
            EXPECT_EQ(result.standardOutput, "fast " + std::to_string(i) + "\n");
            EXPECT_LT(result.elapsed, 1000ms) << i;
        }
    }
}

} // namespace
} // namespace berthkeep
