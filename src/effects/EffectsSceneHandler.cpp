#include "effects/EffectsSceneHandler.h"

#include "foundation/Log.h"
#include "render/material/Material.h"
#include "scene/Shape.h"

namespace {

template <typename T>
T valueOr(const I3DValue<T>& value, T fallback) {
    return value.set ? value.value : fallback;
}

bool sameDesc(const ParticleSystemDesc& a, const ParticleSystemDesc& b) {
    return a.name == b.name && a.rate == b.rate && a.lifespan == b.lifespan &&
           a.lifespanInfinite == b.lifespanInfinite && a.maxCount == b.maxCount &&
           a.speed == b.speed && a.speedRandomisation == b.speedRandomisation &&
           a.normalSpeed == b.normalSpeed && a.tangentSpeed == b.tangentSpeed &&
           a.spriteScaleX == b.spriteScaleX && a.spriteScaleY == b.spriteScaleY &&
           a.spriteScaleXGain == b.spriteScaleXGain && a.spriteScaleYGain == b.spriteScaleYGain &&
           a.depthSort == b.depthSort && a.blendFactor == b.blendFactor &&
           a.blendInFactor == b.blendInFactor && a.blendOutFactor == b.blendOutFactor &&
           a.gravity == b.gravity && a.air == b.air;
}

}  // namespace

EffectsSceneHandler::~EffectsSceneHandler() {
    uninstall();
}

ParticleSystemDesc EffectsSceneHandler::particleSystemDesc(const I3DParticleSystemDesc& d) {
    ParticleSystemDesc desc;
    if (!d.name.empty()) {
        desc.name = d.name;
    }
    desc.rate = valueOr(d.rate, desc.rate);
    desc.lifespan = valueOr(d.lifespan, desc.lifespan);
    desc.lifespanInfinite = d.lifespanInfinite;
    desc.maxCount = valueOr(d.maxCount, desc.maxCount);
    desc.speed = valueOr(d.speed, desc.speed);
    desc.normalSpeed = valueOr(d.normalSpeed, desc.normalSpeed);
    desc.tangentSpeed = valueOr(d.tangentSpeed, desc.tangentSpeed);
    desc.spriteScaleX = valueOr(d.spriteScaleX, desc.spriteScaleX);
    desc.spriteScaleY = valueOr(d.spriteScaleY, desc.spriteScaleY);
    desc.spriteScaleXGain = valueOr(d.spriteScaleXGain, desc.spriteScaleXGain);
    desc.spriteScaleYGain = valueOr(d.spriteScaleYGain, desc.spriteScaleYGain);
    desc.depthSort = d.depthSort;
    desc.blendFactor = valueOr(d.blendFactor, desc.blendFactor);
    desc.blendInFactor = valueOr(d.blendInFactor, desc.blendInFactor);
    desc.blendOutFactor = valueOr(d.blendOutFactor, desc.blendOutFactor);
    desc.gravity = valueOr(d.gravityForce, desc.gravity);
    desc.air = valueOr(d.airVelocity, desc.air);
    return desc;
}

PrecipitationDesc EffectsSceneHandler::precipitationDesc(const I3DPrecipitationDesc& d) {
    PrecipitationDesc desc;
    if (!d.name.empty()) {
        desc.name = d.name;
    }
    desc.maxNumDrops = valueOr(d.maxNumDrops, desc.maxNumDrops);
    desc.boundsWidth = valueOr(d.boundsWidth, desc.boundsWidth);
    desc.boundsHeight = valueOr(d.boundsHeight, desc.boundsHeight);
    desc.dropWidth = valueOr(d.dropWidth, desc.dropWidth);
    desc.dropHeight = valueOr(d.dropHeight, desc.dropHeight);
    desc.dropAtlasSize = valueOr(d.dropAtlasSize, desc.dropAtlasSize);
    desc.dropMinVelocity = valueOr(d.dropMinVelocity, desc.dropMinVelocity);
    desc.dropMaxVelocity = valueOr(d.dropMaxVelocity, desc.dropMaxVelocity);
    desc.dropMinMass = valueOr(d.dropMinMass, desc.dropMinMass);
    desc.dropMaxMass = valueOr(d.dropMaxMass, desc.dropMaxMass);
    desc.windVelocity = valueOr(d.windVelocity, desc.windVelocity);
    desc.rotateWithCameraVelocity = d.rotateWithCameraVelocity;
    desc.useVelocityAlignedBillboards = d.useVelocityAlignedBillboards;
    desc.generateSplashes = d.generateSplashes;
    desc.splashWidth = valueOr(d.splashWidth, desc.splashWidth);
    desc.splashHeight = valueOr(d.splashHeight, desc.splashHeight);
    desc.splashAtlasSize = valueOr(d.splashAtlasSize, desc.splashAtlasSize);
    return desc;
}

EffectsSceneHandler::Prototype* EffectsSceneHandler::findPrototype(const ParticleSystemDesc& desc,
                                                                   Geometry* emitter,
                                                                   ShapeMaterial* material) {
    // Prototypes whose copies are all gone are let go. The kept ones hold
    // their emitter and material, so no later object can reuse an address
    // and be taken for them.
    for (size_t i = 0; i < m_prototypes.size();) {
        Geometry* geometry = m_prototypes[i].shape->getGeometry();
        if (geometry == nullptr || geometry->getRefCount() <= 1) {
            m_prototypes.erase(m_prototypes.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    for (Prototype& prototype : m_prototypes) {
        if (prototype.emitter == emitter && prototype.material == material &&
            sameDesc(prototype.desc, desc)) {
            return &prototype;
        }
    }
    return nullptr;
}

std::unique_ptr<TransformGroup> EffectsSceneHandler::createDynamic(
    const I3DParticleSystemDesc& system, const std::string& nodeName) {
    Geometry* emitter =
        system.emitterShape != nullptr ? system.emitterShape->getGeometry() : nullptr;
    if (emitter == nullptr || system.material == nullptr) {
        Log::get() << "Error: ParticleSystem " << system.name << " has no "
                   << (emitter == nullptr ? "emitter shape" : "material") << ", Dynamic "
                   << nodeName << " is not created\n";
        return nullptr;
    }
    const ParticleSystemDesc desc = particleSystemDesc(system);
    Prototype* prototype = findPrototype(desc, emitter, system.material);
    if (prototype == nullptr) {
        RefPtr<ParticleSystem> particles =
            ParticleSystem::create(desc, emitter, m_environment, m_seed++);
        if (!particles) {
            return nullptr;
        }
        Prototype created;
        created.desc = desc;
        created.emitter = emitter;
        created.material = system.material;
        created.shape = std::make_unique<EffectShape>(desc.name + "_Prototype");
        created.shape->setGeometry(particles.get());
        created.shape->addMaterial(system.material);
        m_prototypes.push_back(std::move(created));
        prototype = &m_prototypes.back();
    }
    std::unique_ptr<TransformGroup> node = prototype->shape->createCopy();
    node->setName(nodeName);
    return node;
}

std::unique_ptr<Shape> EffectsSceneHandler::createPrecipitation(const I3DPrecipitationDesc& d) {
    RefPtr<Precipitation> precipitation =
        Precipitation::create(precipitationDesc(d), m_environment, m_seed++);
    if (!precipitation) {
        return nullptr;
    }
    auto shape = std::make_unique<EffectShape>(precipitation->getDesc().name);
    shape->setGeometry(precipitation.get());
    if (d.dropMaterial != nullptr) {
        shape->addMaterial(d.dropMaterial);
    }
    if (d.generateSplashes && d.splashMaterial != nullptr) {
        shape->addMaterial(d.splashMaterial);
    }
    // The rain travels with the camera wherever it goes: never culled.
    shape->setCullOverride(true);
    return shape;
}

void EffectsSceneHandler::install(const EffectsEnvironment& environment) {
    m_environment = environment;
    I3DSectionHandlers::get().dynamics = this;
    I3DSectionHandlers::get().precipitation = this;
}

void EffectsSceneHandler::uninstall() {
    if (I3DSectionHandlers::get().dynamics == this) {
        I3DSectionHandlers::get().dynamics = nullptr;
    }
    if (I3DSectionHandlers::get().precipitation == this) {
        I3DSectionHandlers::get().precipitation = nullptr;
    }
    m_prototypes.clear();
}
