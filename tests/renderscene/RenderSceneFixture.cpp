#include "RenderSceneFixture.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/File.h"
#include "render/overlay/Screenshot.h"

IRenderDevice* RenderSceneFixture::s_device = nullptr;
IRenderWindow* RenderSceneFixture::s_window = nullptr;

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

RefPtr<Material> solidPaint(float r, float g, float b, float opacity) {
    MaterialDesc desc;
    desc.ambientColor = {r, g, b};
    desc.diffuseColor = {r, g, b, 1};
    desc.specularColor = {0.3f, 0.3f, 0.3f};
    desc.opacity = opacity;
    desc.alphaBlending = opacity < 1.0f;
    return MaterialLibrary::get(desc);
}

RefPtr<Geometry> texturedQuad(float half, bool mirroredU) {
    std::unique_ptr<MeshData> mesh = makeQuadMesh(half);
    for (MeshTriangle& triangle : mesh->triangles) {
        triangle.attributes |= VertexAttribute::TexCoords0;
        for (MeshCorner& corner : triangle.corners) {
            const Vector3& p = mesh->positions[corner.position];
            const float u = p.x / (2.0f * half) + 0.5f;
            corner.texCoords0[0] = mirroredU ? 1.0f - u : u;
            corner.texCoords0[1] = p.y / (2.0f * half) + 0.5f;
        }
    }
    return RefPtr<Geometry>(new IndexedFaceSetGeometry(
        "quad", std::move(mesh), VertexAttribute::Normal | VertexAttribute::TexCoords0));
}

Vector3 project(const Matrix4& viewProjection, const Vector3& p) {
    const float* m = viewProjection.m;
    const float x = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
    const float y = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
    const float z = m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14];
    const float w = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
    return {x / w, y / w, z / w};
}

void RenderSceneFixture::SetUpTestSuite() {
    s_device = createRenderDevice().release();
    s_window = testsupport::openTestRenderWindow(*s_device, kSize);
}

void RenderSceneFixture::TearDownTestSuite() {
    delete s_device;
    s_device = nullptr;
    s_window = nullptr;
}

void RenderSceneFixture::SetUp() {
    ASSERT_NE(s_window, nullptr) << "no GL window";
    FileSystem::clearFileLoaders();
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 10));
    library = std::make_unique<ShaderLibrary>(*s_device, m_dir.path() + "shader_cache/");
    ASSERT_TRUE(library->loadSharedSources());
    renderer = std::make_unique<SceneRenderer>(*s_device, *library);
    root = createRootNode(context);
    camera = new Camera("camera", 60.0f, 0.1f, 100.0f);
    root->addChild(camera);
    context.setActiveCamera(camera);
    context.environment.ambientColor = {1, 1, 1};
}

void RenderSceneFixture::TearDown() {
    root.reset();
    renderer.reset();
    library.reset();
    FileSystem::clearFileLoaders();
    if (HasFailure()) {
        std::printf("log:\n%s\n", m_log.text().substr(0, 4000).c_str());
    }
}

Vector3 RenderSceneFixture::toWindow(const Vector3& p) {
    const Matrix4 vp = camera->getProjectionMatrix(kSize, kSize) * camera->getViewMatrix();
    const Vector3 c = project(vp, p);
    return {c.x * 0.5f + 0.5f, c.y * 0.5f + 0.5f, c.z};
}

void RenderSceneFixture::frame(const std::string& shotName) {
    renderer->render(context, kSize, kSize, 16.0f);
    m_pixels.resize(s_window->getPixelBufferSize());
    s_window->readPixels(m_pixels.data());
    if (const char* folder = std::getenv("RENDERSCENE_SCREENSHOTS")) {
        saveScreenshot(*s_device, std::string(folder) + "/" + shotName + ".png");
    }
}

Rgb RenderSceneFixture::at(float x, float y) const {
    const size_t i = (size_t(y * (kSize - 1)) * kSize + size_t(x * (kSize - 1))) * 3;
    return {m_pixels[i], m_pixels[i + 1], m_pixels[i + 2]};
}

Rgb RenderSceneFixture::atWorld(const Vector3& p) {
    const Vector3 w = toWindow(p);
    return at(w.x, w.y);
}
