// The HTTP client against a server in this test program on 127.0.0.1:
// URL parsing and limits, the request text, the ways a body ends, and the
// failures, each of which ends within its deadline; then requests on worker
// threads: delivered when the caller asks, with the same limits, and
// cancelled at once.

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <memory>
#include <thread>

#include "CapturingLogSink.h"
#include "TestHttpServer.h"
#include "base/platform/Platform.h"
#include "base/platform/Socket.h"
#include "foundation/HttpClient.h"
#include "foundation/HttpRequests.h"

namespace {

using testsupport::ScopedLogCapture;
using testsupport::TestHttpServer;
using Ending = TestHttpServer::Ending;

// Splits a text into one-byte pieces, so that every byte arrives in a block
// of its own.
std::vector<std::string> byteWise(const std::string& text) {
    std::vector<std::string> pieces;
    for (char c : text) {
        pieces.emplace_back(1, c);
    }
    return pieces;
}

TEST(HttpClient, UrlsAreSplitIntoHostPortAndPath) {
    struct Case {
        const char* url;
        const char* host;
        uint16_t port;
        const char* path;
    };
    const Case cases[] = {
        {"http://example.org/", "example.org", 80, "/"},
        {"http://example.org:8080/a?b=1", "example.org", 8080, "/a?b=1"},
        {"http://127.0.0.1:65535/x/y.txt#f", "127.0.0.1", 65535, "/x/y.txt#f"},
        {"http://host:1/a:b/c", "host", 1, "/a:b/c"},
        {"http://host:81x/", "host", 81, "/"},  // the port ends at a non-digit
        {"http://a:b:90/", "a:b", 90, "/"},     // the last ":" starts it
    };
    for (const Case& c : cases) {
        HttpUrl url;
        ASSERT_TRUE(parseHttpUrl(c.url, url)) << c.url;
        EXPECT_EQ(url.host, c.host) << c.url;
        EXPECT_EQ(url.port, c.port) << c.url;
        EXPECT_EQ(url.path, c.path) << c.url;
    }
}

// Refused URLs never reach the network: after all of them, one good request
// is the only connection the server saw.
TEST(HttpClient, BadUrlsAreRefusedWithoutAConnection) {
    TestHttpServer server(TestHttpServer::withBody("ok"));
    const std::string base = server.url("");
    const std::string longHost(256, 'h');
    const std::string refused[] = {
        base,  // no "/" after the host
        "https" + base.substr(4) + "/",
        "HTTP" + base.substr(4) + "/",
        "ftp://127.0.0.1/",
        "http://127.0.0.1:0/",
        "http://127.0.0.1:65536/",
        "http://127.0.0.1:99999999999999999999999/",
        "http://127.0.0.1:/",
        "http://127.0.0.1:x/",
        "http://" + longHost + "/",
        base + "/a b",
        base + "/a\r\nX-Injected: 1",
        base + "/" + std::string(kHttpMaxUrlLength - base.size(), 'p'),  // 1537 characters
        "",
    };
    ScopedLogCapture log;
    for (const std::string& url : refused) {
        HttpUrl parsed;
        EXPECT_FALSE(parseHttpUrl(url, parsed)) << url;
        EXPECT_EQ(httpGet(url), "") << url;
    }
    EXPECT_EQ(log.count("Error: "), 2 * std::size(refused)) << log.text();
    EXPECT_EQ(log.count("Could not connect"), 0u) << log.text();

    const std::string longest = base + "/" + std::string(kHttpMaxUrlLength - base.size() - 1, 'p');
    ASSERT_EQ(longest.size(), kHttpMaxUrlLength);
    EXPECT_EQ(httpGet(longest), "ok");
    EXPECT_EQ(server.connections(), 1);
    EXPECT_NE(server.lastRequest().find("GET /ppp"), std::string::npos);
}

TEST(HttpClient, RequestCarriesPathQueryAndHostName) {
    TestHttpServer server(TestHttpServer::withBody("fine"));
    EXPECT_EQ(httpGet(server.url("/a?b=1")), "fine");
    EXPECT_EQ(server.lastRequest(),
              "GET /a?b=1 HTTP/1.1\r\nUser-Agent: Unknown\r\nAccept: */*\r\n"
              "Host: 127.0.0.1\r\nConnection: close\r\n\r\n");
    // A name is resolved; the host header carries it without the port.
    EXPECT_EQ(httpGet("http://localhost:" + std::to_string(server.port()) + "/"), "fine");
    EXPECT_NE(server.lastRequest().find("\r\nHost: localhost\r\n"), std::string::npos);
}

// Each reply ends its body in one of the accepted ways; replies that the
// server holds open show that the client needs no close to finish.
TEST(HttpClient, BodiesEndByLengthChunksOrClose) {
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        Ending ending;
        std::string body;
    };
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const Case cases[] = {
        {"length", {ok + "Content-Length: 5\r\n\r\nhello"}, Ending::Close, "hello"},
        {"length, held open, more bytes after the body",
         {ok + "Content-Length: 5\r\n\r\nhello and more"},
         Ending::KeepOpen,
         "hello"},
        {"length, header in pieces",
         {ok + "Content-Len", "gth:  3\r\n\r", "\nab", "c"},
         Ending::KeepOpen,
         "abc"},
        {"length, zero bytes in the body",
         {ok + "Content-Length: 5\r\n\r\n" + std::string("a\0b\0c", 5)},
         Ending::KeepOpen,
         std::string("a\0b\0c", 5)},
        {"error status, body returned",
         {"HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone"},
         Ending::KeepOpen,
         "gone"},
        {"chunked",
         {chunked + "4\r\nabcd\r\n5\r\nefghi\r\n0\r\n\r\n"},
         Ending::KeepOpen,
         "abcdefghi"},
        {"chunked, byte by byte", byteWise(chunked + "4\r\nabcd\r\n5\r\nefghi\r\n0\r\n\r\n"),
         Ending::KeepOpen, "abcdefghi"},
        {"chunked, line breaks and the last-chunk text inside data",
         {chunked + "6\r\nab\r\ncd\r\n9\r\n\r\n0\r\n\r\nxx\r\n0\r\n\r\n"},
         Ending::KeepOpen,
         "ab\r\ncd\r\n0\r\n\r\nxx"},
        {"chunked, extensions, upper-case size and trailer",
         {chunked + "A;name=v\r\n0123456789\r\n0\r\nX-Check: 1\r\n\r\n"},
         Ending::KeepOpen,
         "0123456789"},
        {"chunked wins over a length",
         {ok + "Content-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nxyz\r\n0\r\n\r\n"},
         Ending::KeepOpen,
         "xyz"},
        {"no length, ended by close",
         {"HTTP/1.0 200 OK\r\n\r\nuntil ", "close"},
         Ending::Close,
         "until close"},
        {"a length in the body is not a header",
         {"HTTP/1.0 200 OK\r\n\r\nContent-Length: 2\r\n\r\nabc"},
         Ending::Close,
         "Content-Length: 2\r\n\r\nabc"},
        {"header names are matched as spelled",
         {ok + "content-length: 2\r\n\r\nabcd"},
         Ending::Close,
         "abcd"},
    };
    for (const Case& c : cases) {
        TestHttpServer::Reply reply;
        reply.pieces = c.pieces;
        reply.ending = c.ending;
        reply.pauseMs = c.pieces.size() > 1 ? 2 : 0;
        TestHttpServer server(reply);
        ScopedLogCapture log;
        EXPECT_EQ(httpGet(server.url("/"), 5000), c.body) << c.name;
        EXPECT_EQ(log.text(), "") << c.name;
    }
}

// Every failure gives an empty result and its log line, and none waits
// for more than the deadline.
TEST(HttpClient, BrokenRepliesGiveNothing) {
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        Ending ending;
        bool readRequest;
        const char* message;  // null: any message, or none
    };
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const Case cases[] = {
        {"empty body", {ok + "Content-Length: 0\r\n\r\n"}, Ending::KeepOpen, true, ""},
        {"empty body by close", {ok + "\r\n"}, Ending::Close, true, ""},
        {"never answers",
         {},
         Ending::KeepOpen,
         true,
         "Error: No complete response from: 127.0.0.1"},
        {"header never ends",
         {ok + "Content-Length: 2\r\n"},
         Ending::KeepOpen,
         true,
         "Error: No complete response"},
        {"no length, never closed",
         {ok + "\r\nbody"},
         Ending::KeepOpen,
         true,
         "Error: No complete response"},
        {"closed before the header ends",
         {ok + "Content-Length: 2\r\n"},
         Ending::Close,
         true,
         "Error: Connection closed before the response was complete"},
        {"closed inside a length body",
         {ok + "Content-Length: 10\r\n\r\nabc"},
         Ending::Close,
         true,
         "Error: Connection closed before"},
        {"closed inside a chunked body",
         {chunked + "4\r\nabcd\r\n"},
         Ending::Close,
         true,
         "Error: Connection closed before"},
        {"chunk size not a number",
         {chunked + "zz\r\nab\r\n0\r\n\r\n"},
         Ending::KeepOpen,
         true,
         "Error: Malformed chunked response"},
        {"chunk longer than its size",
         {chunked + "2\r\nabc\r\n0\r\n\r\n"},
         Ending::KeepOpen,
         true,
         "Error: Malformed chunked"},
        {"chunk size past the cap",
         {chunked + "1000001\r\nab"},
         Ending::KeepOpen,
         true,
         "Error: Malformed chunked"},
        {"chunk size overflowing 64 bits",
         {chunked + "ffffffffffffffffffff\r\nab"},
         Ending::KeepOpen,
         true,
         "Error: Malformed chunked"},
        {"length past the cap",
         {ok + "Content-Length: 16777216\r\n\r\nabc"},
         Ending::KeepOpen,
         true,
         "larger than 16777216 bytes"},
        {"length overflowing 64 bits",
         {ok + "Content-Length: 184467440737095516160\r\n\r\nabc"},
         Ending::KeepOpen,
         true,
         "Error: Invalid or too large Content-Length"},
        {"length without digits",
         {ok + "Content-Length: many\r\n\r\nabc"},
         Ending::KeepOpen,
         true,
         "Error: Invalid or too large Content-Length"},
        {"response past the cap",
         {ok + "\r\n", std::string(kHttpMaxResponseSize, 'x')},
         Ending::KeepOpen,
         true,
         "larger than 16777216 bytes"},
        {"reset before the request is read", {}, Ending::Reset, false, nullptr},
        {"reset after a partial body",
         {ok + "Content-Length: 10\r\n\r\nabc"},
         Ending::Reset,
         true,
         "Error: Could receive response (HTTP)\n"},
    };
    for (const Case& c : cases) {
        TestHttpServer::Reply reply;
        reply.pieces = c.pieces;
        reply.ending = c.ending;
        reply.readRequest = c.readRequest;
        TestHttpServer server(reply);
        ScopedLogCapture log;
        // Only the replies that never complete wait for the deadline.
        const bool waits =
            c.message != nullptr && std::string(c.message).find("No complete") != std::string::npos;
        EXPECT_EQ(httpGet(server.url("/"), waits ? 300 : 5000), "") << c.name;
        if (c.message == nullptr) {
            continue;
        }
        if (*c.message == '\0') {
            EXPECT_EQ(log.text(), "") << c.name;
        } else {
            EXPECT_NE(log.text().find(c.message), std::string::npos)
                << c.name << ": " << log.text();
            EXPECT_EQ(log.count("Error: "), 1u) << c.name << ": " << log.text();
        }
    }
}

TEST(HttpClient, RefusedConnectionIsLogged) {
    uint16_t port = 0;
    {
        TestHttpServer closed(TestHttpServer::Reply{});
        port = closed.port();
    }  // nothing listens on the port any more
    ScopedLogCapture log;
    EXPECT_EQ(httpGet("http://127.0.0.1:" + std::to_string(port) + "/x"), "");
    EXPECT_EQ(log.text(), "Error: Could not connect to: 127.0.0.1 (HTTP)\n");
}

// Sending to a peer that has reset the connection fails with a result, not
// with SIGPIPE, which would end this test program.
TEST(HttpClient, SendingToAResetPeerDoesNotKillTheProcess) {
    TestHttpServer::Reply reply;
    reply.ending = Ending::Reset;
    TestHttpServer server(reply);
    std::unique_ptr<platform::TcpConnection> connection =
        platform::TcpConnection::connect("127.0.0.1", server.port(), platform::getTimeMs() + 5000);
    ASSERT_NE(connection, nullptr);
    // The server resets once it has the request: a reset while the
    // connection is still being made would fail the connect instead.
    const std::string request = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_TRUE(connection->sendAll(request.data(), request.size(), platform::getTimeMs() + 5000));
    // Wait (bounded) for the reset to arrive.
    char byte = 0;
    size_t received = 0;
    EXPECT_EQ(connection->receive(&byte, 1, received, platform::getTimeMs() + 5000),
              platform::TcpConnection::Status::Failed);
    const std::string data(4096, 'd');
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(connection->sendAll(data.data(), data.size(), platform::getTimeMs() + 1000));
    }
}

// A port nothing listens on (any more).
uint16_t closedPort() {
    TestHttpServer closed(TestHttpServer::Reply{});
    return closed.port();
}

// A raised cancellation ends a request that waits for an answer at once,
// far inside its deadline, with its own reason.
TEST(HttpClient, CancellationEndsTheWaitAtOnce) {
    TestHttpServer::Reply silent;
    silent.ending = Ending::KeepOpen;  // reads the request, never answers
    TestHttpServer server(silent);
    HttpUrl url;
    ASSERT_TRUE(parseHttpUrl(server.url("/slow"), url));
    platform::WaitCancellation cancellation;
    const double start = platform::getTimeMs();
    std::thread canceller([&cancellation] {
        platform::sleepMs(200);
        cancellation.raise();
    });
    testsupport::ScopedLogCapture log;
    HttpResult result = fetchHttp(url, 8000, &cancellation);
    canceller.join();
    EXPECT_LT(platform::getTimeMs() - start, 4000.0);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Request to: 127.0.0.1 cancelled");
    EXPECT_EQ(log.text(), "");  // the worker's side never logs
    // Raised before the request: no connection is made.
    HttpResult late = fetchHttp(url, 8000, &cancellation);
    EXPECT_EQ(late.error, "Request to: 127.0.0.1 cancelled");
    EXPECT_EQ(server.connections(), 1);
}

struct Delivery {
    uint32_t id = 0;
    HttpResult result;
    int deliveredAtCall = -1;
};

// Records what it receives, and that it was dropped.
class RecordingReceiver : public IHttpResultReceiver {
public:
    RecordingReceiver(std::vector<Delivery>& deliveries, int& dropped, const int& call)
        : m_deliveries(deliveries), m_dropped(dropped), m_call(call) {}
    ~RecordingReceiver() override { ++m_dropped; }
    void received(uint32_t requestId, const HttpResult& result) override {
        m_deliveries.push_back({requestId, result, m_call});
    }

private:
    std::vector<Delivery>& m_deliveries;
    int& m_dropped;
    const int& m_call;
};

class HttpRequestsTest : public ::testing::Test {
protected:
    void TearDown() override { requests.cancelAll(); }

    uint32_t start(const std::string& url, unsigned timeoutMs = kHttpTimeoutMs) {
        return requests.start(url, std::make_unique<RecordingReceiver>(deliveries, dropped, calls),
                              timeoutMs);
    }
    // Delivers every few milliseconds until `count` deliveries arrived (at
    // most 20 s); returns the number of delivery calls made.
    int deliverUntil(size_t count) {
        const double until = platform::getTimeMs() + 20000.0;
        while (deliveries.size() < count && platform::getTimeMs() < until) {
            ++calls;
            requests.deliverFinished();
            platform::sleepMs(5);
        }
        return calls;
    }

    HttpRequests requests;
    std::vector<Delivery> deliveries;
    int dropped = 0;
    int calls = 0;
};

// A slow answer, a refused port, a body past the cap and one with zero
// bytes: the caller goes on while they run, each result arrives once, at a
// delivery call, failures logged there as the blocking request logs them.
TEST_F(HttpRequestsTest, ResultsArriveAtDeliveryWhileTheCallerGoesOn) {
    TestHttpServer::Reply slowReply = TestHttpServer::withBody("late news");
    slowReply.delayMs = 1000;
    TestHttpServer slow(slowReply);
    TestHttpServer::Reply hugeReply;
    hugeReply.pieces = {"HTTP/1.1 200 OK\r\n\r\n", std::string(kHttpMaxResponseSize, 'x')};
    TestHttpServer huge(hugeReply);
    const std::string binary("a\0b\0\0c", 6);
    TestHttpServer zeros(TestHttpServer::withBody(binary));

    testsupport::ScopedLogCapture log;
    const uint32_t slowId = start(slow.url("/news"));
    const uint32_t refusedId = start("http://127.0.0.1:" + std::to_string(closedPort()) + "/x");
    const uint32_t hugeId = start(huge.url("/"));
    const uint32_t zerosId = start(zeros.url("/"));
    EXPECT_EQ(std::vector<uint32_t>({slowId, refusedId, hugeId, zerosId}),
              std::vector<uint32_t>({1, 2, 3, 4}));
    EXPECT_EQ(requests.getNumPending(), 4u);
    EXPECT_TRUE(deliveries.empty());  // never inside start

    const int callsMade = deliverUntil(4);
    ASSERT_EQ(deliveries.size(), 4u) << log.text();
    std::map<uint32_t, Delivery> byId;
    for (const Delivery& delivery : deliveries) {
        byId[delivery.id] = delivery;
    }
    EXPECT_TRUE(byId[slowId].result.ok);
    EXPECT_EQ(byId[slowId].result.body, "late news");
    EXPECT_EQ(byId[zerosId].result.body, binary);
    EXPECT_EQ(byId[refusedId].result.error, "Could not connect to: 127.0.0.1");
    EXPECT_EQ(byId[hugeId].result.error, "Response from: 127.0.0.1 larger than 16777216 bytes");
    // The slow one came last, after many calls that found nothing new: the
    // caller was never held while it waited.
    EXPECT_EQ(deliveries.back().id, slowId);
    EXPECT_GT(byId[slowId].deliveredAtCall, 20) << callsMade;
    EXPECT_EQ(log.count("Error: Could not connect to: 127.0.0.1 (HTTP)\n"), 1u) << log.text();
    EXPECT_EQ(log.count("larger than 16777216 bytes (HTTP)\n"), 1u) << log.text();
    EXPECT_EQ(log.count("Error: "), 2u) << log.text();
    EXPECT_EQ(requests.getNumPending(), 0u);
    EXPECT_EQ(dropped, 4);  // each receiver goes after its delivery
    EXPECT_EQ(requests.deliverFinished(), 0u);
}

// Requests still waiting are cancelled without running into their
// deadline; their receivers go untold, each request leaves a log line.
TEST_F(HttpRequestsTest, CancellingEndsWaitingRequestsAtOnce) {
    TestHttpServer::Reply silent;
    silent.ending = Ending::KeepOpen;
    TestHttpServer first(silent);
    TestHttpServer second(silent);
    start(first.url("/a"));
    start(second.url("/b"), 60000);
    // Both servers hold their request.
    const double until = platform::getTimeMs() + 10000.0;
    while ((first.connections() == 0 || second.connections() == 0) &&
           platform::getTimeMs() < until) {
        platform::sleepMs(5);
    }
    testsupport::ScopedLogCapture log;
    const double start = platform::getTimeMs();
    requests.cancelAll();
    EXPECT_LT(platform::getTimeMs() - start, 3000.0);
    EXPECT_EQ(requests.getNumPending(), 0u);
    EXPECT_TRUE(deliveries.empty());
    EXPECT_EQ(dropped, 2);
    EXPECT_EQ(log.count(" cancelled at shutdown (HTTP)\n"), 2u) << log.text();
    EXPECT_EQ(log.count("Warning: Request 1 to: 127.0.0.1"), 1u) << log.text();
    EXPECT_EQ(requests.deliverFinished(), 0u);
    EXPECT_TRUE(deliveries.empty());
}

// Refused URLs start nothing, and only so many requests run at one time.
TEST_F(HttpRequestsTest, BadUrlsAndTooManyRequestsAreRefused) {
    testsupport::ScopedLogCapture log;
    EXPECT_EQ(start("ftp://127.0.0.1/"), 0u);
    EXPECT_EQ(start("http://127.0.0.1"), 0u);
    EXPECT_EQ(dropped, 2);
    EXPECT_EQ(log.count("Error: "), 2u) << log.text();

    TestHttpServer::Reply silent;
    silent.ending = Ending::KeepOpen;
    TestHttpServer server(silent);
    for (size_t i = 0; i < HttpRequests::kMaxRequests; ++i) {
        EXPECT_NE(start(server.url("/")), 0u);
    }
    log.take();
    EXPECT_EQ(start(server.url("/")), 0u);
    EXPECT_EQ(log.text(),
              "Error: Request to: 127.0.0.1 refused, 16 requests are under way (HTTP)\n");
    requests.cancelAll();
    EXPECT_NE(start(server.url("/")), 0u);  // room again
}

}  // namespace
