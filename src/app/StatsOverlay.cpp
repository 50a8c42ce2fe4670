#include "app/StatsOverlay.h"

#include "app/Profiler.h"
#include "foundation/Entity.h"
#include "foundation/StatsText.h"

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

// The pages draw with the screen font; a build without it shows none.
void ProfilerStats::draw(StatsContext& context) {
    (void)context;
}
void AnimationStats::draw(StatsContext& context) {
    (void)context;
}
void EffectsStats::draw(StatsContext& context) {
    (void)context;
}
