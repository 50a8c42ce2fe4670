#include "base/platform/Socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "base/platform/Platform.h"

namespace platform {

namespace {

// Without a descriptor to poll, a raised signal is noticed within this.
constexpr double kCancellationSliceMs = 50.0;

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

WaitCancellation::WaitCancellation() : m_descriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WaitCancellation::~WaitCancellation() {
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
}

void WaitCancellation::raise() {
    m_raised.store(true, std::memory_order_release);
    if (m_descriptor >= 0) {
        const uint64_t one = 1;
        // Never read back: the descriptor stays readable for every waiter.
        (void)!::write(m_descriptor, &one, sizeof(one));
    }
}

std::unique_ptr<TcpConnection> TcpConnection::connect(const std::string& host, uint16_t port,
                                                      double deadlineMs,
                                                      const WaitCancellation* cancellation) {
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
    std::unique_ptr<TcpConnection> connection(new TcpConnection(fd, cancellation));
    if (cancellation != nullptr && cancellation->isRaised()) {
        return nullptr;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof(target)) == 0) {
        return connection;
    }
    if (errno != EINPROGRESS || connection->waitFor(POLLOUT, deadlineMs) != Status::Ok) {
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

TcpConnection::Status TcpConnection::waitFor(short events, double deadlineMs) const {
    const int signal = m_cancellation != nullptr ? m_cancellation->descriptor() : -1;
    for (;;) {
        if (m_cancellation != nullptr && m_cancellation->isRaised()) {
            return Status::Cancelled;
        }
        const double left = deadlineMs - getTimeMs();
        if (left <= 0.0) {
            return Status::TimedOut;
        }
        pollfd entries[2] = {{m_socket, events, 0}, {signal, POLLIN, 0}};
        // A far deadline is waited for in slices of a minute; a signal
        // without a descriptor is looked at between short slices.
        const double slice =
            m_cancellation != nullptr && signal < 0 ? kCancellationSliceMs : 60000.0;
        const int ready = ::poll(entries, signal >= 0 ? 2 : 1,
                                 static_cast<int>(std::ceil(std::min(left, slice))));
        if (signal >= 0 && entries[1].revents != 0) {
            return Status::Cancelled;
        }
        if (ready > 0) {
            return Status::Ok;  // also on POLLERR / POLLHUP: the next call reports them
        }
        if (ready < 0 && errno != EINTR) {
            return Status::Failed;
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
            if (waitFor(POLLOUT, deadlineMs) != Status::Ok) {
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
        const Status waited = waitFor(POLLIN, deadlineMs);
        if (waited != Status::Ok) {
            return waited == Status::Failed ? Status::TimedOut : waited;
        }
    }
}

}  // namespace platform
