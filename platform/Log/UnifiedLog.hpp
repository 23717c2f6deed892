#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace berthkeep {

// The types a unified-log entry can carry, lowest first.
enum class UnifiedLogType { debug, info, defaultType, error, fault };

// "debug", "info", "default", "error", "fault".
std::string toString(UnifiedLogType type);

struct UnifiedLogEntry {
    std::string subsystem;
    std::string category;
    UnifiedLogType type = UnifiedLogType::defaultType;
    std::string message;

    bool operator==(const UnifiedLogEntry&) const = default;
};

// The system log: entries under a subsystem and a category, each with a type.
// Writers ask isEnabled first so that disabled types cost nothing to render.
// Implementations are safe to call from any thread.
class UnifiedLog {
public:
    virtual ~UnifiedLog() = default;

    virtual bool isEnabled(const std::string& subsystem, const std::string& category,
                           UnifiedLogType type) const = 0;
    virtual void write(const UnifiedLogEntry& entry) = 0;

    // The live log of this process; replaced by the composition root or by tests.
    static std::shared_ptr<UnifiedLog> shared();
    static void setShared(std::shared_ptr<UnifiedLog> log);
};

// Writes one line per entry to standard error. Debug entries are off unless asked
// for, as in the system log.
class StandardErrorUnifiedLog final : public UnifiedLog {
public:
    explicit StandardErrorUnifiedLog(bool debugEnabled = false);

    bool isEnabled(const std::string& subsystem, const std::string& category,
                   UnifiedLogType type) const override;
    void write(const UnifiedLogEntry& entry) override;

    // The line written for an entry, without the trailing newline.
    static std::string formatLine(const UnifiedLogEntry& entry);

private:
    bool m_debugEnabled;
    std::mutex m_mutex;
};

// Records every entry so that tests can assert on what was written.
class CaptureUnifiedLog final : public UnifiedLog {
public:
    CaptureUnifiedLog() = default;

    bool isEnabled(const std::string& subsystem, const std::string& category,
                   UnifiedLogType type) const override;
    void write(const UnifiedLogEntry& entry) override;

    std::vector<UnifiedLogEntry> entries() const;
    void clear();
    // All types are enabled until a test disables one.
    void setEnabled(UnifiedLogType type, bool enabled);

private:
    mutable std::mutex m_mutex;
    std::vector<UnifiedLogEntry> m_entries;
    std::set<UnifiedLogType> m_disabled;
};

} // namespace berthkeep
