#include "render/scene/RenderQueue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Number of bits that hold the values 0..count-1.
int bitsFor(size_t count) {
    int bits = 0;
    while (bits < 32 && (size_t(1) << bits) < count) {
        ++bits;
    }
    return bits;
}

// An unsigned value that orders like the float (−0 and +0 alike).
uint32_t orderedFloatBits(float value) {
    if (value == 0.0f || std::isnan(value)) {
        value = 0.0f;
    }
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

}  // namespace

template <typename T>
void RenderQueue::rankValues(std::vector<T>& values, T RenderQueueEntry::*field) const {
    values.clear();
    // Entries come in runs of equal values: only run starts are gathered.
    for (const RenderQueueEntry& entry : m_entries) {
        if (values.empty() || values.back() != entry.*field) {
            values.push_back(entry.*field);
        }
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
}

bool RenderQueue::sortByKeys() {
    const size_t n = m_entries.size();
    rankValues(m_vertexRanks, &RenderQueueEntry::vertexShader);
    rankValues(m_fragmentRanks, &RenderQueueEntry::fragmentShader);
    rankValues(m_materialRanks, &RenderQueueEntry::materialSort);
    rankValues(m_geometryRanks, &RenderQueueEntry::geometry);
    rankValues(m_lightSetRanks, &RenderQueueEntry::lightSet);
    const int lightSetBits = bitsFor(m_lightSetRanks.size());
    const int geometryBits = bitsFor(m_geometryRanks.size()) + lightSetBits;
    const int materialBits = bitsFor(m_materialRanks.size());
    const int fragmentBits = bitsFor(m_fragmentRanks.size());
    const int rankBits = bitsFor(m_vertexRanks.size()) + fragmentBits + materialBits + geometryBits;
    // Blended flag, distance and the five ranks must share one 64-bit key.
    if (rankBits > 31) {
        return false;
    }
    // Rank of a value, remembering the last one asked for (runs are common).
    auto ranker = [](const auto& values) {
        return [&values, last = values.front(), rank = uint64_t(0)](auto value) mutable {
            if (value != last) {
                last = value;
                rank = uint64_t(std::lower_bound(values.begin(), values.end(), value) -
                                values.begin());
            }
            return rank;
        };
    };
    auto vertexRank = ranker(m_vertexRanks);
    auto fragmentRank = ranker(m_fragmentRanks);
    auto materialRank = ranker(m_materialRanks);
    auto geometryRank = ranker(m_geometryRanks);
    auto lightSetRank = ranker(m_lightSetRanks);
    m_keys.resize(n);
    m_keysScratch.resize(n);
    uint64_t allOr = 0;
    uint64_t allAnd = ~uint64_t(0);
    for (size_t i = 0; i < n; ++i) {
        const RenderQueueEntry& e = m_entries[i];
        const uint64_t ranks =
            (vertexRank(e.vertexShader) << (fragmentBits + materialBits + geometryBits)) |
            (fragmentRank(e.fragmentShader) << (materialBits + geometryBits)) |
            (materialRank(e.materialSort) << geometryBits) |
            (geometryRank(e.geometry) << lightSetBits) | lightSetRank(e.lightSet);
        uint64_t key = 0;
        if (e.blended) {
            // Farther first: the distance's order reversed, above the ranks.
            key =
                (uint64_t(1) << 63) | (uint64_t(~orderedFloatBits(e.distance)) << rankBits) | ranks;
        } else {
            // Nearer first among entries of equal ranks.
            key = (ranks << 32) | orderedFloatBits(e.distance);
        }
        m_keys[i] = {key, static_cast<uint32_t>(i)};
        allOr |= key;
        allAnd &= key;
    }
    // Least significant digit first, 8 bits at a time, over the bytes that
    // differ between keys; each pass is stable, so equal keys keep their
    // order.
    const uint64_t varying = allOr ^ allAnd;
    for (int shift = 0; shift < 64; shift += 8) {
        if (((varying >> shift) & 0xFFu) == 0) {
            continue;
        }
        size_t counts[256] = {};
        for (const SortKey& k : m_keys) {
            ++counts[(k.key >> shift) & 0xFFu];
        }
        size_t offset = 0;
        for (size_t& count : counts) {
            const size_t c = count;
            count = offset;
            offset += c;
        }
        for (const SortKey& k : m_keys) {
            m_keysScratch[counts[(k.key >> shift) & 0xFFu]++] = k;
        }
        m_keys.swap(m_keysScratch);
    }
    m_scratch.resize(n);
    for (size_t i = 0; i < n; ++i) {
        m_scratch[i] = m_entries[m_keys[i].index];
    }
    m_entries.swap(m_scratch);
    // Entries of equal keys follow their walk order: an insertion sort of
    // each such run, stable, and a mere check where the entries came in walk
    // order.
    for (size_t begin = 0; begin < n;) {
        size_t end = begin + 1;
        while (end < n && m_keys[end].key == m_keys[begin].key) {
            ++end;
        }
        for (size_t i = begin + 1; i < end; ++i) {
            if (m_entries[i].order < m_entries[i - 1].order) {
                const RenderQueueEntry moved = m_entries[i];
                size_t j = i;
                for (; j > begin && moved.order < m_entries[j - 1].order; --j) {
                    m_entries[j] = m_entries[j - 1];
                }
                m_entries[j] = moved;
            }
        }
        begin = end;
    }
    return true;
}

void RenderQueue::reserve(size_t count) {
    m_entries.reserve(count);
    m_scratch.reserve(count);
    m_keys.reserve(count);
    m_keysScratch.reserve(count);
}

bool RenderQueue::isSorted() const {
    for (size_t i = 1; i < m_entries.size(); ++i) {
        if (renderQueueLess(m_entries[i], m_entries[i - 1])) {
            return false;
        }
    }
    return true;
}

void RenderQueue::mergeSorted(RenderQueue& added) {
    sort();
    if (added.m_entries.empty()) {
        return;
    }
    m_scratch.resize(m_entries.size() + added.m_entries.size());
    std::merge(m_entries.begin(), m_entries.end(), added.m_entries.begin(), added.m_entries.end(),
               m_scratch.begin(), renderQueueLess);
    m_entries.swap(m_scratch);
    added.clear();
}

void RenderQueue::sort() {
    const size_t n = m_entries.size();
    if (n < 2) {
        return;
    }
    // Queues often arrive in order (few shader pairs and materials, or kept
    // from the last frame): one pass over them finds out.
    if (isSorted() || sortByKeys()) {
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
