#pragma once
// Parameter blocks: register values for one shader stage, set by name or
// register index and applied to the stage's register array in one go.

#include <string>
#include <unordered_map>
#include <vector>

#include "base/device/IGpuResources.h"

// A shader's parameters (name → first register) and sampler names.
class ShaderParameterMap {
public:
    void clearParameters();
    void addParameter(const std::string& name, int index);
    void setParameters(const ShaderParameterList& parameters);
    void clearSamplers() { m_samplers.clear(); }
    void addSampler(const std::string& name) { m_samplers.push_back(name); }
    // -1 when unknown.
    int getIndex(const char* name) const;
    const ShaderParameterList& getParameters() const { return m_list; }
    const std::vector<std::string>& getSamplers() const { return m_samplers; }

private:
    ShaderParameterList m_list;
    std::unordered_map<std::string, int> m_lookup;
    std::vector<std::string> m_samplers;
};

class ShaderParameters : public IShaderParameters {
public:
    struct Entry {
        bool set = false;
        float value[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    };
    // Registers above this are refused, so that a wild index cannot make a
    // block allocate without bound.
    static constexpr int kMaxRegisters = 4096;

    explicit ShaderParameters(const ShaderParameterMap& map) : m_map(&map) {}

    int setVector(const char* name, const float* v) override;
    void setVector(int index, const float* v) override;
    int setVectorArray(const char* name, const float* v, int count) override;
    void setVectorArray(int index, const float* v, int count) override;
    int setMatrix(const char* name, const float* m) override;
    void setMatrix(int index, const float* m) override;
    int setMatrixArray(const char* name, const float* m, int count) override;
    void setMatrixArray(int index, const float* m, int count) override;
    int setSecondaryVector(const char* name, const float* v) override;
    void setSecondaryVector(int index, const float* v) override;
    int setSecondaryVectorArray(const char* name, const float* v, int count) override;
    void setSecondaryVectorArray(int index, const float* v, int count) override;
    void setTransposeMatrices(bool transpose) override { m_transpose = transpose; }
    bool getTransposeMatrices() const override { return m_transpose; }
    int getIndex(const char* name) const override { return m_map->getIndex(name); }
    const ShaderParameterList& getParameters() const override { return m_map->getParameters(); }
    const std::vector<std::string>& getSamplerNames() const override {
        return m_map->getSamplers();
    }

    const std::vector<Entry>& getEntries() const { return m_entries; }
    const std::vector<Entry>& getSecondaryEntries() const { return m_secondary; }
    // Whether the block was made for this map (blocks are tied to a shader).
    bool belongsTo(const ShaderParameterMap& map) const { return m_map == &map; }

private:
    const ShaderParameterMap* m_map;
    bool m_transpose = true;
    std::vector<Entry> m_entries;
    std::vector<Entry> m_secondary;
};
