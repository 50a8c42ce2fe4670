#pragma once
// The debug drawing of a frame: points, lines and triangles collected while
// the frame is built and drawn at its end, with or without depth testing,
// then forgotten; plus the debug symbols (spheres, lights) that scene walks
// add when their bit is set in the mask.

#include <cstdint>
#include <vector>

#include "base/math/Vector3.h"

class IRenderDevice;
class Overlay;

class DebugDrawLists {
public:
    struct Vertex {
        float x, y, z;
        float r, g, b, a;
    };

    static constexpr uint32_t kLightSymbols = 0x2;
    static constexpr uint32_t kBoundingSpheres = 0x8;

    void addPoint(const Vector3& p, const float* colour, bool depthTest);
    void addLine(const Vector3& a, const Vector3& b, const float* colour, bool depthTest);
    // Triangles are always depth tested.
    void addTriangle(const Vector3& a, const Vector3& b, const Vector3& c, const float* colour);
    // Drawn after everything else this frame, then forgotten (not owned).
    void setDebugOverlay(Overlay* overlay) { m_overlay = overlay; }

    // Three circles (XY, YZ, XZ planes) of 8 × radius segments, 8 to 128,
    // each in its colour; only when `maskBit` is set in the mask.
    void addSphere(const Vector3& centre, float radius, const float* colourXY,
                   const float* colourYZ, const float* colourXZ, uint32_t maskBit);
    // Light types as the scene's lights number them: 0 directional, 1 point,
    // 2 spot.
    void addLightSymbol(const Vector3& position, const Vector3& direction, float range,
                        float coneAngle, int lightType);

    uint32_t getMask() const { return m_mask; }
    void setMask(uint32_t mask) { m_mask = mask; }
    float getSymbolLength() const { return m_symbolLength; }

    // Draws all lists, the debug overlay last, and empties them.
    void draw(IRenderDevice& device, int viewportWidth, int viewportHeight);
    void clear();

    const std::vector<Vertex>& getDepthPoints() const { return m_depthPoints; }
    const std::vector<Vertex>& getDepthLines() const { return m_depthLines; }
    const std::vector<Vertex>& getDepthTriangles() const { return m_depthTriangles; }
    const std::vector<Vertex>& getTopPoints() const { return m_topPoints; }
    const std::vector<Vertex>& getTopLines() const { return m_topLines; }

private:
    void addCircle(const Vector3& centre, const Vector3& axisU, const Vector3& axisV, float radius,
                   int segments, const float* colour);
    void addArrow(const Vector3& from, const Vector3& direction, const float* colour);

    std::vector<Vertex> m_depthPoints;
    std::vector<Vertex> m_depthLines;
    std::vector<Vertex> m_depthTriangles;
    std::vector<Vertex> m_topPoints;
    std::vector<Vertex> m_topLines;
    Overlay* m_overlay = nullptr;
    uint32_t m_mask = 0x16;
    float m_symbolLength = 10.0f;
};
