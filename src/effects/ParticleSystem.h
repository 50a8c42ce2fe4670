#pragma once
// Particle systems: camera-facing sprites emitted from the surface of an
// emitter mesh, moved by gravity and an air drift, grown, faded and aged,
// and rebuilt into the dynamic vertex buffer once per rendered frame. One
// system is shared by every shape that shows it. Times are milliseconds.

#include <cstdint>
#include <string>
#include <vector>

#include "base/math/RandomGenerator.h"
#include "effects/EffectGeometry.h"
#include "foundation/StatsText.h"

struct ParticleSystemDesc {
    std::string name = "unnamed";
    float rate = 0.1f;  // particles per ms
    float lifespan = 1000.0f;
    bool lifespanInfinite = false;
    int32_t maxCount = 1000;
    // Start velocity: (normalSpeed along the surface normal + tangentSpeed
    // along a random tangent) x (speed + speedRandomisation x [0, 1]).
    float speed = 0.001f;
    float speedRandomisation = 0.0f;
    float normalSpeed = 1.0f;
    float tangentSpeed = 0.0f;
    float spriteScaleX = 0.5f;
    float spriteScaleY = 0.5f;
    float spriteScaleXGain = 0.0f;  // per ms
    float spriteScaleYGain = 0.0f;
    bool depthSort = false;
    float blendFactor = 0.35f;    // opacity when fully faded in
    float blendInFactor = 0.2f;   // fraction of the lifespan spent fading in
    float blendOutFactor = 0.8f;  // fraction of the lifespan before fading out
    Vector3 gravity;
    Vector3 air;
};

struct Particle {
    Vector3 position;
    Vector3 velocity;  // units per ms
    float width = 0.0f;
    float height = 0.0f;
    float birth = 0.0f;
    float depth = 0.0f;
    uint32_t order = 0;  // list position before the depth sort (ties)
};

// One sprite corner: position, normal, colour (alpha in the top byte) and
// texture coordinates.
struct ParticleVertex {
    float position[3];
    float normal[3];
    uint32_t colour;
    float texCoords[2];
};
static_assert(sizeof(ParticleVertex) == 36, "particle vertices are packed");

class ParticleSystem : public EffectGeometry, public StatsTextSource {
public:
    static constexpr int32_t kMaxParticles = 1 << 17;

    // None, with a log line, without an emitter geometry or with values that
    // are not numbers. The count is capped at kMaxParticles.
    static RefPtr<ParticleSystem> create(const ParticleSystemDesc& desc, Geometry* emitter,
                                         const EffectsEnvironment& environment, uint32_t seed = 1);

    const char* getClassName() const override { return "ParticleSystem"; }
    // The statistics text.
    std::string getName() const override { return getStatsText(); }
    std::string getStatsText() const override;

    void setEmittingState(bool emitting) { m_emitting = emitting; }
    bool isEmitting() const { return m_emitting; }

    const ParticleSystemDesc& getDesc() const { return m_desc; }
    const std::vector<Particle>& getParticles() const { return m_particles; }
    size_t getNumParticles() const { return m_particles.size(); }
    float getTime() const { return m_time; }
    float getAccumulator() const { return m_accumulator; }
    // The emitter's triangle areas and their sum.
    const std::vector<float>& getTriangleAreas() const { return m_areas; }
    float getTotalArea() const { return m_totalArea; }
    // Fade of a particle of this age, 0 to 1.
    float fadeAt(float age) const;
    // Alpha byte of a particle of this age.
    uint8_t alphaAt(float age) const;

protected:
    uint32_t update(const EffectView& view, float dtMs) override;

private:
    struct EmitterTriangle {
        Vector3 corners[3];
        Vector3 normals[3];
    };

    ParticleSystem(const ParticleSystemDesc& desc, Geometry& emitter,
                   const EffectsEnvironment& environment, uint32_t seed);

    void move(float dtMs);
    void age();
    void emit(float dtMs);
    void emitOn(const EmitterTriangle& triangle);
    void sortByDepth(const Vector3& axis);
    void writeQuads(const EffectView& view);

    ParticleSystemDesc m_desc;
    RefPtr<Geometry> m_emitter;
    RandomGenerator m_random;
    float m_time = 0.0f;
    float m_accumulator = 0.0f;
    bool m_emitting = true;
    bool m_gravityOn = false;
    bool m_airOn = false;
    bool m_growthOn = false;
    Vector3 m_airScaled;
    float m_fadeInEnd = 0.0f;
    float m_fadeOutStart = 0.0f;
    std::vector<EmitterTriangle> m_triangles;
    std::vector<float> m_areas;
    float m_totalArea = 0.0f;
    bool m_loggedNoSurface = false;
    std::vector<Particle> m_particles;
};
