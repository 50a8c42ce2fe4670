#pragma once
// A GL window (Mesa llvmpipe) shared by a test suite, a scene renderer with
// its shader library, scene root and camera per test, and pixel probes of
// the drawn frame. Set RENDERSCENE_SCREENSHOTS to a folder to keep a PNG of
// each frame drawn with frame().

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "CapturingLogSink.h"
#include "TestRenderWindow.h"
#include "TestSupport.h"
#include "base/device/IRenderDevice.h"
#include "render/material/Material.h"
#include "render/scene/SceneRenderer.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/Camera.h"
#include "scene/Geometry.h"
#include "scene/SceneRenderContext.h"

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    int sum() const { return r + g + b; }
};

std::ostream& operator<<(std::ostream& out, const Rgb& c);

// Clip coordinates of a point divided by w.
Vector3 project(const Matrix4& viewProjection, const Vector3& p);

// A plain material of the colour with a little specular light; blended
// when `opacity` is below 1.
RefPtr<Material> solidPaint(float r, float g, float b, float opacity = 1.0f);

// A quad of half size `half` facing +z whose texture coordinates run from 0
// to 1 along +x and +y, or with `mirroredU`, u from 1 to 0 along +x.
RefPtr<Geometry> texturedQuad(float half, bool mirroredU = false);

class RenderSceneFixture : public ::testing::Test {
protected:
    static constexpr int kSize = 128;

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Window fraction of a world point in the current camera.
    Vector3 toWindow(const Vector3& p);
    // Renders a frame and keeps its pixels for the probes.
    void frame(const std::string& shotName);
    Rgb at(float x, float y) const;
    Rgb atWorld(const Vector3& p);

    static IRenderDevice* s_device;
    static IRenderWindow* s_window;

    testsupport::ScopedLogCapture m_log;
    testsupport::TempDir m_dir;
    std::vector<uint8_t> m_pixels;
    std::unique_ptr<ShaderLibrary> library;
    std::unique_ptr<SceneRenderer> renderer;
    SceneRenderContext context;
    std::unique_ptr<TransformGroup> root;
    Camera* camera = nullptr;
};
