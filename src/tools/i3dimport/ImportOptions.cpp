#include "ImportOptions.h"

#include <algorithm>

namespace i3dimport {

namespace {

// The rotation that turns the source's up axis into +Y.
Matrix4 upAxisConversion(char upAxis) {
    const float kQuarter = 1.57079632679f;
    switch (upAxis) {
        case 'z':
            return Matrix4::rotationX(-kQuarter);  // +Z up becomes +Y, +Y becomes -Z
        case 'x':
            return Matrix4::rotationZ(kQuarter);  // +X up becomes +Y
        default:
            return Matrix4::identity();
    }
}

void scaleScene(ImportScene& scene, float s) {
    for (ImportNode& node : scene.nodes) {
        node.local.setTranslation(node.local.getTranslation() * s);
    }
    for (ImportMesh& mesh : scene.meshes) {
        for (Vector3& p : mesh.positions) {
            p = p * s;
        }
    }
    for (ImportCamera& camera : scene.cameras) {
        camera.nearClip *= s;
        camera.farClip *= s;
    }
    for (ImportLight& light : scene.lights) {
        light.range *= s;
    }
    for (ImportClip& clip : scene.clips) {
        for (ImportTrack& track : clip.tracks) {
            for (ImportKey& key : track.keys) {
                key.translation = key.translation * s;
            }
        }
    }
}

// The conversion is put in front of the transforms of the root's children,
// and of their keys, so the whole scene turns with them.
void convertUpAxis(ImportScene& scene, char upAxis) {
    const Matrix4 conversion = upAxisConversion(upAxis);
    if (scene.nodes.empty() || conversion == Matrix4::identity()) {
        return;
    }
    // A root that only groups its children passes the conversion on to
    // them; a root with content or keys of its own takes it itself. So does
    // the frame a skin is bound in when that is the root: the skinned shape
    // and its bones must keep sharing it.
    const ImportNode& root = scene.nodes[0];
    bool rootNeeded = false;
    for (const ImportClip& clip : scene.clips) {
        for (const ImportTrack& track : clip.tracks) {
            rootNeeded = rootNeeded || track.node == 0;
        }
    }
    for (const ImportMesh& mesh : scene.meshes) {
        rootNeeded = rootNeeded || (!mesh.bones.empty() && scene.nodes[mesh.bones[0]].parent <= 0);
    }
    std::vector<uint32_t> top = root.children;
    if (root.mesh >= 0 || root.camera >= 0 || root.light >= 0 || rootNeeded ||
        !(root.local == Matrix4::identity())) {
        top.assign(1, 0);
    }
    for (uint32_t node : top) {
        scene.nodes[node].local = conversion * scene.nodes[node].local;
    }
    for (ImportClip& clip : scene.clips) {
        for (ImportTrack& track : clip.tracks) {
            if (std::find(top.begin(), top.end(), track.node) == top.end()) {
                continue;
            }
            for (ImportKey& key : track.keys) {
                float time = key.timeMs;
                decomposeMatrix(conversion * keyMatrix(key), key);
                key.timeMs = time;
            }
        }
    }
}

// Calls `apply` on every node called `name`; none found is a warning.
template <typename Apply>
void forNodesNamed(ImportScene& scene, const std::string& name, const char* option, Apply apply) {
    bool found = false;
    for (ImportNode& node : scene.nodes) {
        if (node.name == name) {
            found = true;
            if (node.camera >= 0 || node.light >= 0) {
                scene.warnings.push_back("node " + name + ": " + option +
                                         " needs a transform group or shape; a camera or light "
                                         "cannot carry rigid body attributes");
                continue;
            }
            apply(node);
        }
    }
    if (!found) {
        scene.warnings.push_back(std::string(option) + " " + name + ": no node of that name");
    }
}

}  // namespace

void applyImportOptions(ImportScene& scene, const ImportOptions& options) {
    if (options.scale != 1.0f) {
        scaleScene(scene, options.scale);
    }
    convertUpAxis(scene, options.upAxis);

    for (const std::string& name : options.subdivisionMeshes) {
        bool found = false;
        for (ImportMesh& mesh : scene.meshes) {
            if (name == "*" || mesh.name == name) {
                found = true;
                if (mesh.name.compare(0, 5, "subd_") != 0) {
                    mesh.name = "subd_" + mesh.name;
                }
            }
        }
        if (!found) {
            scene.warnings.push_back("--subd " + name + ": no mesh of that name");
        }
    }
    for (const std::string& name : options.staticNodes) {
        forNodesNamed(scene, name, "--static",
                      [](ImportNode& node) { node.body = ImportNode::Body::Static; });
    }
    for (const std::string& name : options.dynamicNodes) {
        forNodesNamed(scene, name, "--dynamic",
                      [](ImportNode& node) { node.body = ImportNode::Body::Dynamic; });
    }
    // Named pairs rather than structured bindings: clang before 16 cannot
    // capture those in the lambda.
    for (const auto& entry : options.collisionMasks) {
        const std::string& name = entry.first;
        const auto mask = entry.second;
        forNodesNamed(scene, name, "--collision-mask", [&](ImportNode& node) {
            node.collisionMask = mask;
            if (node.body == ImportNode::Body::None) {
                scene.warnings.push_back("node " + name +
                                         ": a collision mask needs --static or --dynamic; "
                                         "the node is made static");
                node.body = ImportNode::Body::Static;
            }
        });
    }
}

}  // namespace i3dimport
