#include "scene/SubdivisionScheme.h"

#include <cmath>

#include "scene/CornerTable.h"

namespace {

constexpr float kTwoPi = 6.28318530717958647692f;

Vector3 edgeMidpoint(const CornerTable& table, uint32_t c) {
    return (table.cornerPosition(CornerTable::next(c)) +
            table.cornerPosition(CornerTable::prev(c))) *
           0.5f;
}

}  // namespace

Vector3 ButterflyScheme::vertexPoint(const CornerTable& table, uint32_t corner) const {
    return table.cornerPosition(corner);
}

Vector3 ButterflyScheme::edgePoint(const CornerTable& table, uint32_t c) const {
    const int32_t o = table.opposite[c];
    if (o == CornerTable::kNone) {
        return edgeMidpoint(table, c);
    }
    const uint32_t other = static_cast<uint32_t>(o);
    // The wings: across the other two edges of both triangles.
    const uint32_t wingCorners[4] = {CornerTable::next(c), CornerTable::prev(c),
                                     CornerTable::next(other), CornerTable::prev(other)};
    Vector3 wings;
    for (uint32_t w : wingCorners) {
        const int32_t across = table.opposite[w];
        if (across == CornerTable::kNone) {
            return edgeMidpoint(table, c);
        }
        wings += table.cornerPosition(static_cast<uint32_t>(across));
    }
    return edgeMidpoint(table, c) +
           (table.cornerPosition(c) + table.cornerPosition(other)) * 0.125f - wings * 0.0625f;
}

Vector3 LoopScheme::vertexPoint(const CornerTable& table, uint32_t corner) const {
    const Vector3 v = table.cornerPosition(corner);
    Vector3 sum;
    uint32_t valence = 0;
    uint32_t c = corner;
    do {
        sum += table.cornerPosition(CornerTable::next(c));
        ++valence;
        const int32_t swung = table.swing(c);
        if (swung == CornerTable::kNone || valence >= CornerTable::kMaxValence) {
            return v;  // no closed ring around the vertex
        }
        c = static_cast<uint32_t>(swung);
    } while (c != corner);
    const float n = static_cast<float>(valence);
    const float a = 3.0f + 2.0f * std::cos(kTwoPi / n);
    const float beta = (40.0f - a * a) / 64.0f / n;
    return v * (1.0f - n * beta) + sum * beta;
}

Vector3 LoopScheme::edgePoint(const CornerTable& table, uint32_t c) const {
    const int32_t o = table.opposite[c];
    if (o == CornerTable::kNone) {
        return edgeMidpoint(table, c);
    }
    return (table.cornerPosition(CornerTable::next(c)) +
            table.cornerPosition(CornerTable::prev(c))) *
               0.375f +
           (table.cornerPosition(c) + table.cornerPosition(static_cast<uint32_t>(o))) * 0.125f;
}
