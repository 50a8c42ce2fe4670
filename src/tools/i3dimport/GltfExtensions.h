#pragma once
// The extensions a glTF file says a reader must understand
// ("extensionsRequired"), read from the JSON of a .gltf file or the JSON
// chunk of a .glb file. The model library reads files that require
// extensions it does not decode as if they were plain (quantized positions
// all land at the origin), so the importer checks the list first.

#include <string>
#include <vector>

namespace i3dimport {

// The required extensions named in glTF JSON text; empty when there are none
// or the text is no JSON object.
std::vector<std::string> requiredGltfExtensions(const std::string& json);

// The JSON of a glTF file's bytes: the whole text of a .gltf file, the first
// chunk of a binary (.glb) file; empty when a binary file has no JSON chunk.
std::string gltfJson(const std::string& bytes);

// Of `required`, those this importer and its model library cannot decode.
std::vector<std::string> undecodedGltfExtensions(const std::vector<std::string>& required);

}  // namespace i3dimport
