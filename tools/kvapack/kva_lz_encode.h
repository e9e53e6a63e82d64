// LZ encoder for the library's block format (the library itself only decodes).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Encodes size bytes into one complete block (header included).
std::vector<uint8_t> EncodeKvaLz(const uint8_t* data, size_t size);
