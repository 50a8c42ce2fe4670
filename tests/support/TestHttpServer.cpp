#include "TestHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {

// No test waits longer than this for the client or for the stop signal.
constexpr int kIdleLimitMs = 30000;

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

TestHttpServer::TestHttpServer(Reply reply) : m_reply(std::move(reply)) {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (m_listener < 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_listener, 8) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("test HTTP server: no listening socket");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

TestHttpServer::~TestHttpServer() {
    const char stop = 1;
    (void)!write(m_stopPipe[1], &stop, 1);
    m_thread.join();
    close(m_listener);
    close(m_stopPipe[0]);
    close(m_stopPipe[1]);
}

std::string TestHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

int TestHttpServer::connections() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

std::string TestHttpServer::lastRequest() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastRequest;
}

double TestHttpServer::clientClosedAfterMs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clientClosedAfterMs;
}

TestHttpServer::Reply TestHttpServer::withBody(const std::string& body) {
    Reply reply;
    reply.pieces = {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\n\r\n" + body};
    return reply;
}

bool TestHttpServer::stopRequested(int ms) const {
    pollfd entry{m_stopPipe[0], POLLIN, 0};
    return poll(&entry, 1, ms) != 0;
}

bool TestHttpServer::stopOrClientGone(int connection, int ms, double requestAtMs) {
    const double until = nowMs() + ms;
    for (;;) {
        const double left = until - nowMs();
        if (left <= 0.0) {
            return false;
        }
        pollfd entries[2] = {{connection, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        const int ready = poll(entries, 2, static_cast<int>(left) + 1);
        if (ready < 0 || entries[1].revents != 0) {
            return true;
        }
        if (entries[0].revents != 0) {
            char block[256];
            if (recv(connection, block, sizeof(block), MSG_DONTWAIT) <= 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_clientClosedAfterMs = nowMs() - requestAtMs;
                return true;
            }
        }
    }
}

void TestHttpServer::serve() {
    for (;;) {
        pollfd entries[2] = {{m_listener, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (poll(entries, 2, kIdleLimitMs) <= 0 || entries[1].revents != 0) {
            return;
        }
        const int connection = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            return;
        }
        answer(connection);
        close(connection);
    }
}

void TestHttpServer::answer(int connection) {
    std::string request;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_connections;
    }
    while (m_reply.readRequest && request.find("\r\n\r\n") == std::string::npos) {
        pollfd entries[2] = {{connection, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (poll(entries, 2, kIdleLimitMs) <= 0 || entries[1].revents != 0) {
            return;
        }
        char block[4096];
        const ssize_t received = recv(connection, block, sizeof(block), 0);
        if (received <= 0) {
            break;
        }
        request.append(block, static_cast<size_t>(received));
    }
    const double requestAtMs = nowMs();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastRequest = request;
        m_clientClosedAfterMs = -1.0;
    }
    const int on = 1;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    const timeval sendLimit{kIdleLimitMs / 1000, 0};
    setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof(sendLimit));
    if (m_reply.delayMs > 0 && stopOrClientGone(connection, m_reply.delayMs, requestAtMs)) {
        return;
    }
    for (size_t i = 0; i < m_reply.pieces.size(); ++i) {
        if (i > 0 && m_reply.pauseMs > 0 && stopRequested(m_reply.pauseMs)) {
            return;
        }
        const std::string& piece = m_reply.pieces[i];
        for (size_t sent = 0; sent < piece.size();) {
            const ssize_t result =
                send(connection, piece.data() + sent, piece.size() - sent, MSG_NOSIGNAL);
            if (result <= 0) {
                return;  // the client went away
            }
            sent += static_cast<size_t>(result);
        }
    }
    if (m_reply.ending == Ending::KeepOpen) {
        stopOrClientGone(connection, kIdleLimitMs, requestAtMs);
    } else if (m_reply.ending == Ending::Reset) {
        const linger abort{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    }
}

}  // namespace testsupport
