#pragma once

#include <mutex>
#include <set>
#include <string>

namespace berthkeep {

// Device identifiers, and the whole disks they belong to, that turned out to be
// disk images or virtual volumes. Detailed snapshots skip them without starting
// a `diskutil info` child; the store empties the cache on every disk event, so
// a device is looked at again once something changed.
//
// One instance is shared by the inventory service and its facts hydrator, and
// used from the hydration workers at the same time: the lock is held only for
// one check, insert or reset, never across a child process.
class IgnoredDriveCandidateCache {
public:
    IgnoredDriveCandidateCache() = default;
    IgnoredDriveCandidateCache(const IgnoredDriveCandidateCache&) = delete;
    IgnoredDriveCandidateCache& operator=(const IgnoredDriveCandidateCache&) = delete;

    // True when the identifier, or its whole disk, is known to be ignored.
    bool contains(const std::string& identifier, const std::string& groupIdentifier) const;
    void insert(const std::string& identifier, const std::string& groupIdentifier);
    void removeAll();

    std::set<std::string> ignoredIdentifiers() const;
    std::set<std::string> ignoredGroupIdentifiers() const;

private:
    mutable std::mutex m_lock;
    std::set<std::string> m_ignoredIdentifiers;
    std::set<std::string> m_ignoredGroupIdentifiers;
};

} // namespace berthkeep
