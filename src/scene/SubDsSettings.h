#pragma once
// What steers the level choice of subdivision surfaces; the console changes
// these at run time ("showControlMeshSubds", "subdsLevelOverride",
// "subdsActiveDistance", "subdsMaxLevel").

#include <cstdint>

struct SubDsSettings {
    // Draw every surface as its control mesh.
    bool showControlMesh = false;
    // A level > 0 shows that level fully, whatever the distance.
    int levelOverride = 0;
    // Surfaces nearer than this are refined: level 1 at the distance, the
    // maximum level close to the camera.
    float activeDistance = 50.0f;
    int maxLevel = 3;

    bool operator==(const SubDsSettings&) const = default;
};
