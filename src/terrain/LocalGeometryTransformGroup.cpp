#include "terrain/LocalGeometryTransformGroup.h"

#include <algorithm>
#include <cmath>

#include "base/math/Matrix4.h"
#include "base/platform/Platform.h"
#include "foundation/Log.h"
#include "scene/Camera.h"
#include "scene/Node.h"
#include "scene/SceneRenderContext.h"
#include "terrain/DetailLayerSettings.h"

namespace {

SceneRenderContext* g_renderContext = nullptr;

// x mod m in 0..m - 1.
int32_t wrap(int32_t x, int32_t m) {
    const int32_t r = x % m;
    return r < 0 ? r + m : r;
}

}  // namespace

LocalGeometryShape::~LocalGeometryShape() {
    if (owner != nullptr) {
        owner->forgetShape(this);
    }
}

LocalGeometryTransformGroup::LocalGeometryTransformGroup(const std::string& name)
    : TransformGroup(name) {
    addRenderListener(this);
    // The group's bounds are those of its built cells, which may all lie
    // outside the view while the cells ahead of the camera still have to be
    // built: the group itself is never culled, so its render event comes
    // whenever its parent is visited. The cells are culled one by one.
    setCullOverride(true);
}

LocalGeometryTransformGroup::~LocalGeometryTransformGroup() {
    removeRenderListener(this);
    // Subclasses destroy their levels first; this only catches a group
    // whose subclass did not.
    for (Level& level : m_levels) {
        for (LocalGeometryShape* shape : level.slots) {
            shape->owner = nullptr;
        }
    }
}

void LocalGeometryTransformGroup::setSceneRenderContext(SceneRenderContext* context) {
    g_renderContext = context;
}

void LocalGeometryTransformGroup::actionPerformed(void* /*source*/, int eventKind,
                                                  int32_t /*value1*/, int32_t /*value2*/) {
    if (eventKind != SceneEvents::renderEventKind() || g_renderContext == nullptr) {
        return;
    }
    updateFromContext(*g_renderContext);
}

void LocalGeometryTransformGroup::updateFromContext(SceneRenderContext& context) {
    Camera* camera = context.getActiveCamera();
    if (context.secondary || camera == nullptr ||
        (m_updatedInFrame && context.frameNumber == m_lastFrame)) {
        return;
    }
    m_updatedInFrame = true;
    m_lastFrame = context.frameNumber;
    const double now = platform::getTimeMs();
    const float dt = m_lastUpdateMs < 0.0 ? 0.0f : float(std::max(0.0, now - m_lastUpdateMs));
    m_lastUpdateMs = now;
    beforeCellUpdate(context.frameTimeMs);
    update(camera->getWorldMatrix().getTranslation(), dt);
    const bool foliage = hasKind(EntityKind::FoliageTransformGroup);
    uint32_t& uploaded =
        foliage ? context.statistics.foliageCellsUploaded : context.statistics.detailCellsUploaded;
    uploaded += m_builtCells;
    const uint64_t total = foliage ? DetailLayerSettings::getUploadedFoliageCells()
                                   : DetailLayerSettings::getUploadedDetailCells();
    (foliage ? context.statistics.foliageCellsTotal : context.statistics.detailCellsTotal) =
        uint32_t(std::min<uint64_t>(total, UINT32_MAX));
    m_lastFrameWorkMs = platform::getTimeMs() - now;
}

bool LocalGeometryTransformGroup::addLevel(float far, float extra) {
    if (!(m_cellSize > 0.0f) || !std::isfinite(far) || !std::isfinite(extra)) {
        Log::get() << "Error: detail level of '" << getName()
                   << "' needs a positive cell size and finite distances\n";
        return false;
    }
    if (!m_levels.empty() && m_levels.back().farDistance > far) {
        Log::get() << "Error: detail levels must be added in increasing farDistance order\n";
        return false;
    }
    // Clamp the reach so the window stays bounded.
    const float maxReach = (float(kMaxWindowSide) - 4.0f) * 0.5f * m_cellSize;
    if (far + extra > maxReach) {
        Log::get() << "Warning: '" << getName() << "': view distance " << (far + extra)
                   << " clamped to " << maxReach << "\n";
        extra = std::max(0.0f, std::min(extra, maxReach));
        far = maxReach - extra;
    }
    far = std::max(far, 0.0f);
    Level level;
    level.nearDistance = m_levels.empty() ? 0.0f : m_levels.back().farDistance;
    level.farDistance = far;
    level.extraDistance = extra;
    level.side = int32_t(std::nearbyint(2.0f * (far + extra) / m_cellSize + 4.0f));
    level.side = std::clamp(level.side, 1, kMaxWindowSide);
    const int index = int(m_levels.size());
    level.slots.reserve(size_t(level.side) * size_t(level.side));
    level.pending.reserve(level.slots.capacity());
    level.active.reserve(level.slots.capacity());
    for (int32_t row = 0; row < level.side; ++row) {
        for (int32_t col = 0; col < level.side; ++col) {
            std::unique_ptr<LocalGeometryShape> shape =
                createCellShape(getName() + "_Level" + std::to_string(index) + "_Shape" +
                                    std::to_string(col) + "_" + std::to_string(row),
                                index);
            shape->cellX = col;
            shape->cellZ = row;
            shape->level = index;
            shape->owner = this;
            shape->setVisibility(false);
            level.slots.push_back(shape.get());
            addChild(shape.release());
        }
    }
    m_levels.push_back(std::move(level));
    return true;
}

void LocalGeometryTransformGroup::destroyLevels() {
    for (Level& level : m_levels) {
        for (LocalGeometryShape* shape : level.slots) {
            if (shape->builtBefore || shape->active) {
                releaseCell(*shape);
            }
            shape->owner = nullptr;
            delete shape;
        }
    }
    m_levels.clear();
}

void LocalGeometryTransformGroup::forgetShape(LocalGeometryShape* shape) {
    for (Level& level : m_levels) {
        removeFrom(level.pending, shape);
        removeFrom(level.active, shape);
        auto it = std::find(level.slots.begin(), level.slots.end(), shape);
        if (it != level.slots.end()) {
            // The window keeps a hole there; the level no longer uses it.
            level.slots.erase(it);
        }
    }
}

void LocalGeometryTransformGroup::removeFrom(std::vector<LocalGeometryShape*>& list,
                                             LocalGeometryShape* shape) {
    auto it = std::find(list.begin(), list.end(), shape);
    if (it != list.end()) {
        list.erase(it);
    }
}

LocalGeometryShape* LocalGeometryTransformGroup::findCell(size_t level, int32_t x,
                                                          int32_t z) const {
    if (level >= m_levels.size()) {
        return nullptr;
    }
    for (LocalGeometryShape* shape : m_levels[level].slots) {
        if (shape->cellX == x && shape->cellZ == z) {
            return shape;
        }
    }
    return nullptr;
}

void LocalGeometryTransformGroup::moveWindow(Level& level, int32_t originX, int32_t originZ) {
    const bool jump = !level.placed || std::abs(originX - level.originX) >= level.side ||
                      std::abs(originZ - level.originZ) >= level.side;
    level.originX = originX;
    level.originZ = originZ;
    level.placed = true;
    // Each slot holds the one cell of the window that is congruent to it
    // modulo the side; only slots whose cell left the window change.
    for (LocalGeometryShape* shape : level.slots) {
        const int32_t x = originX + wrap(shape->cellX - originX, level.side);
        const int32_t z = originZ + wrap(shape->cellZ - originZ, level.side);
        if (!jump && x == shape->cellX && z == shape->cellZ) {
            continue;
        }
        if (shape->active || shape->builtBefore) {
            releaseCell(*shape);
        }
        if (shape->active) {
            removeFrom(level.active, shape);
        }
        if (shape->pending) {
            removeFrom(level.pending, shape);
        }
        shape->cellX = x;
        shape->cellZ = z;
        shape->active = false;
        shape->pending = false;
        shape->builtBefore = false;
        shape->drawable = false;
        shape->ageMs = 0.0f;
        shape->setVisibility(false);
    }
}

float LocalGeometryTransformGroup::cellDistance2(const LocalGeometryShape& shape) const {
    const float dx = (float(shape.cellX) + 0.5f) * m_cellSize - m_lastCamera.x;
    const float dz = (float(shape.cellZ) + 0.5f) * m_cellSize - m_lastCamera.z;
    return dx * dx + dz * dz;
}

void LocalGeometryTransformGroup::buildNow(Level& level, LocalGeometryShape& shape) {
    if (shape.builtBefore) {
        releaseCell(shape);
    }
    shape.drawable = buildCell(shape);
    shape.builtBefore = true;
    shape.ageMs = 0.0f;
    shape.setVisibility(shape.drawable);
    if (!shape.active) {
        shape.active = true;
        level.active.push_back(&shape);
    }
    if (shape.pending) {
        shape.pending = false;
        removeFrom(level.pending, &shape);
    }
}

void LocalGeometryTransformGroup::update(const Vector3& cameraWorld, float dtMs) {
    Matrix4 inverse;
    if (!getWorldMatrix().invert(inverse)) {
        return;
    }
    updateLocal(inverse.transformPoint(cameraWorld), dtMs);
}

void LocalGeometryTransformGroup::updateLocal(const Vector3& camera, float dtMs) {
    m_builtCells = 0;
    if (!std::isfinite(camera.x) || !std::isfinite(camera.z) || m_levels.empty() ||
        !(m_cellSize > 0.0f)) {
        return;
    }
    if (!std::isfinite(dtMs) || dtMs < 0.0f) {
        dtMs = 0.0f;
    }
    float speed = 0.0f;
    if (m_hasLastCamera && dtMs > 0.0f) {
        const float vx = (camera.x - m_lastCamera.x) / dtMs;
        const float vz = (camera.z - m_lastCamera.z) / dtMs;
        speed = std::sqrt(vx * vx + vz * vz);
    }
    m_lastCamera = camera;
    m_hasLastCamera = true;
    // Far away from the origin cell indices would leave the int range.
    constexpr float kLimit = 1.0e6f;
    if (std::fabs(camera.x / m_cellSize) > kLimit || std::fabs(camera.z / m_cellSize) > kLimit) {
        return;
    }

    bool deferredAllowed = true;
    for (Level& level : m_levels) {
        const float reach = level.farDistance + level.extraDistance;
        const float ro = reach + m_cellSize;
        const float ro2 = ro * ro;
        const float near2 = level.nearDistance * level.nearDistance;
        const float far2 = reach * reach;
        const auto x0 = int32_t(std::floor((camera.x - ro) / m_cellSize));
        const auto x1 = int32_t(std::floor((camera.x + ro) / m_cellSize));
        const auto z0 = int32_t(std::floor((camera.z - ro) / m_cellSize));
        const auto z1 = int32_t(std::floor((camera.z + ro) / m_cellSize));
        int32_t originX = level.originX;
        int32_t originZ = level.originZ;
        if (!level.placed) {
            originX = x0;
            originZ = z0;
        }
        if (x0 < originX) {
            originX = x0;
        } else if (x1 > originX + level.side - 1) {
            originX = x1 - level.side + 1;
        }
        if (z0 < originZ) {
            originZ = z0;
        } else if (z1 > originZ + level.side - 1) {
            originZ = z1 - level.side + 1;
        }
        if (!level.placed || originX != level.originX || originZ != level.originZ) {
            moveWindow(level, originX, originZ);
        }

        for (LocalGeometryShape* shape : level.slots) {
            if (shape->cellX < x0 || shape->cellX > x1 || shape->cellZ < z0 || shape->cellZ > z1) {
                continue;
            }
            const float d2 = cellDistance2(*shape);
            if (d2 > ro2) {
                continue;
            }
            if (shape->active) {
                shape->ageMs = 0.0f;
            } else if (d2 >= near2 && d2 < far2) {
                buildNow(level, *shape);
            } else if (!shape->pending) {
                shape->pending = true;
                level.pending.push_back(shape);
            }
        }

        level.accumulatorMs += dtMs;
        if (!level.pending.empty() && deferredAllowed) {
            float interval = kDeferredIntervalMs;
            if (speed > 0.0f) {
                interval =
                    std::min(interval, m_cellSize * 0.8f / (float(level.pending.size()) * speed));
            }
            if (level.accumulatorMs > interval) {
                size_t taken = 0;
                LocalGeometryShape* chosen = nullptr;
                while (taken < level.pending.size()) {
                    LocalGeometryShape* shape = level.pending[taken++];
                    shape->pending = false;
                    if (cellDistance2(*shape) <= ro2) {
                        chosen = shape;
                        break;
                    }
                }
                level.pending.erase(level.pending.begin(),
                                    level.pending.begin() + std::ptrdiff_t(taken));
                if (chosen != nullptr) {
                    buildNow(level, *chosen);
                }
                deferredAllowed = false;
                level.accumulatorMs = 0.0f;
            }
        }

        for (size_t i = 0; i < level.active.size();) {
            LocalGeometryShape* shape = level.active[i];
            if (shape->ageMs > kReleaseAgeMs) {
                releaseCell(*shape);
                shape->active = false;
                shape->drawable = false;
                shape->setVisibility(false);
                level.active.erase(level.active.begin() + std::ptrdiff_t(i));
                continue;
            }
            const float d2 = cellDistance2(*shape);
            const bool inBand = d2 >= near2 && d2 < far2;
            if (!inBand) {
                shape->setVisibility(false);
            } else if (!shape->getVisibility() && shape->drawable) {
                shape->setVisibility(true);
            }
            shape->ageMs += dtMs;
            ++i;
        }
    }
    if (m_builtCells > 0) {
        DetailLayerSettings::addUploadedCells(hasKind(EntityKind::FoliageTransformGroup),
                                              m_builtCells);
    }
}

void LocalGeometryTransformGroup::markCellsForRebuild(int32_t x0, int32_t z0, int32_t x1,
                                                      int32_t z1, bool immediate) {
    for (Level& level : m_levels) {
        for (LocalGeometryShape* shape : level.slots) {
            if (shape->cellX < x0 || shape->cellX > x1 || shape->cellZ < z0 || shape->cellZ > z1 ||
                !shape->active) {
                continue;
            }
            if (immediate) {
                removeFrom(level.active, shape);
                if (shape->pending) {
                    removeFrom(level.pending, shape);
                }
                shape->pending = false;
                shape->active = false;
                shape->builtBefore = true;
                shape->ageMs = 0.0f;
            } else {
                shape->builtBefore = true;
                if (!shape->pending) {
                    shape->pending = true;
                    level.pending.push_back(shape);
                }
            }
        }
    }
}
