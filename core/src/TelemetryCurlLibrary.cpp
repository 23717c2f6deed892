#include "TelemetryCurlLibrary.hpp"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <string_view>

namespace berthkeep::core {

namespace {

template <typename Function> bool resolve(void* handle, const char* name, Function& into) {
    void* address = dlsym(handle, name);
    if (!address) {
        return false;
    }
    into = reinterpret_cast<Function>(address);
    return true;
}

} // namespace

const TelemetryCurlLibrary& TelemetryCurlLibrary::shared() {
    static std::once_flag opened;
    // Never destroyed on purpose: uploads may still run on other threads at exit.
    // Static storage rather than the heap, so unloading this library frees it.
    alignas(TelemetryCurlLibrary) static unsigned char storage[sizeof(TelemetryCurlLibrary)];
    static const TelemetryCurlLibrary* library = nullptr;
    std::call_once(opened, [] {
        library = ::new (static_cast<void*>(storage))
            TelemetryCurlLibrary(std::getenv(libraryNameVariable));
    });
    return *library;
}

TelemetryCurlLibrary::TelemetryCurlLibrary(const char* overrideName) {
    const std::string_view name =
        overrideName && *overrideName ? std::string_view(overrideName) : defaultLibraryName;
    const std::string prefix = "libcurl is unavailable: ";
    if (name.find('/') != std::string_view::npos) {
        m_unavailableReason =
            prefix + "\"" + std::string(name) + "\" is a path, not a library name";
        return;
    }
    const std::string libraryName(name);
    dlerror();
    void* handle = dlopen(libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* message = dlerror();
        m_unavailableReason = prefix + "cannot load " + libraryName + " (" +
                              (message ? message : "unknown error") + ")";
        return;
    }

    const char* lacking = nullptr;
    const auto take = [&](const char* symbol, auto& into) {
        if (!lacking && !resolve(handle, symbol, into)) {
            lacking = symbol;
        }
    };
    take("curl_global_init", globalInit);
    take("curl_easy_init", easyInit);
    take("curl_easy_cleanup", easyCleanup);
    take("curl_easy_setopt", easySetopt);
    take("curl_easy_perform", easyPerform);
    take("curl_easy_getinfo", easyGetinfo);
    take("curl_easy_strerror", easyStrerror);
    take("curl_slist_append", slistAppend);
    take("curl_slist_free_all", slistFreeAll);
    if (lacking) {
        m_unavailableReason = prefix + libraryName + " lacks " + lacking;
        dlclose(handle);
        return;
    }

    // Once per process, before any transfer; the call_once around the constructor
    // keeps it from racing with itself.
    if (const CURLcode result = globalInit(CURL_GLOBAL_DEFAULT); result != CURLE_OK) {
        m_unavailableReason = prefix + "set-up failed (" + easyStrerror(result) + ")";
    }
}

} // namespace berthkeep::core
