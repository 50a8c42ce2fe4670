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
    api.setSection("Effects");
    api.addEntityClass("ParticleSystem", "Entity", nullptr,
                       {
                           {"setEmittingState", "b", "", setEmittingState, "emitting", "",
                            "Starts or stops making new particles; those alive fly on."},
                       });
    api.describeClass("ParticleSystem",
                      {"particles", "Particles from a scene file, such as smoke or sparks."});
    api.addEntityClass(
        "Precipitation", "Entity", nullptr,
        {
            {"setDropCountScale", "f", "", setDropCountScale,
             "scale: 0 none to 1 the full number of drops", "",
             "Sets how heavy the rain or snow is; more drops appear at once, fewer leave as they "
             "reach the ground."},
            {"setWindVelocity", "fff", "", setWindVelocity, "x, y, z: world units per second", "",
             "Sets the wind that blows the drops; a value that is not a number is logged and "
             "ignored."},
        });
    api.describeClass("Precipitation",
                      {"precipitation", "Rain or snow around the camera, from a scene file."});
}
