#pragma once
// TCP client connections over IPv4. Every wait (connecting, sending,
// receiving) ends at a deadline, a time on the getTimeMs() clock, so a peer
// that never answers cannot hold the caller for ever.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class TcpConnection {
public:
    enum class Status {
        Ok,        // bytes were received
        Closed,    // the peer ended the connection in order
        TimedOut,  // the deadline passed before anything arrived
        Failed,    // a socket error
    };

    // Resolves the host name (dotted IPv4 text or a name, first IPv4 address),
    // connects without blocking and waits for the connection until the
    // deadline. Null when the name does not resolve, the connection is
    // refused or the deadline passes. Dotted text needs no lookup; a name
    // goes to the system resolver, which applies its own time-outs.
    static std::unique_ptr<TcpConnection> connect(const std::string& host, uint16_t port,
                                                  double deadlineMs);

    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Sends every byte, waiting for room until the deadline. A peer that has
    // gone away makes it return false; it never raises SIGPIPE.
    bool sendAll(const char* data, size_t size, double deadlineMs);

    // Waits until the deadline for data and receives at most `capacity`
    // bytes; `received` is the count on Ok and 0 otherwise.
    Status receive(char* buffer, size_t capacity, size_t& received, double deadlineMs);

private:
    explicit TcpConnection(int socket) : m_socket(socket) {}
    // Waits for `events` on the socket until the deadline; false when the
    // deadline passed or polling failed.
    bool waitFor(short events, double deadlineMs) const;

    int m_socket;
};

}  // namespace platform
