#include "scene/Clone.h"

#include <unordered_set>
#include <vector>

#include "foundation/Log.h"
#include "scene/Shape.h"

namespace {

// The copy of `source` with its copied children, or none when it was copied
// already (present in the map) or is no transform group.
TransformGroup* copyRecursive(Node& source, CloneMap& map, std::vector<Shape*>& shapes) {
    if (!source.hasKind(EntityKind::TransformGroup) || map.count(&source) != 0) {
        return nullptr;
    }
    auto& group = static_cast<TransformGroup&>(source);
    std::unique_ptr<TransformGroup> copy = group.createCopy();
    copy->copyTransformGroupState(group);
    if (const PhysicsObject* physics = group.getPhysicsObject()) {
        copy->setPhysicsObject(physics->cloneFor(*copy));
    }
    TransformGroup* raw = copy.release();
    map[&source] = raw;
    if (source.hasKind(EntityKind::Shape)) {
        shapes.push_back(static_cast<Shape*>(&group));
    }
    for (Node* child : source.getChildren()) {
        if (TransformGroup* childCopy = copyRecursive(*child, map, shapes)) {
            raw->addChild(childCopy);
        }
    }
    return raw;
}

bool mapBones(const Shape& shape, const CloneMap& map, std::vector<RawTransformGroup*>& mapped) {
    mapped.clear();
    for (RawTransformGroup* bone : shape.getBones()) {
        auto it = map.find(bone);
        if (it == map.end()) {
            return false;
        }
        mapped.push_back(it->second);
    }
    return true;
}

}  // namespace

std::unique_ptr<TransformGroup> cloneSubtree(Node& source) {
    CloneMap map;
    std::vector<Shape*> shapes;
    std::unique_ptr<TransformGroup> root(copyRecursive(source, map, shapes));
    if (!root) {
        return nullptr;
    }
    std::vector<RawTransformGroup*> mapped;
    // Cloning bone subtrees can meet further shapes; walk by index.
    for (size_t i = 0; i < shapes.size(); ++i) {
        Shape* original = shapes[i];
        if ((original->getShapeFlags() & Shape::kSkinned) == 0) {
            continue;
        }
        auto* copy = static_cast<Shape*>(map[original]);
        bool complete = mapBones(*original, map, mapped);
        if (!complete) {
            RawTransformGroup* firstBone = original->getBones()[0];
            Node* boneParent = firstBone->getParent();
            if (map.count(firstBone) == 0 && boneParent != nullptr) {
                if (TransformGroup* boneCopy = copyRecursive(*firstBone, map, shapes)) {
                    boneParent->addChild(boneCopy);
                }
                complete = mapBones(*original, map, mapped);
            }
        }
        if (complete) {
            copy->bindSkin(mapped);
        } else {
            copy->clearShapeFlags(Shape::kSkinned);
            Log::get() << "Skinned shape cloning failed. Not all transforms have been cloned: "
                       << copy->getName() << "\n";
        }
    }
    // Each animation met is copied once and bound to the copies of its
    // nodes, which hold it by reference.
    std::unordered_set<NodeAnimation*> animations;
    for (const auto& entry : map) {
        if (entry.first->hasKind(EntityKind::RawTransformGroup)) {
            auto* original = static_cast<const RawTransformGroup*>(entry.first);
            if (NodeAnimation* animation = original->getAnimation()) {
                animations.insert(animation);
            }
        }
    }
    for (NodeAnimation* animation : animations) {
        animation->cloneFor(map);
    }
    return root;
}
