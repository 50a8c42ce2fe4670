#pragma once
// The script functions of the physics world ("simulatePhysics",
// "extraUpdatePhysics", "simulatePhysicsTimeScale") and of rigid bodies on
// transform groups ("addForce" ... "getMass").

class ScriptApi;

void addPhysicsScriptApi(ScriptApi& api);

// "raycastAll", "raycastClosest", "overlapSphere", the class
// "JointConstructor" and the joint functions; added by addPhysicsScriptApi.
void addPhysicsQueryScriptApi(ScriptApi& api);
