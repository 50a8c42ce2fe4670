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
    api.setSection("Animation");
    api.addMethods("TransformGroup",
                   {
                       {"getAnimCharacterSet", "", "i", getAnimCharacterSet, "",
                        "characterSet: id, 0 when none",
                        "Returns the character set that animates the node, from its scene "
                        "file."},
                   });
    // Every track function logs a warning for a track outside 0 to 3 and
    // every clip function one for an unknown clip; getters then give nil,
    // 0 or -1 as noted.
    api.addEntityClass(
        "CharacterSet", "Entity", nullptr,
        {
            {"enableAnimTrack", "i", "", enableAnimTrack, "track: 0 to 3", "",
             "Lets the track's clip move the character; a bad track is logged."},
            {"disableAnimTrack", "i", "", disableAnimTrack, "track: 0 to 3", "",
             "Stops the track from moving the character; a bad track is logged."},
            {"isAnimTrackEnabled", "i", "b", isAnimTrackEnabled, "track: 0 to 3", "enabled",
             "Returns whether the track is enabled; nil for a bad track (logged)."},
            {"setAnimTrackSpeedScale", "if", "", setAnimTrackSpeedScale,
             "track: 0 to 3; speed: factor, 1 as authored, negative plays backwards", "",
             "Sets how fast the track plays its clip; a bad track is logged."},
            {"setAnimTrackLoopState", "ib", "", setAnimTrackLoopState, "track: 0 to 3; loop", "",
             "Makes the track repeat its clip or stop at the end; a bad track is logged."},
            {"setAnimTrackTime", "if", "", setAnimTrackTime,
             "track: 0 to 3; time: milliseconds into the clip", "",
             "Moves the track to a time in its clip; a bad track is logged."},
            {"getAnimTrackTime", "i", "f", getAnimTrackTime, "track: 0 to 3",
             "time: milliseconds into the clip",
             "Returns where the track is in its clip; 0 for a bad track (logged)."},
            {"getAnimClipDuration", "i", "f", getAnimClipDuration, "clip: index from 0",
             "duration: milliseconds, 0 for an unknown clip", "Returns the length of a clip."},
            {"setAnimTrackBlendWeight", "if", "", setAnimTrackBlendWeight,
             "track: 0 to 3; weight: 0 to 1, the track's share when tracks are mixed", "",
             "Sets how much the track counts when several tracks move the character."},
            {"getAnimTrackBlendWeight", "i", "f", getAnimTrackBlendWeight, "track: 0 to 3",
             "weight: 0 to 1", "Returns the track's blend weight; 0 for a bad track (logged)."},
            {"getAnimClipIndex", "s", "i", getAnimClipIndex, "name: exact clip name",
             "clip: index from 0, -1 when unknown", "Finds a clip of the set by its name."},
            {"assignAnimTrackClip", "ii", "", assignAnimTrackClip,
             "track: 0 to 3; clip: index from 0", "",
             "Makes the track play the clip; a bad track or clip is logged."},
            {"isAnimTrackClipAssigned", "i", "b", isAnimTrackClipAssigned, "track: 0 to 3",
             "assigned", "Returns whether the track has a clip; nil for a bad track (logged)."},
            {"getAnimTrackAssignedClip", "i", "i", getAnimTrackAssignedClip, "track: 0 to 3",
             "clip: index, -1 when none",
             "Returns the clip the track plays; 0 for a bad track (logged)."},
            {"clearAnimTrackClip", "i", "", clearAnimTrackClip, "track: 0 to 3", "",
             "Takes the clip off the track; a bad track is logged."},
            {"getAnimNumOfClips", "", "i", getAnimNumOfClips, "", "count",
             "Returns the number of clips in the set."},
        });
    api.describeClass("CharacterSet", {"characterSet",
                                       "The animation of a character: clips played on four "
                                       "tracks that can be mixed."});
}
