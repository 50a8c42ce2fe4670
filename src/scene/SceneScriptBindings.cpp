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
    api.setSection("Scene");
    api.addGlobalFunctions({
        {"getSplinePosition", "if", "fff", getSplinePosition,
         "shape: a shape with a spline; t: 0 start to 1 end, wrapped into that range",
         "x, y, z: world units, world space",
         "Returns the point of the spline at t; nil when the id names no shape with a spline."},
        {"getSplineOrientation", "iffff", "fff", getSplineOrientation,
         "shape: a shape with a spline; t: 0 start to 1 end, wrapped into that range; "
         "upX, upY, upZ: the up direction in world space",
         "rx, ry, rz: radians, Euler angles in world space",
         "Returns the rotation whose Z axis follows the spline at t with Y towards the up "
         "direction, for moving a node along it; nil when the id names no shape with a spline."},
        {"getSplineLength", "i", "f", getSplineLength, "shape: a shape with a spline",
         "length: world units, 0 when the shape has no spline",
         "Returns the length of the shape's spline; nil when the id names no shape."},
        {"setRootNode", "i", "", setRootNode, "node: a transform group", "",
         "Makes the node the root of the scene that is drawn; an id that names no transform "
         "group is ignored."},
        {"getRootNode", "", "i", getRootNode, "", "node",
         "Returns the root of the scene that is drawn; the engine makes one at start."},
        {"project", "fff", "fff", project, "x, y, z: world units, world space",
         "sx, sy: screen fractions from the bottom left; depth: 0 at the near to 1 at the far "
         "clip plane",
         "Returns where a world point appears on the screen through the active camera; nil "
         "without a camera or for a point in the camera's plane."},
        {"unProject", "fff", "fff", unProject,
         "sx, sy: screen fractions from the bottom left; depth: 0 at the near to 1 at the far "
         "clip plane",
         "x, y, z: world units, world space",
         "Returns the world point under a screen position at the depth, the inverse of project; "
         "nil without a camera."},
        {"setCamera", "i", "", setCamera, "camera", "",
         "Makes the camera the one the scene is drawn through; an id that names no camera is "
         "ignored."},
        {"getCamera", "", "i", getCamera, "", "camera",
         "Returns the camera the scene is drawn through; nil when there is none."},
        {"setFog", "sfffff", "", setFog,
         "mode: \"linear\", \"exp\" or \"exp2\", anything else switches fog off; "
         "start: world units for linear fog, the density per world unit for exp and exp2; "
         "end: world units, where linear fog is complete; r, g, b: 0 to 1",
         "", "Sets the distance fog of the scene."},
        {"setVolumeFog", "sffffff", "", setVolumeFog,
         "mode: \"linear\", \"exp\" or \"exp2\", anything else switches it off; "
         "start: world units for linear fog, the density per world unit for exp and exp2; "
         "end: world units, where linear fog is complete; top: world units, the height of the "
         "fog layer's upper surface; r, g, b: 0 to 1",
         "", "Sets a layer of fog that fills the scene below a height."},
        {"setAmbientColor", "fff", "", setAmbientColor, "r, g, b: 0 to 1", "",
         "Sets the light that reaches every surface from no particular direction."},
        {"loadI3DFile", "s", "i", loadI3DFile, "path: scene file (.i3d)", "root",
         "Loads a scene file and returns its root node, linked nowhere (link it to the root "
         "node to show it). Its physics objects are registered and its onCreate functions run "
         "first. Returns 0 when the file cannot be loaded (logged)."},
        {"setWireframe", "b", "", setWireframe, "wireframe", "",
         "Draws the scene passes as wire frames, as F4 does with development controls."},
        {"setDebugDrawMode", "i", "", setDebugDrawMode,
         "mode: 0 none, 1 everything the walks draw, 2 and 3 the light symbols, 4 the bounding "
         "spheres",
         "", "Chooses the debug drawing of the frame, as F5 does; other numbers switch it off."},
    });
    api.addCallbacks({
        {"onCreate", "integer node: the node that names the function", "",
         "Called by loadI3DFile for every node of the file that names a script function in its "
         "onCreate attribute, in file order, after the physics objects were registered."},
    });
    api.addEntityClass(
        "Node", "Entity", nullptr,
        {
            {"delete", "", "", deleteNode, "", "",
             "Deletes the node with every node below it that it owns. A node that holds the "
             "engine's scene root is not deleted and a warning is logged."},
            {"getParent", "", "i", getParent, "", "parent",
             "Returns the parent of the node; nil for a node linked nowhere."},
            {"link", "i", "", link, "child", "",
             "Makes the child a child of this node, taking it from its old parent; an id that "
             "names no node is ignored."},
            {"unlink", "", "", unlink, "", "",
             "Takes the node out of its parent; it then belongs to the script until linked "
             "again."},
            {"getNumOfChildren", "", "i", getNumOfChildren, "", "count",
             "Returns the number of direct children."},
            {"getChildAt", "i", "i", getChildAt, "index: 0 to count - 1", "child",
             "Returns the child at the index; nil for an index outside the children."},
            {"getChild", "s", "i", getChild, "name: exact, case-sensitive", "child",
             "Returns the first direct child with the name; 0 when there is none."},
            {"getName", "", "s", getName, "", "name", "Returns the node's name."},
            {"setName", "s", "", setName, "name", "", "Renames the node."},
            {"removeChildAt", "i", "", removeChildAt, "index: 0 to count - 1", "",
             "Unlinks the child at the index without deleting it; an index outside the "
             "children is ignored."},
            {"setEnabled", "b", "", setEnabled, "enabled", "",
             "Switches the node and everything below it on or off for drawing and updates."},
            {"isEnabled", "", "b", isEnabled, "", "enabled",
             "Returns whether the node is switched on."},
            {"setCullOverride", "b", "", setCullOverride, "override", "",
             "Keeps the node drawn even where the view test would leave it out."},
            {"getCullOverride", "", "b", getCullOverride, "", "override",
             "Returns whether the node skips the view test."},
            {"getTriangleCount", "", "i", getTriangleCount, "", "triangles",
             "Returns the number of triangles the mesh shapes of the node and its subtree draw."},
            {"getWorldBoundsMin", "", "fff", getWorldBoundsMin, "",
             "x, y, z: world units, world space",
             "Returns the smallest corner of the box around the vertices of the mesh shapes of "
             "the node and its subtree; nil when they have none."},
            {"getWorldBoundsMax", "", "fff", getWorldBoundsMax, "",
             "x, y, z: world units, world space",
             "Returns the largest corner of the box around the vertices of the mesh shapes of "
             "the node and its subtree; nil when they have none."},
        });
    api.describeClass("Node", {"node", "A member of the scene graph with a parent and children."});
    api.addEntityClass("ScenegraphNode", "Node", nullptr);
    api.describeClass("ScenegraphNode",
                      {"node", "A scene graph node that can carry a physics object."});
    api.addEntityClass("RawTransformGroup", "ScenegraphNode", nullptr);
    api.describeClass("RawTransformGroup",
                      {"node",
                       "A node with a transform matrix and no separate position, "
                       "rotation and scale."});
    api.addEntityClass(
        "TransformGroup", "RawTransformGroup", createTransformGroup,
        {
            {"setTranslation", "fff", "", setTranslation,
             "x, y, z: world units, in the parent's space", "",
             "Moves the node to a position relative to its parent."},
            {"getTranslation", "", "fff", getTranslation, "",
             "x, y, z: world units, in the parent's space",
             "Returns the node's position relative to its parent."},
            {"getWorldTranslation", "", "fff", getWorldTranslation, "",
             "x, y, z: world units, world space", "Returns the node's position in the world."},
            {"localToWorld", "fff", "fff", localToWorld, "x, y, z: world units, the node's space",
             "x, y, z: world units, world space",
             "Converts a point from the node's space into world space."},
            {"localDirectionToWorld", "fff", "fff", localDirectionToWorld,
             "dx, dy, dz: direction in the node's space", "dx, dy, dz: direction in world space",
             "Turns a direction from the node's space into world space, scaled with the node but "
             "not normalised."},
            {"worldToLocal", "fff", "fff", worldToLocal, "x, y, z: world units, world space",
             "x, y, z: world units, the node's space",
             "Converts a point from world space into the node's space."},
            {"worldDirectionToLocal", "fff", "fff", worldDirectionToLocal,
             "dx, dy, dz: direction in world space", "dx, dy, dz: direction in the node's space",
             "Turns a direction from world space into the node's space."},
            {"setRotation", "fff", "", setRotation,
             "rx, ry, rz: radians, Euler angles relative to the parent", "",
             "Turns the node to the angles about its parent's X, Y and Z axes."},
            {"getRotation", "", "fff", getRotation, "",
             "rx, ry, rz: radians, Euler angles relative to the parent",
             "Returns the node's rotation relative to its parent."},
            {"getWorldRotation", "", "fff", getWorldRotation, "",
             "rx, ry, rz: radians, Euler angles in world space",
             "Returns the node's rotation in the world, without its scale."},
            {"setDirection", "ffffff", "", setDirection,
             "dx, dy, dz: direction for the node's Z axis, in the parent's space; "
             "upX, upY, upZ: up hint for its Y axis",
             "",
             "Turns the node so that its Z axis points along the direction; the scale "
             "becomes 1."},
            {"setScale", "fff", "", setScale, "sx, sy, sz: factors, 1 for the authored size", "",
             "Scales the node along its axes. A dynamic body scaled to anything but 1 logs an "
             "error; the scale is applied all the same."},
            {"getScale", "", "fff", getScale, "", "sx, sy, sz: factors",
             "Returns the node's scale."},
            {"setVisibility", "b", "", setVisibility, "visible", "",
             "Shows or hides the node and everything below it; hidden nodes still collide."},
            {"getVisibility", "", "b", getVisibility, "", "visible",
             "Returns whether the node is shown."},
            {"setInheritTransform", "b", "", setInheritTransform, "inherit", "",
             "With false the node ignores its parent's transform and its own is taken as world "
             "space."},
            {"clone", "b", "i", clone, "linkToParent: also link the copy to this node's parent",
             "copy",
             "Copies the node with everything below it, registers the copy's physics objects and "
             "returns the copy; nil when the node cannot be copied."},
            {"getUserAttribute", "s", "a", getUserAttribute, "name",
             "value: boolean, integer, number or string",
             "Returns the value of a user attribute from the scene file; nil when the node has "
             "no attribute of that name."},
            {"setUserAttribute", "ssa", "", setUserAttribute,
             "name; type: \"Integer\", \"Float\", \"String\" or \"Boolean\"; value", "",
             "Creates or replaces a user attribute; a value that does not fit the type, or "
             "another type name, changes nothing."},
        });
    api.describeClass("TransformGroup",
                      {"node",
                       "A scene graph node with a position, rotation and scale; the most "
                       "common node of a scene."});
    api.addEntityClass(
        "Light", "TransformGroup", nullptr,
        {
            {"getLightDiffuseColor", "", "fff", getLightDiffuseColor, "",
             "r, g, b: 0 to 1, more for brighter light", "Returns the light's colour."},
            {"setLightDiffuseColor", "fff", "", setLightDiffuseColor,
             "r, g, b: 0 to 1, more for brighter light", "",
             "Sets the colour the light gives to lit surfaces."},
            {"getLightSpecularColor", "", "fff", getLightSpecularColor, "", "r, g, b: 0 to 1",
             "Returns the colour of the light's highlights."},
            {"setLightSpecularColor", "fff", "", setLightSpecularColor, "r, g, b: 0 to 1", "",
             "Sets the colour of the light's highlights."},
            {"getLightRange", "", "f", getLightRange, "", "range: world units",
             "Returns how far the light reaches."},
            {"setLightRange", "f", "", setLightRange, "range: world units", "",
             "Sets how far a point or spot light reaches."},
        });
    api.describeClass("Light", {"light",
                                "A light source of the scene, loaded from a scene "
                                "file."});
    api.addEntityClass(
        "Camera", "TransformGroup", createCamera,
        {
            {"aimCamera", "ffffff", "", aimCamera,
             "x, y, z: world units, the point to follow; offset: world units, moved along the "
             "camera's own Z axis; pull: factor, how strongly it is drawn to the point; "
             "stiffness: factor on the squared distance",
             "",
             "Draws the camera towards the point as a follow camera and moves it along its "
             "view axis, keeping its orientation."},
        });
    api.describeClass("Camera", {"camera",
                                 "A view into the scene; it looks along its negative "
                                 "Z axis."});
    api.addEntityClass(
        "Shape", "TransformGroup", nullptr,
        {
            {"getGeometry", "", "i", getGeometry, "", "geometry: id, 0 when none",
             "Returns the geometry the shape draws."},
            {"setShaderParameter", "sffff", "", setShaderParameter,
             "name: the parameter's name in the material's shader; x, y, z, w: the value's four "
             "components",
             "",
             "Sets a custom shader parameter in every material of the shape; the materials "
             "are shared, so other shapes using them change too."},
        });
    api.describeClass("Shape", {"shape", "A node that draws a mesh or holds a spline."});
    api.addCreateFunction("createTransformGroup", "TransformGroup", "string name",
                          "Makes an empty transform group, linked nowhere.");
    api.addCreateFunction("createCamera", "Camera",
                          "string name; number fov: degrees, the vertical field of view; "
                          "number nearClip, farClip: world units",
                          "Makes a camera, linked nowhere; link it and pass it to setCamera.");
}
