#pragma once

// A tiny HTTP server on 127.0.0.1 (ephemeral port) that records each request and
// answers with a fixed status, after a delay when one is set. Nothing leaves the
// machine.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace berthkeep::test {

class TelemetryLoopbackServer {
public:
    struct Request {
        std::string method;
        std::string path;
        std::map<std::string, std::string> headers; // names in lower case
        std::string body;
    };

    explicit TelemetryLoopbackServer(int status = 200)
        : m_status(status) {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_socket < 0) {
            throw std::runtime_error("socket failed");
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_socket, 16) != 0) {
            ::close(m_socket);
            throw std::runtime_error("bind or listen failed");
        }
        socklen_t length = sizeof address;
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~TelemetryLoopbackServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_socket);
    }

    TelemetryLoopbackServer(const TelemetryLoopbackServer&) = delete;
    TelemetryLoopbackServer& operator=(const TelemetryLoopbackServer&) = delete;

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    void setStatus(int status) { m_status = status; }
    // How long each answer waits after its request was read (a slow service).
    void setResponseDelay(std::chrono::milliseconds delay) { m_delay = delay; }

    std::vector<Request> requests() const {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    void serve() {
        while (!m_stop) {
            pollfd descriptor{m_socket, POLLIN, 0};
            if (::poll(&descriptor, 1, 50) <= 0) {
                continue;
            }
            const int client = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                continue;
            }
            handle(client);
            ::close(client);
        }
    }

    static bool readMore(int client, std::string& buffer) {
        pollfd descriptor{client, POLLIN, 0};
        if (::poll(&descriptor, 1, 5000) <= 0) {
            return false;
        }
        char chunk[4096];
        const auto count = ::recv(client, chunk, sizeof chunk, 0);
        if (count <= 0) {
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(count));
        return true;
    }

    void handle(int client) {
        std::string buffer;
        std::size_t headerEnd;
        while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            if (!readMore(client, buffer)) {
                return;
            }
        }
        Request request;
        const std::string head = buffer.substr(0, headerEnd);
        std::size_t lineEnd = head.find("\r\n");
        const std::string requestLine = head.substr(0, lineEnd);
        const auto firstSpace = requestLine.find(' ');
        const auto secondSpace = requestLine.find(' ', firstSpace + 1);
        request.method = requestLine.substr(0, firstSpace);
        request.path = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
        while (lineEnd != std::string::npos && lineEnd < head.size()) {
            const auto next = head.find("\r\n", lineEnd + 2);
            const auto line = head.substr(
                lineEnd + 2, next == std::string::npos ? std::string::npos : next - lineEnd - 2);
            const auto colon = line.find(':');
            if (colon != std::string::npos) {
                std::string name = line.substr(0, colon);
                for (auto& c : name) {
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                std::string value = line.substr(colon + 1);
                while (!value.empty() && value.front() == ' ') {
                    value.erase(0, 1);
                }
                request.headers[name] = value;
            }
            lineEnd = next;
        }
        std::size_t contentLength = 0;
        if (const auto found = request.headers.find("content-length");
            found != request.headers.end()) {
            contentLength = std::stoul(found->second);
        }
        if (const auto found = request.headers.find("expect"); found != request.headers.end()) {
            const std::string proceed = "HTTP/1.1 100 Continue\r\n\r\n";
            ::send(client, proceed.data(), proceed.size(), MSG_NOSIGNAL);
        }
        std::string body = buffer.substr(headerEnd + 4);
        while (body.size() < contentLength) {
            if (!readMore(client, body)) {
                return;
            }
        }
        request.body = body.substr(0, contentLength);
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        std::this_thread::sleep_for(m_delay.load());
        const std::string response = "HTTP/1.1 " + std::to_string(m_status.load()) +
                                     " Status\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
        ::send(client, response.data(), response.size(), MSG_NOSIGNAL);
    }

    std::atomic<int> m_status;
    std::atomic<std::chrono::milliseconds> m_delay{std::chrono::milliseconds(0)};
    int m_socket = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
};

} // namespace berthkeep::test
