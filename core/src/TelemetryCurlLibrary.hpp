#pragma once

#include <curl/curl.h>

#include <string>

namespace berthkeep::core {

// libcurl, opened at the first upload instead of at load time: it brings dozens of
// shared libraries, and most calls into the core never upload anything. Only the
// header's types and constants are used at build time; the functions below are
// resolved from the versioned library name. Opened once per process (thread-safe)
// and never closed, so the function pointers stay valid.
class TelemetryCurlLibrary final {
public:
    static constexpr const char* defaultLibraryName = "libcurl.so.4";
    // Replaces the library name, for tests of a missing or unusable libcurl. Only a
    // bare name is accepted (looked up the loader's usual way), never a path.
    static constexpr const char* libraryNameVariable = "BERTHKEEP_CORE_CURL_LIBRARY";

    using GlobalInit = CURLcode (*)(long);
    using EasyInit = CURL* (*)();
    using EasyCleanup = void (*)(CURL*);
    using EasySetopt = CURLcode (*)(CURL*, CURLoption, ...);
    using EasyPerform = CURLcode (*)(CURL*);
    using EasyGetinfo = CURLcode (*)(CURL*, CURLINFO, ...);
    using EasyStrerror = const char* (*)(CURLcode);
    using SlistAppend = curl_slist* (*)(curl_slist*, const char*);
    using SlistFreeAll = void (*)(curl_slist*);

    // The process's one loaded copy; the first call opens it.
    static const TelemetryCurlLibrary& shared();

    // Empty when every function resolved and the global set-up succeeded; else why
    // uploads cannot run ("libcurl is unavailable: ...").
    const std::string& unavailableReason() const noexcept { return m_unavailableReason; }
    bool available() const noexcept { return m_unavailableReason.empty(); }

    GlobalInit globalInit = nullptr;
    EasyInit easyInit = nullptr;
    EasyCleanup easyCleanup = nullptr;
    EasySetopt easySetopt = nullptr;
    EasyPerform easyPerform = nullptr;
    EasyGetinfo easyGetinfo = nullptr;
    EasyStrerror easyStrerror = nullptr;
    SlistAppend slistAppend = nullptr;
    SlistFreeAll slistFreeAll = nullptr;

private:
    explicit TelemetryCurlLibrary(const char* overrideName);

    std::string m_unavailableReason;
};

} // namespace berthkeep::core
