#include "terrain/FoliageConstructor.h"

#include "foundation/Log.h"
#include "render/material/Material.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainTransformGroup.h"

FoliageConstructor::FoliageConstructor() : Entity("FoliageConstructor", false) {}

FoliageConstructor::~FoliageConstructor() {
    if (m_material != nullptr) {
        m_material->release();
    }
}

bool FoliageConstructor::setDensityMap(const std::string& path) {
    if (path.size() > TerrainDetailTransformGroup::kMaxPathLength) {
        Log::get() << "Error: Foliage::setDensityMap: path longer than "
                   << uint32_t(TerrainDetailTransformGroup::kMaxPathLength)
                   << " characters refused\n";
        return false;
    }
    m_params.densityMapPath = path;
    return true;
}

void FoliageConstructor::setPlantThreshold(float threshold) {
    m_params.plantThreshold = threshold;
}

bool FoliageConstructor::setCellSize(int32_t cells, float blocksPerUnit) {
    if (cells < 1 || (cells & (cells - 1)) != 0) {
        Log::get() << "Error: Foliage::setCellSize: cell size must be power of 2\n";
        return false;
    }
    m_cellGrid = cells;
    m_params.blocksPerUnit = blocksPerUnit;
    return true;
}

void FoliageConstructor::setFoliageSize(float width, float height, float heightVariance) {
    m_params.width = width;
    m_params.height = height;
    m_params.heightVariance = heightVariance;
}

bool FoliageConstructor::setMaterial(const std::string& name) {
    for (Entity* entity : EntityRegistry::all()) {
        auto* material = dynamic_cast<Material*>(entity);
        if (material != nullptr && material->getName() == name) {
            material->addRef();
            if (m_material != nullptr) {
                m_material->release();
            }
            m_material = material;
            return true;
        }
    }
    Log::get() << "Error: Foliage::setMaterial: no material named '" << name << "'\n";
    return false;
}

int32_t FoliageConstructor::finalize(const std::string& name, int32_t terrainId) {
    auto* terrain = dynamic_cast<TerrainTransformGroup*>(EntityRegistry::find(terrainId));
    if (terrain == nullptr) {
        Log::get() << "Error: foliage::finalize: " << terrainId << " is not a terrain\n";
        return 0;
    }
    Material* material = m_material;
    if (material == nullptr) {
        for (Node* child : terrain->getChildren()) {
            if (auto* foliage = dynamic_cast<FoliageTransformGroup*>(child)) {
                material = foliage->getMaterial();
                break;
            }
        }
    }
    if (m_params.densityMapPath.empty() || material == nullptr) {
        Log::get() << "foliage::finalize: not all parameters set!\n";
        return 0;
    }
    FoliageParams params = m_params;
    params.material = material;
    params.cellSize = float(m_cellGrid) * terrain->getTerrain().getUnitsPerPixel();
    auto* group = new FoliageTransformGroup(name, params, *terrain);
    terrain->addChild(group);
    return group->getId();
}
