#pragma once
// Process-wide folders of the detail layers: where saved density maps go
// (the per-user folder, set at start-up) and the terrain load directory
// scripts set ("setTerrainLoadDirectory"), which takes precedence for both
// loading and saving density maps; and the counts of built cells.

#include <cstdint>
#include <string>

namespace DetailLayerSettings {

void setUserFolder(const std::string& folder);
const std::string& getUserFolder();
void setTerrainLoadDirectory(const std::string& folder);
const std::string& getTerrainLoadDirectory();

// The folder density maps are saved into: the terrain load directory when
// set, else the per-user folder; empty when neither is known.
const std::string& getSaveFolder();

// The density map path a scene names, redirected into the terrain load
// directory (its file name part) when a file of that name exists there.
std::string resolveDensityMapPath(const std::string& path);

// Cells built (and uploaded) so far, for the render statistics: "Uploaded
// detail cells:" and "Uploaded foliage cells:".
void addUploadedCells(bool foliage, uint32_t count);
uint64_t getUploadedDetailCells();
uint64_t getUploadedFoliageCells();

}  // namespace DetailLayerSettings
