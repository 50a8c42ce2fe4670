#pragma once
// MD5 digests (RFC 1321): the archive key and the shader cache file names.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

std::array<uint8_t, 16> md5Digest(const void* data, size_t size);
// Lowercase hexadecimal text of the digest, 32 characters.
std::string md5Hex(const void* data, size_t size);
