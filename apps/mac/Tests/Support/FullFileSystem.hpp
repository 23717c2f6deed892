#pragma once

#include <string>

#include <sys/resource.h>

namespace berthkeep::test {

// A folder whose file system can be made full, for what a write does then.
// Where the test may mount (root), the folder is a small tmpfs in a mount
// namespace of this process's own, so nothing outlives the process, and fill()
// takes its last byte: writes fail with ENOSPC. Elsewhere the folder is an
// ordinary temporary one, and fill() lowers the process's file-size limit to
// nothing: every write to a file fails (EFBIG) as on a full disk.
class FullFileSystem {
public:
    // A tmpfs of `megabytes`, where one can be mounted.
    explicit FullFileSystem(unsigned megabytes = 1);
    ~FullFileSystem();

    FullFileSystem(const FullFileSystem&) = delete;
    FullFileSystem& operator=(const FullFileSystem&) = delete;

    const std::string& folder() const { return m_folder; }
    // True on a real full file system, false with the write limit.
    bool isTmpfs() const { return m_mounted; }

    void fill();
    void makeRoom();
    // Remounts the tmpfs read-only, or writable again: false where the folder
    // is no tmpfs of its own (writes cannot be refused that way there).
    bool setReadOnly(bool readOnly);

private:
    std::string m_folder;
    std::string m_size;
    bool m_mounted = false;
    bool m_full = false;
    struct rlimit m_savedLimit {};
    void (*m_savedHandler)(int) = nullptr;
};

} // namespace berthkeep::test
