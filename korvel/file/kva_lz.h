// The library's LZ block format (used by compressed archive entries and by data blocks kept
// compressed in the program). Portable: compiled into the library and into tools/kvapack.
//
// Block: u32 decoded size, u32 encoded size (header included), escape byte E, code stream.
// Items: a byte other than E is a literal; E E is the literal E; E c is a back-reference
// whose length and distance-field width are packed in c (see kva_lz.cpp).
#pragma once
#include <cstdint>

enum { KVA_LZ_HEADER_SIZE = 9, KVA_LZ_MIN_LENGTH = 4, KVA_LZ_MAX_LENGTH = 8195 };
static const uint32_t KVA_LZ_MAX_DISTANCE = 1u << 24;

// Decodes the block (blockSize bytes available at block) into output (outputSize bytes).
// With a null output only the header is checked and the decoded size returned. Returns the
// decoded size, or -1 when the block is damaged: an encoded size beyond the block, an item
// running past the code stream, a reference before the start of the output, output beyond
// the decoded size or outputSize, fewer bytes than the decoded size, or selector 3.
int DecodeKvaLz(const void* block, uint32_t blockSize, void* output, uint32_t outputSize);
