#include "render/scene/RenderQueue.h"

#include <algorithm>

void RenderQueue::sort() {
    const size_t n = m_entries.size();
    if (n < 2) {
        return;
    }
    // Queues often arrive in order (few shader pairs and materials): one
    // pass over them finds out.
    bool ordered = true;
    for (size_t i = 1; i < n && ordered; ++i) {
        ordered = !renderQueueLess(m_entries[i], m_entries[i - 1]);
    }
    if (ordered) {
        return;
    }
    m_scratch.resize(n);
    // Bottom-up merge sort, runs of 1, 2, 4, ... alternating between the two
    // buffers; on equal entries the left run wins, which keeps it stable.
    RenderQueueEntry* from = m_entries.data();
    RenderQueueEntry* to = m_scratch.data();
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t left = 0; left < n; left += 2 * width) {
            const size_t middle = std::min(left + width, n);
            const size_t right = std::min(left + 2 * width, n);
            size_t i = left;
            size_t j = middle;
            size_t k = left;
            if (middle < right && !renderQueueLess(from[middle], from[middle - 1])) {
                // The two runs are in order already.
                std::copy(from + left, from + right, to + left);
                continue;
            }
            while (i < middle && j < right) {
                to[k++] = renderQueueLess(from[j], from[i]) ? from[j++] : from[i++];
            }
            while (i < middle) {
                to[k++] = from[i++];
            }
            while (j < right) {
                to[k++] = from[j++];
            }
        }
        std::swap(from, to);
    }
    if (from != m_entries.data()) {
        std::copy(from, from + n, m_entries.data());
    }
}
