#pragma once
// Reads a model file (glTF, GLB, OBJ, FBX, Collada and the other formats
// the model library knows) into the importer's scene description.

#include <string>

#include "ImportScene.h"

namespace i3dimport {

// False with the library's message in `error` when the file cannot be read
// or holds no scene; `scene` is then left as it was.
bool readModelFile(const std::string& path, ImportScene& scene, std::string& error);

}  // namespace i3dimport
