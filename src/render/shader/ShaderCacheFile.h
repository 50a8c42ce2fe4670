#pragma once
// Shader cache files: one compiled stage as XML, the GLSL text in a CDATA
// block and the reflection the device needs to use it without compiling
// (register count, parameter registers, sampler units):
//
//     <?xml version="1.0" encoding="iso-8859-1"?>
//
//     <ShaderCache>
//       <ShaderCode type="glsl" registers="42"><![CDATA[...]]>
//       </ShaderCode>
//
//       <Parameters>
//         <Parameter name="In.modelMatrix" index="0" count="3" type="15"/>
//       </Parameters>
//
//       <Samplers>
//         <Sampler name="In.samplers.baseMap" glsl="s_..." unit="0" kind="0"/>
//       </Samplers>
//
//     </ShaderCache>

#include <string>

#include "shaderlang/compiler/ShaderInterface.h"

struct ShaderCacheEntry {
    std::string glsl;
    shaderinterface::Reflection reflection;
};

// What a loaded file may claim: larger register counts or units are refused.
struct ShaderCacheLimits {
    int maxRegisters = 4096;
    int maxTextureUnits = 16;
};

// The file text of an entry.
std::string formatShaderCacheFile(const ShaderCacheEntry& entry);

// Reads a cache file through the file system. False (with a log line) when
// it cannot be parsed, has another code type, or its reflection does not
// fit its register count or the limits.
bool readShaderCacheFile(const std::string& path, shaderinterface::Stage stage,
                         const ShaderCacheLimits& limits, ShaderCacheEntry& entry);

// Writes the text into a temporary file beside `path` and renames it over
// `path`, so that a reader never sees half a file. False when either step
// fails.
bool writeFileAtomically(const std::string& path, const std::string& text);
