#include "Berthkeep/Inventory/IgnoredDriveCandidateCache.hpp"

namespace berthkeep {

bool IgnoredDriveCandidateCache::contains(const std::string& identifier,
                                          const std::string& groupIdentifier) const {
    std::lock_guard lock(m_lock);
    return m_ignoredIdentifiers.count(identifier) > 0 ||
           m_ignoredGroupIdentifiers.count(groupIdentifier) > 0;
}

void IgnoredDriveCandidateCache::insert(const std::string& identifier,
                                        const std::string& groupIdentifier) {
    std::lock_guard lock(m_lock);
    m_ignoredIdentifiers.insert(identifier);
    m_ignoredGroupIdentifiers.insert(groupIdentifier);
}

void IgnoredDriveCandidateCache::removeAll() {
    std::lock_guard lock(m_lock);
    m_ignoredIdentifiers = {};
    m_ignoredGroupIdentifiers = {};
}

std::set<std::string> IgnoredDriveCandidateCache::ignoredIdentifiers() const {
    std::lock_guard lock(m_lock);
    return m_ignoredIdentifiers;
}

std::set<std::string> IgnoredDriveCandidateCache::ignoredGroupIdentifiers() const {
    std::lock_guard lock(m_lock);
    return m_ignoredGroupIdentifiers;
}

} // namespace berthkeep
