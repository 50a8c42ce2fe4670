#pragma once
// HTTP requests that do not hold the frame: each runs the client's GET
// (HttpClient.h, same limits: response size, one deadline, no redirects) on
// a worker thread of its own, and its result waits for the main thread,
// which hands it to the request's receiver at the start of a frame. Requests
// still running at shutdown are cancelled: their waits end at once, without
// running into the deadline.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/HttpClient.h"

class IHttpResultReceiver {
public:
    virtual ~IHttpResultReceiver() = default;
    // On the main thread, once per request that was not cancelled.
    virtual void received(uint32_t requestId, const HttpResult& result) = 0;
};

class HttpRequests {
public:
    // Requests running or waiting for delivery at one time; more are
    // refused, so a script cannot start threads without end.
    static constexpr size_t kMaxRequests = 16;

    static HttpRequests& get();

    HttpRequests();
    // Cancels what is left, without log lines.
    ~HttpRequests();
    HttpRequests(const HttpRequests&) = delete;
    HttpRequests& operator=(const HttpRequests&) = delete;

    // Starts a GET of the URL on a worker and returns its id (counted from
    // 1). 0, with a log line, when the URL is refused (as httpGet refuses
    // it), kMaxRequests are under way, or no thread could be started; the
    // receiver is then dropped without being told.
    uint32_t start(const std::string& url, std::unique_ptr<IHttpResultReceiver> receiver,
                   unsigned timeoutMs = kHttpTimeoutMs);

    // Main thread, start of a frame: every finished request, in the order
    // the requests were started, goes to its receiver (a failure is logged
    // first, as httpGet logs it). A receiver may start new requests; they
    // are delivered at a later call. Returns the number delivered.
    size_t deliverFinished();

    // Cancels every request not yet delivered (shutdown): the workers stop
    // waiting at once and are joined, the receivers are dropped without
    // being told, and each request gets a log line.
    void cancelAll();

    // Requests started and not yet delivered or cancelled.
    size_t getNumPending() const { return m_requests.size(); }

private:
    struct Request;

    void cancel(bool log);

    std::vector<std::unique_ptr<Request>> m_requests;
    uint32_t m_nextId = 1;
};
