#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace berthkeep::core {

// Process names (/proc/<pid>/comm) kept from one scan to the next, so a process seen
// before costs no read of its name. A kept name holds for the same process running the
// same executable only: a new process under a reused pid has a /proc directory of its
// own (another inode), and an exec of another program changes the executable link.
// Only a name the kernel took from the executable's own file name is kept: a script run
// by an interpreter or a program started through a link of another name may exec
// another one without the executable changing, so their names are read every time.
// What is left, a process renaming itself, is caught by reading every name again after
// a while. Not thread-safe: the owner serialises the scans.
class ProcessNameCache {
public:
    using Clock = std::chrono::steady_clock;

    // Who a process is, as far as its name is concerned.
    struct Process {
        pid_t pid = 0;
        // Inode of the process's /proc directory.
        ino_t directory = 0;
        // Empty when the link was unreadable: the name is then never kept.
        std::string_view executable;
    };

    explicit ProcessNameCache(Clock::duration rereadAfter = std::chrono::seconds(30));

    // Processes not found or kept between the two are forgotten at the end.
    void startScan(Clock::time_point now);
    void finishScan();

    // The name kept for the process; null when it must be read.
    std::optional<std::string_view> find(const Process& process);
    // Keeps a name just read, when it is the executable's own.
    void keep(const Process& process, std::string_view name);

    std::size_t size() const { return m_entries.size(); }

private:
    struct Entry {
        ino_t directory = 0;
        std::string executable;
        std::string name;
        Clock::time_point readAt;
        std::uint64_t scan = 0;
    };

    const Clock::duration m_rereadAfter;
    std::unordered_map<pid_t, Entry> m_entries;
    Clock::time_point m_now;
    std::uint64_t m_scan = 0;
};

} // namespace berthkeep::core
