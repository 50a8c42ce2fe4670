#pragma once
// Model files in the formats the tests cannot write by hand (FBX, Collada):
// a file the tests wrote is read and written again by Assimp's exporter.

#include <string>

namespace testsupport {

// Reads `input` and writes it to `output` in the exporter's format `formatId`
// ("fbxa", "collada", ...), without its animations unless `animations`.
// False with the library's message in `error` when either step fails.
bool exportModel(const std::string& input, const std::string& output, const std::string& formatId,
                 bool animations, std::string& error);

}  // namespace testsupport
