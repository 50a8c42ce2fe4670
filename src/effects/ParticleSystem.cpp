#include "effects/ParticleSystem.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "foundation/Log.h"

namespace {

constexpr float kGravityScale = 1.0f / 100000.0f;
constexpr float kAirScale = 0.000001f;
constexpr float kCornerNormal = 0.57735026f;  // 1 / sqrt(3)

bool finite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The values a system computes with must be numbers; a scene file can say
// "nan" or "inf".
bool descIsFinite(const ParticleSystemDesc& d) {
    const float values[] = {
        d.rate,          d.speed,         d.speedRandomisation, d.normalSpeed,      d.tangentSpeed,
        d.spriteScaleX,  d.spriteScaleY,  d.spriteScaleXGain,   d.spriteScaleYGain, d.blendFactor,
        d.blendInFactor, d.blendOutFactor};
    for (float value : values) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    return (d.lifespanInfinite || std::isfinite(d.lifespan)) && finite(d.gravity) && finite(d.air);
}

float clamp01(float value) {
    // NaN compares false both ways and lands on 0.
    return value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f;
}

}  // namespace

RefPtr<ParticleSystem> ParticleSystem::create(const ParticleSystemDesc& desc, Geometry* emitter,
                                              const EffectsEnvironment& environment,
                                              uint32_t seed) {
    if (emitter == nullptr) {
        Log::get() << "Error: ParticleSystem " << desc.name
                   << ": no emitter shape, the system is not created\n";
        return {};
    }
    if (!descIsFinite(desc)) {
        Log::get() << "Error: ParticleSystem " << desc.name
                   << ": a value is not a number, the system is not created\n";
        return {};
    }
    ParticleSystemDesc checked = desc;
    if (checked.maxCount < 0 || checked.maxCount > kMaxParticles) {
        Log::get() << "Warning: ParticleSystem " << desc.name << ": maxCount " << desc.maxCount
                   << " limited to " << (checked.maxCount < 0 ? 0 : kMaxParticles) << "\n";
        checked.maxCount = checked.maxCount < 0 ? 0 : kMaxParticles;
    }
    RefPtr<ParticleSystem> system(new ParticleSystem(checked, *emitter, environment, seed));
    if (system->getNumSubMeshes() == 0) {
        return {};
    }
    return system;
}

ParticleSystem::ParticleSystem(const ParticleSystemDesc& desc, Geometry& emitter,
                               const EffectsEnvironment& environment, uint32_t seed)
    : EffectGeometry(desc.name, environment), m_desc(desc), m_emitter(&emitter), m_random(seed) {
    addKind(EntityKind::ParticleSystem);
    setContentFlags(kHasVertexColors);
    m_gravityOn = !(m_desc.gravity == Vector3{});
    m_airOn = !(m_desc.air == Vector3{});
    m_airScaled = m_desc.air * kAirScale;
    m_growthOn = m_desc.spriteScaleXGain != 0.0f || m_desc.spriteScaleYGain != 0.0f;
    m_fadeInEnd = m_desc.blendInFactor * m_desc.lifespan;
    m_fadeOutStart = m_desc.lifespan * m_desc.blendOutFactor;

    // The emitter's triangles with their areas; corners without normals take
    // the face normal.
    if (const MeshData* mesh = emitter.getMeshData()) {
        const size_t numPositions = mesh->positions.size();
        m_triangles.reserve(mesh->triangles.size());
        m_areas.reserve(mesh->triangles.size());
        for (const MeshTriangle& source : mesh->triangles) {
            EmitterTriangle triangle;
            bool valid = true;
            for (int c = 0; c < 3; ++c) {
                const uint32_t index = source.corners[c].position;
                if (index >= numPositions) {
                    valid = false;
                    break;
                }
                triangle.corners[c] = mesh->positions[index];
            }
            if (!valid) {
                continue;
            }
            const Vector3 faceCross = cross(triangle.corners[1] - triangle.corners[0],
                                            triangle.corners[2] - triangle.corners[0]);
            const Vector3 faceNormal = normalize(faceCross);
            for (int c = 0; c < 3; ++c) {
                const float* n = source.corners[c].normal;
                triangle.normals[c] = (source.attributes & VertexAttribute::Normal)
                                          ? Vector3{n[0], n[1], n[2]}
                                          : faceNormal;
            }
            const float area = length(faceCross) * 0.5f;
            m_triangles.push_back(triangle);
            m_areas.push_back(std::isfinite(area) ? area : 0.0f);
            m_totalArea += m_areas.back();
        }
    }

    // The sphere holds every particle a frame can show: the farthest a
    // particle gets in its life from its start speed, gravity and the air
    // drift (frames taken as at least 1 ms apart), plus half its grown sprite.
    const BoundingSphere& emitterBounds = emitter.getBounds();
    const float life = m_desc.lifespanInfinite ? INFINITY : std::max(m_desc.lifespan, 0.0f);
    const float startSpeed = (std::fabs(m_desc.speed) + std::fabs(m_desc.speedRandomisation)) *
                             (std::fabs(m_desc.normalSpeed) + std::fabs(m_desc.tangentSpeed));
    const float acceleration = length(m_desc.gravity) * kGravityScale + length(m_airScaled);
    const float spriteX =
        std::fabs(m_desc.spriteScaleX) + std::fabs(m_desc.spriteScaleXGain) * life;
    const float spriteY =
        std::fabs(m_desc.spriteScaleY) + std::fabs(m_desc.spriteScaleYGain) * life;
    float radius = emitterBounds.getRadius() + startSpeed * life + acceleration * life * life +
                   0.5f * std::sqrt(spriteX * spriteX + spriteY * spriteY);
    if (!std::isfinite(radius)) {
        radius = FLT_MAX;
    }
    boundsStorage().setCenter(emitterBounds.getCenter());
    boundsStorage().setRadius(radius);

    VertexDeclarationDesc declaration;
    declaration.position.type = VET_FLOAT3;
    declaration.normal.type = VET_FLOAT3;
    declaration.diffuse.type = VET_COLOUR;
    declaration.texCoords[0].type = VET_FLOAT2;
    if (createVertexStorage(
            uint64_t(m_desc.maxCount) * 6, sizeof(ParticleVertex), declaration,
            VertexAttribute::Normal | VertexAttribute::TexCoords0 | VertexAttribute::Color)) {
        m_particles.reserve(static_cast<size_t>(m_desc.maxCount));
    }
}

float ParticleSystem::fadeAt(float age) const {
    // A fade of zero length is no fade; an infinite life has no fade-out.
    float fade = 1.0f;
    if (age <= m_fadeInEnd) {
        fade = m_fadeInEnd > 0.0f ? age / m_fadeInEnd : 1.0f;
    } else if (age > m_fadeOutStart && !m_desc.lifespanInfinite) {
        const float length = m_desc.lifespan - m_fadeOutStart;
        fade = length > 0.0f ? (m_desc.lifespan - age) / length : 1.0f;
    }
    return clamp01(fade);
}

uint8_t ParticleSystem::alphaAt(float age) const {
    return static_cast<uint8_t>(std::lround(clamp01(m_desc.blendFactor * fadeAt(age)) * 255.0f));
}

uint32_t ParticleSystem::update(const EffectView& view, float dtMs) {
    if (getNumSubMeshes() == 0) {
        return 0;
    }
    if (!(dtMs >= 0.0f) || !std::isfinite(dtMs)) {
        dtMs = 0.0f;
    }
    m_time += dtMs;
    move(dtMs);
    if (!m_desc.lifespanInfinite) {
        age();
    }
    if (m_emitting) {
        emit(dtMs);
    }
    if (m_desc.depthSort) {
        sortByDepth(view.axes[2]);
    }
    writeQuads(view);
    return static_cast<uint32_t>(m_particles.size() * 6);
}

void ParticleSystem::move(float dtMs) {
    const Vector3 gravityStep = m_desc.gravity * (dtMs * kGravityScale);
    for (Particle& particle : m_particles) {
        particle.position += particle.velocity * dtMs;
        if (m_gravityOn) {
            particle.velocity += gravityStep;
        }
        if (m_airOn) {
            particle.velocity += m_airScaled;
        }
        if (m_growthOn) {
            particle.width += m_desc.spriteScaleXGain * dtMs;
            particle.height += m_desc.spriteScaleYGain * dtMs;
        }
    }
}

void ParticleSystem::age() {
    // The last particle takes the place of a dead one and is looked at next.
    size_t i = 0;
    while (i < m_particles.size()) {
        if (m_time - m_particles[i].birth > m_desc.lifespan) {
            m_particles[i] = m_particles.back();
            m_particles.pop_back();
        } else {
            ++i;
        }
    }
}

void ParticleSystem::emit(float dtMs) {
    m_accumulator += m_desc.rate * dtMs;
    const size_t room = static_cast<size_t>(m_desc.maxCount) - m_particles.size();
    size_t count = 0;
    if (m_accumulator >= 1.0f) {
        const double whole = std::trunc(static_cast<double>(m_accumulator));
        count = whole < static_cast<double>(room) ? static_cast<size_t>(whole) : room;
    }
    m_accumulator -= static_cast<float>(count);
    const float cap = static_cast<float>(m_desc.maxCount) * m_desc.rate * m_desc.lifespan;
    if (m_accumulator > cap) {
        m_accumulator = cap;
    }
    if (count == 0) {
        return;
    }
    const size_t numTriangles = m_triangles.size();
    if (numTriangles == 0 || !(m_totalArea > 0.0f)) {
        if (!m_loggedNoSurface) {
            m_loggedNoSurface = true;
            Log::get() << "Warning: ParticleSystem " << m_desc.name
                       << ": the emitter has no surface, nothing is emitted\n";
        }
        return;
    }
    // Each triangle gets its share of the count by area. One random offset
    // added before rounding the running shares down makes every triangle's
    // expected count exactly its share, however few particles a frame emits
    // (rounding the shares down alone would starve the small triangles).
    // The last triangle takes what is left.
    const double offset = m_random.unit();
    double runningArea = 0.0;
    size_t emitted = 0;
    for (size_t index = 0; index < numTriangles; ++index) {
        runningArea += m_areas[index];
        size_t target = count;
        if (index + 1 < numTriangles) {
            const double share =
                std::floor(static_cast<double>(count) * runningArea / m_totalArea + offset);
            target = std::min(count, static_cast<size_t>(share));
        }
        for (; emitted < target; ++emitted) {
            emitOn(m_triangles[index]);
        }
    }
}

void ParticleSystem::emitOn(const EmitterTriangle& triangle) {
    const float u = m_random.unit();
    const float v = m_random.unit() * (1.0f - u);
    const float w = 1.0f - u - v;
    Particle particle;
    particle.position = triangle.corners[0] * w + triangle.corners[1] * u + triangle.corners[2] * v;
    Vector3 normal =
        normalize(triangle.normals[0] * w + triangle.normals[1] * u + triangle.normals[2] * v);
    if (length(normal) == 0.0f) {
        normal = normalize(cross(triangle.corners[1] - triangle.corners[0],
                                 triangle.corners[2] - triangle.corners[0]));
    }
    Vector3 velocity = normal * m_desc.normalSpeed;
    if (m_desc.tangentSpeed != 0.0f) {
        const Vector3 t1 = normalize(triangle.corners[0] - triangle.corners[1]);
        const Vector3 t2 = cross(normal, t1);
        const float s1 = m_random.signedUnit();
        const float s2 = m_random.signedUnit();
        velocity += normalize(t1 * s1 + t2 * s2) * m_desc.tangentSpeed;
    }
    particle.velocity = velocity * (m_desc.speed + m_desc.speedRandomisation * m_random.unit());
    particle.width = m_desc.spriteScaleX;
    particle.height = m_desc.spriteScaleY;
    particle.birth = m_time;
    m_particles.push_back(particle);
}

void ParticleSystem::sortByDepth(const Vector3& axis) {
    // The camera's z axis points at the viewer: ascending keys draw the
    // farthest first. The list position breaks ties, so equal keys keep
    // their order without the buffer a stable sort would allocate.
    for (size_t i = 0; i < m_particles.size(); ++i) {
        m_particles[i].depth = dot(m_particles[i].position, axis);
        m_particles[i].order = static_cast<uint32_t>(i);
    }
    std::sort(m_particles.begin(), m_particles.end(), [](const Particle& a, const Particle& b) {
        return a.depth < b.depth || (a.depth == b.depth && a.order < b.order);
    });
}

void ParticleSystem::writeQuads(const EffectView& view) {
    const Vector3& right = view.axes[0];
    const Vector3& up = view.axes[1];
    const Vector3& back = view.axes[2];
    // Corner normals lean out of the sprite plane towards its corners.
    const Vector3 normals[4] = {
        (right + up + back) * kCornerNormal,   // +R +U
        (-right + up + back) * kCornerNormal,  // -R +U
        (right - up + back) * kCornerNormal,   // +R -U
        (-right - up + back) * kCornerNormal,  // -R -U
    };
    // Corner order of the two triangles: (+,+) (-,+) (+,-) and (-,+) (-,-) (+,-).
    static constexpr int kCorners[6] = {0, 1, 2, 1, 3, 2};
    static constexpr float kSigns[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};

    auto* out = reinterpret_cast<ParticleVertex*>(vertexStorage());
    for (const Particle& particle : m_particles) {
        const Vector3 halfRight = right * (particle.width * 0.5f);
        const Vector3 halfUp = up * (particle.height * 0.5f);
        const uint32_t colour = 0x00FFFFFFu | (uint32_t(alphaAt(m_time - particle.birth)) << 24);
        for (int corner : kCorners) {
            const float sx = kSigns[corner][0];
            const float sy = kSigns[corner][1];
            const Vector3 p = particle.position + halfRight * sx + halfUp * sy;
            const Vector3& n = normals[corner];
            *out++ = ParticleVertex{{p.x, p.y, p.z},
                                    {n.x, n.y, n.z},
                                    colour,
                                    {sx > 0.0f ? 1.0f : 0.0f, sy > 0.0f ? 1.0f : 0.0f}};
        }
    }
}

std::string ParticleSystem::getStatsText() const {
    const auto number = [](float value) { return formatLogFloat(value); };
    std::string text =
        "Particles: " + std::to_string(m_particles.size()) + "/" + std::to_string(m_desc.maxCount) +
        " Rate: " + number(m_desc.rate) + " (particles/ms) LifeSpan: " +
        (m_desc.lifespanInfinite ? std::string("Infinite") : number(m_desc.lifespan) + " ms") +
        " Z-Sorting: " + (m_desc.depthSort ? "true" : "false") + "\n";
    text += "Speed: " + number(m_desc.speed) + " NormalSpeed: " + number(m_desc.normalSpeed) +
            " TangentSpeed: " + number(m_desc.tangentSpeed) +
            " Gravity: " + number(m_desc.gravity.x) + " " + number(m_desc.gravity.y) + " " +
            number(m_desc.gravity.z) + " Air: " + number(m_airScaled.x) + " " +
            number(m_airScaled.y) + " " + number(m_airScaled.z) + "\n";
    return text;
}
