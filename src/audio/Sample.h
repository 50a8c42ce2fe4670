#pragma once
// Sample: an entity that plays one sound resource through its own source of
// the sound device. StreamedSample: an entity that plays one Ogg Vorbis
// music stream.

#include <memory>
#include <string>

#include "audio/ISoundDevice.h"
#include "foundation/Entity.h"

class AudioOGGLoader;
class SampleChunk;

class Sample : public Entity {
public:
    explicit Sample(const std::string& name);
    // The source goes first, then the resource reference.
    ~Sample() override;

    const char* getClassName() const override { return "Sample"; }

    // Gets the resource (spatial: mixed down to mono) and a source over its
    // buffer; a sample loads one file for its whole life.
    bool load(const std::string& fileName, bool spatial);
    // Loops when `loopCount` is 0; starts `delayMs` into the sound. A sound
    // file reloaded since the last play is played in its new version.
    void play(int loopCount, float volume, float delayMs);
    void stop();
    void setPitch(float pitch);
    void setVolume(float volume);
    // Milliseconds; 0 without a source.
    float getDuration() const;
    // A new sample of the same name loaded from the same file, with the same
    // volume, position, direction and velocity.
    std::unique_ptr<Sample> clone() const;

    void setPosition(const Vector3& position);
    void setVelocity(const Vector3& velocity);
    void setDirection(const Vector3& direction);

    bool isLoaded() const { return m_loaded; }
    bool isSpatial() const { return m_spatial; }
    float getVolume() const { return m_volume; }
    const std::string& getFileName() const { return m_fileName; }
    // None before a successful load.
    IAudioSource* getSource() const { return m_source.get(); }

private:
    // After the sound file was reloaded: a source over the new buffer with
    // the settings of the current one (only while nothing plays).
    void takeReloadedBuffer();

    SampleChunk* m_resource = nullptr;
    float m_volume = 1.0f;
    bool m_loaded = false;
    std::unique_ptr<IAudioSource> m_source;
    std::string m_fileName;
    bool m_spatial = true;
    Vector3 m_position;
    Vector3 m_direction;
    Vector3 m_velocity;
};

class StreamedSample : public Entity {
public:
    explicit StreamedSample(const std::string& name);
    // The source goes before the loader, its reader, file and buffer.
    ~StreamedSample() override;

    const char* getClassName() const override { return "StreamedSample"; }

    // Only names with ".ogg" in them are streamed.
    bool load(const std::string& fileName);
    // Plays the stream twice (one extra pass).
    bool play();
    bool pause();
    bool resume();
    void stop();

    bool isLoaded() const { return m_loaded; }
    IAudioSource* getSource() const { return m_source.get(); }

private:
    bool m_loaded = false;
    std::string m_fileName;
    std::unique_ptr<AudioOGGLoader> m_loader;
    std::unique_ptr<IAudioSource> m_source;
};
