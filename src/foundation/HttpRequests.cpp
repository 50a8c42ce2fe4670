#include "foundation/HttpRequests.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "base/platform/Socket.h"
#include "foundation/Log.h"

// One request. The worker writes only `result` and then `finished`; the main
// thread reads the result only after it saw `finished` and joined the worker.
struct HttpRequests::Request {
    uint32_t id = 0;
    HttpUrl url;
    unsigned timeoutMs = kHttpTimeoutMs;
    std::unique_ptr<IHttpResultReceiver> receiver;
    platform::WaitCancellation cancellation;
    HttpResult result;
    std::atomic<bool> finished{false};
    std::thread worker;

    void run() {
        result = fetchHttp(url, timeoutMs, &cancellation);
        finished.store(true, std::memory_order_release);
    }
};

HttpRequests& HttpRequests::get() {
    static HttpRequests requests;
    return requests;
}

HttpRequests::HttpRequests() = default;

HttpRequests::~HttpRequests() {
    cancel(false);
}

uint32_t HttpRequests::start(const std::string& url, std::unique_ptr<IHttpResultReceiver> receiver,
                             unsigned timeoutMs) {
    auto request = std::make_unique<Request>();
    if (!parseHttpUrl(url, request->url)) {
        return 0;
    }
    if (m_requests.size() >= kMaxRequests) {
        Log::get() << "Error: Request to: " << request->url.host << " refused, "
                   << static_cast<uint32_t>(kMaxRequests) << " requests are under way (HTTP)\n";
        return 0;
    }
    request->id = m_nextId++;
    if (m_nextId == 0) {
        m_nextId = 1;
    }
    request->timeoutMs = timeoutMs;
    request->receiver = std::move(receiver);
    Request* raw = request.get();
    try {
        request->worker = std::thread([raw] { raw->run(); });
    } catch (const std::system_error& error) {
        Log::get() << "Error: Request to: " << request->url.host
                   << " not started, no thread: " << error.what() << " (HTTP)\n";
        return 0;
    }
    m_requests.push_back(std::move(request));
    return raw->id;
}

size_t HttpRequests::deliverFinished() {
    if (m_requests.empty()) {
        return 0;
    }
    // Taken out of the list first: a receiver may start requests.
    std::vector<std::unique_ptr<Request>> finished;
    for (std::unique_ptr<Request>& request : m_requests) {
        if (request->finished.load(std::memory_order_acquire)) {
            request->worker.join();
            finished.push_back(std::move(request));
        }
    }
    if (finished.empty()) {
        return 0;
    }
    std::erase(m_requests, nullptr);
    for (const std::unique_ptr<Request>& request : finished) {
        if (!request->result.ok) {
            Log::get() << httpErrorLine(request->result.error);
        }
        if (request->receiver) {
            request->receiver->received(request->id, request->result);
        }
    }
    return finished.size();
}

void HttpRequests::cancelAll() {
    cancel(true);
}

void HttpRequests::cancel(bool log) {
    for (const std::unique_ptr<Request>& request : m_requests) {
        request->cancellation.raise();
    }
    for (const std::unique_ptr<Request>& request : m_requests) {
        request->worker.join();
        if (log) {
            Log::get() << "Warning: Request " << request->id << " to: " << request->url.host
                       << " cancelled at shutdown (HTTP)\n";
        }
    }
    // Receivers go after every worker has ended.
    m_requests.clear();
}
