#include "app/StatsOverlay.h"

#include "app/EngineManager.h"
#include "app/Profiler.h"
#include "app/ScreenFont.h"
#include "base/device/IRenderDevice.h"
#include "foundation/Entity.h"
#include "foundation/StatsText.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "render/scene/RenderStats.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/SceneRenderContext.h"

StatsOverlayList& StatsOverlayList::get() {
    static StatsOverlayList* instance = new StatsOverlayList();
    return *instance;
}

std::string ProfilerStats::labelsText() {
    return "Profiler stats\n\nLabels\n" + Profiler::get().getTreeText();
}

std::string ProfilerStats::tableText() {
    return "\n\n\ncount  microsecs     %%\n" + Profiler::get().getFlatText();
}

namespace {

std::string entityPageText(const char* title, uint32_t kind) {
    std::string text = title;
    for (Entity* entity : EntityRegistry::byKind(kind)) {
        if (auto* source = dynamic_cast<const StatsTextSource*>(entity)) {
            text += source->getStatsText();
        }
    }
    return text;
}

}  // namespace

std::string AnimationStats::text() {
    return entityPageText("Animation stats\n\n", EntityKind::CharacterSet);
}

std::string EffectsStats::text() {
    return entityPageText("Effects stats\n\n", EntityKind::ParticleSystem);
}

namespace {

// Pages draw in opaque white, not bold, from the upper left.
ScreenFont* pageFont(StatsContext& context) {
    if (context.font != nullptr) {
        context.font->setColour(1.0f, 1.0f, 1.0f, 1.0f);
        context.font->setBold(false);
    }
    return context.font;
}

constexpr float kPageX = 0.01f;
constexpr float kPageY = 0.96f;
constexpr float kPageTextSize = 0.018f;

}  // namespace

void ProfilerStats::draw(StatsContext& context) {
    if (ScreenFont* font = pageFont(context)) {
        font->drawText(kPageX, kPageY, kPageTextSize, labelsText().c_str(), false);
        font->drawText(0.27f, kPageY, kPageTextSize, tableText().c_str(), true);
    }
}
void AnimationStats::draw(StatsContext& context) {
    if (ScreenFont* font = pageFont(context)) {
        font->drawText(kPageX, kPageY, kPageTextSize, text().c_str(), false);
    }
}
void EffectsStats::draw(StatsContext& context) {
    if (ScreenFont* font = pageFont(context)) {
        font->drawText(kPageX, kPageY, kPageTextSize, text().c_str(), false);
    }
}

std::string RenderStats::text() const {
    SceneRenderContext* scene = EngineManager::get().getSceneRenderContext();
    const RenderStatistics statistics = scene != nullptr ? scene->statistics : RenderStatistics();
    RenderMemoryUse memory;
    if (m_device != nullptr) {
        memory.textureBytes = m_device->getTextureMemory();
        memory.vertexBufferBytes = m_device->getVertexBufferMemory();
        memory.indexBufferBytes = m_device->getIndexBufferMemory();
    }
    return renderStatsText(statistics, memory,
                           m_library != nullptr ? m_library->getStats().builds : 0u);
}

void RenderStats::draw(StatsContext& context) {
    if (ScreenFont* font = pageFont(context)) {
        font->drawText(kPageX, kPageY, kPageTextSize, text().c_str(), true);
    }
}

std::string PhysicsStats::text() {
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    return context != nullptr ? context->getStatsText() : std::string("Physics stats\n\n");
}

void PhysicsStats::draw(StatsContext& context) {
    if (ScreenFont* font = pageFont(context)) {
        font->drawText(kPageX, kPageY, kPageTextSize, text().c_str(), false);
    }
}
