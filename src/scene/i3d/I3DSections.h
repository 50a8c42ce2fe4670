#pragma once
// The hand-off between the scene file loader and the subsystems that own
// parts of a scene file: materials, terrain, particle systems, precipitation,
// animation, audio sources and physics. The loader parses each section into the plain
// description records below and passes them to the handler registered for
// that section; the handler builds its own objects from them.
//
// A subsystem plugs in once at start-up, without touching the loader:
//
//     class PhysicsSceneHandler : public I3DPhysicsHandler { ... };
//     static PhysicsSceneHandler handler;
//     I3DSectionHandlers::get().physics = &handler;   // and nullptr at shutdown
//
// Without a handler the loader keeps the file loadable: a node element of
// the section becomes a plain TransformGroup with the element's name and
// common attributes, a shape-level element makes nothing, and either logs
// one warning; without a materials handler, shapes are made without
// materials. Handlers are not owned by the registry.
//
// Every number in a record comes from the file: counts and sizes that become
// allocations are already range checked and capped by the loader (see the
// k... limits), other values are as read. Angles are radians, file paths are
// resolved through the file's "Files" section.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/math/Vector3.h"
#include "foundation/Entity.h"
#include "scene/MaterialDesc.h"
#include "scene/ShapeMaterial.h"

class RawTransformGroup;
class Shape;
class TransformGroup;

// Where an attribute was present, its value differs from the default only
// then; `set` bits tell the handler which values the file gave.
template <typename T>
struct I3DValue {
    T value{};
    bool set = false;
};

// ---- Materials ("Materials") ----

class I3DMaterialHandler {
public:
    virtual ~I3DMaterialHandler() = default;
    // The material of one "Material" element; handlers may share one material
    // between equal descriptions. None leaves the shapes that name it
    // without that material.
    virtual RefPtr<ShapeMaterial> createMaterial(const MaterialDesc& desc) = 0;
};

// ---- Terrain ("TerrainTransformGroup" and its "Layers") ----

struct I3DTerrainLayerDesc {
    std::string detailMap;  // resolved paths
    std::string weightMap;
    I3DValue<float> unitSize;
    I3DValue<std::array<float, 4>> plane;
    I3DValue<std::array<float, 4>> distanceColor;
};

// The density attributes shared by foliage and detail layers.
struct I3DDensityDesc {
    std::string densityMap;
    ShapeMaterial* material = nullptr;  // the "Materials" entry, held by the loader during the call
    std::string materialName;
    I3DValue<int32_t> numDensityMapChannels;
    std::string densityMapShaderName;
    I3DValue<float> cellSize;
    I3DValue<float> viewDistance;
    I3DValue<float> terrainOffset;
    uint32_t objectMask = 0xFFFFFFFFu;
};

struct I3DFoliageLayerDesc {
    std::string name;
    I3DDensityDesc density;
    I3DValue<int32_t> atlasSize;
    I3DValue<float> plantThreshold;
    I3DValue<int32_t> numBlocksPerUnit;
    I3DValue<float> width;
    I3DValue<float> height;
    I3DValue<float> heightVariance;
    I3DValue<float> horizontalPositionVariance;
    I3DValue<int32_t> growthNumStates;
    I3DValue<float> growthStateTime;
};

struct I3DDetailLayerDesc {
    std::string name;
    I3DDensityDesc density;
};

struct I3DTerrainDesc {
    std::string name;
    std::string heightMap;  // resolved paths
    std::string globalLayerMap;
    I3DValue<float> globalLayerWeight;
    I3DValue<int32_t> patchSize;
    I3DValue<float> maxLODDistance;
    I3DValue<float> heightScale;
    I3DValue<float> unitsPerPixel;
    I3DValue<float> lodBlendStart;
    I3DValue<float> lodBlendEnd;
    I3DValue<int32_t> lodTextureSize;
    std::vector<I3DTerrainLayerDesc> layers;
    std::vector<I3DFoliageLayerDesc> foliageLayers;
    std::vector<I3DDetailLayerDesc> detailLayers;
};

class I3DTerrainHandler {
public:
    virtual ~I3DTerrainHandler() = default;
    // At the end of the element, with its layers. Returns the terrain node
    // (unlinked; the loader links it and applies the common attributes) or
    // none to make no node.
    virtual std::unique_ptr<TransformGroup> createTerrain(const I3DTerrainDesc& desc) = 0;
};

// ---- Particle systems ("Dynamics"/"ParticleSystem", "Dynamic" nodes) ----

struct I3DParticleSystemDesc {
    std::string name;
    I3DValue<float> rate;
    bool lifespanInfinite = false;
    I3DValue<float> speed;
    I3DValue<float> tangentSpeed;
    I3DValue<float> normalSpeed;
    I3DValue<float> lifespan;
    I3DValue<int32_t> maxCount;
    I3DValue<float> spriteScaleX;
    I3DValue<float> spriteScaleY;
    bool depthSort = false;
    I3DValue<float> blendFactor;
    I3DValue<float> blendInFactor;
    I3DValue<float> blendOutFactor;
    I3DValue<float> spriteScaleXGain;
    I3DValue<float> spriteScaleYGain;
    // The emitter's prototype shape and the material, none when not found.
    Shape* emitterShape = nullptr;
    ShapeMaterial* material = nullptr;
    // Sums over all "Gravity" and "Air" children.
    I3DValue<Vector3> gravityForce;
    I3DValue<Vector3> airVelocity;
};

class I3DDynamicsHandler {
public:
    virtual ~I3DDynamicsHandler() = default;
    // Makes the node of one "Dynamic" element (named `nodeName`) from the
    // system its "ref" names; none makes no node. Prototype shapes and
    // materials in the record live until the load ends: keep references.
    virtual std::unique_ptr<TransformGroup> createDynamic(const I3DParticleSystemDesc& system,
                                                          const std::string& nodeName) = 0;
};

// ---- Precipitation (in "Shapes") ----

struct I3DPrecipitationDesc {
    std::string name;
    ShapeMaterial* dropMaterial = nullptr;
    ShapeMaterial* splashMaterial = nullptr;
    I3DValue<int32_t> maxNumDrops;
    I3DValue<float> boundsWidth;
    I3DValue<float> boundsHeight;
    I3DValue<float> dropWidth;
    I3DValue<float> dropHeight;
    I3DValue<int32_t> dropAtlasSize;
    I3DValue<float> dropMinVelocity;
    I3DValue<float> dropMaxVelocity;
    I3DValue<float> dropMinMass;
    I3DValue<float> dropMaxMass;
    bool generateSplashes = false;
    I3DValue<float> splashWidth;
    I3DValue<float> splashHeight;
    I3DValue<int32_t> splashAtlasSize;
    I3DValue<Vector3> windVelocity;
    bool rotateWithCameraVelocity = false;
    bool useVelocityAlignedBillboards = true;
};

class I3DPrecipitationHandler {
public:
    virtual ~I3DPrecipitationHandler() = default;
    // A prototype shape that "Shape" nodes can name by the record's name;
    // none stores nothing.
    virtual std::unique_ptr<Shape> createPrecipitation(const I3DPrecipitationDesc& desc) = 0;
};

// ---- Animation ("Animation"/"CharacterSets") ----

struct I3DKeyframeDesc {
    float time = 0.0f;  // milliseconds
    // Bits of the attributes the keyframe gives: 1 translation, 2 rotation,
    // 4 scale, 8 visibility.
    uint32_t attributes = 0;
    // Per channel (1 translation, 2 rotation, 4 scale): linear easing into
    // and out of the keyframe.
    uint32_t linearIn = 0;
    uint32_t linearOut = 0;
    Vector3 translation;
    Vector3 rotation;  // radians
    Vector3 scale{1.0f, 1.0f, 1.0f};
    bool visibility = true;
};

struct I3DKeyframeTrackDesc {
    std::string nodeName;
    // The animated node, or none when the scene has no node of that name
    // (the track stays in place, empty, so tracks pair with their nodes).
    TransformGroup* node = nullptr;
    std::vector<I3DKeyframeDesc> keyframes;
};

struct I3DClipDesc {
    std::string name;
    float duration = 0.0f;  // milliseconds
    std::vector<I3DKeyframeTrackDesc> tracks;
};

struct I3DCharacterSetDesc {
    std::string name;
    std::vector<I3DClipDesc> clips;
};

class I3DAnimationHandler {
public:
    virtual ~I3DAnimationHandler() = default;
    // At the end of each "CharacterSet" element: create the set and bind it
    // to the nodes of its tracks. Nodes belong to the loaded subtree.
    virtual void addCharacterSet(const I3DCharacterSetDesc& desc) = 0;
};

// ---- Audio sources ----

struct I3DAudioSourceDesc {
    std::string name;
    std::string file;  // resolved path
    float range = 10.0f;
    float innerRange = 3.3f;  // range x 0.33 when not given
    float volume = 1.0f;
    int32_t loops = 0;
};

class I3DAudioHandler {
public:
    virtual ~I3DAudioHandler() = default;
    // The source node, unlinked (the loader links it and applies the common
    // attributes), or none to make no node.
    virtual std::unique_ptr<TransformGroup> createAudioSource(const I3DAudioSourceDesc& desc) = 0;
};

// ---- Physics attributes of nodes and joints ----

struct I3DRigidBodyDesc {
    // 0x3 static, 0x5 dynamic, 0x9 kinematic, 0x10 compound, 0x21 compound
    // child, 0x40 collision, 0x80 trigger.
    uint32_t flags = 0;
    I3DValue<int32_t> collisionMask;
    I3DValue<float> restitution;
    I3DValue<float> staticFriction;
    I3DValue<float> dynamicFriction;
    I3DValue<float> skinWidth;
    I3DValue<float> density;
};

struct I3DJointDesc {
    bool projection = false;
    I3DValue<float> projDistance;
    I3DValue<float> projAngle;  // radians
    bool xAxisDrive = false;
    bool yAxisDrive = false;
    bool zAxisDrive = false;
    I3DValue<Vector3> drivePos;
    I3DValue<float> driveForceLimit;
    I3DValue<float> driveSpring;
    I3DValue<float> driveDamping;
    // Rotation limits in radians, translation limits in world units.
    I3DValue<Vector3> rotMin;
    I3DValue<Vector3> rotMax;
    I3DValue<Vector3> transMin;
    I3DValue<Vector3> transMax;
    // Per axis x, y, z: whether a minimum or maximum attribute was given.
    bool rotAxisGiven[3] = {false, false, false};
    bool transAxisGiven[3] = {false, false, false};
    bool breakable = false;
    I3DValue<float> breakForce;
    I3DValue<float> breakTorque;
};

class I3DPhysicsHandler {
public:
    virtual ~I3DPhysicsHandler() = default;
    // The node's rigid body description (called after its common attributes).
    virtual void setRigidBody(RawTransformGroup& node, const I3DRigidBodyDesc& desc) = 0;
    // The node's joint description ("joint" transform groups).
    virtual void setJoint(RawTransformGroup& node, const I3DJointDesc& desc) = 0;
    // After a successful load, before the scene's "onCreate" functions:
    // register the physics objects of the new subtree.
    virtual void registerSubtree(TransformGroup& root) = 0;
};

// The handlers in use; none by default.
struct I3DSectionHandlers {
    I3DMaterialHandler* materials = nullptr;
    I3DTerrainHandler* terrain = nullptr;
    I3DDynamicsHandler* dynamics = nullptr;
    I3DPrecipitationHandler* precipitation = nullptr;
    I3DAnimationHandler* animation = nullptr;
    I3DAudioHandler* audio = nullptr;
    I3DPhysicsHandler* physics = nullptr;

    static I3DSectionHandlers& get();
};
