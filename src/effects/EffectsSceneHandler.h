#pragma once
// Builds the effects of scene files: "Dynamic" elements become shapes that
// show the particle system their "ref" names (one system per description,
// shared by all its copies), "Precipitation" elements become prototype
// shapes that "Shape" elements copy.

#include <memory>
#include <string>
#include <vector>

#include "effects/EffectGeometry.h"
#include "effects/ParticleSystem.h"
#include "effects/Precipitation.h"
#include "scene/i3d/I3DSections.h"

class EffectsSceneHandler : public I3DDynamicsHandler, public I3DPrecipitationHandler {
public:
    ~EffectsSceneHandler() override;

    std::unique_ptr<TransformGroup> createDynamic(const I3DParticleSystemDesc& system,
                                                  const std::string& nodeName) override;
    std::unique_ptr<Shape> createPrecipitation(const I3DPrecipitationDesc& desc) override;

    // Plugs this handler into the scene loader, or takes it out again (and
    // lets go of the prototypes it keeps: call it while the device exists).
    void install(const EffectsEnvironment& environment);
    void uninstall();

    // The descriptions with the defaults where the file gave no value.
    static ParticleSystemDesc particleSystemDesc(const I3DParticleSystemDesc& desc);
    static PrecipitationDesc precipitationDesc(const I3DPrecipitationDesc& desc);

private:
    // A created system with what it was made from, so that later "Dynamic"
    // elements of the same description share it.
    struct Prototype {
        ParticleSystemDesc desc;
        Geometry* emitter = nullptr;
        ShapeMaterial* material = nullptr;
        std::unique_ptr<EffectShape> shape;
    };

    Prototype* findPrototype(const ParticleSystemDesc& desc, Geometry* emitter,
                             ShapeMaterial* material);

    EffectsEnvironment m_environment;
    std::vector<Prototype> m_prototypes;
    uint32_t m_seed = 1;
};
