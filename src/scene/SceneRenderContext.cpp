#include "scene/SceneRenderContext.h"

#include "scene/Camera.h"

SceneRenderContext::~SceneRenderContext() {
    track(m_root, nullptr);
    track(m_camera, nullptr);
}

void SceneRenderContext::track(Entity* oldEntity, Entity* newEntity) {
    if (oldEntity == newEntity) {
        return;
    }
    // Root and camera may be one node; it keeps one listener entry per role.
    if (oldEntity) {
        oldEntity->removeDeleteListener(this);
    }
    if (newEntity) {
        newEntity->addDeleteListener(this);
    }
}

void SceneRenderContext::setRootNode(TransformGroup* root) {
    track(m_root, root);
    m_root = root;
}

void SceneRenderContext::setActiveCamera(Camera* camera) {
    track(m_camera, camera);
    m_camera = camera;
}

void SceneRenderContext::actionPerformed(void* source, int eventKind, int32_t, int32_t) {
    if (eventKind != entityDestroyedEventKind()) {
        return;
    }
    if (m_root && source == static_cast<Entity*>(m_root)) {
        m_root = nullptr;
    }
    if (m_camera && source == static_cast<Entity*>(m_camera)) {
        m_camera = nullptr;
    }
}

namespace {

// Projection x view of the active camera, in double precision.
bool viewProjection(SceneRenderContext& context, double out[16]) {
    Camera* camera = context.getActiveCamera();
    if (!camera || context.viewportWidth <= 0 || context.viewportHeight <= 0) {
        return false;
    }
    Matrix4 p = camera->getProjectionMatrix(static_cast<float>(context.viewportWidth),
                                            static_cast<float>(context.viewportHeight));
    Matrix4 v = camera->getViewMatrix();
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(p.m[4 * k + row]) * v.m[4 * col + k];
            }
            out[4 * col + row] = sum;
        }
    }
    return true;
}

void transform(const double m[16], const double in[4], double out[4]) {
    for (int row = 0; row < 4; ++row) {
        out[row] = m[row] * in[0] + m[4 + row] * in[1] + m[8 + row] * in[2] + m[12 + row] * in[3];
    }
}

}  // namespace

bool projectPoint(SceneRenderContext& context, const Vector3& world, Vector3& screen) {
    double m[16];
    if (!viewProjection(context, m)) {
        return false;
    }
    double in[4] = {world.x, world.y, world.z, 1.0};
    double clip[4];
    transform(m, in, clip);
    if (clip[3] == 0.0) {
        return false;
    }
    // Window x / width is (ndc x + 1) / 2 for the viewport (0, 0, w, h).
    screen.x = static_cast<float>((clip[0] / clip[3] + 1.0) * 0.5);
    screen.y = static_cast<float>((clip[1] / clip[3] + 1.0) * 0.5);
    screen.z = static_cast<float>((clip[2] / clip[3] + 1.0) * 0.5);
    return true;
}

bool unprojectPoint(SceneRenderContext& context, const Vector3& screen, Vector3& world) {
    double m[16];
    double inverse[16];
    if (!viewProjection(context, m) || !invertMatrix4(m, inverse)) {
        return false;
    }
    double ndc[4] = {screen.x * 2.0 - 1.0, screen.y * 2.0 - 1.0, screen.z * 2.0 - 1.0, 1.0};
    double out[4];
    transform(inverse, ndc, out);
    if (out[3] == 0.0) {
        return false;
    }
    world = Vector3(static_cast<float>(out[0] / out[3]), static_cast<float>(out[1] / out[3]),
                    static_cast<float>(out[2] / out[3]));
    return true;
}

std::unique_ptr<TransformGroup> createRootNode(SceneRenderContext& context) {
    auto root = std::make_unique<TransformGroup>("RootNode");
    context.setRootNode(root.get());
    return root;
}

Camera* createDefaultCamera(TransformGroup& root, SceneRenderContext& context) {
    auto* camera = new Camera("default camera", 55.0f, 0.25f, 10000.0f);
    root.addChild(camera);
    context.setActiveCamera(camera);
    return camera;
}
