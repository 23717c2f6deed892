#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace berthkeep {

// The process's own diagnostic stream (standard error), one line per call. The
// line is literal text: nothing in it is a format directive.
class ProcessLog {
public:
    virtual ~ProcessLog() = default;
    virtual void write(const std::string& line) = 0;

    static std::shared_ptr<ProcessLog> shared();
    static void setShared(std::shared_ptr<ProcessLog> log);
};

// Prefixes each line with the local time, the process name and its id.
class StandardErrorProcessLog final : public ProcessLog {
public:
    void write(const std::string& line) override;

    static std::string prefix();

private:
    std::mutex m_mutex;
};

class CaptureProcessLog final : public ProcessLog {
public:
    void write(const std::string& line) override;
    std::vector<std::string> lines() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

} // namespace berthkeep
