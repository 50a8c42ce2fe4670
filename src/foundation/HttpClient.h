#pragma once
// The engine's HTTP client: one blocking HTTP/1.1 GET over plain TCP, for
// scripts that fetch a text from a web server ("httpGet"), and the same
// request on a worker thread (HttpRequests.h). No HTTPS, proxy, redirects,
// status code check or cache: whatever the server sends after the header is
// the result, zero bytes included.

#include <cstdint>
#include <string>

#include "base/platform/Socket.h"

// Limits of a request. A URL within them always makes a request of less
// than 2048 bytes.
constexpr size_t kHttpMaxUrlLength = 1536;
constexpr size_t kHttpMaxHostLength = 255;
// The whole response (header and body) may be at most this large.
constexpr uint64_t kHttpMaxResponseSize = 16u * 1024u * 1024u;
// One deadline for connecting, sending and receiving.
constexpr unsigned kHttpTimeoutMs = 10000;

struct HttpUrl {
    std::string host;  // the name, without the port
    uint16_t port = 80;
    std::string path;  // from the first "/" after the host on, query included
};

// Splits "http://host[:port]/path". False (with a log line) for a URL that
// is longer than kHttpMaxUrlLength, does not begin with "http://", has no
// "/" after the host, a host part longer than kHttpMaxHostLength, a port
// outside 1 to 65535, or a blank or control character anywhere.
bool parseHttpUrl(const std::string& url, HttpUrl& parsed);

// The request text sent for a URL.
std::string formatHttpRequest(const HttpUrl& url);

// What one request gave: the body, or why there is none.
struct HttpResult {
    bool ok = false;
    std::string body;
    // On failure the reason, as the log line says it: "Could not connect to:
    // example.org" is logged as "Error: Could not connect to: example.org
    // (HTTP)\n".
    std::string error;
};

// The log line of a failed request.
std::string httpErrorLine(const std::string& reason);

// Fetches a parsed URL like httpGet, but writes nothing to the log, so it may
// run on any thread. With a cancellation signal every wait ends as soon as it
// is raised (a name lookup in progress finishes first), and the request
// fails with the reason "Request to: <host> cancelled".
HttpResult fetchHttp(const HttpUrl& url, unsigned timeoutMs = kHttpTimeoutMs,
                     const platform::WaitCancellation* cancellation = nullptr);

// Fetches the URL and returns the response body. Empty on any failure
// (logged) and when the body is empty. The body is complete when the
// "Content-Length" bytes have arrived, when the last chunk of a chunked body
// has arrived, or, with neither, when the server closes the connection. All
// of it must happen within `timeoutMs`.
std::string httpGet(const std::string& url, unsigned timeoutMs = kHttpTimeoutMs);

// Where a response comes from: the server's connection in httpGet, or bytes
// in memory where a recorded response is replayed.
class IHttpResponseSource {
public:
    using Status = platform::TcpConnection::Status;
    virtual ~IHttpResponseSource() = default;
    // Waits until the deadline and receives at most `capacity` bytes;
    // `received` is the count on Ok and 0 otherwise.
    virtual Status receive(char* buffer, size_t capacity, size_t& received, double deadlineMs) = 0;
};

// Reads one response from the source and returns its body, complete as
// httpGet describes; empty on any failure (logged with the host name) and
// when the body is empty.
std::string receiveHttpBody(IHttpResponseSource& source, const std::string& host, double deadlineMs,
                            unsigned timeoutMs);
// The same without logging: the body, or the reason of the failure.
HttpResult receiveHttpResponse(IHttpResponseSource& source, const std::string& host,
                               double deadlineMs, unsigned timeoutMs);
