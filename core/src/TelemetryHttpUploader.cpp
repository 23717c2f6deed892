#include "TelemetryHttpUploader.hpp"

#include "TelemetryCurlLibrary.hpp"

#include <memory>

namespace berthkeep::core {

namespace {

std::size_t discardBody(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

using Curl = TelemetryCurlLibrary;

struct EasyDeleter {
    void operator()(CURL* handle) const { Curl::shared().easyCleanup(handle); }
};

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { Curl::shared().slistFreeAll(list); }
};

bool appendHeader(std::unique_ptr<curl_slist, HeaderListDeleter>& list, const std::string& header) {
    curl_slist* extended = Curl::shared().slistAppend(list.get(), header.c_str());
    if (!extended) {
        return false;
    }
    list.release();
    list.reset(extended);
    return true;
}

} // namespace

std::optional<std::string> TelemetryHttpUploader::upload(const Request& request) {
    const auto& curl = Curl::shared();
    if (!curl.available()) {
        return "upload failed: " + curl.unavailableReason();
    }

    std::unique_ptr<CURL, EasyDeleter> handle(curl.easyInit());
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
    // The options that keep the key off the wire in clear text must hold; an older
    // libcurl that does not know one refuses it, and then nothing is sent. A proxy
    // would carry a plain request (and its key) off the machine: loopback goes direct.
    const auto set = [&](CURLoption option, auto value) {
        return curl.easySetopt(easy, option, value) == CURLE_OK;
    };
    const bool configured =
        set(CURLOPT_URL, request.url.c_str()) &&
        set(CURLOPT_PROTOCOLS_STR, request.plainLoopback ? "http" : "https") &&
        (!request.plainLoopback || set(CURLOPT_NOPROXY, "*")) && set(CURLOPT_FOLLOWLOCATION, 0L) &&
        set(CURLOPT_NOSIGNAL, 1L) && set(CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds) &&
        set(CURLOPT_TIMEOUT, totalTimeoutSeconds) && set(CURLOPT_POST, 1L) &&
        set(CURLOPT_POSTFIELDS, request.body.data()) &&
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size())) &&
        set(CURLOPT_HTTPHEADER, headers.get()) && set(CURLOPT_WRITEFUNCTION, &discardBody) &&
        set(CURLOPT_ERRORBUFFER, static_cast<char*>(errorBuffer));
    if (!configured) {
        return std::string("upload failed: libcurl refused a transfer option");
    }

    const CURLcode result = curl.easyPerform(easy);
    if (result != CURLE_OK) {
        return std::string("upload failed: ") +
               (errorBuffer[0] != '\0' ? errorBuffer : curl.easyStrerror(result));
    }
    long status = 0;
    curl.easyGetinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        return "upload failed with HTTP status " + std::to_string(status);
    }
    return std::nullopt;
}

} // namespace berthkeep::core
