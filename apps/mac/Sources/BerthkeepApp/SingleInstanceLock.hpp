#pragma once

#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// One running copy per user: two would eject each other's drives from under
// each other, both answer the power messages and overwrite each other's saved
// results. What a copy owns is the user's files, so the lock lives beside
// them, in the preferences folder; a second lock in the runtime folder keeps
// out a copy started on other files in the same session. Each is an flock on
// a file, held by this process's open descriptor: the system drops it when the
// process ends however it ends, so a file left behind, empty or not, never
// blocks the next start. Released when this goes. A lock file that can no
// longer be written (a read-only folder) still locks, opened for reading.
class SingleInstanceLock {
public:
    enum class Outcome {
        acquired,
        // Another process holds one of the locks: heldPath() names it, and
        // holder() says which process, where the system shows it.
        heldByAnother,
        // The preferences folder's lock could not be made: a copy may be
        // running unseen. failure() says why.
        unavailable,
    };

    SingleInstanceLock(std::string preferencesFolder, std::string runtimeFolder);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // $XDG_RUNTIME_DIR, else <temp>/runtime-<user>, where Qt itself falls back.
    static std::string defaultRuntimeFolder();

    // Without a login session's runtime folder, names the fallback one (made
    // private to the user) as a session would, before Qt asks and warns.
    static void provideRuntimeFolder();

    // Takes both locks, the preferences folder's first. A runtime lock that
    // cannot be made is only noted in failure(): the preferences lock already
    // keeps every copy on the same files out.
    Outcome tryLock();

    struct Holder {
        int pid = 0;
        // Its command name ("Berthkeep" for a running copy); empty when unknown.
        std::string name;
    };

    const std::string& heldPath() const { return m_heldPath; }
    const std::optional<Holder>& holder() const { return m_holder; }
    static constexpr const char* programName = "Berthkeep";
    // Why a lock could not be made; empty when both were.
    const std::string& failure() const { return m_failure; }

private:
    enum class Attempt { taken, held, failed };
    Attempt lockIn(const std::string& folder);
    void release();

    std::string m_preferencesFolder;
    std::string m_runtimeFolder;
    std::vector<int> m_descriptors;
    std::string m_heldPath;
    std::optional<Holder> m_holder;
    std::string m_failure;
};

} // namespace berthkeep
