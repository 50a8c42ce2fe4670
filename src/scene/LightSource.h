#pragma once
// A light node: directional, point, spot or ambient. Its bound of kind 1 is
// its influence sphere (see getReach) merged with its children's.

#include <memory>

#include "scene/RenderAttachment.h"
#include "scene/TransformGroup.h"

class LightSource : public TransformGroup {
public:
    enum Type : int32_t { Directional = 0, Point = 1, Spot = 2, Ambient = 3 };

    // Light flag bits.
    static constexpr uint32_t kCollected = 0x1;
    static constexpr uint32_t kEmitsDiffuse = 0x2;
    static constexpr uint32_t kEmitsSpecular = 0x4;
    static constexpr uint32_t kCastsShadowMap = 0x20;
    static constexpr uint32_t kDefaultFlags = 0x87;
    // The reach of a directional light: it lights everything, wherever it
    // is placed and whatever its range. Large, yet small enough that sums
    // and squares of it stay finite in single precision.
    static constexpr float kUnboundedReach = 1.0e15f;

    struct Settings {
        int32_t type = Ambient;
        Vector3 diffuseColor{1.0f, 1.0f, 1.0f};
        Vector3 specularColor{1.0f, 1.0f, 1.0f};
        float range = 1.0f;
        float dropOff = 4.0f;
        float coneAngle = 60.0f;  // degrees
        float depthMapBias = 0.005f;
        int32_t depthMapResolution = 512;
        float shadowFarDistance = 80.0f;
        float shadowTextureOffset = 0.45f;
        float shadowExtrusionDistance = 200.0f;
        int32_t decayRate = 2;
        bool castsShadowMap = false;
    };

    LightSource(const std::string& name, const Settings& settings);

    const char* getClassName() const override { return "Light"; }
    std::unique_ptr<TransformGroup> createCopy() const override;
    const BoundingSphere& getLocalBounds(int kind) override;

    // The values the light was created with, range and colours as they are now.
    const Settings& getSettings() const { return m_settings; }
    int32_t getType() const { return m_settings.type; }
    const Vector3& getDiffuseColor() const { return m_settings.diffuseColor; }
    void setDiffuseColor(const Vector3& color) { m_settings.diffuseColor = color; }
    const Vector3& getSpecularColor() const { return m_settings.specularColor; }
    void setSpecularColor(const Vector3& color) { m_settings.specularColor = color; }
    float getRange() const { return m_settings.range; }
    // Also invalidates the range bound up the tree.
    void setRange(float range);
    // The radius of the light's influence sphere (its bound of kind 1): the
    // range, 0 for a negative one, kUnboundedReach for a directional light.
    float getReach() const;
    float getDropOff() const { return m_settings.dropOff; }
    float getConeAngle() const { return m_settings.coneAngle; }
    float getCosOuterCone() const { return m_cosOuterCone; }
    float getCosInnerCone() const { return m_cosInnerCone; }
    int32_t getDecayRate() const { return m_settings.decayRate; }
    uint32_t getLightFlags() const { return m_lightFlags; }
    void setLightFlags(uint32_t flags) { m_lightFlags = flags; }

    RenderAttachment* getShadowData() const { return m_shadowData.get(); }
    void setShadowData(std::unique_ptr<RenderAttachment> data) { m_shadowData = std::move(data); }
    RenderAttachment* getLightRecord() const { return m_lightRecord.get(); }
    void setLightRecord(std::unique_ptr<RenderAttachment> record) {
        m_lightRecord = std::move(record);
    }

private:
    Settings m_settings;
    float m_cosOuterCone = 0.0f;
    float m_cosInnerCone = 0.0f;
    uint32_t m_lightFlags = kDefaultFlags;
    std::unique_ptr<RenderAttachment> m_shadowData;
    std::unique_ptr<RenderAttachment> m_lightRecord;
};
