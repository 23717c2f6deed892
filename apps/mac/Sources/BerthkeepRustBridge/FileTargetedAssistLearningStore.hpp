#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "BerthkeepRustBridge/WireDriveUsageMonitorTargetedAssistIdentity.hpp"
#include "platform/Files/AtomicFileWriter.hpp"

namespace berthkeep {

class UnifiedLog;

// Learns which viewer applications keep touching the managed drives, from the
// activity monitor's own reports, and hands the frequent ones back to it.
// Persisted in "targeted-assist-learning.json" in the Application Support folder.
//
// Every operation holds the store's lock for its whole run, file write included,
// so any thread may call it. Nothing here throws: a bad file reads as an empty
// store, and a failed write leaves the file as it was and learning in memory
// until the next save (or AtomicFileWriter's retry of pending writes); the
// failure is logged once, not at every save.
class FileTargetedAssistLearningStore {
public:
    using Identity = WireDriveUsageMonitorTargetedAssistIdentity;
    using Date = std::chrono::system_clock::time_point;
    using NowProvider = std::function<Date()>;

    struct PersistedRecord {
        std::string identity; // trimmed and lower-cased
        std::string displayName;
        std::int64_t hitCount = 0;
        Date lastSeenAt;

        bool operator==(const PersistedRecord&) const = default;
    };

    struct PersistedState {
        std::vector<PersistedRecord> records;

        bool operator==(const PersistedState&) const = default;
    };

    static constexpr const char* fileName = "targeted-assist-learning.json";
    // Built into the monitor already; never learned.
    static const std::set<std::string> builtInIdentities;
    // 30 days since the last sighting.
    static constexpr std::chrono::seconds expiryInterval{2'592'000};
    static constexpr std::int64_t promotionHitCount = 2;
    static constexpr std::size_t maximumPromotedCount = 12;
    // A larger file, or anything but a regular file (a pipe would hold the
    // reader), is not read: the store starts empty and the next save replaces it.
    static constexpr std::int64_t maximumFileSize = 4 * 1024 * 1024;

    // baseDirectory: the folder that receives the store's own folder
    // ("Berthkeep" or "Berthkeep Test"); by default the user's Application
    // Support folder, else the temporary directory. Reads the file; creates nothing.
    // log: where a failed write is told; by default the process's unified log.
    explicit FileTargetedAssistLearningStore(
        std::optional<std::string> bundleIdentifier,
        std::optional<std::string> baseDirectory = std::nullopt, NowProvider nowProvider = {},
        std::shared_ptr<UnifiedLog> log = nullptr);

    FileTargetedAssistLearningStore(const FileTargetedAssistLearningStore&) = delete;
    FileTargetedAssistLearningStore& operator=(const FileTargetedAssistLearningStore&) = delete;

    // Learns from one snapshot's observations; an empty list does nothing at all.
    void recordObserved(const std::vector<Identity>& identities);
    // Seen at least twice within the window, most often first, then most
    // recently seen; at most twelve.
    std::vector<Identity> promotedIdentities();

    const std::string& directoryPath() const { return m_directoryPath; }
    std::string filePath() const;

    // Trimmed of white space and line breaks at both ends, then lower-cased.
    static std::string identityKey(const std::string& identity);
    // Built in, a Quick Look component, or a path whose last component is built in.
    static bool isSkipped(const std::string& key);

    // The file's text: pretty-printed, keys sorted, records by identity, dates in
    // whole UTC seconds. Throws only when a text is not valid UTF-8.
    static std::string encodeState(const PersistedState& state);
    // Nothing for malformed JSON, a missing or mistyped key, or a bad date.
    static std::optional<PersistedState> decodeState(const std::string& text);
    // ISO 8601 internet date-time: "2026-01-31T17:05:09Z" (or a +hh:mm offset).
    // Nothing for a date outside what Date holds (before 1677-09-21T00:12:44Z or
    // after 2262-04-11T23:47:16Z).
    static std::string formatDate(Date date);
    static std::optional<Date> parseDate(const std::string& text);

    // The records of the file in the folder, keyed by their stored identity;
    // empty when the file is missing or unreadable. `problem`, when given, says
    // why a file that is there was not read.
    static std::map<std::string, PersistedRecord> loadRecords(const std::string& directoryPath,
                                                              std::string* problem = nullptr);

private:
    void pruneExpiredRecords(Date now);
    std::vector<Identity> promotedIdentitiesLocked() const;
    void saveLocked();
    void logError(const std::string& message) const;
    static std::vector<Identity> deduplicated(const std::vector<Identity>& identities);

    std::mutex m_lock;
    std::string m_directoryPath;
    NowProvider m_nowProvider;
    std::map<std::string, PersistedRecord> m_recordsByIdentity;
    AtomicFileWriter m_writer;
    std::shared_ptr<UnifiedLog> m_log;
};

} // namespace berthkeep
