#include "audio/AudioSource.h"

#include <algorithm>

#include "audio/Sample.h"

namespace {

// Ranges come from scripts and scene files: negative or not a number is 0.
float nonNegative(float value) {
    return value > 0.0f ? value : 0.0f;
}

}  // namespace

AudioSource::AudioSource(const std::string& name, const std::string& file, float range,
                         float innerRange, float volume, int loopCount)
    : AudioSource(name, std::make_unique<Sample>("Sample_" + name), range, innerRange, volume,
                  loopCount) {
    m_sample->load(file, true);
    // The source exists only now.
    setUp(range, innerRange, volume, loopCount);
}

AudioSource::AudioSource(const std::string& name, std::unique_ptr<Sample> sample, float range,
                         float innerRange, float volume, int loopCount)
    : TransformGroup(name), m_sample(std::move(sample)) {
    addKind(EntityKind::AudioSource);
    m_sample->addDeleteListener(this);
    setUp(range, innerRange, volume, loopCount);
}

AudioSource::~AudioSource() {
    if (m_sample) {
        m_sample->removeDeleteListener(this);
        m_sample.reset();
    }
}

void AudioSource::actionPerformed(void* source, int eventKind, int32_t, int32_t) {
    if (eventKind == entityDestroyedEventKind() && m_sample &&
        source == static_cast<Entity*>(m_sample.get())) {
        // The script's delete destroys it; the node must not do it again.
        (void)m_sample.release();
    }
}

void AudioSource::setUp(float range, float innerRange, float volume, int loopCount) {
    m_volume = volume;
    m_innerRange = nonNegative(innerRange);
    m_loopCount = loopCount;
    m_playing = false;
    m_previousPosition = Vector3{};
    m_lastFrameTime = 0.0f;
    setRange(range);
    if (m_sample && m_sample->getSource() != nullptr) {
        m_sample->getSource()->stop();
    }
}

void AudioSource::setRange(float range) {
    m_range = nonNegative(range);
    invalidateBounds();
    if (m_sample && m_sample->getSource() != nullptr) {
        m_sample->getSource()->setInnerRange(m_innerRange);
        m_sample->getSource()->setRange(m_range);
    }
}

std::unique_ptr<TransformGroup> AudioSource::createCopy() const {
    std::unique_ptr<Sample> sample =
        m_sample ? m_sample->clone() : std::make_unique<Sample>("Sample_" + getName());
    return std::unique_ptr<TransformGroup>(new AudioSource(getName(), std::move(sample), m_range,
                                                           m_innerRange, m_volume, m_loopCount));
}

const BoundingSphere& AudioSource::getLocalBounds(int kind) {
    if (!isLocalBoundsDirty(kind)) {
        return RawTransformGroup::getLocalBounds(kind);
    }
    BoundingSphere& bounds = localBoundsStorage(kind);
    bounds.reset();
    if (kind == kRangeBoundKind) {
        bounds.merge(BoundingSphere(Vector3{}, m_range), getLocalMatrix());
    }
    mergeChildBounds(kind, bounds);
    clearLocalBoundsDirty(kind);
    return bounds;
}

void AudioSource::updateAudible(float frameTimeMs) {
    const Vector3 position = getWorldMatrix().getTranslation();
    m_lastFrameTime = frameTimeMs;
    if (frameTimeMs > 0.0f && m_sample) {
        m_sample->setPosition(position);
        m_sample->setVelocity((position - m_previousPosition) * (1.0f / frameTimeMs));
        m_previousPosition = position;
    }
    if (!m_playing) {
        if (m_sample && m_sample->isLoaded() && m_sample->getSource() != nullptr) {
            m_sample->getSource()->play(m_volume, m_loopCount == 0 ? 1 : 0, 0.0f);
        }
        m_playing = true;
    }
}

void AudioSource::stopAudible() {
    if (m_playing && m_sample && m_sample->getSource() != nullptr) {
        m_sample->getSource()->stop();
    }
    m_playing = false;
}

std::unique_ptr<AudioSource> createAudioSource(const AudioSourceDescription& description) {
    const float inner = description.innerRange.value_or(description.range * 0.33f);
    return std::make_unique<AudioSource>(description.name, description.file, description.range,
                                         inner, description.volume, description.loopCount);
}

// ---- updater ----

void AudioSourceUpdater::advance(float frameTimeMs, TransformGroup* root,
                                 const Vector3& cameraPosition) {
    m_accumulatedMs += frameTimeMs;
    if (m_accumulatedMs > kIntervalMs) {
        m_accumulatedMs -= kIntervalMs;
        if (root != nullptr) {
            update(*root, cameraPosition, frameTimeMs);
        }
    }
}

void AudioSourceUpdater::gather(RawTransformGroup& node, const Vector3& cameraPosition) {
    if (!node.getWorldBounds(AudioSource::kRangeBoundKind).containsPoint(cameraPosition)) {
        return;
    }
    if (node.hasKind(EntityKind::AudioSource) && node.getVisibility()) {
        auto& source = static_cast<AudioSource&>(node);
        source.audibleMark = false;
        m_gathered.push_back(&source);
    }
    for (Node* child : node.getChildren()) {
        if (child->hasKind(EntityKind::TransformGroup)) {
            gather(static_cast<RawTransformGroup&>(*child), cameraPosition);
        }
    }
}

void AudioSourceUpdater::update(TransformGroup& root, const Vector3& cameraPosition,
                                float frameTimeMs) {
    m_gathered.clear();
    gather(root, cameraPosition);
    // Sources heard last time and not gathered again still carry their mark.
    for (int32_t id : m_audibleIds) {
        auto* source = dynamic_cast<AudioSource*>(EntityRegistry::find(id));
        if (source != nullptr && source->audibleMark) {
            source->stopAudible();
            source->audibleMark = false;
        }
    }
    m_audibleIds.clear();
    for (AudioSource* source : m_gathered) {
        m_audibleIds.push_back(source->getId());
        source->updateAudible(frameTimeMs);
        source->audibleMark = true;
    }
}

void AudioSourceUpdater::clear() {
    m_audibleIds.clear();
    m_gathered.clear();
    m_accumulatedMs = 0.0f;
}
