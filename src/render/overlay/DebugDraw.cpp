#include "render/overlay/DebugDraw.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/device/IRenderDevice.h"
#include "base/math/Matrix4.h"
#include "render/overlay/Overlay.h"

namespace {

constexpr float kWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr int kStride = sizeof(DebugDrawLists::Vertex);

DebugDrawLists::Vertex vertex(const Vector3& p, const float* c) {
    return {p.x, p.y, p.z, c[0], c[1], c[2], c[3]};
}

// Two unit vectors perpendicular to a unit direction and to each other.
void perpendiculars(const Vector3& direction, Vector3& u, Vector3& v) {
    Vector3 helper = std::fabs(direction.y) < 0.9f ? Vector3(0, 1, 0) : Vector3(1, 0, 0);
    u = normalize(cross(direction, helper));
    v = cross(direction, u);
}

}  // namespace

void DebugDrawLists::addPoint(const Vector3& p, const float* colour, bool depthTest) {
    (depthTest ? m_depthPoints : m_topPoints).push_back(vertex(p, colour));
}

void DebugDrawLists::addLine(const Vector3& a, const Vector3& b, const float* colour,
                             bool depthTest) {
    std::vector<Vertex>& list = depthTest ? m_depthLines : m_topLines;
    list.push_back(vertex(a, colour));
    list.push_back(vertex(b, colour));
}

void DebugDrawLists::addTriangle(const Vector3& a, const Vector3& b, const Vector3& c,
                                 const float* colour) {
    m_depthTriangles.push_back(vertex(a, colour));
    m_depthTriangles.push_back(vertex(b, colour));
    m_depthTriangles.push_back(vertex(c, colour));
}

void DebugDrawLists::addCircle(const Vector3& centre, const Vector3& axisU, const Vector3& axisV,
                               float radius, int segments, const float* colour) {
    float step = 2.0f * std::numbers::pi_v<float> / static_cast<float>(segments);
    Vector3 previous = centre + axisU * radius;
    for (int i = 1; i <= segments; ++i) {
        float angle = step * static_cast<float>(i);
        Vector3 next =
            centre + axisU * (radius * std::cos(angle)) + axisV * (radius * std::sin(angle));
        addLine(previous, next, colour, true);
        previous = next;
    }
}

void DebugDrawLists::addSphere(const Vector3& centre, float radius, const float* colourXY,
                               const float* colourYZ, const float* colourXZ, uint32_t maskBit) {
    if ((m_mask & maskBit) == 0) {
        return;
    }
    int segments = std::clamp(static_cast<int>(8.0f * radius), 8, 128);
    addCircle(centre, {1, 0, 0}, {0, 1, 0}, radius, segments, colourXY);
    addCircle(centre, {0, 1, 0}, {0, 0, 1}, radius, segments, colourYZ);
    addCircle(centre, {1, 0, 0}, {0, 0, 1}, radius, segments, colourXZ);
}

void DebugDrawLists::addArrow(const Vector3& from, const Vector3& direction, const float* colour) {
    Vector3 tip = from + direction * m_symbolLength;
    addLine(from, tip, colour, true);
    Vector3 u, v;
    perpendiculars(direction, u, v);
    float head = m_symbolLength * 0.1f;
    addLine(tip, tip - direction * head + u * head, colour, true);
    addLine(tip, tip - direction * head - u * head, colour, true);
}

void DebugDrawLists::addLightSymbol(const Vector3& position, const Vector3& direction, float range,
                                    float coneAngle, int lightType) {
    if ((m_mask & kLightSymbols) == 0) {
        return;
    }
    const float* c = kWhite;
    Vector3 unit = length(direction) > 0.0f ? normalize(direction) : Vector3(0, 0, -1);
    if (lightType == 0 || lightType == 1) {
        addPoint(position, c, true);
        addSphere(position, range, c, c, c, kLightSymbols);
    }
    if (lightType == 2) {
        addArrow(position, unit, c);
        Vector3 u, v;
        perpendiculars(unit, u, v);
        Vector3 tip = position + unit * m_symbolLength;
        float radius = m_symbolLength * std::tan(coneAngle * 0.5f);
        addCircle(tip, u, v, radius, 16, c);
        for (const Vector3& side : {u, -u, v, -v}) {
            addLine(position, tip + side * radius, c, true);
        }
    } else if (lightType == 0) {
        Vector3 u, v;
        perpendiculars(unit, u, v);
        float spacing = m_symbolLength * 0.25f;
        for (const Vector3& side : {u, -u, v, -v}) {
            addArrow(position + side * spacing, unit, c);
        }
    }
}

void DebugDrawLists::draw(IRenderDevice& device, int viewportWidth, int viewportHeight) {
    Matrix4 identity;
    device.setCurrentColour(kWhite);
    device.setModelMatrix(identity.data());
    auto positions = [](const std::vector<Vertex>& list) { return &list[0].x; };
    auto colours = [](const std::vector<Vertex>& list) { return &list[0].r; };
    auto count = [](const std::vector<Vertex>& list) { return static_cast<int>(list.size()); };
    if (!m_depthPoints.empty()) {
        device.drawPoints(positions(m_depthPoints), kStride, colours(m_depthPoints), kStride,
                          count(m_depthPoints), 5.0f);
    }
    if (!m_depthLines.empty()) {
        device.drawLines(positions(m_depthLines), kStride, colours(m_depthLines), kStride,
                         count(m_depthLines) / 2, 1.0f);
    }
    if (!m_depthTriangles.empty()) {
        device.drawUserArrays(positions(m_depthTriangles), kStride, colours(m_depthTriangles),
                              kStride, PT_TRIANGLE_LIST, count(m_depthTriangles));
    }
    if (!m_topPoints.empty() || !m_topLines.empty()) {
        device.disableDepthTest();
        device.setBlendFunction(BF_SOURCE_ALPHA, BF_ONE_MINUS_SOURCE_ALPHA);
        if (!m_topPoints.empty()) {
            device.drawPoints(positions(m_topPoints), kStride, colours(m_topPoints), kStride,
                              count(m_topPoints), 5.0f);
        }
        if (!m_topLines.empty()) {
            device.drawLines(positions(m_topLines), kStride, colours(m_topLines), kStride,
                             count(m_topLines) / 2, 1.0f);
        }
        device.enableDepthTest();
        device.setBlendFunction(BF_ONE, BF_ZERO);
    }
    if (m_overlay != nullptr) {
        m_overlay->draw(device, viewportWidth, viewportHeight);
    }
    clear();
}

void DebugDrawLists::clear() {
    m_depthPoints.clear();
    m_depthLines.clear();
    m_depthTriangles.clear();
    m_topPoints.clear();
    m_topLines.clear();
    m_overlay = nullptr;
}
