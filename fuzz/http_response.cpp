// HTTP responses: the client's response reader over the input as what the
// server sent. The first byte picks the size of the blocks the bytes arrive
// in (1 to 256), so headers, chunk sizes and line breaks are cut at every
// place; after the last block the server closes the connection.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "foundation/HttpClient.h"

namespace {

class MemorySource : public IHttpResponseSource {
public:
    MemorySource(const uint8_t* data, size_t size, size_t block)
        : m_data(data), m_size(size), m_block(block) {}

    Status receive(char* buffer, size_t capacity, size_t& received, double) override {
        received = 0;
        if (m_position >= m_size) {
            // A reader that keeps asking after the close is a reader that
            // would wait forever on a real connection.
            return ++m_closedCount > 1 ? Status::Failed : Status::Closed;
        }
        received = std::min({capacity, m_block, m_size - m_position});
        std::memcpy(buffer, m_data + m_position, received);
        m_position += received;
        return Status::Ok;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_block;
    size_t m_position = 0;
    int m_closedCount = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    MemorySource source(data + 1, size - 1, size_t(data[0]) + 1);
    receiveHttpBody(source, "fuzz.example", 0.0, 10000);
    return 0;
}
