// i3dimport: converts a model file into an i3d scene file.
//
//     i3dimport input.(gltf|glb|obj|fbx|dae) output.i3d [options]

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "AssimpSceneReader.h"
#include "I3DWriter.h"
#include "ImportOptions.h"
#include "MaterialColours.h"

using namespace i3dimport;

namespace {

void usage() {
    std::fputs(
        "usage: i3dimport INPUT OUTPUT.i3d [options]\n"
        "  INPUT: a glTF (.gltf, .glb), OBJ, FBX or Collada (.dae) file\n"
        "options:\n"
        "  --force                 overwrite existing output files\n"
        "  --reference-textures    refer to texture files where they are instead of\n"
        "                          copying them into OUTPUT_textures/\n"
        "  --scale FACTOR          multiply every length by FACTOR (> 0)\n"
        "  --up-axis x|y|z         the input's up axis; the output is Y-up (default y;\n"
        "                          Collada files declare theirs and need no option)\n"
        "  --subd MESH             prefix the mesh name with \"subd_\" (\"*\": every mesh)\n"
        "  --static NODE           make the node a static rigid body\n"
        "  --dynamic NODE          make the node a dynamic rigid body\n"
        "  --collision-mask NODE=MASK  the node's collision mask (decimal or 0x hex)\n",
        stderr);
}

bool parseMask(const std::string& text, int32_t& mask) {
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < INT32_MIN ||
        value > 0xFFFFFFFFLL) {
        return false;
    }
    mask = static_cast<int32_t>(static_cast<uint32_t>(value));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        usage();
        return 2;
    }
    const std::string input = argv[1];
    const std::string output = argv[2];
    ImportOptions options;
    WriteOptions writeOptions;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string value = hasValue ? argv[i + 1] : "";
        auto needValue = [&]() {
            if (!hasValue) {
                std::fprintf(stderr, "i3dimport: %s needs a value\n", option.c_str());
                std::exit(2);
            }
            ++i;
        };
        if (option == "--force") {
            writeOptions.force = true;
        } else if (option == "--reference-textures") {
            writeOptions.copyTextures = false;
        } else if (option == "--scale") {
            needValue();
            char* end = nullptr;
            options.scale = std::strtof(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(options.scale) ||
                options.scale <= 0.0f) {
                std::fprintf(stderr, "i3dimport: --scale needs a number above 0, not %s\n",
                             value.c_str());
                return 2;
            }
        } else if (option == "--up-axis") {
            needValue();
            if (value != "x" && value != "y" && value != "z") {
                std::fprintf(stderr, "i3dimport: --up-axis is x, y or z, not %s\n", value.c_str());
                return 2;
            }
            options.upAxis = value[0];
        } else if (option == "--subd") {
            needValue();
            options.subdivisionMeshes.push_back(value);
        } else if (option == "--static") {
            needValue();
            options.staticNodes.push_back(value);
        } else if (option == "--dynamic") {
            needValue();
            options.dynamicNodes.push_back(value);
        } else if (option == "--collision-mask") {
            needValue();
            size_t equals = value.rfind('=');
            int32_t mask = 0;
            if (equals == std::string::npos || equals == 0 ||
                !parseMask(value.substr(equals + 1), mask)) {
                std::fprintf(stderr, "i3dimport: --collision-mask needs NODE=MASK, not %s\n",
                             value.c_str());
                return 2;
            }
            options.collisionMasks.emplace_back(value.substr(0, equals), mask);
        } else {
            std::fprintf(stderr, "i3dimport: unknown option %s\n", option.c_str());
            usage();
            return 2;
        }
    }

    ImportScene scene;
    std::string error;
    if (!readModelFile(input, scene, error)) {
        std::fprintf(stderr, "i3dimport: cannot read %s: %s\n", input.c_str(), error.c_str());
        return 1;
    }
    applyImportOptions(scene, options);
    carryMaterialColours(scene);
    std::vector<std::string> warnings = scene.warnings;
    if (!writeI3DScene(scene, output, writeOptions, warnings, error)) {
        for (const std::string& warning : warnings) {
            std::fprintf(stderr, "i3dimport: warning: %s\n", warning.c_str());
        }
        std::fprintf(stderr, "i3dimport: nothing written: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& warning : warnings) {
        std::fprintf(stderr, "i3dimport: warning: %s\n", warning.c_str());
    }
    std::printf("i3dimport: wrote %s (%zu nodes, %zu meshes, %zu materials, %zu clips)\n",
                output.c_str(), scene.nodes.size(), scene.meshes.size(), scene.materials.size(),
                scene.clips.size());
    return 0;
}
