#pragma once
// A small HTTP server on 127.0.0.1 (a port chosen by the system) that runs
// in a thread of the test program and answers every connection, one after
// another, with the same canned reply. Every wait in it is bounded.

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class TestHttpServer {
public:
    enum class Ending {
        Close,     // close the connection after the reply
        KeepOpen,  // hold it open until the server is destroyed
        Reset,     // abort it (the client sees a reset)
    };
    struct Reply {
        // Sent one after another, with `pauseMs` between two pieces, so
        // that the client receives them in separate blocks.
        std::vector<std::string> pieces;
        Ending ending = Ending::Close;
        // Read the request (up to its empty line) before replying.
        bool readRequest = true;
        int pauseMs = 0;
        // Wait this long after the request before the first piece (a slow
        // server); a client that gives up meanwhile gets nothing.
        int delayMs = 0;
    };

    explicit TestHttpServer(Reply reply);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    uint16_t port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by the path.
    std::string url(const std::string& path) const;
    // Connections accepted so far, and the request text of the last one.
    int connections() const;
    std::string lastRequest() const;
    // Milliseconds from the last request's arrival until the client closed
    // the connection while the server was waiting (delaying its reply or
    // holding the connection open); -1 when it did not.
    double clientClosedAfterMs() const;

    // A reply of `body` with a "Content-Length" header.
    static Reply withBody(const std::string& body);

private:
    void serve();
    void answer(int connection);
    // Waits for the stop signal at most `ms` milliseconds; true when it came.
    bool stopRequested(int ms) const;
    // Waits at most `ms` milliseconds for the stop signal or the client
    // closing the connection (recorded); true when either came.
    bool stopOrClientGone(int connection, int ms, double requestAtMs);

    Reply m_reply;
    int m_listener = -1;
    int m_stopPipe[2] = {-1, -1};
    uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    int m_connections = 0;
    std::string m_lastRequest;
    double m_clientClosedAfterMs = -1.0;
    std::thread m_thread;
};

}  // namespace testsupport
