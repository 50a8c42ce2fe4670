#include "base/device/ShaderParameters.h"

#include <cstring>

void ShaderParameterMap::clearParameters() {
    m_list.clear();
    m_lookup.clear();
}

void ShaderParameterMap::addParameter(const std::string& name, int index) {
    auto [it, inserted] = m_lookup.emplace(name, index);
    if (!inserted) {
        it->second = index;
        for (auto& entry : m_list) {
            if (entry.first == name) {
                entry.second = index;
            }
        }
        return;
    }
    m_list.emplace_back(name, index);
}

void ShaderParameterMap::setParameters(const ShaderParameterList& parameters) {
    clearParameters();
    for (const auto& [name, index] : parameters) {
        addParameter(name, index);
    }
}

int ShaderParameterMap::getIndex(const char* name) const {
    if (!name) {
        return -1;
    }
    auto it = m_lookup.find(name);
    return it == m_lookup.end() ? -1 : it->second;
}

namespace {

using Entry = ShaderParameters::Entry;

void writeEntries(std::vector<Entry>& table, int index, const float* v, int count) {
    if (index < 0 || count <= 0 || !v || index + count > ShaderParameters::kMaxRegisters) {
        return;
    }
    if (table.size() < static_cast<size_t>(index + count)) {
        table.resize(index + count);
    }
    for (int i = 0; i < count; ++i) {
        Entry& entry = table[index + i];
        entry.set = true;
        std::memcpy(entry.value, v + 4 * i, sizeof(entry.value));
    }
}

}  // namespace

void ShaderParameters::setVector(int index, const float* v) {
    writeEntries(m_entries, index, v, 1);
}

int ShaderParameters::setVector(const char* name, const float* v) {
    int index = getIndex(name);
    if (index >= 0) {
        setVector(index, v);
    }
    return index;
}

void ShaderParameters::setVectorArray(int index, const float* v, int count) {
    writeEntries(m_entries, index, v, count);
}

int ShaderParameters::setVectorArray(const char* name, const float* v, int count) {
    int index = getIndex(name);
    if (index >= 0) {
        setVectorArray(index, v, count);
    }
    return index;
}

void ShaderParameters::setMatrix(int index, const float* m) {
    setMatrixArray(index, m, 1);
}

int ShaderParameters::setMatrix(const char* name, const float* m) {
    return setMatrixArray(name, m, 1);
}

void ShaderParameters::setMatrixArray(int index, const float* m, int count) {
    if (!m) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        const float* matrix = m + 16 * i;
        if (!m_transpose) {
            writeEntries(m_entries, index + 4 * i, matrix, 4);
            continue;
        }
        float rows[16];
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 4; ++column) {
                rows[row * 4 + column] = matrix[column * 4 + row];
            }
        }
        writeEntries(m_entries, index + 4 * i, rows, 4);
    }
}

int ShaderParameters::setMatrixArray(const char* name, const float* m, int count) {
    int index = getIndex(name);
    if (index >= 0) {
        setMatrixArray(index, m, count);
    }
    return index;
}

void ShaderParameters::setSecondaryVector(int index, const float* v) {
    writeEntries(m_secondary, index, v, 1);
}

int ShaderParameters::setSecondaryVector(const char* name, const float* v) {
    int index = getIndex(name);
    if (index >= 0) {
        setSecondaryVector(index, v);
    }
    return index;
}

void ShaderParameters::setSecondaryVectorArray(int index, const float* v, int count) {
    writeEntries(m_secondary, index, v, count);
}

int ShaderParameters::setSecondaryVectorArray(const char* name, const float* v, int count) {
    int index = getIndex(name);
    if (index >= 0) {
        setSecondaryVectorArray(index, v, count);
    }
    return index;
}
