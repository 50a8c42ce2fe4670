#pragma once
// TCP client connections over IPv4. Every wait (connecting, sending,
// receiving) ends at a deadline, a time on the getTimeMs() clock, so a peer
// that never answers cannot hold the caller for ever; a connection that
// watches a cancellation signal also stops waiting as soon as it is raised.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A signal raised once, from any thread, that ends every wait of the
// connections watching it at once (a request that must not outlive its
// owner). It stays raised.
class WaitCancellation {
public:
    WaitCancellation();
    ~WaitCancellation();
    WaitCancellation(const WaitCancellation&) = delete;
    WaitCancellation& operator=(const WaitCancellation&) = delete;

    void raise();
    bool isRaised() const { return m_raised.load(std::memory_order_acquire); }
    // Readable once raised; -1 where no descriptor could be made (the waits
    // then notice the signal within a short slice).
    int descriptor() const { return m_descriptor; }

private:
    std::atomic<bool> m_raised{false};
    int m_descriptor;
};

class TcpConnection {
public:
    enum class Status {
        Ok,         // bytes were received
        Closed,     // the peer ended the connection in order
        TimedOut,   // the deadline passed before anything arrived
        Failed,     // a socket error
        Cancelled,  // the watched cancellation signal was raised
    };

    // Resolves the host name (dotted IPv4 text or a name, first IPv4 address),
    // connects without blocking and waits for the connection until the
    // deadline. Null when the name does not resolve, the connection is
    // refused, the deadline passes or `cancellation` (when given) is raised.
    // Dotted text needs no lookup; a name goes to the system resolver, which
    // applies its own time-outs and is not interrupted by the signal. The
    // connection keeps watching the signal, which must outlive it.
    static std::unique_ptr<TcpConnection> connect(const std::string& host, uint16_t port,
                                                  double deadlineMs,
                                                  const WaitCancellation* cancellation = nullptr);

    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Sends every byte, waiting for room until the deadline. A peer that has
    // gone away (or a raised cancellation) makes it return false; it never
    // raises SIGPIPE.
    bool sendAll(const char* data, size_t size, double deadlineMs);

    // Waits until the deadline for data and receives at most `capacity`
    // bytes; `received` is the count on Ok and 0 otherwise.
    Status receive(char* buffer, size_t capacity, size_t& received, double deadlineMs);

private:
    TcpConnection(int socket, const WaitCancellation* cancellation)
        : m_socket(socket), m_cancellation(cancellation) {}
    // Waits for `events` on the socket until the deadline: Ok when they
    // came, TimedOut when the deadline passed, Cancelled when the signal was
    // raised, Failed when polling failed.
    Status waitFor(short events, double deadlineMs) const;

    int m_socket;
    const WaitCancellation* m_cancellation;
};

}  // namespace platform
