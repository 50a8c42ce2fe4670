#pragma once
// Precipitation: rain or snow as a fixed population of drops in a box that
// travels with the camera. Drops fall at their own speeds, are pushed by the
// wind in inverse proportion to their mass and wrap around the box edges;
// each is a quad facing the camera or stretched along its motion, textured
// from a horizontal atlas of drop images. Times in ms, speeds in units/ms.

#include <cstdint>
#include <string>
#include <vector>

#include "base/math/RandomGenerator.h"
#include "effects/EffectGeometry.h"

struct PrecipitationDesc {
    std::string name = "Unknown";
    int32_t maxNumDrops = 100;
    float boundsWidth = 80.0f;  // box side in x and z
    float boundsHeight = 50.0f;
    float dropWidth = 0.5f;
    float dropHeight = 1.0f;
    int32_t dropAtlasSize = 1;  // drop images side by side in the texture
    float dropMinVelocity = 0.05f;
    float dropMaxVelocity = 0.1f;
    float dropMinMass = 0.05f;
    float dropMaxMass = 0.1f;
    Vector3 windVelocity;
    bool rotateWithCameraVelocity = false;
    bool useVelocityAlignedBillboards = true;
    // Kept with the description; the drops do not use them.
    bool generateSplashes = false;
    float splashWidth = 1.0f;
    float splashHeight = 1.0f;
    int32_t splashAtlasSize = 1;
};

struct Drop {
    Vector3 position;
    float speed = 0.0f;  // falling speed
    int32_t image = 0;   // atlas index
    float inverseMass = 1.0f;
};

struct PrecipitationVertex {
    float position[3];
    float normal[3];
    float texCoords[2];
};
static_assert(sizeof(PrecipitationVertex) == 32, "drop vertices are packed");

class Precipitation : public EffectGeometry {
public:
    static constexpr int32_t kMaxDrops = 1 << 17;

    // None, with a log line, for a box, mass or atlas size that is not above
    // 0 or a value that is not a number. The drop count is capped at
    // kMaxDrops; a minimum above its maximum takes the maximum.
    static RefPtr<Precipitation> create(const PrecipitationDesc& desc,
                                        const EffectsEnvironment& environment, uint32_t seed = 1);

    const char* getClassName() const override { return "Precipitation"; }

    // Target count = trunc(clamp(scale, 0, 1) x maxNumDrops): a rise fills
    // up at the next update, a fall removes drops as they leave the bottom.
    void setDropCountScale(float scale);
    // A wind that is not a number is ignored (logged).
    void setWindVelocity(const Vector3& wind);

    const PrecipitationDesc& getDesc() const { return m_desc; }
    const std::vector<Drop>& getDrops() const { return m_drops; }
    int32_t getTargetCount() const { return m_targetCount; }
    const Vector3& getBoxMin() const { return m_boxMin; }
    const Vector3& getBoxMax() const { return m_boxMax; }

protected:
    uint32_t update(const EffectView& view, float dtMs) override;

private:
    Precipitation(const PrecipitationDesc& desc, const EffectsEnvironment& environment,
                  uint32_t seed);

    // New x, z, speed, image and mass; y is left to the caller.
    void renew(Drop& drop);
    void writeQuad(const Drop& drop, const Vector3& direction, const EffectView& view,
                   PrecipitationVertex* out) const;

    PrecipitationDesc m_desc;
    RandomGenerator m_random;
    int32_t m_targetCount = 0;
    std::vector<Drop> m_drops;
    bool m_hasPreviousCamera = false;
    Vector3 m_previousCamera;
    Vector3 m_cameraMotion;
    Vector3 m_boxMin;
    Vector3 m_boxMax;
};
