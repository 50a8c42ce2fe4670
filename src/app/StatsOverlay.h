#pragma once
// Statistics pages: full-screen text overlays cycled with F8. The list
// passes through the state without a page.

#include <memory>
#include <string>
#include <vector>

class IRenderDevice;
class ScreenFont;
class ShaderLibrary;

// What a page draws with: the screen font (null while the build has none).
struct StatsContext {
    ScreenFont* font = nullptr;
};

class StatsOverlay {
public:
    virtual ~StatsOverlay() = default;
    virtual void draw(StatsContext& context) = 0;
};

class StatsOverlayList {
public:
    static StatsOverlayList& get();

    void add(std::unique_ptr<StatsOverlay> page) { m_pages.push_back(std::move(page)); }
    // index = (index + 1) modulo (pages + 1).
    void next() { m_selected = (m_selected + 1) % (static_cast<int>(m_pages.size()) + 1); }
    // 0 = no page, n = the n-th page.
    int getSelectedIndex() const { return m_selected; }
    StatsOverlay* getSelected() const {
        return m_selected > 0 && m_selected <= static_cast<int>(m_pages.size())
                   ? m_pages[static_cast<size_t>(m_selected) - 1].get()
                   : nullptr;
    }
    size_t size() const { return m_pages.size(); }
    void draw(StatsContext& context) {
        if (StatsOverlay* page = getSelected()) {
            page->draw(context);
        }
    }
    void clear() {
        m_pages.clear();
        m_selected = 0;
    }

private:
    std::vector<std::unique_ptr<StatsOverlay>> m_pages;
    int m_selected = 0;
};

// The render page: what the last scene render drew (from the scene render
// context), the device's memory and the shader builds.
class RenderStats : public StatsOverlay {
public:
    // Neither is owned; either may be none.
    RenderStats(IRenderDevice* device, const ShaderLibrary* library)
        : m_device(device), m_library(library) {}
    std::string text() const;
    void draw(StatsContext& context) override;

private:
    IRenderDevice* m_device;
    const ShaderLibrary* m_library;
};

// The profiler page: section tree and flat table.
class ProfilerStats : public StatsOverlay {
public:
    static std::string labelsText();
    static std::string tableText();
    void draw(StatsContext& context) override;
};

// The animation page: every registered character set with its clips.
class AnimationStats : public StatsOverlay {
public:
    static std::string text();
    void draw(StatsContext& context) override;
};

// The effects page: the statistics text of every registered particle system.
class EffectsStats : public StatsOverlay {
public:
    static std::string text();
    void draw(StatsContext& context) override;
};

// The physics page: body, joint and pair counts of the physics world.
class PhysicsStats : public StatsOverlay {
public:
    static std::string text();
    void draw(StatsContext& context) override;
};
