#include "effects/Precipitation.h"

#include <algorithm>
#include <cmath>

#include "foundation/Log.h"

namespace {

bool finite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// `value` moved by whole multiples of `size` into [low, low + size]. One
// fmod instead of a loop, so a drop blown far out of the box costs the same.
float wrapInto(float value, float low, float size) {
    float offset = std::fmod(value - low, size);
    if (offset < 0.0f) {
        offset += size;
    }
    return low + offset;
}

}  // namespace

RefPtr<Precipitation> Precipitation::create(const PrecipitationDesc& desc,
                                            const EffectsEnvironment& environment, uint32_t seed) {
    auto refuse = [&desc](const char* what) {
        Log::get() << "Error: Precipitation " << desc.name << ": " << what
                   << ", the precipitation is not created\n";
        return RefPtr<Precipitation>();
    };
    // Sizes and masses divide or wrap: they must be above 0 (NaN is not).
    if (!(desc.boundsWidth > 0.0f) || !(desc.boundsHeight > 0.0f) ||
        !std::isfinite(desc.boundsWidth) || !std::isfinite(desc.boundsHeight)) {
        return refuse("boundsWidth and boundsHeight must be above 0");
    }
    if (!(desc.dropMinMass > 0.0f) || !(desc.dropMaxMass > 0.0f) ||
        !std::isfinite(desc.dropMinMass) || !std::isfinite(desc.dropMaxMass)) {
        return refuse("dropMinMass and dropMaxMass must be above 0");
    }
    if (desc.dropAtlasSize <= 0) {
        return refuse("dropAtlasSize must be above 0");
    }
    if (!std::isfinite(desc.dropMinVelocity) || !std::isfinite(desc.dropMaxVelocity) ||
        !std::isfinite(desc.dropWidth) || !std::isfinite(desc.dropHeight) ||
        !finite(desc.windVelocity)) {
        return refuse("a value is not a number");
    }
    PrecipitationDesc checked = desc;
    if (checked.maxNumDrops < 0 || checked.maxNumDrops > kMaxDrops) {
        checked.maxNumDrops = checked.maxNumDrops < 0 ? 0 : kMaxDrops;
        Log::get() << "Warning: Precipitation " << desc.name << ": maxNumDrops " << desc.maxNumDrops
                   << " limited to " << checked.maxNumDrops << "\n";
    }
    checked.dropMinVelocity = std::min(checked.dropMinVelocity, checked.dropMaxVelocity);
    checked.dropMinMass = std::min(checked.dropMinMass, checked.dropMaxMass);
    RefPtr<Precipitation> precipitation(new Precipitation(checked, environment, seed));
    if (precipitation->getNumSubMeshes() == 0) {
        return {};
    }
    return precipitation;
}

Precipitation::Precipitation(const PrecipitationDesc& desc, const EffectsEnvironment& environment,
                             uint32_t seed)
    : EffectGeometry(desc.name, environment),
      m_desc(desc),
      m_random(seed),
      m_targetCount(desc.maxNumDrops) {
    // Shapes showing the rain are listed so that they learn when the bounds
    // follow the drop box.
    setKindFlags(getKindFlags() | kListsShapesOnSet);
    const float w = m_desc.boundsWidth;
    const float h = m_desc.boundsHeight;
    boundsStorage().setCenter(Vector3{});
    boundsStorage().setRadius(std::sqrt(w * w + h * h));

    VertexDeclarationDesc declaration;
    declaration.position.type = VET_FLOAT3;
    declaration.normal.type = VET_FLOAT3;
    declaration.texCoords[0].type = VET_FLOAT2;
    if (createVertexStorage(uint64_t(m_desc.maxNumDrops) * 6, sizeof(PrecipitationVertex),
                            declaration, VertexAttribute::Normal | VertexAttribute::TexCoords0)) {
        m_drops.reserve(static_cast<size_t>(m_desc.maxNumDrops));
    }
}

void Precipitation::setDropCountScale(float scale) {
    const float clamped = scale > 0.0f ? std::min(scale, 1.0f) : 0.0f;
    m_targetCount = static_cast<int32_t>(clamped * static_cast<float>(m_desc.maxNumDrops));
}

void Precipitation::setWindVelocity(const Vector3& wind) {
    if (!finite(wind)) {
        Log::get() << "Warning: Precipitation " << m_desc.name
                   << ": a wind velocity that is not a number is ignored\n";
        return;
    }
    m_desc.windVelocity = wind;
}

void Precipitation::renew(Drop& drop) {
    const float w = m_desc.boundsWidth;
    drop.position.x = m_boxMin.x + w * m_random.unit();
    drop.position.z = m_boxMin.z + w * m_random.unit();
    drop.speed = m_desc.dropMinVelocity +
                 (m_desc.dropMaxVelocity - m_desc.dropMinVelocity) * m_random.unit();
    drop.image = m_random.next() % m_desc.dropAtlasSize;
    drop.inverseMass =
        1.0f / (m_desc.dropMinMass + (m_desc.dropMaxMass - m_desc.dropMinMass) * m_random.unit());
}

uint32_t Precipitation::update(const EffectView& view, float dtMs) {
    if (getNumSubMeshes() == 0) {
        return 0;
    }
    if (!(dtMs >= 0.0f) || !std::isfinite(dtMs)) {
        dtMs = 0.0f;
    }
    const Vector3& eye = view.position;
    if (!finite(eye)) {
        return 0;
    }
    // The first update has no earlier camera: no motion.
    if (!m_hasPreviousCamera) {
        m_previousCamera = eye;
        m_hasPreviousCamera = true;
    }
    m_cameraMotion = eye - m_previousCamera;
    m_previousCamera = eye;

    // The box reaches further ahead of the camera than behind it.
    const float w = m_desc.boundsWidth;
    const float h = m_desc.boundsHeight;
    const Vector3& back = view.axes[2];
    const Vector3 centre{eye.x - back.x * w * 0.25f, eye.y - back.y * h * 0.25f,
                         eye.z - back.z * w * 0.25f};
    const Vector3 half{w * 0.5f, h * 0.5f, w * 0.5f};
    m_boxMin = centre - half;
    m_boxMax = centre + half;
    boundsStorage().setCenter(centre);
    for (Shape* shape : getShapes()) {
        shape->invalidateBounds();
    }

    while (static_cast<int32_t>(m_drops.size()) < m_targetCount) {
        Drop drop;
        renew(drop);
        drop.position.y = m_boxMin.y + m_random.unit() * h;
        m_drops.push_back(drop);
    }

    auto* out = reinterpret_cast<PrecipitationVertex*>(vertexStorage());
    size_t i = 0;
    while (i < m_drops.size()) {
        Drop& drop = m_drops[i];
        const Vector3 velocity{m_desc.windVelocity.x * drop.inverseMass,
                               m_desc.windVelocity.y * drop.inverseMass - drop.speed,
                               m_desc.windVelocity.z * drop.inverseMass};
        const Vector3 displacement = velocity * dtMs;
        drop.position += displacement;
        if (!finite(drop.position)) {
            renew(drop);
            drop.position.y = m_boxMin.y + m_random.unit() * h;
        }
        if (drop.position.x < m_boxMin.x || drop.position.x > m_boxMax.x) {
            drop.position.x = wrapInto(drop.position.x, m_boxMin.x, w);
        }
        if (drop.position.z < m_boxMin.z || drop.position.z > m_boxMax.z) {
            drop.position.z = wrapInto(drop.position.z, m_boxMin.z, w);
        }
        if (drop.position.y > m_boxMax.y) {
            drop.position.y = wrapInto(drop.position.y, m_boxMin.y, h);
        } else if (drop.position.y < m_boxMin.y) {
            if (m_targetCount < static_cast<int32_t>(m_drops.size())) {
                // Fewer drops wanted: this one leaves; the last takes its
                // place and is processed next.
                drop = m_drops.back();
                m_drops.pop_back();
                continue;
            }
            renew(drop);
            drop.position.y = wrapInto(drop.position.y, m_boxMin.y, h);
        }
        writeQuad(drop, dtMs > 0.0f ? displacement : velocity, view, out);
        out += 6;
        ++i;
    }
    return static_cast<uint32_t>(m_drops.size() * 6);
}

void Precipitation::writeQuad(const Drop& drop, const Vector3& direction, const EffectView& view,
                              PrecipitationVertex* out) const {
    const Vector3& p = drop.position;
    const Vector3 toEye = view.position - p;
    Vector3 facing = normalize(toEye);
    if (length(facing) == 0.0f) {
        facing = view.axes[2];
    }
    Vector3 right = view.axes[0];
    Vector3 up = view.axes[1];
    if (m_desc.useVelocityAlignedBillboards) {
        Vector3 motion = direction;
        if (m_desc.rotateWithCameraVelocity) {
            motion -= m_cameraMotion * (0.3f / std::max(length(toEye), 2.0f));
        }
        motion = normalize(motion);
        const Vector3 alignedRight = normalize(cross(facing, motion));
        const Vector3 alignedUp = normalize(cross(facing, alignedRight) * 0.5f - motion * 0.5f);
        // A drop moving straight at the camera (or not at all) has no
        // direction of its own: it faces the camera.
        if (length(alignedRight) > 0.0f && length(alignedUp) > 0.0f) {
            right = alignedRight;
            up = alignedUp;
        }
    }
    const Vector3 r = right * (m_desc.dropWidth * 0.5f);
    const Vector3 u = up * (m_desc.dropHeight * 0.5f);
    const float atlas = static_cast<float>(m_desc.dropAtlasSize);
    const float u0 = static_cast<float>(drop.image) / atlas;
    const float u1 = static_cast<float>(drop.image + 1) / atlas;
    const Vector3 corners[6] = {p + r + u, p - r + u, p - r - u, p + r + u, p - r - u, p + r - u};
    const float texCoords[6][2] = {{u1, 1}, {u0, 1}, {u0, 0}, {u1, 1}, {u0, 0}, {u1, 0}};
    for (int k = 0; k < 6; ++k) {
        out[k] = PrecipitationVertex{{corners[k].x, corners[k].y, corners[k].z},
                                     {facing.x, facing.y, facing.z},
                                     {texCoords[k][0], texCoords[k][1]}};
    }
}
