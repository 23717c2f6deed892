#include "TelemetryHttpUploader.hpp"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace berthkeep::core {

namespace {

std::size_t discardBody(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool appendHeader(std::unique_ptr<curl_slist, HeaderListDeleter>& list, const std::string& header) {
    curl_slist* extended = curl_slist_append(list.get(), header.c_str());
    if (!extended) {
        return false;
    }
    list.release();
    list.reset(extended);
    return true;
}

} // namespace

std::optional<std::string> TelemetryHttpUploader::upload(const Request& request) {
    static std::once_flag initialised;
    static CURLcode initResult = CURLE_OK;
    std::call_once(initialised, [] { initResult = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (initResult != CURLE_OK) {
        return std::string("upload failed: ") + curl_easy_strerror(initResult);
    }

    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) {
        return std::string("upload failed: cannot create a transfer");
    }
    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
    // A header line cannot carry a line break; such a value never reaches the wire.
    if (request.appID.find_first_of("\r\n") != std::string::npos ||
        request.appKey.find_first_of("\r\n") != std::string::npos) {
        return std::string("upload failed: the app id or key holds a line break");
    }
    if (!appendHeader(headers, "Content-Type: application/json") ||
        !appendHeader(headers, "X-Berthkeep-App-Id: " + request.appID) ||
        !appendHeader(headers, "X-Berthkeep-App-Key: " + request.appKey)) {
        return std::string("upload failed: out of memory");
    }

    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* easy = handle.get();
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    // Plain http only to a loopback address, and then past no proxy, which would
    // carry the request (and its key) off the machine in clear text.
    if (curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, request.plainLoopback ? "http" : "https") !=
            CURLE_OK ||
        (request.plainLoopback && curl_easy_setopt(easy, CURLOPT_NOPROXY, "*") != CURLE_OK)) {
        return std::string("upload failed: libcurl refused a transfer option");
    }
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, totalTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discardBody);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);

    const CURLcode result = curl_easy_perform(easy);
    if (result != CURLE_OK) {
        return std::string("upload failed: ") +
               (errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(result));
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        return "upload failed with HTTP status " + std::to_string(status);
    }
    return std::nullopt;
}

} // namespace berthkeep::core
