#pragma once
// The script classes "ParticleSystem" ("setEmittingState") and
// "Precipitation" ("setDropCountScale", "setWindVelocity"). Scripts reach
// the systems through "getGeometry" of the shapes that show them.

class ScriptApi;

void addEffectsScriptApi(ScriptApi& api);
