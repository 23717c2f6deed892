#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "BerthkeepTelemetry/BerthkeepTelemetryRecords.hpp"
#include "platform/Files/AtomicFileWriter.hpp"

namespace berthkeep {

// Why a queue store failed. A file that reads but does not decode is `undecodable`:
// only that case can be set aside; a read failure may pass by itself.
class BerthkeepTelemetryQueueStoreError : public std::runtime_error {
public:
    enum class Kind { readFailed, undecodable, writeFailed };

    BerthkeepTelemetryQueueStoreError(Kind kind, const std::string& message, bool repeated = false)
        : std::runtime_error(message)
        , m_kind(kind)
        , m_repeated(repeated) {}

    Kind kind() const noexcept { return m_kind; }
    // The same failure as the store's last one, with no success between: already
    // reported once (a full disk fails every pass alike).
    bool repeated() const noexcept { return m_repeated; }

private:
    Kind m_kind;
    bool m_repeated;
};

// Where the telemetry queue lives between passes. Synchronous, on the calling
// thread; failures are thrown (BerthkeepTelemetryQueueStoreError).
class BerthkeepTelemetryQueueStoring {
public:
    virtual ~BerthkeepTelemetryQueueStoring() = default;

    // The stored queue; the empty queue when nothing is stored.
    virtual BerthkeepTelemetryQueue load() const = 0;
    virtual void save(const BerthkeepTelemetryQueue& queue) const = 0;
    // Keeps a queue that does not decode for inspection, so later passes start
    // afresh: the next save that lands sets it aside, once the new queue is
    // safe beside it, and `moved` hears where it went (on the saving thread).
    virtual void setAsideUndecodableQueue(AtomicFileWriter::SetAsideReport moved) const = 0;
};

// telemetry-queue.json in the program's Application Support folder: pretty-printed
// JSON with sorted keys, replaced atomically on every save. A save that fails
// still throws, but its queue stays pending in the writer: load() hands it back
// instead of the older file, and the next save or AtomicFileWriter's retry
// writes it, so the events it holds are not lost with a full disk.
class FileBerthkeepTelemetryQueueStore final : public BerthkeepTelemetryQueueStoring {
public:
    static constexpr const char* fileName = "telemetry-queue.json";
    static constexpr const char* setAsideSuffix = ".corrupt";
    // The core keeps some 500 events, a few hundred KiB. A larger file, or
    // anything but a regular file (a pipe would hold the reader), is not read:
    // it counts as undecodable.
    static constexpr std::int64_t maximumFileSize = 4 * 1024 * 1024;

    // Root: baseURL, else the user's Application Support folder, else the
    // temporary folder; then the runtime identity's folder name ("Berthkeep" or
    // "Berthkeep Test"). Touches nothing on disk.
    explicit FileBerthkeepTelemetryQueueStore(
        const std::optional<std::string>& bundleIdentifier = std::nullopt,
        const std::optional<std::string>& baseURL = std::nullopt);

    const std::string& directoryURL() const noexcept { return m_directoryURL; }
    std::string fileURL() const;

    BerthkeepTelemetryQueue load() const override;
    void save(const BerthkeepTelemetryQueue& queue) const override;
    // The file goes to telemetry-queue.json.corrupt, through the writer as the
    // preferences do: the file stays at its path until the new queue takes it,
    // also while a full disk refuses that. Earlier ones move to ".corrupt.1"
    // and on, and the oldest beyond a few goes.
    void setAsideUndecodableQueue(AtomicFileWriter::SetAsideReport moved) const override;

private:
    std::string m_directoryURL;
    mutable AtomicFileWriter m_writer;
    // Stale temporaries of killed writers are cleared at the first load.
    mutable std::once_flag m_temporariesChecked;
};

} // namespace berthkeep
