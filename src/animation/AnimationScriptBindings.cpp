#include "animation/AnimationScriptBindings.h"

#include "animation/CharacterSet.h"
#include "scene/TransformGroup.h"
#include "scripting/ScriptApi.h"

namespace {

CharacterSet& set(Entity* entity) {
    return *static_cast<CharacterSet*>(entity);
}

// The track argument when it names one of the four tracks, else -1 (the
// set logs it).
int32_t track(Entity* entity, const ScriptValue* values, const char* caller) {
    const int32_t index = values[0].intValue;
    return set(entity).checkTrack(index, caller) ? index : -1;
}

void getAnimCharacterSet(Entity* entity, ScriptValue* values) {
    NodeAnimation* animation = static_cast<RawTransformGroup*>(entity)->getAnimation();
    scriptResult(values).setInt(animation != nullptr ? animation->getAnimationEntity().getId() : 0);
}

void enableAnimTrack(Entity* entity, ScriptValue* values) {
    set(entity).setEnabled(values[0].intValue, true);
}

void disableAnimTrack(Entity* entity, ScriptValue* values) {
    set(entity).setEnabled(values[0].intValue, false);
}

void isAnimTrackEnabled(Entity* entity, ScriptValue* values) {
    const int32_t index = track(entity, values, "isAnimTrackEnabled");
    if (index >= 0) {
        scriptResult(values).setBool(set(entity).getTrack(index).enabled);
    }
}

void setAnimTrackSpeedScale(Entity* entity, ScriptValue* values) {
    set(entity).setSpeedScale(values[0].intValue, values[1].floatValue);
}

void setAnimTrackLoopState(Entity* entity, ScriptValue* values) {
    set(entity).setLoop(values[0].intValue, values[1].isTrue());
}

void setAnimTrackTime(Entity* entity, ScriptValue* values) {
    set(entity).setTime(values[0].intValue, values[1].floatValue);
}

void getAnimTrackTime(Entity* entity, ScriptValue* values) {
    const int32_t index = track(entity, values, "getAnimTrackTime");
    scriptResult(values).setFloat(index >= 0 ? set(entity).getTrack(index).time : 0.0f);
}

void getAnimClipDuration(Entity* entity, ScriptValue* values) {
    const Clip* clip = set(entity).getClip(values[0].intValue);
    scriptResult(values).setFloat(clip != nullptr ? clip->getDuration() : 0.0f);
}

void setAnimTrackBlendWeight(Entity* entity, ScriptValue* values) {
    set(entity).setBlendWeight(values[0].intValue, values[1].floatValue);
}

void getAnimTrackBlendWeight(Entity* entity, ScriptValue* values) {
    const int32_t index = track(entity, values, "getAnimTrackBlendWeight");
    scriptResult(values).setFloat(index >= 0 ? set(entity).getTrack(index).blendWeight : 0.0f);
}

void getAnimClipIndex(Entity* entity, ScriptValue* values) {
    const char* name = values[0].type == ScriptType::String ? values[0].stringValue : "";
    scriptResult(values).setInt(set(entity).getClipIndex(name));
}

void assignAnimTrackClip(Entity* entity, ScriptValue* values) {
    set(entity).assignClip(values[0].intValue, values[1].intValue);
}

void isAnimTrackClipAssigned(Entity* entity, ScriptValue* values) {
    const int32_t index = track(entity, values, "isAnimTrackClipAssigned");
    if (index >= 0) {
        scriptResult(values).setBool(set(entity).getTrack(index).clip >= 0);
    }
}

void getAnimTrackAssignedClip(Entity* entity, ScriptValue* values) {
    const int32_t index = track(entity, values, "getAnimTrackAssignedClip");
    scriptResult(values).setInt(index >= 0 ? set(entity).getTrack(index).clip : 0);
}

void clearAnimTrackClip(Entity* entity, ScriptValue* values) {
    set(entity).clearClip(values[0].intValue);
}

void getAnimNumOfClips(Entity* entity, ScriptValue* values) {
    scriptResult(values).setInt(static_cast<int32_t>(set(entity).getNumClips()));
}

}  // namespace

void addAnimationScriptApi(ScriptApi& api) {
    api.addMethods("TransformGroup", {
                                         {"getAnimCharacterSet", "", "i", getAnimCharacterSet},
                                     });
    api.addEntityClass("CharacterSet", "Entity", nullptr,
                       {
                           {"enableAnimTrack", "i", "", enableAnimTrack},
                           {"disableAnimTrack", "i", "", disableAnimTrack},
                           {"isAnimTrackEnabled", "i", "b", isAnimTrackEnabled},
                           {"setAnimTrackSpeedScale", "if", "", setAnimTrackSpeedScale},
                           {"setAnimTrackLoopState", "ib", "", setAnimTrackLoopState},
                           {"setAnimTrackTime", "if", "", setAnimTrackTime},
                           {"getAnimTrackTime", "i", "f", getAnimTrackTime},
                           {"getAnimClipDuration", "i", "f", getAnimClipDuration},
                           {"setAnimTrackBlendWeight", "if", "", setAnimTrackBlendWeight},
                           {"getAnimTrackBlendWeight", "i", "f", getAnimTrackBlendWeight},
                           {"getAnimClipIndex", "s", "i", getAnimClipIndex},
                           {"assignAnimTrackClip", "ii", "", assignAnimTrackClip},
                           {"isAnimTrackClipAssigned", "i", "b", isAnimTrackClipAssigned},
                           {"getAnimTrackAssignedClip", "i", "i", getAnimTrackAssignedClip},
                           {"clearAnimTrackClip", "i", "", clearAnimTrackClip},
                           {"getAnimNumOfClips", "", "i", getAnimNumOfClips},
                       });
}
