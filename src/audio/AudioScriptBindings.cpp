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
    api.setSection("Audio");
    api.addEntityClass(
        "Sample", "Entity", createSample,
        {
            {"loadSample", "sb", "", loadSample,
             "path: sound file (.wav or .ogg); spatial: true for a sound placed in the world", "",
             "Loads the sound into the sample. A sample already loaded, a missing file or no "
             "sound device is logged and changes nothing."},
            {"playSample", "iff", "", playSample,
             "loops: 0 repeats until stopped, any other number plays once; volume: 0 silent to "
             "1 full; startTime: milliseconds into the sound to start at",
             "", "Plays the loaded sound; a sample that has not loaded does nothing."},
            {"stopSample", "", "", stopSample, "", "", "Stops the sample's sound."},
            {"setSamplePitch", "f", "", setSamplePitch, "pitch: factor, 1 as recorded", "",
             "Plays the sound higher and faster or lower and slower."},
            {"setSampleVolume", "f", "", setSampleVolume, "volume: 0 silent to 1 full", "",
             "Sets the sample's volume; a sample that has not loaded does nothing."},
            {"getSampleDuration", "", "f", getSampleDuration, "",
             "duration: milliseconds, 0 before a sound is loaded",
             "Returns the length of the loaded sound."},
        });
    api.describeClass("Sample", {"sample", "A sound loaded whole into memory, for effects."});
    api.addEntityClass(
        "StreamedSample", "Entity", createStreamedSample,
        {
            {"loadStreamedSample", "s", "", loadStreamedSample, "path: Ogg Vorbis file (.ogg)", "",
             "Opens the file for streaming. A streamed sample already loaded is logged; a "
             "file that is not .ogg or cannot be opened is ignored."},
            {"playStreamedSample", "", "", playStreamedSample, "", "",
             "Plays the file from its start, twice through; without a loaded file an error is "
             "logged."},
            {"pauseStreamedSample", "", "", pauseStreamedSample, "", "",
             "Pauses the music where it is; without a loaded file an error is logged."},
            {"resumeStreamedSample", "", "", resumeStreamedSample, "", "",
             "Goes on playing after a pause; without a loaded file an error is logged."},
            {"stopStreamedSample", "", "", stopStreamedSample, "", "",
             "Stops the music; without a loaded file an error is logged."},
        });
    api.describeClass("StreamedSample",
                      {"music", "A long sound read from its file while it plays, for music."});
    api.addEntityClass(
        "AudioSource", "TransformGroup", createAudioSourceNode,
        {
            {"getAudioSourceSample", "", "i", getAudioSourceSample, "", "sample: id, 0 when none",
             "Returns the sample the source plays, to change its volume or pitch."},
        });
    api.describeClass("AudioSource",
                      {"source",
                       "A node that plays a sound placed in the world while the camera "
                       "is within its range."});
    api.addCreateFunction("createAudioSource", "AudioSource",
                          "string name; string path: sound file; number range?: world units, "
                          "silent beyond, 10 when left out; number innerRange?: world units, "
                          "full volume within, a third of the range when left out; "
                          "number volume?: 0 to 1, 1 when left out; number loops?: 0 or left "
                          "out repeats, anything else plays once",
                          "Makes an audio source node with its own sample loaded from the file; "
                          "link it into the scene to hear it.");
    api.addCreateFunction("createStreamedSample", "StreamedSample", "string name",
                          "Makes an empty streamed sample; load a file into it next.");
    api.addCreateFunction("createSample", "Sample", "string name",
                          "Makes an empty sample; load a sound into it next.");
}
