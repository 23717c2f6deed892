#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace berthkeep::test {

// A named pipe at a path where the program expects one of its files. Opening
// one for reading waits for a writer, so a reader that opens it the plain way
// never returns.
class Fifo {
public:
    explicit Fifo(std::string path);
    ~Fifo();

    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;

    const std::string& path() const { return m_path; }
    bool made() const { return m_made; }

    // Runs `work` on a thread of its own and says whether it ended within
    // `limit`. When it did not, the pipe is opened for writing and closed, which
    // ends a reader stuck in opening it, so the test ends rather than hangs.
    bool returnsWithin(const std::function<void()>& work,
                       std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

private:
    std::string m_path;
    bool m_made = false;
};

} // namespace berthkeep::test
