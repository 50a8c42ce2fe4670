#include "base/platform/Socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "base/platform/Platform.h"

namespace platform {

namespace {

// The first IPv4 address of a host name; false when it has none. Dotted
// addresses are read without asking the resolver.
bool resolveIPv4(const std::string& host, in_addr& address) {
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) {
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

}  // namespace

std::unique_ptr<TcpConnection> TcpConnection::connect(const std::string& host, uint16_t port,
                                                      double deadlineMs) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (!resolveIPv4(host, target.sin_addr)) {
        return nullptr;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        return nullptr;
    }
    // Owned from here on: every early return closes it.
    std::unique_ptr<TcpConnection> connection(new TcpConnection(fd));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof(target)) == 0) {
        return connection;
    }
    if (errno != EINPROGRESS || !connection->waitFor(POLLOUT, deadlineMs)) {
        return nullptr;
    }
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        return nullptr;
    }
    return connection;
}

TcpConnection::~TcpConnection() {
    ::close(m_socket);
}

bool TcpConnection::waitFor(short events, double deadlineMs) const {
    for (;;) {
        const double left = deadlineMs - getTimeMs();
        if (left <= 0.0) {
            return false;
        }
        pollfd entry{m_socket, events, 0};
        // A far deadline is waited for in slices of a minute.
        const int ready = ::poll(&entry, 1, static_cast<int>(std::ceil(std::min(left, 60000.0))));
        if (ready > 0) {
            return true;  // also on POLLERR / POLLHUP: the next call reports them
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

bool TcpConnection::sendAll(const char* data, size_t size, double deadlineMs) {
    size_t sent = 0;
    while (sent < size) {
        const ssize_t result = ::send(m_socket, data + sent, size - sent, MSG_NOSIGNAL);
        if (result > 0) {
            sent += static_cast<size_t>(result);
        } else if (result < 0 && errno == EINTR) {
            continue;
        } else if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(POLLOUT, deadlineMs)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

TcpConnection::Status TcpConnection::receive(char* buffer, size_t capacity, size_t& received,
                                             double deadlineMs) {
    received = 0;
    for (;;) {
        const ssize_t result = ::recv(m_socket, buffer, capacity, 0);
        if (result > 0) {
            received = static_cast<size_t>(result);
            return Status::Ok;
        }
        if (result == 0) {
            return Status::Closed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return Status::Failed;
        }
        if (!waitFor(POLLIN, deadlineMs)) {
            return Status::TimedOut;
        }
    }
}

}  // namespace platform
