#include "Fifo.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace berthkeep::test {

Fifo::Fifo(std::string path)
    : m_path(std::move(path)) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ignored);
    m_made = ::mkfifo(m_path.c_str(), 0600) == 0;
    if (!m_made) {
        ADD_FAILURE() << "cannot make a named pipe at " << m_path;
    }
}

Fifo::~Fifo() = default;

bool Fifo::returnsWithin(const std::function<void()>& work, std::chrono::milliseconds limit) const {
    std::packaged_task<void()> task(work);
    auto done = task.get_future();
    std::thread worker(std::move(task));
    const bool inTime = done.wait_for(limit) == std::future_status::ready;
    // The reader may have opened it by some other path (a link), so the pipe
    // itself is opened, wherever it now lies: a writer's open releases every
    // reader waiting in theirs.
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    worker.join();
    done.get();
    return inTime;
}

} // namespace berthkeep::test
