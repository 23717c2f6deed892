#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// Replaces one file's whole content so that it holds the old bytes or the new
// ones, never a part or nothing: the bytes go to a temporary file beside it,
// every write is checked, the temporary is synced and closed, renamed over the
// file, and the folder is synced. On any failure before the rename the
// temporary is removed and the file is untouched. The folder must exist. A
// replaced file keeps its permissions, and a symbolic link its target (which is
// what gets replaced); a new file gets 0666 less the umask.
//
// A writer remembers its last failure, so a caller that retries on every tick
// logs a full disk once: the same failure again is marked repeated until a
// write succeeds. Any thread may call it; writes of one writer are serialised.
class AtomicFileWriter {
public:
    struct Outcome {
        // What went wrong, with the file's path and the system's reason.
        std::optional<std::string> failure;
        // The same failure as the last write's: already reported.
        bool repeated = false;

        bool succeeded() const { return !failure; }
        // A failure nobody has been told of yet.
        bool needsReport() const { return failure && !repeated; }
    };

    explicit AtomicFileWriter(std::string path);

    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    const std::string& path() const { return m_path; }
    Outcome write(std::string_view bytes);

    // One replacement without memory of earlier ones: the failure, or nothing.
    static std::optional<std::string> replace(const std::string& path, std::string_view bytes);

private:
    const std::string m_path;
    std::mutex m_mutex;
    std::optional<std::string> m_lastFailure;
};

} // namespace berthkeep
