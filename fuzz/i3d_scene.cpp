// i3d scene files: the loader reads the fuzzer's bytes from memory and builds
// its subtree with no subsystem handlers registered, so every section falls
// back to plain transform groups; the tree is walked and released again.
// Files the scene refers to (textures, custom shaders) get the same bytes.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "scene/Node.h"
#include "scene/i3d/I3DLoader.h"

namespace {

// Visits every node once; bounded by the loader's depth limit.
size_t countNodes(const Node& node) {
    size_t count = 1;
    for (size_t i = 0; i < node.getNumChildren(); ++i) {
        count += countNodes(*node.getChildAt(i));
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("fuzz/", data, size);
    I3DLoadResult result;
    if (loadI3DText("fuzz/scene.i3d", reinterpret_cast<const char*>(data), size, result) &&
        result.root != nullptr) {
        volatile size_t nodes = countNodes(*result.root);
        (void)nodes;
    }
    return 0;
}
