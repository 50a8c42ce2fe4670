#pragma once
// The script classes of the scene graph ("Node" to "Shape"), their create
// functions and the scene's global functions (root, camera, projection,
// splines, fog, ambient colour).

class Node;
class SceneRenderContext;

class ScriptApi;

// What the scene functions need from the engine that owns the scene.
struct SceneScriptHost {
    // The context the renderer draws; none before the scene exists.
    SceneRenderContext* (*context)() = nullptr;
    // The node the engine owns as its scene root, which scripts may not
    // delete (nor any node above it); none when there is none.
    const Node* (*engineRoot)() = nullptr;
    // A subtree with physics descriptions joined the scene (a clone): the
    // physics world gives them bodies. None without a physics world.
    void (*physicsSubtreeAdded)(Node& root) = nullptr;
};

void addSceneScriptApi(ScriptApi& api, const SceneScriptHost& host);
