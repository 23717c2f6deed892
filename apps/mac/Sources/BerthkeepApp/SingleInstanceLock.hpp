#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace berthkeep {

// One running copy per user: two would eject each other's drives from under
// each other, both answer the power messages and overwrite each other's saved
// results. What a copy owns is the user's files, so the lock lives with them:
// on the preferences folder itself (a read-only descriptor of a folder can be
// locked, whatever the folder allows) and on a lock file in it, made through
// a handle that needs no right to read the folder; a second lock in the
// runtime folder keeps out a copy started on other files in the same session.
// Each is an flock held by this process's open descriptor: the system drops
// it when the process ends however it ends, so a file left behind, empty or
// not, never blocks the next start. Released when this goes. A lock file that
// can no longer be written (a read-only folder) still locks, opened for
// reading. A lock file is never followed through a link, and only a regular
// one with no other name is written.
//
// Anyone who can open a file can flock it, so a lock held by another user's
// process is never taken for a copy of this user's: it is not counted, and
// the preferences folder is made private so that nobody else opens it again;
// only a real one: a folder a link there leads to is the user's and keeps
// its mode.
class SingleInstanceLock {
public:
    enum class Outcome {
        acquired,
        // Another process of this user's (or one the system does not name)
        // holds one of the locks: heldPath() names it, and holder() says
        // which process, where the system shows it.
        heldByAnother,
        // Neither lock could be made: a copy may be running unseen.
        unavailable,
    };

    // The session's runtime folder, where it may hold a lock.
    struct RuntimeFolder {
        std::optional<std::string> path;
        // Why the session's folder is not used; empty when it is.
        std::string refusal;
    };

    SingleInstanceLock(std::string preferencesFolder, RuntimeFolder runtimeFolder);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // $XDG_RUNTIME_DIR, else <temp>/runtime-<user> (made, and named in the
    // environment as a login session would, before Qt asks and warns). A
    // shared temporary folder lets another user make that folder first, so
    // either is used only when it is a real folder this user owns, its mode
    // put right to 0700 as Qt does; any other is left alone and refused.
    static RuntimeFolder provideRuntimeFolder();

    // Takes the locks, the session's first, then the preferences folder's: its
    // lock file, then the folder. Either place alone keeps a second copy out:
    // one that cannot be locked is only noted (its failure below), unless the
    // other cannot be either. Held ones are let go before this returns.
    Outcome tryLock();

    // What is at a locked folder's path can change while the program runs
    // (renamed away and made again, deleted, a link pointed elsewhere); a
    // copy started then would lock what is there now. So each place taken
    // is looked at again, and where its folder or lock file is no longer
    // what was locked, the lock is taken again on what is there; a folder
    // that is gone, once it is there again. Cheap when nothing changed: a
    // stat or two.
    struct Renewal {
        enum class Kind {
            unchanged,
            renewed,
            // The folder is gone; its lock is taken when it is there again.
            waiting,
            // Another copy holds the lock there now; it may be one that is
            // about to end, so look again in a moment (contestedRecheck).
            contested,
            // Another copy has held the lock there for a while and runs on:
            // heldPath() and holder() say which.
            heldByAnother,
            // It could not be taken again; `why` says why.
            failed,
        };
        Kind kind = Kind::unchanged;
        // The folder whose lock was taken again, or could not be.
        std::string folder;
        std::string why;
    };
    Renewal renew();
    // How long a copy holding the lock where this one had it is given to let
    // go before this one gives way; and how soon to look again meanwhile.
    static constexpr std::chrono::milliseconds contestedGrace{1000};
    static constexpr std::chrono::milliseconds contestedRecheck{200};
    // Where a change is first seen: the preferences folder and the one it
    // is in.
    std::vector<std::string> watchedFolders() const;

    struct Holder {
        int pid = 0;
        // Its command name ("Berthkeep" for a running copy); empty when unknown.
        std::string name;
        // Whose process it is, where the system shows it.
        std::optional<uid_t> user;
        // Whether it runs this program's executable, where the system shows
        // what it runs.
        std::optional<bool> runsThisProgram;

        // A copy of this program: known by what it runs; where that does not
        // show, by its command name, or when it has none.
        bool isCopy() const;
    };

    const std::string& heldPath() const { return m_heldPath; }
    const std::optional<Holder>& holder() const { return m_holder; }
    static constexpr const char* programName = "Berthkeep";
    // Why each place could not be locked; empty when it was.
    const std::string& preferencesFailure() const { return m_preferencesFailure; }
    const std::string& runtimeFailure() const { return m_runtimeFailure; }
    // Why the lock file beside the preferences could not be used while the
    // folder's own lock serves; empty otherwise.
    const std::string& lockFileFailure() const { return m_lockFileFailure; }
    // Locks other users' processes hold, not counted: one line each.
    const std::vector<std::string>& notCounted() const { return m_notCounted; }
    // The preferences folder, when it was open to other users and is now
    // private; empty otherwise.
    const std::string& madePrivate() const { return m_madePrivate; }
    // The folder the preferences folder links to, when it is open to other
    // users: it is left as it is; empty otherwise.
    const std::string& linkedLeftOpen() const { return m_linkedLeftOpen; }

private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    // A folder's locks, and what they were taken on.
    struct Place {
        std::vector<int> descriptors;
        std::optional<Identity> folder;
        std::optional<Identity> lockFile;
        // Taken at the start: kept taken while the program runs.
        bool kept = false;
        // Since when another copy has held the lock here.
        std::optional<std::chrono::steady_clock::time_point> contestedSince;
    };
    enum class Attempt { taken, held, failed };

    Attempt lockPreferences();
    Attempt lockRuntime();
    Attempt lockIn(int folder, const std::string& path, std::string& failure, Place& place);
    // Takes the descriptor: kept while locked, else closed.
    Attempt lockDescriptor(int descriptor, const std::string& path, std::string& failure,
                           Place& place);
    bool stillInPlace(const Place& place, const std::string& folder) const;
    // The device and inode of an open file; none when they cannot be read.
    static std::optional<Identity> identityOf(int descriptor);
    static void release(Place& place);

    std::string m_preferencesFolder;
    RuntimeFolder m_runtimeFolder;
    Place m_preferences;
    Place m_runtime;
    std::string m_heldPath;
    std::optional<Holder> m_holder;
    std::string m_preferencesFailure;
    std::string m_lockFileFailure;
    std::string m_runtimeFailure;
    std::vector<std::string> m_notCounted;
    std::string m_madePrivate;
    std::string m_linkedLeftOpen;
};

} // namespace berthkeep
