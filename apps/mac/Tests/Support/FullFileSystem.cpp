#include "FullFileSystem.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace berthkeep::test {

namespace {

constexpr const char* kFillerName = ".filler";

// Once per process: later mounts stay in it and vanish with it. Fails in a
// process that already runs threads, or where mounting is not allowed.
bool ownMountNamespace() {
    static const bool owned = [] {
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0) {
            return false;
        }
        return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    return owned;
}

} // namespace

FullFileSystem::FullFileSystem(unsigned megabytes)
    : m_size("size=" + std::to_string(megabytes) + "m") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "berthkeep-full-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        ADD_FAILURE() << "cannot make a temporary folder";
        return;
    }
    m_folder = pattern;
    m_mounted = ownMountNamespace() && ::mount("tmpfs", m_folder.c_str(), "tmpfs",
                                               MS_NOSUID | MS_NODEV, m_size.c_str()) == 0;
}

FullFileSystem::~FullFileSystem() {
    makeRoom();
    if (m_mounted) {
        ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

void FullFileSystem::fill() {
    if (m_full) {
        return;
    }
    m_full = true;
    if (!m_mounted) {
        ::getrlimit(RLIMIT_FSIZE, &m_savedLimit);
        struct rlimit none = m_savedLimit;
        none.rlim_cur = 0;
        // Past the limit the kernel also sends SIGXFSZ, which would end the test.
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &none);
        return;
    }
    const std::string filler = m_folder + "/" + kFillerName;
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'x');
    // Page by page, then byte by byte, until not one more byte fits.
    for (std::size_t size : {block.size(), std::size_t(1)}) {
        while (::write(fd, block.data(), size) > 0) {
        }
    }
    const int error = errno;
    ::close(fd);
    EXPECT_EQ(error, ENOSPC);
}

void FullFileSystem::makeRoom() {
    if (!m_full) {
        return;
    }
    m_full = false;
    if (!m_mounted) {
        ::setrlimit(RLIMIT_FSIZE, &m_savedLimit);
        std::signal(SIGXFSZ, m_savedHandler);
        return;
    }
    ::unlink((m_folder + "/" + kFillerName).c_str());
}

bool FullFileSystem::setReadOnly(bool readOnly) {
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    return m_mounted && ::mount("tmpfs", m_folder.c_str(), "tmpfs", flags, m_size.c_str()) == 0;
}

} // namespace berthkeep::test
