#pragma once
// A triangle mesh refined near the camera: levels 1 to 4 are built lazily by
// 1-to-4 subdivision (Butterfly or Loop), and each level blends in from
// its parent positions (a geomorph) so that switching levels does not pop.
// At level 0 the mesh as loaded draws itself (the base part is the control
// mesh). Only a closed mesh, every edge shared by exactly two triangles,
// is refined.

#include <array>
#include <memory>
#include <string>

#include "scene/CornerTable.h"
#include "scene/Geometry.h"
#include "scene/SubDsSettings.h"

class SubDsGeometry : public IndexedFaceSetGeometry {
public:
    static constexpr int kMaxLevel = 4;
    // No level is built beyond this many corners (a 1-to-4 split quadruples
    // them), which bounds the memory a large control mesh can take.
    static constexpr uint64_t kMaxCorners = uint64_t(3) << 19;

    SubDsGeometry(const std::string& name, std::unique_ptr<MeshData> mesh,
                  uint32_t vertexAttributes);
    ~SubDsGeometry() override;

    // Chooses the level for the distance from the active camera to the
    // nearest shape that uses this geometry, then draws: the control mesh
    // at level 0, else the level's blended triangle list (with the first
    // sub-mesh's material), counted into the context's statistics.
    void draw(SceneRenderContext& context, size_t subMesh) override;

    // The level and blend for a camera distance. Made again only when the
    // distance or the settings changed since the last choice.
    void chooseLevel(float distance, const SubDsSettings& settings);
    // Builds the missing levels up to `level` (clamped to what this mesh
    // allows), stores level and blend and refreshes the level's vertices.
    void setLevel(int level, float blend);

    // false: Butterfly (default), true: Loop; for levels built afterwards.
    void setLoopScheme(bool loop) { m_loopScheme = loop; }
    bool isClosed() const { return m_closed; }
    // The highest level this mesh may reach (0 for an open mesh).
    int getLevelLimit() const { return m_levelLimit; }
    int getCurrentLevel() const { return m_currentLevel; }
    float getBlend() const { return m_blend; }
    int getBuiltLevels() const { return m_builtLevels; }
    // Levels below getBuiltLevels() exist.
    const CornerTable& getLevelTable(int level) const { return *m_levels[size_t(level)]; }
    // The blended triangle list of a level > 0, none until first shown.
    const SubMesh* getLevelMesh(int level) const { return m_levelMeshes[size_t(level)].get(); }

    // The camera distance of the nearest shape using this geometry; none
    // without a camera or a shape.
    static bool cameraDistance(SceneRenderContext& context, const Geometry& geometry,
                               float& distance);

private:
    void buildLevel(int level);
    void refreshLevelMesh(int level, float blend);

    std::array<std::unique_ptr<CornerTable>, kMaxLevel + 1> m_levels;
    std::array<std::unique_ptr<SubMesh>, kMaxLevel + 1> m_levelMeshes;
    uint32_t m_levelAttributes = 0;
    int m_builtLevels = 1;
    int m_currentLevel = 0;
    float m_blend = 0.0f;
    int m_lastLevel = -1;
    int m_lastBlendStep = -1;
    float m_lastDistance = 0.0f;
    SubDsSettings m_lastSettings;
    bool m_chosen = false;
    bool m_loopScheme = false;
    bool m_closed = false;
    int m_levelLimit = 0;
};
