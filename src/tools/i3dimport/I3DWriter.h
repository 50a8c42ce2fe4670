#pragma once
// Writes a scene description as an i3d 1.5 scene file, with the textures its
// materials use copied into a folder beside it or referenced where they are.

#include <string>
#include <vector>

#include "ImportScene.h"

namespace i3dimport {

struct WriteOptions {
    // Replace files that exist; without it an existing output is an error.
    bool force = false;
    // Copy texture files into "<name>_textures/" beside the output; false
    // refers to them where they are, relative to the output. Embedded
    // images are always written into that folder.
    bool copyTextures = true;
};

// Every output path is planned and checked before the first byte is
// written: on failure (an existing file without `force`, a path outside the
// output folder, a write error) nothing stays written and `error` says why.
// Notes about things the file cannot hold are added to `warnings`.
bool writeI3DScene(const ImportScene& scene, const std::string& outputPath,
                   const WriteOptions& options, std::vector<std::string>& warnings,
                   std::string& error);

}  // namespace i3dimport
