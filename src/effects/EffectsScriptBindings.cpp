#include "effects/EffectsScriptBindings.h"

#include "effects/ParticleSystem.h"
#include "effects/Precipitation.h"
#include "scripting/ScriptApi.h"

namespace {

void setEmittingState(Entity* entity, ScriptValue* values) {
    static_cast<ParticleSystem*>(entity)->setEmittingState(values[0].isTrue());
}

void setDropCountScale(Entity* entity, ScriptValue* values) {
    static_cast<Precipitation*>(entity)->setDropCountScale(values[0].floatValue);
}

void setWindVelocity(Entity* entity, ScriptValue* values) {
    static_cast<Precipitation*>(entity)->setWindVelocity(
        Vector3{values[0].floatValue, values[1].floatValue, values[2].floatValue});
}

}  // namespace

void addEffectsScriptApi(ScriptApi& api) {
    api.addEntityClass("ParticleSystem", "Entity", nullptr,
                       {
                           {"setEmittingState", "b", "", setEmittingState},
                       });
    api.addEntityClass("Precipitation", "Entity", nullptr,
                       {
                           {"setDropCountScale", "f", "", setDropCountScale},
                           {"setWindVelocity", "fff", "", setWindVelocity},
                       });
}
