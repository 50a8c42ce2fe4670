#include "scene/SceneScriptBindings.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>

#include "foundation/Log.h"
#include "foundation/TextUtil.h"
#include "scene/Camera.h"
#include "scene/Clone.h"
#include "scene/LightSource.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"
#include "scene/SplineGeometry.h"
#include "scene/TransformGroup.h"
#include "scene/i3d/I3DLoader.h"
#include "scene/i3d/I3DSections.h"
#include "scripting/ScriptApi.h"

namespace {

SceneScriptHost g_host;

SceneRenderContext* sceneContext() {
    return g_host.context != nullptr ? g_host.context() : nullptr;
}

void setResults(ScriptValue* values, const Vector3& v) {
    scriptResult(values, 0).setFloat(v.x);
    scriptResult(values, 1).setFloat(v.y);
    scriptResult(values, 2).setFloat(v.z);
}

Vector3 vectorArgument(const ScriptValue* values, int first) {
    return {values[first].floatValue, values[first + 1].floatValue, values[first + 2].floatValue};
}

// The entity an id argument names, as the wanted class, or none.
template <typename T>
T* entityArgument(const ScriptValue& value) {
    if (value.type != ScriptType::Int && value.type != ScriptType::Float) {
        return nullptr;
    }
    const int32_t id =
        value.type == ScriptType::Int ? value.intValue : static_cast<int32_t>(value.floatValue);
    return dynamic_cast<T*>(EntityRegistry::find(id));
}

// ---- Node ----

Node* node(Entity* entity) {
    return static_cast<Node*>(entity);
}

// Every node the deletion of `root` destroys leaves the registry first: a
// delete listener run during the deletion cannot reach a node on its way out.
void leaveRegistryWithSubtree(Node& root) {
    root.leaveRegistry();
    if (!root.ownsChildren()) {
        return;
    }
    for (Node* child : root.getChildren()) {
        leaveRegistryWithSubtree(*child);
    }
}

void deleteNode(Entity* entity, ScriptValue*) {
    Node* doomed = node(entity);
    if (g_host.engineRoot != nullptr) {
        for (const Node* n = g_host.engineRoot(); n != nullptr; n = n->getParent()) {
            if (n == doomed) {
                Log::get() << "Warning: delete, " << doomed->getName()
                           << " holds the engine's scene root and is not deleted\n";
                return;
            }
        }
    }
    leaveRegistryWithSubtree(*doomed);
    delete doomed;
}

void getParent(Entity* entity, ScriptValue* values) {
    if (Node* parent = node(entity)->getParent()) {
        scriptResult(values).setInt(parent->getId());
    }
}

void link(Entity* entity, ScriptValue* values) {
    if (Node* child = entityArgument<Node>(values[0])) {
        node(entity)->addChild(child);
    }
}

void unlink(Entity* entity, ScriptValue*) {
    node(entity)->unlink();
}

void getNumOfChildren(Entity* entity, ScriptValue* values) {
    scriptResult(values).setInt(static_cast<int32_t>(node(entity)->getNumChildren()));
}

// The child at the index, or none for an index outside the children.
Node* childAt(Entity* entity, const ScriptValue& index) {
    Node* parent = node(entity);
    if (index.intValue < 0 || static_cast<size_t>(index.intValue) >= parent->getNumChildren()) {
        return nullptr;
    }
    return parent->getChildAt(static_cast<size_t>(index.intValue));
}

void getChildAt(Entity* entity, ScriptValue* values) {
    if (Node* child = childAt(entity, values[0])) {
        scriptResult(values).setInt(child->getId());
    }
}

void getChild(Entity* entity, ScriptValue* values) {
    int32_t id = 0;
    for (Node* child : node(entity)->getChildren()) {
        if (child->getName() == values[0].stringValue) {
            id = child->getId();
            break;
        }
    }
    scriptResult(values).setInt(id);
}

void getName(Entity* entity, ScriptValue* values) {
    thread_local std::string name;
    name = entity->getName();
    scriptResult(values).setString(name.c_str());
}

void setName(Entity* entity, ScriptValue* values) {
    entity->setName(values[0].stringValue);
}

// The child leaves the list and its parent link is cleared with it: a child
// left pointing at a parent that no longer lists it would reach that parent
// after it was deleted.
void removeChildAt(Entity* entity, ScriptValue* values) {
    if (Node* child = childAt(entity, values[0])) {
        child->unlink();
    }
}

ScenegraphNode* scenegraphNode(Entity* entity) {
    return dynamic_cast<ScenegraphNode*>(entity);
}

void setEnabled(Entity* entity, ScriptValue* values) {
    if (ScenegraphNode* n = scenegraphNode(entity)) {
        n->setEnabled(values[0].isTrue());
    }
}

void isEnabled(Entity* entity, ScriptValue* values) {
    if (ScenegraphNode* n = scenegraphNode(entity)) {
        scriptResult(values).setBool(n->isEnabled());
    }
}

void setCullOverride(Entity* entity, ScriptValue* values) {
    if (ScenegraphNode* n = scenegraphNode(entity)) {
        n->setCullOverride(values[0].isTrue());
    }
}

void getCullOverride(Entity* entity, ScriptValue* values) {
    if (ScenegraphNode* n = scenegraphNode(entity)) {
        scriptResult(values).setBool(n->getCullOverride());
    }
}

// ---- TransformGroup ----

TransformGroup* group(Entity* entity) {
    return static_cast<TransformGroup*>(entity);
}

Entity* createTransformGroup(ScriptValue* values) {
    const char* name = values[0].type == ScriptType::String ? values[0].stringValue : "";
    return new TransformGroup(name);
}

void setTranslation(Entity* entity, ScriptValue* values) {
    group(entity)->setTranslation(vectorArgument(values, 0));
}

void getTranslation(Entity* entity, ScriptValue* values) {
    setResults(values, group(entity)->getTranslation());
}

void getWorldTranslation(Entity* entity, ScriptValue* values) {
    setResults(values, group(entity)->getWorldMatrix().getTranslation());
}

void localToWorld(Entity* entity, ScriptValue* values) {
    setResults(values, group(entity)->getWorldMatrix().transformPoint(vectorArgument(values, 0)));
}

void localDirectionToWorld(Entity* entity, ScriptValue* values) {
    setResults(values, group(entity)->getWorldMatrix().transformVector(vectorArgument(values, 0)));
}

void worldToLocal(Entity* entity, ScriptValue* values) {
    Matrix4 inverse = group(entity)->getWorldMatrix().inverse();
    setResults(values, inverse.transformPoint(vectorArgument(values, 0)));
}

void worldDirectionToLocal(Entity* entity, ScriptValue* values) {
    Matrix4 inverse = group(entity)->getWorldMatrix().inverse();
    setResults(values, inverse.transformVector(vectorArgument(values, 0)));
}

void setRotation(Entity* entity, ScriptValue* values) {
    group(entity)->setRotation(vectorArgument(values, 0));
}

void getRotation(Entity* entity, ScriptValue* values) {
    setResults(values, group(entity)->getRotation());
}

void getWorldRotation(Entity* entity, ScriptValue* values) {
    Matrix4 world = group(entity)->getWorldMatrix();
    for (int i = 0; i < 3; ++i) {
        world.setColumn(i, normalize(world.getColumn(i)));
    }
    setResults(values, rotationFromMatrix(world));
}

void setDirection(Entity* entity, ScriptValue* values) {
    group(entity)->setDirection(vectorArgument(values, 0), vectorArgument(values, 3));
}

void setScale(Entity* entity, ScriptValue* values) {
    Vector3 scale = vectorArgument(values, 0);
    const PhysicsObject* physics = group(entity)->getPhysicsObject();
    if (physics != nullptr && !physics->acceptsScale(scale.x, scale.y, scale.z)) {
        Log::get() << "Error: setScale, scale is not allowed for dynamic objects\n";
    }
    group(entity)->setScale(scale);
}

void getScale(Entity* entity, ScriptValue* values) {
    setResults(values, group(entity)->getScale());
}

void setVisibility(Entity* entity, ScriptValue* values) {
    group(entity)->setVisibility(values[0].isTrue());
}

void getVisibility(Entity* entity, ScriptValue* values) {
    scriptResult(values).setBool(group(entity)->getVisibility());
}

void setInheritTransform(Entity* entity, ScriptValue* values) {
    TransformGroup* g = group(entity);
    uint32_t flags = g->getTransformFlags();
    if (values[0].isTrue()) {
        flags &= ~RawTransformGroup::kNoTransformInheritance;
    } else {
        flags |= RawTransformGroup::kNoTransformInheritance;
    }
    g->setTransformFlags(flags);
    g->invalidateWorld(0);
}

void clone(Entity* entity, ScriptValue* values) {
    std::unique_ptr<TransformGroup> copy = cloneSubtree(*group(entity));
    if (!copy) {
        return;
    }
    TransformGroup* made = copy.release();  // scripts own it until linked
    Node* parent = group(entity)->getParent();
    if (values[0].isTrue() && parent != nullptr) {
        parent->addChild(made);
    }
    if (g_host.physicsSubtreeAdded != nullptr) {
        g_host.physicsSubtreeAdded(*made);
    }
    scriptResult(values).setInt(made->getId());
}

void getUserAttribute(Entity* entity, ScriptValue* values) {
    const UserAttribute* attribute = group(entity)->getUserAttribute(values[0].stringValue);
    if (attribute == nullptr) {
        return;
    }
    ScriptValue& out = scriptResult(values);
    switch (attribute->type) {
        case UserAttribute::Boolean:
            out.setBool(attribute->boolValue);
            break;
        case UserAttribute::Integer:
            out.setInt(attribute->intValue);
            break;
        case UserAttribute::Float:
            out.setFloat(attribute->floatValue);
            break;
        case UserAttribute::String:
            out.setString(attribute->stringValue.c_str());  // lives in the node
            break;
    }
}

// A value of the wrong kind for the type (a text for "Integer", a number
// for "Boolean") changes nothing.
void setUserAttribute(Entity* entity, ScriptValue* values) {
    const char* type = values[1].stringValue;
    const ScriptValue& value = values[2];
    UserAttribute attribute;
    if (std::strcmp(type, "Integer") == 0 && value.type == ScriptType::Float) {
        attribute = UserAttribute::makeInteger(static_cast<int32_t>(value.floatValue));
    } else if (std::strcmp(type, "Float") == 0 && value.type == ScriptType::Float) {
        attribute = UserAttribute::makeFloat(value.floatValue);
    } else if (std::strcmp(type, "String") == 0 && value.type == ScriptType::String) {
        attribute = UserAttribute::makeString(value.stringValue);
    } else if (std::strcmp(type, "Boolean") == 0 && value.type == ScriptType::Bool) {
        attribute = UserAttribute::makeBoolean(value.boolValue);
    } else {
        return;
    }
    group(entity)->setUserAttribute(values[0].stringValue, attribute);
}

// ---- Light, Camera, Shape ----

LightSource* light(Entity* entity) {
    return static_cast<LightSource*>(entity);
}

void getLightDiffuseColor(Entity* entity, ScriptValue* values) {
    setResults(values, light(entity)->getDiffuseColor());
}

void setLightDiffuseColor(Entity* entity, ScriptValue* values) {
    light(entity)->setDiffuseColor(vectorArgument(values, 0));
}

void getLightSpecularColor(Entity* entity, ScriptValue* values) {
    setResults(values, light(entity)->getSpecularColor());
}

void setLightSpecularColor(Entity* entity, ScriptValue* values) {
    light(entity)->setSpecularColor(vectorArgument(values, 0));
}

void getLightRange(Entity* entity, ScriptValue* values) {
    scriptResult(values).setFloat(light(entity)->getRange());
}

void setLightRange(Entity* entity, ScriptValue* values) {
    light(entity)->setRange(values[0].floatValue);
}

Entity* createCamera(ScriptValue* values) {
    const char* name = values[0].type == ScriptType::String ? values[0].stringValue : "";
    return new Camera(name, values[1].floatValue, values[2].floatValue, values[3].floatValue);
}

void aimCamera(Entity* entity, ScriptValue* values) {
    static_cast<Camera*>(entity)->aimCamera(vectorArgument(values, 0), values[3].floatValue,
                                            values[4].floatValue, values[5].floatValue);
}

void getGeometry(Entity* entity, ScriptValue* values) {
    Geometry* geometry = static_cast<Shape*>(entity)->getGeometry();
    scriptResult(values).setInt(geometry != nullptr ? geometry->getId() : 0);
}

// Every material of the shape gets the value; materials are shared, so
// every shape that uses one of them sees it.
void setShaderParameter(Entity* entity, ScriptValue* values) {
    if (values[0].type != ScriptType::String) {
        return;
    }
    Shape* shape = static_cast<Shape*>(entity);
    const std::array<float, 4> value{values[1].floatValue, values[2].floatValue,
                                     values[3].floatValue, values[4].floatValue};
    for (size_t i = 0; i < shape->getNumMaterials(); ++i) {
        shape->getMaterial(i)->setCustomParameter(values[0].stringValue, value);
    }
}

// ---- Global scene functions ----

// The new subtree is unlinked and belongs to the script until it links it.
// Physics registers its objects first, then the file's "onCreate" functions
// run in file order with their node's id; a node an earlier function
// deleted is skipped.
void loadI3DFile(Entity*, ScriptValue* values) {
    if (values[0].type != ScriptType::String) {
        return;
    }
    I3DLoadResult result;
    if (!::loadI3DFile(values[0].stringValue, result) || !result.root) {
        scriptResult(values).setInt(0);
        return;
    }
    TransformGroup* root = result.root.release();
    const int32_t rootId = root->getId();
    if (I3DPhysicsHandler* physics = I3DSectionHandlers::get().physics) {
        physics->registerSubtree(*root);
    }
    if (IScriptSystem* system = ScriptSystem::get()) {
        for (const I3DOnCreateCall& call : result.onCreate) {
            if (EntityRegistry::find(call.nodeId) == nullptr) {
                continue;
            }
            ScriptValue callValues[ScriptSlots::Count];
            callValues[0].setInt(call.nodeId);
            system->callFunction(call.function.c_str(), callValues, 1, 0, nullptr);
        }
    }
    scriptResult(values).setInt(rootId);
}

void setRootNode(Entity*, ScriptValue* values) {
    SceneRenderContext* context = sceneContext();
    TransformGroup* root = entityArgument<TransformGroup>(values[0]);
    if (context != nullptr && root != nullptr) {
        context->setRootNode(root);
    }
}

void getRootNode(Entity*, ScriptValue* values) {
    SceneRenderContext* context = sceneContext();
    if (context != nullptr && context->getRootNode() != nullptr) {
        scriptResult(values).setInt(context->getRootNode()->getId());
    }
}

void setCamera(Entity*, ScriptValue* values) {
    SceneRenderContext* context = sceneContext();
    Camera* camera = entityArgument<Camera>(values[0]);
    if (context != nullptr && camera != nullptr) {
        context->setActiveCamera(camera);
    }
}

void getCamera(Entity*, ScriptValue* values) {
    SceneRenderContext* context = sceneContext();
    if (context != nullptr && context->getActiveCamera() != nullptr) {
        scriptResult(values).setInt(context->getActiveCamera()->getId());
    }
}

void project(Entity*, ScriptValue* values) {
    SceneRenderContext* context = sceneContext();
    Vector3 screen;
    if (context != nullptr && projectPoint(*context, vectorArgument(values, 0), screen)) {
        setResults(values, screen);
    }
}

void unProject(Entity*, ScriptValue* values) {
    SceneRenderContext* context = sceneContext();
    Vector3 world;
    if (context != nullptr && unprojectPoint(*context, vectorArgument(values, 0), world)) {
        setResults(values, world);
    }
}

void getSplinePosition(Entity*, ScriptValue* values) {
    Vector3 position;
    Shape* shape = entityArgument<Shape>(values[0]);
    if (shape != nullptr && getSplineWorldPosition(*shape, values[1].floatValue, position)) {
        setResults(values, position);
    }
}

void getSplineOrientation(Entity*, ScriptValue* values) {
    Vector3 rotation;
    Shape* shape = entityArgument<Shape>(values[0]);
    if (shape != nullptr && getSplineWorldOrientation(*shape, values[1].floatValue,
                                                      vectorArgument(values, 2), rotation)) {
        setResults(values, rotation);
    }
}

void getSplineLength(Entity*, ScriptValue* values) {
    Shape* shape = entityArgument<Shape>(values[0]);
    if (shape == nullptr) {
        return;
    }
    SplineGeometry* spline = getShapeSpline(*shape);
    scriptResult(values).setFloat(spline != nullptr ? spline->getLength() : 0.0f);
}

void storeFog(FogSettings& fog, const ScriptValue* values, int numParameters) {
    fog.mode = fogModeFromName(values[0].stringValue);
    for (int i = 0; i < 3; ++i) {
        fog.parameters[i] = i < numParameters ? values[1 + i].floatValue : 0.0f;
    }
    for (int i = 0; i < 3; ++i) {
        fog.color[i] = values[1 + numParameters + i].floatValue;
    }
    fog.color[3] = 0.0f;
}

void setFog(Entity*, ScriptValue* values) {
    if (SceneRenderContext* context = sceneContext()) {
        storeFog(context->environment.fog, values, 2);
    }
}

void setVolumeFog(Entity*, ScriptValue* values) {
    if (SceneRenderContext* context = sceneContext()) {
        storeFog(context->environment.volumeFog, values, 3);
    }
}

void setAmbientColor(Entity*, ScriptValue* values) {
    if (SceneRenderContext* context = sceneContext()) {
        context->environment.ambientColor = vectorArgument(values, 0);
    }
}

void setWireframe(Entity*, ScriptValue* values) {
    if (SceneRenderContext* context = sceneContext()) {
        context->environment.wireFrame = values[0].boolValue;
    }
}

void setDebugDrawMode(Entity*, ScriptValue* values) {
    if (SceneRenderContext* context = sceneContext()) {
        context->environment.debugFlags = debugDrawModeFlags(values[0].intValue);
    }
}

// What the shapes below a node (the node included) draw: their triangles
// and the box around their vertices in world space.
struct DrawnExtent {
    int64_t triangles = 0;
    bool empty = true;
    Vector3 min;
    Vector3 max;
};

void addDrawnExtent(Node& at, DrawnExtent& extent) {
    if (at.hasKind(EntityKind::Shape)) {
        auto& shape = static_cast<Shape&>(at);
        const Geometry* geometry = shape.getGeometry();
        const MeshData* mesh = geometry != nullptr ? geometry->getMeshData() : nullptr;
        if (mesh != nullptr) {
            extent.triangles += static_cast<int64_t>(mesh->triangles.size());
            const Matrix4& world = shape.getWorldMatrix();
            for (const Vector3& position : mesh->positions) {
                const Vector3 p = world.transformPoint(position);
                if (extent.empty) {
                    extent.min = extent.max = p;
                    extent.empty = false;
                }
                extent.min = {std::min(extent.min.x, p.x), std::min(extent.min.y, p.y),
                              std::min(extent.min.z, p.z)};
                extent.max = {std::max(extent.max.x, p.x), std::max(extent.max.y, p.y),
                              std::max(extent.max.z, p.z)};
            }
        }
    }
    for (Node* child : at.getChildren()) {
        addDrawnExtent(*child, extent);
    }
}

DrawnExtent drawnExtent(Entity* entity) {
    DrawnExtent extent;
    addDrawnExtent(*node(entity), extent);
    return extent;
}

void getTriangleCount(Entity* entity, ScriptValue* values) {
    const int64_t triangles = drawnExtent(entity).triangles;
    scriptResult(values).setInt(static_cast<int32_t>(std::min<int64_t>(triangles, INT32_MAX)));
}

void getWorldBoundsMin(Entity* entity, ScriptValue* values) {
    const DrawnExtent extent = drawnExtent(entity);
    if (!extent.empty) {
        setResults(values, extent.min);
    }
}

void getWorldBoundsMax(Entity* entity, ScriptValue* values) {
    const DrawnExtent extent = drawnExtent(entity);
    if (!extent.empty) {
        setResults(values, extent.max);
    }
}

}  // namespace

void addSceneScriptApi(ScriptApi& api, const SceneScriptHost& host) {
    g_host = host;
    api.addGlobalFunctions({
        {"getSplinePosition", "if", "fff", getSplinePosition},
        {"getSplineOrientation", "iffff", "fff", getSplineOrientation},
        {"getSplineLength", "i", "f", getSplineLength},
        {"setRootNode", "i", "", setRootNode},
        {"getRootNode", "", "i", getRootNode},
        {"project", "fff", "fff", project},
        {"unProject", "fff", "fff", unProject},
        {"setCamera", "i", "", setCamera},
        {"getCamera", "", "i", getCamera},
        {"setFog", "sfffff", "", setFog},
        {"setVolumeFog", "sffffff", "", setVolumeFog},
        {"setAmbientColor", "fff", "", setAmbientColor},
        {"loadI3DFile", "s", "i", loadI3DFile},
        {"setWireframe", "b", "", setWireframe},
        {"setDebugDrawMode", "i", "", setDebugDrawMode},
    });
    api.addEntityClass("Node", "Entity", nullptr,
                       {
                           {"delete", "", "", deleteNode},
                           {"getParent", "", "i", getParent},
                           {"link", "i", "", link},
                           {"unlink", "", "", unlink},
                           {"getNumOfChildren", "", "i", getNumOfChildren},
                           {"getChildAt", "i", "i", getChildAt},
                           {"getChild", "s", "i", getChild},
                           {"getName", "", "s", getName},
                           {"setName", "s", "", setName},
                           {"removeChildAt", "i", "", removeChildAt},
                           {"setEnabled", "b", "", setEnabled},
                           {"isEnabled", "", "b", isEnabled},
                           {"setCullOverride", "b", "", setCullOverride},
                           {"getCullOverride", "", "b", getCullOverride},
                           {"getTriangleCount", "", "i", getTriangleCount},
                           {"getWorldBoundsMin", "", "fff", getWorldBoundsMin},
                           {"getWorldBoundsMax", "", "fff", getWorldBoundsMax},
                       });
    api.addEntityClass("ScenegraphNode", "Node", nullptr);
    api.addEntityClass("RawTransformGroup", "ScenegraphNode", nullptr);
    api.addEntityClass("TransformGroup", "RawTransformGroup", createTransformGroup,
                       {
                           {"setTranslation", "fff", "", setTranslation},
                           {"getTranslation", "", "fff", getTranslation},
                           {"getWorldTranslation", "", "fff", getWorldTranslation},
                           {"localToWorld", "fff", "fff", localToWorld},
                           {"localDirectionToWorld", "fff", "fff", localDirectionToWorld},
                           {"worldToLocal", "fff", "fff", worldToLocal},
                           {"worldDirectionToLocal", "fff", "fff", worldDirectionToLocal},
                           {"setRotation", "fff", "", setRotation},
                           {"getRotation", "", "fff", getRotation},
                           {"getWorldRotation", "", "fff", getWorldRotation},
                           {"setDirection", "ffffff", "", setDirection},
                           {"setScale", "fff", "", setScale},
                           {"getScale", "", "fff", getScale},
                           {"setVisibility", "b", "", setVisibility},
                           {"getVisibility", "", "b", getVisibility},
                           {"setInheritTransform", "b", "", setInheritTransform},
                           {"clone", "b", "i", clone},
                           {"getUserAttribute", "s", "a", getUserAttribute},
                           {"setUserAttribute", "ssa", "", setUserAttribute},
                       });
    api.addEntityClass("Light", "TransformGroup", nullptr,
                       {
                           {"getLightDiffuseColor", "", "fff", getLightDiffuseColor},
                           {"setLightDiffuseColor", "fff", "", setLightDiffuseColor},
                           {"getLightSpecularColor", "", "fff", getLightSpecularColor},
                           {"setLightSpecularColor", "fff", "", setLightSpecularColor},
                           {"getLightRange", "", "f", getLightRange},
                           {"setLightRange", "f", "", setLightRange},
                       });
    api.addEntityClass("Camera", "TransformGroup", createCamera,
                       {
                           {"aimCamera", "ffffff", "", aimCamera},
                       });
    api.addEntityClass("Shape", "TransformGroup", nullptr,
                       {
                           {"getGeometry", "", "i", getGeometry},
                           {"setShaderParameter", "sffff", "", setShaderParameter},
                       });
    api.addCreateFunction("createTransformGroup", "TransformGroup");
    api.addCreateFunction("createCamera", "Camera");
}
