#pragma once
// A render queue: one entry per shape, material slot and light group of a
// pass, sorted so that entries sharing shaders, materials and geometry
// follow each other, opaque ones of equal state near to far (hidden pixels
// are then rejected early), and blended entries come last, far ones
// first.

#include <cstddef>
#include <cstdint>
#include <vector>

class Material;
class Shape;
class Shader;
struct LightGroup;
struct RenderObject;
class ShapeRenderObject;
struct ShapeSlot;

struct RenderQueueEntry {
    Shape* shape = nullptr;
    ShapeRenderObject* data = nullptr;
    ShapeSlot* slot = nullptr;
    RenderObject* object = nullptr;
    // None: drawn without lights.
    const LightGroup* lights = nullptr;
    // The shape's camera distance (NaN read as 0).
    float distance = 0.0f;
    bool blended = false;
    // The shader pair (as identities) and the material's sort value.
    uintptr_t vertexShader = 0;
    uintptr_t fragmentShader = 0;
    uint32_t materialSort = 0;
    // Identity of the vertex data drawn (the sub-mesh's device buffers, or
    // the geometry where it draws itself).
    uintptr_t geometry = 0;
    // Identity of the light group's lights (0 without lights): entries of
    // equal state and lights follow each other, so they can share an
    // instanced draw.
    uint64_t lightSet = 0;
    // The shape's render data revision the entry was made for.
    uint32_t revision = 0;
    // Word 2 of the shader key it was made with (instancing, skinning).
    uint32_t keyFlags = 0;
    // Where the entry comes in the frame's walk: the shape's place among
    // the visible shapes, then its slot and light group. Entries the order
    // otherwise cannot tell apart follow it, so a queue kept between frames
    // comes out as a fresh one would.
    uint64_t order = 0;
};

// The queue order, a strict weak ordering: entries without blending before
// blended ones; blended entries farther from the camera first; then by
// vertex shader, fragment shader, material sort value, geometry and light
// set; opaque entries of equal state nearer to the camera first; then by
// walk order. The order of a queue never depends on the order the entries
// were added in (beyond the ties of equal walk order, kept by the stable
// sort).
inline bool renderQueueLess(const RenderQueueEntry& a, const RenderQueueEntry& b) {
    if (a.blended != b.blended) {
        return !a.blended;
    }
    if (a.blended && a.distance != b.distance) {
        return a.distance > b.distance;
    }
    if (a.vertexShader != b.vertexShader) {
        return a.vertexShader < b.vertexShader;
    }
    if (a.fragmentShader != b.fragmentShader) {
        return a.fragmentShader < b.fragmentShader;
    }
    if (a.materialSort != b.materialSort) {
        return a.materialSort < b.materialSort;
    }
    if (a.geometry != b.geometry) {
        return a.geometry < b.geometry;
    }
    if (a.lightSet != b.lightSet) {
        return a.lightSet < b.lightSet;
    }
    if (!a.blended && a.distance != b.distance) {
        return a.distance < b.distance;
    }
    return a.order < b.order;
}

class RenderQueue {
public:
    void clear() { m_entries.clear(); }
    // Room for `count` entries in the queue and the sort's buffers.
    void reserve(size_t count);
    void add(const RenderQueueEntry& entry) { m_entries.push_back(entry); }
    bool empty() const { return m_entries.empty(); }
    size_t size() const { return m_entries.size(); }
    // Stable sort by renderQueueLess: a radix sort of 64-bit keys made of
    // the blended flag, the distance and the ranks of the shader pair,
    // material sort value, geometry and light set among the queue's, or a
    // merge sort
    // where the ranks do not fit. Its buffers are kept, so a sort allocates only while the
    // queue grows.
    void sort();
    // Merges the entries of `added`, sorted, into this sorted queue (this
    // queue's entries first among equal ones) and empties it. Where this
    // queue is out of order (its distances changed) it is sorted first.
    void mergeSorted(RenderQueue& added);
    // Keeps the entries `keep` says yes to, in their order.
    template <typename Predicate>
    void keepIf(Predicate keep) {
        size_t out = 0;
        const size_t n = m_entries.size();
        for (size_t i = 0; i < n; ++i) {
            // The render data a few entries ahead is fetched meanwhile.
            if (i + kPrefetchAhead < n) {
                __builtin_prefetch(m_entries[i + kPrefetchAhead].data);
            }
            if (keep(m_entries[i])) {
                if (out != i) {
                    m_entries[out] = m_entries[i];
                }
                ++out;
            }
        }
        m_entries.resize(out);
    }

    std::vector<RenderQueueEntry>& entries() { return m_entries; }
    const std::vector<RenderQueueEntry>& entries() const { return m_entries; }

private:
    static constexpr size_t kPrefetchAhead = 8;
    struct SortKey {
        uint64_t key;
        uint32_t index;
    };
    // The distinct values of one entry field, ascending.
    template <typename T>
    void rankValues(std::vector<T>& values, T RenderQueueEntry::*field) const;
    // False (nothing moved) when the ranks need more bits than a key has.
    bool sortByKeys();
    bool isSorted() const;

    std::vector<RenderQueueEntry> m_entries;
    std::vector<RenderQueueEntry> m_scratch;
    std::vector<SortKey> m_keys;
    std::vector<SortKey> m_keysScratch;
    std::vector<uintptr_t> m_vertexRanks;
    std::vector<uintptr_t> m_fragmentRanks;
    std::vector<uint32_t> m_materialRanks;
    std::vector<uintptr_t> m_geometryRanks;
    std::vector<uint64_t> m_lightSetRanks;
};
