#include "audio/AudioScriptBindings.h"

#include "audio/AudioSource.h"
#include "audio/Sample.h"
#include "scripting/ScriptApi.h"

namespace {

const char* stringArgument(const ScriptValue& value) {
    return value.type == ScriptType::String ? value.stringValue : "";
}

// Create functions hand numbers over as floats.
float numberArgument(const ScriptValue& value, float fallback) {
    if (value.type == ScriptType::Float) {
        return value.floatValue;
    }
    if (value.type == ScriptType::Int) {
        return static_cast<float>(value.intValue);
    }
    return fallback;
}

Sample* sample(Entity* entity) {
    return static_cast<Sample*>(entity);
}

StreamedSample* streamed(Entity* entity) {
    return static_cast<StreamedSample*>(entity);
}

Entity* createSample(ScriptValue* values) {
    return new Sample(stringArgument(values[0]));
}

Entity* createStreamedSample(ScriptValue* values) {
    return new StreamedSample(stringArgument(values[0]));
}

Entity* createAudioSourceNode(ScriptValue* values) {
    const float range = numberArgument(values[2], 10.0f);
    const float loops = numberArgument(values[5], 0.0f);
    // Only whether the count converts to 0 matters (0 loops), so a count
    // beyond the int range needs no conversion.
    const int loopCount = (loops > -1.0f && loops < 1.0f) ? 0 : 1;
    return new AudioSource(stringArgument(values[0]), stringArgument(values[1]), range,
                           numberArgument(values[3], range * 0.33f),
                           numberArgument(values[4], 1.0f), loopCount);
}

void loadSample(Entity* entity, ScriptValue* values) {
    sample(entity)->load(values[0].stringValue, values[1].isTrue());
}

void playSample(Entity* entity, ScriptValue* values) {
    sample(entity)->play(values[0].intValue, values[1].floatValue, values[2].floatValue);
}

void stopSample(Entity* entity, ScriptValue*) {
    sample(entity)->stop();
}

void setSamplePitch(Entity* entity, ScriptValue* values) {
    sample(entity)->setPitch(values[0].floatValue);
}

void setSampleVolume(Entity* entity, ScriptValue* values) {
    sample(entity)->setVolume(values[0].floatValue);
}

void getSampleDuration(Entity* entity, ScriptValue* values) {
    scriptResult(values).setFloat(sample(entity)->getDuration());
}

void loadStreamedSample(Entity* entity, ScriptValue* values) {
    streamed(entity)->load(values[0].stringValue);
}

void playStreamedSample(Entity* entity, ScriptValue*) {
    streamed(entity)->play();
}

void pauseStreamedSample(Entity* entity, ScriptValue*) {
    streamed(entity)->pause();
}

void resumeStreamedSample(Entity* entity, ScriptValue*) {
    streamed(entity)->resume();
}

void stopStreamedSample(Entity* entity, ScriptValue*) {
    streamed(entity)->stop();
}

void getAudioSourceSample(Entity* entity, ScriptValue* values) {
    Sample* owned = static_cast<AudioSource*>(entity)->getSample();
    scriptResult(values).setInt(owned != nullptr ? owned->getId() : 0);
}

}  // namespace

void addAudioScriptApi(ScriptApi& api) {
    api.addEntityClass("Sample", "Entity", createSample,
                       {
                           {"loadSample", "sb", "", loadSample},
                           {"playSample", "iff", "", playSample},
                           {"stopSample", "", "", stopSample},
                           {"setSamplePitch", "f", "", setSamplePitch},
                           {"setSampleVolume", "f", "", setSampleVolume},
                           {"getSampleDuration", "", "f", getSampleDuration},
                       });
    api.addEntityClass("StreamedSample", "Entity", createStreamedSample,
                       {
                           {"loadStreamedSample", "s", "", loadStreamedSample},
                           {"playStreamedSample", "", "", playStreamedSample},
                           {"pauseStreamedSample", "", "", pauseStreamedSample},
                           {"resumeStreamedSample", "", "", resumeStreamedSample},
                           {"stopStreamedSample", "", "", stopStreamedSample},
                       });
    api.addEntityClass("AudioSource", "TransformGroup", createAudioSourceNode,
                       {
                           {"getAudioSourceSample", "", "i", getAudioSourceSample},
                       });
    api.addCreateFunction("createAudioSource", "AudioSource");
    api.addCreateFunction("createStreamedSample", "StreamedSample");
    api.addCreateFunction("createSample", "Sample");
}
