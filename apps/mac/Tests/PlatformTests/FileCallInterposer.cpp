#include "FileCallInterposer.hpp"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <utility>

namespace berthkeep::test {

namespace {

struct Refusal {
    int error = 0;
    std::string onto;
};

struct Interposed {
    std::map<FileCallInterposer::Call, Refusal> refused;
    std::function<void()> observer;
    bool observing = false;
};

Interposed* g_active = nullptr;

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// True, with errno set, when the call that names a file `to` is to fail.
bool refused(FileCallInterposer::Call call, const char* to) {
    if (!g_active || g_active->observing) {
        return false;
    }
    const auto found = g_active->refused.find(call);
    if (found == g_active->refused.end() ||
        (!found->second.onto.empty() && found->second.onto != to)) {
        return false;
    }
    errno = found->second.error;
    return true;
}

int stepped(int result) {
    if (result != 0 || !g_active || g_active->observing || !g_active->observer) {
        return result;
    }
    const int saved = errno;
    g_active->observing = true;
    g_active->observer();
    g_active->observing = false;
    errno = saved;
    return result;
}

} // namespace

FileCallInterposer::FileCallInterposer() {
    g_active = new Interposed;
}

FileCallInterposer::~FileCallInterposer() {
    delete g_active;
    g_active = nullptr;
}

void FileCallInterposer::refuse(Call call, int error, std::string onto) {
    g_active->refused[call] = Refusal{error, std::move(onto)};
}

void FileCallInterposer::afterEachStep(std::function<void()> observer) {
    g_active->observer = std::move(observer);
}

} // namespace berthkeep::test

using berthkeep::test::FileCallInterposer;

extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto real = berthkeep::test::next<int (*)(const char*, const char*)>("rename");
    if (berthkeep::test::refused(FileCallInterposer::Call::rename, to)) {
        return -1;
    }
    return berthkeep::test::stepped(real(from, to));
}

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
                         unsigned flags) noexcept {
    static const auto real =
        berthkeep::test::next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    if ((flags & RENAME_EXCHANGE) != 0 &&
        berthkeep::test::refused(FileCallInterposer::Call::exchange, to)) {
        return -1;
    }
    return berthkeep::test::stepped(real(fromFolder, from, toFolder, to, flags));
}

extern "C" int link(const char* from, const char* to) noexcept {
    static const auto real = berthkeep::test::next<int (*)(const char*, const char*)>("link");
    if (berthkeep::test::refused(FileCallInterposer::Call::link, to)) {
        return -1;
    }
    return berthkeep::test::stepped(real(from, to));
}
