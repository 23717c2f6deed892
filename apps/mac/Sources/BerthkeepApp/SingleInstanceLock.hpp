#pragma once

#include <memory>
#include <string>

class QLockFile;

namespace berthkeep {

// One running copy per user: two would eject each other's drives from under
// each other and overwrite each other's saved results. The lock is a file in the
// user's runtime folder; a copy that was killed leaves it behind, and the next
// start takes it over once its process is gone. Released when this goes.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const std::string& folder);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // $XDG_RUNTIME_DIR, else <temp>/runtime-<user>, where Qt itself falls back.
    static std::string defaultFolder();

    // Without a login session's runtime folder, names the fallback one (made
    // private to the user) as a session would, before Qt asks and warns.
    static void provideRuntimeFolder();

    // False when another running copy holds the lock. A folder that cannot be
    // made or written takes no lock and answers true: better two copies than
    // none.
    bool tryLock();

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace berthkeep
