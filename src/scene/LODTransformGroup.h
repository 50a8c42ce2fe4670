#pragma once
// A transform group whose children are levels of detail: child i takes over
// from child i - 1 at switch distance i.

#include <array>
#include <vector>

#include "scene/TransformGroup.h"

class LODTransformGroup : public TransformGroup {
public:
    static constexpr size_t kNumDistances = 8;

    // Fewer than two distances give 0 followed by seven times 100; otherwise
    // the first eight are kept and the last one repeats to fill the slots.
    LODTransformGroup(const std::string& name, const std::vector<float>& distances);

    // Scripts see it as a transform group.
    const char* getClassName() const override { return "TransformGroup"; }
    std::unique_ptr<TransformGroup> createCopy() const override;

    const std::array<float, kNumDistances>& getDistances() const { return m_distances; }

private:
    std::array<float, kNumDistances> m_distances{};
};
