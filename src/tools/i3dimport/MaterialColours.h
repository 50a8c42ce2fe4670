#pragma once
// Material colours in the form the engine draws them. Its materials have no
// diffuse or emissive colour of their own (an untextured material is white),
// so a source's base colour, opacity and emissive colour become a small
// texture of that colour (one per distinct colour), and a textured material's
// base colour factor tints the vertex colours of the triangles that use it.

#include <array>
#include <cstdint>
#include <vector>

#include "ImportScene.h"

namespace i3dimport {

// Applies the above to every material some mesh draws with; what cannot be
// carried becomes a warning of the scene.
void carryMaterialColours(ImportScene& scene);

// A 4 x 4 PNG image (8-bit RGBA) of one colour; the components are 0 .. 1.
std::vector<uint8_t> solidColourPng(const std::array<float, 4>& rgba);

}  // namespace i3dimport
