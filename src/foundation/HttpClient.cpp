#include "foundation/HttpClient.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "base/platform/Platform.h"
#include "base/platform/Socket.h"
#include "foundation/Log.h"
#include "foundation/TextUtil.h"

namespace {

constexpr const char kScheme[] = "http://";
constexpr size_t kSchemeLength = sizeof(kScheme) - 1;
constexpr size_t kReceiveBlock = 4096;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigitValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads a decimal number after optional blanks, up to the first non-digit.
// False when there is no digit or the value exceeds `limit`.
bool readDecimal(const std::string& text, size_t from, uint64_t limit, uint64_t& value) {
    size_t at = from;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    const size_t firstDigit = at;
    value = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) {
        const uint64_t digit = static_cast<uint64_t>(text[at] - '0');
        if (value > (limit - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    return at > firstDigit;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Decodes a chunked body byte by byte as it arrives: each chunk is a
// hexadecimal size line (extensions after the digits are skipped) and
// exactly that many data bytes, whatever they hold, then a line break; the
// chunk of size 0 and the trailer lines up to an empty line end the body.
class ChunkedDecoder {
public:
    enum class Result { NeedMore, Done, Malformed };

    Result feed(const char* data, size_t size, std::string& body) {
        size_t at = 0;
        while (at < size) {
            const char c = data[at];
            switch (m_state) {
                case State::SizeDigits: {
                    const int digit = hexDigitValue(c);
                    if (digit < 0) {
                        if (m_digits == 0) {
                            return Result::Malformed;
                        }
                        m_state = State::SizeLineRest;
                        continue;  // the same byte in the next state
                    }
                    if (m_size > (kHttpMaxResponseSize - static_cast<uint64_t>(digit)) / 16) {
                        return Result::Malformed;  // no such chunk fits a response
                    }
                    m_size = m_size * 16 + static_cast<uint64_t>(digit);
                    ++m_digits;
                    ++at;
                    break;
                }
                case State::SizeLineRest:
                    ++at;
                    if (c == '\n') {
                        m_state = m_size == 0 ? State::Trailer : State::Data;
                        m_lineLength = 0;
                    }
                    break;
                case State::Data: {
                    const size_t take = static_cast<size_t>(std::min<uint64_t>(m_size, size - at));
                    body.append(data + at, take);
                    at += take;
                    m_size -= take;
                    if (m_size == 0) {
                        m_state = State::DataEnd;
                    }
                    break;
                }
                case State::DataEnd:
                    // The line break after the data: "\r\n", or a lone "\n".
                    if (c == '\r' && !m_sawCarriageReturn) {
                        m_sawCarriageReturn = true;
                    } else if (c == '\n') {
                        m_sawCarriageReturn = false;
                        m_digits = 0;
                        m_state = State::SizeDigits;
                    } else {
                        return Result::Malformed;
                    }
                    ++at;
                    break;
                case State::Trailer:
                    ++at;
                    if (c == '\n') {
                        if (m_lineLength == 0) {
                            return Result::Done;
                        }
                        m_lineLength = 0;
                    } else if (c != '\r') {
                        ++m_lineLength;
                    }
                    break;
            }
        }
        return Result::NeedMore;
    }

private:
    enum class State { SizeDigits, SizeLineRest, Data, DataEnd, Trailer };
    State m_state = State::SizeDigits;
    uint64_t m_size = 0;  // while reading digits: the size; in data: bytes left
    int m_digits = 0;
    bool m_sawCarriageReturn = false;
    size_t m_lineLength = 0;
};

// Collects one response as blocks arrive and tells when its body is
// complete. A failure keeps its reason, which names the host.
class ResponseReader {
public:
    enum class Progress { NeedMore, Done, Failed };

    explicit ResponseReader(const std::string& host) : m_host(host) {}

    Progress add(const char* data, size_t size) {
        if (size > kHttpMaxResponseSize - m_response.size()) {
            return tooLarge();
        }
        const size_t searchFrom = m_response.size() < 3 ? 0 : m_response.size() - 3;
        m_response.append(data, size);
        if (m_bodyStart == std::string::npos) {
            const size_t headerEnd = m_response.find("\r\n\r\n", searchFrom);
            if (headerEnd == std::string::npos) {
                return Progress::NeedMore;
            }
            m_bodyStart = headerEnd + 4;
            if (!readHeader(headerEnd)) {
                return Progress::Failed;
            }
        }
        if (m_chunked) {
            const size_t from = std::max(m_bodyStart, m_response.size() - size);
            switch (m_decoder.feed(m_response.data() + from, m_response.size() - from, m_body)) {
                case ChunkedDecoder::Result::Done:
                    return Progress::Done;
                case ChunkedDecoder::Result::Malformed:
                    return fail("Malformed chunked response from: " + m_host);
                case ChunkedDecoder::Result::NeedMore:
                    return Progress::NeedMore;
            }
        }
        if (m_hasLength && m_response.size() - m_bodyStart >= m_contentLength) {
            m_body.assign(m_response, m_bodyStart, static_cast<size_t>(m_contentLength));
            return Progress::Done;
        }
        return Progress::NeedMore;
    }

    // The server closed the connection: that ends a body of unstated length;
    // any other response is cut short.
    Progress closed() {
        if (m_bodyStart != std::string::npos && !m_chunked && !m_hasLength) {
            m_body.assign(m_response, m_bodyStart, std::string::npos);
            return Progress::Done;
        }
        return fail("Connection closed before the response was complete: " + m_host);
    }

    std::string takeBody() { return std::move(m_body); }
    std::string takeError() { return std::move(m_error); }

private:
    // Finds "Content-Length" and chunked coding among the header lines; the
    // names must be spelled exactly so (case matters), a body that merely
    // contains them does not count.
    bool readHeader(size_t headerEnd) {
        const std::vector<std::string> lines =
            splitText("\r\n", m_response.substr(0, headerEnd), false);
        for (const std::string& line : lines) {
            if (!m_hasLength && startsWith(line, "Content-Length:")) {
                if (!readDecimal(line, 15, kHttpMaxResponseSize, m_contentLength)) {
                    fail("Invalid or too large Content-Length from: " + m_host);
                    return false;
                }
                m_hasLength = true;
            } else if (startsWith(line, "Transfer-Encoding: chunked")) {
                m_chunked = true;
            }
        }
        if (m_hasLength && !m_chunked && m_contentLength > kHttpMaxResponseSize - m_bodyStart) {
            tooLarge();
            return false;
        }
        return true;
    }

    Progress tooLarge() {
        return fail("Response from: " + m_host + " larger than " +
                    std::to_string(kHttpMaxResponseSize) + " bytes");
    }

    Progress fail(std::string reason) {
        m_error = std::move(reason);
        return Progress::Failed;
    }

    std::string m_host;
    std::string m_error;
    std::string m_response;
    size_t m_bodyStart = std::string::npos;
    bool m_hasLength = false;
    uint64_t m_contentLength = 0;
    bool m_chunked = false;
    ChunkedDecoder m_decoder;
    std::string m_body;
};

// The server's connection as a response source.
class ConnectionSource : public IHttpResponseSource {
public:
    explicit ConnectionSource(platform::TcpConnection& connection) : m_connection(connection) {}
    Status receive(char* buffer, size_t capacity, size_t& received, double deadlineMs) override {
        return m_connection.receive(buffer, capacity, received, deadlineMs);
    }

private:
    platform::TcpConnection& m_connection;
};

}  // namespace

bool parseHttpUrl(const std::string& url, HttpUrl& parsed) {
    if (url.size() > kHttpMaxUrlLength) {
        Log::get() << "Error: URL longer than " << static_cast<uint32_t>(kHttpMaxUrlLength)
                   << " characters (HTTP)\n";
        return false;
    }
    // Blanks and control characters would break the request line or add
    // header lines of the caller's making.
    if (std::any_of(url.begin(), url.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7f'; })) {
        Log::get() << "Error: URL with a blank or control character (HTTP)\n";
        return false;
    }
    if (url.compare(0, kSchemeLength, kScheme) != 0) {
        Log::get() << "Error: Not an http:// URL: " << url << " (HTTP)\n";
        return false;
    }
    const size_t slash = url.find('/', kSchemeLength);
    if (slash == std::string::npos) {
        Log::get() << "Error: URL without a path: " << url << " (HTTP)\n";
        return false;
    }
    const std::string hostPart = url.substr(kSchemeLength, slash - kSchemeLength);
    if (hostPart.size() > kHttpMaxHostLength) {
        Log::get() << "Error: Host name longer than " << static_cast<uint32_t>(kHttpMaxHostLength)
                   << " characters (HTTP)\n";
        return false;
    }
    const size_t colon = hostPart.rfind(':');
    parsed.host = hostPart.substr(0, colon);
    parsed.port = 80;
    if (colon != std::string::npos) {
        uint64_t port = 0;
        if (!readDecimal(hostPart, colon + 1, 65535, port) || port == 0) {
            Log::get() << "Error: Invalid port in URL: " << url << " (HTTP)\n";
            return false;
        }
        parsed.port = static_cast<uint16_t>(port);
    }
    parsed.path = url.substr(slash);
    return true;
}

std::string formatHttpRequest(const HttpUrl& url) {
    return "GET " + url.path +
           " HTTP/1.1\r\nUser-Agent: Unknown\r\nAccept: */*\r\nHost: " + url.host +
           "\r\nConnection: close\r\n\r\n";
}

std::string httpErrorLine(const std::string& reason) {
    return "Error: " + reason + " (HTTP)\n";
}

HttpResult fetchHttp(const HttpUrl& url, unsigned timeoutMs,
                     const platform::WaitCancellation* cancellation) {
    HttpResult result;
    const auto cancelled = [&] {
        if (cancellation == nullptr || !cancellation->isRaised()) {
            return false;
        }
        result.ok = false;
        result.body.clear();
        result.error = "Request to: " + url.host + " cancelled";
        return true;
    };
    const double deadlineMs = platform::getTimeMs() + timeoutMs;
    std::unique_ptr<platform::TcpConnection> connection =
        platform::TcpConnection::connect(url.host, url.port, deadlineMs, cancellation);
    if (cancelled()) {
        return result;
    }
    if (!connection) {
        result.error = "Could not connect to: " + url.host;
        return result;
    }
    const std::string request = formatHttpRequest(url);
    if (!connection->sendAll(request.data(), request.size(), deadlineMs)) {
        if (!cancelled()) {
            result.error = "Could not send the request to: " + url.host;
        }
        return result;
    }
    ConnectionSource source(*connection);
    result = receiveHttpResponse(source, url.host, deadlineMs, timeoutMs);
    if (!result.ok) {
        cancelled();  // a wait cut short names the cancellation, not a time-out
    }
    return result;
}

std::string httpGet(const std::string& url, unsigned timeoutMs) {
    HttpUrl target;
    if (!parseHttpUrl(url, target)) {
        return {};
    }
    HttpResult result = fetchHttp(target, timeoutMs);
    if (!result.ok) {
        Log::get() << httpErrorLine(result.error);
    }
    return std::move(result.body);
}

std::string receiveHttpBody(IHttpResponseSource& source, const std::string& host, double deadlineMs,
                            unsigned timeoutMs) {
    HttpResult result = receiveHttpResponse(source, host, deadlineMs, timeoutMs);
    if (!result.ok) {
        Log::get() << httpErrorLine(result.error);
    }
    return std::move(result.body);
}

HttpResult receiveHttpResponse(IHttpResponseSource& source, const std::string& host,
                               double deadlineMs, unsigned timeoutMs) {
    HttpResult result;
    ResponseReader reader(host);
    char block[kReceiveBlock];
    for (;;) {
        size_t received = 0;
        ResponseReader::Progress progress = ResponseReader::Progress::NeedMore;
        switch (source.receive(block, sizeof(block), received, deadlineMs)) {
            case IHttpResponseSource::Status::Ok:
                progress = reader.add(block, received);
                break;
            case IHttpResponseSource::Status::Closed:
                progress = reader.closed();
                break;
            case IHttpResponseSource::Status::TimedOut:
                result.error = "No complete response from: " + host + " within " +
                               std::to_string(timeoutMs) + " ms";
                return result;
            case IHttpResponseSource::Status::Failed:
                result.error = "Could receive response";
                return result;
            case IHttpResponseSource::Status::Cancelled:
                result.error = "Request to: " + host + " cancelled";
                return result;
        }
        if (progress == ResponseReader::Progress::Done) {
            result.ok = true;
            result.body = reader.takeBody();
            return result;
        }
        if (progress == ResponseReader::Progress::Failed) {
            result.error = reader.takeError();
            return result;
        }
    }
}
