#pragma once
// The script functions of wheel shapes on transform groups
// ("createWheelShape" ... "getWheelShapePosition") and of character
// controllers ("createCCT", "moveCCT", "removeCCT", "getCCTCollisionFlags").

class ScriptApi;

void addPhysicsVehicleScriptApi(ScriptApi& api);
