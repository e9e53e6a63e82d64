// Every built-in pixel shader runs on a pixel shader 2.0 device: the build's check of assembled
// byte code against ps_2_0's limits (tools/shaderasm/ps20_limits.h) on hand-made programs at
// and past each limit, and over every shader the library embeds (the 2D shaders, the filter
// archive, the RGBA-mix pack).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../../tools/shaderasm/ps20_limits.h"
#include "core/memory.h"
#include "file/kva_archive.h"
#include "graphics/device/device_resources.h"
#include "real_device.h"

namespace {
// Token builders: destination r/oC with a full mask, sources with a swizzle and modifier.
enum { R_TEMP = 0, R_CONST = 2, R_TEXCOORD = 3, R_COLOR_OUT = 8, R_SAMPLER = 10 };
uint32_t Register(uint32_t type, uint32_t number) { return 0x80000000u | (type & 7) << 28 | (type & 0x18) << 8 | number; }
uint32_t Dest(uint32_t type, uint32_t number) { return Register(type, number) | 0x000F0000u; }
uint32_t Source(uint32_t type, uint32_t number, uint32_t swizzle = 0xE4, uint32_t modifier = 0) {
  return Register(type, number) | swizzle << 16 | modifier << 24;
}
uint32_t Op(uint32_t opcode, uint32_t length) { return opcode | length << 24; }

struct PROGRAM {
  std::vector<uint32_t> words;
  explicit PROGRAM(uint32_t version = 0xFFFF0200) {
    words = {version, Op(31, 2), 0x80000000u, Register(R_TEXCOORD, 0) | 0x00030000u, Op(31, 2), 0x90000000u,
             Register(R_SAMPLER, 0) | 0x000F0000u};
  }
  PROGRAM& Add(uint32_t count, uint32_t a = Source(R_TEXCOORD, 0), uint32_t b = Source(R_CONST, 0)) {
    for (uint32_t i = 0; i < count; i++) words.insert(words.end(), {Op(2, 3), Dest(R_TEMP, 0), a, b});
    return *this;
  }
  PROGRAM& Texld(uint32_t count) {
    for (uint32_t i = 0; i < count; i++)
      words.insert(words.end(), {Op(66, 3), Dest(R_TEMP, 1), Source(R_TEXCOORD, 0), Source(R_SAMPLER, 0)});
    return *this;
  }
  PROGRAM& Raw(std::vector<uint32_t> tokens) {
    words.insert(words.end(), tokens.begin(), tokens.end());
    return *this;
  }
  std::vector<uint32_t> End() {
    std::vector<uint32_t> w = words;
    w.insert(w.end(), {Op(1, 2), Dest(R_COLOR_OUT, 0), Source(R_TEMP, 0), 0x0000FFFFu});
    return w;
  }
};

std::string Check(const std::vector<uint32_t>& words, ps20::COUNTS* counts = nullptr) {
  ps20::COUNTS c;
  std::string result = ps20::Check(words.data(), words.size(), &c);
  if (counts != nullptr) *counts = c;
  return result;
}

TEST(Ps20Limits, ProgramsAtEachLimitPassAndPastItAreRefused) {
  struct CASE {
    const char* name;
    std::vector<uint32_t> words;
    bool runs;
  } cases[] = {
      {"63 adds and the output move: 64 slots", PROGRAM().Add(63).End(), true},
      {"64 adds and the output move: 65 slots", PROGRAM().Add(64).End(), false},
      {"pow takes three slots: 61 + 3", PROGRAM().Add(60).Raw({Op(32, 3), Dest(R_TEMP, 0), Source(R_TEMP, 0, 0), Source(R_CONST, 1, 0)}).End(), true},
      {"pow takes three slots: 62 + 3", PROGRAM().Add(61).Raw({Op(32, 3), Dest(R_TEMP, 0), Source(R_TEMP, 0, 0), Source(R_CONST, 1, 0)}).End(), false},
      {"32 texture reads", PROGRAM().Texld(32).End(), true},
      {"33 texture reads", PROGRAM().Texld(33).End(), false},
      {"a comment block is no instruction", PROGRAM().Raw({0xFFFE | 2 << 16, 0x41414141, 0x42424242}).Add(63).End(), true},
      {"ps_2_x", PROGRAM(0xFFFF0201).End(), false},
      {"ps_3_0", PROGRAM(0xFFFF0300).End(), false},
      {"a vertex shader is not checked", PROGRAM(0xFFFE0300).Add(100).End(), true},
      {"a replicated component", PROGRAM().Add(1, Source(R_TEXCOORD, 0, 0x55)).End(), true},
      {"an arbitrary swizzle", PROGRAM().Add(1, Source(R_TEXCOORD, 0, 0x1B)).End(), false},
      {"a negated source", PROGRAM().Add(1, Source(R_TEXCOORD, 0), Source(R_CONST, 0, 0xE4, 1)).End(), true},
      {"an absolute-value source", PROGRAM().Add(1, Source(R_TEXCOORD, 0), Source(R_CONST, 0, 0xE4, 0xB)).End(), false},
      {"two constants in a mad", PROGRAM().Raw({Op(4, 4), Dest(R_TEMP, 0), Source(R_TEMP, 0), Source(R_CONST, 1), Source(R_CONST, 1)}).End(), true},
      {"three constants in a mad", PROGRAM().Raw({Op(4, 4), Dest(R_TEMP, 0), Source(R_CONST, 0), Source(R_CONST, 1), Source(R_CONST, 2)}).End(), false},
      {"two texture coordinates", PROGRAM().Add(1, Source(R_TEXCOORD, 0), Source(R_TEXCOORD, 1)).End(), false},
      {"r11", PROGRAM().Raw({Op(1, 2), Dest(R_TEMP, 11), Source(R_TEMP, 0)}).End(), true},
      {"r12", PROGRAM().Raw({Op(1, 2), Dest(R_TEMP, 12), Source(R_TEMP, 0)}).End(), false},
      {"c32", PROGRAM().Add(1, Source(R_TEXCOORD, 0), Source(R_CONST, 32)).End(), false},
      {"a loop", PROGRAM().Raw({Op(27, 2), 0xF0E40000u, 0x8000000Au}).End(), false},
      {"no end token", [] { std::vector<uint32_t> w = PROGRAM().End(); w.pop_back(); return w; }(), false},
      {"an instruction past the end", PROGRAM().Raw({Op(2, 3), Dest(R_TEMP, 0)}).words, false},
  };
  for (const CASE& c : cases) {
    std::string result = Check(c.words);
    EXPECT_EQ(result.empty(), c.runs) << c.name << ": " << result;
  }
  ps20::COUNTS counts;
  ASSERT_EQ(Check(PROGRAM().Add(10).Texld(3).Raw({Op(37, 3), Dest(R_TEMP, 0), Source(R_TEMP, 0, 0), Source(R_CONST, 1)}).End(), &counts), "");
  EXPECT_EQ(counts.arithmetic, 10 + 8 + 1);
  EXPECT_EQ(counts.texture, 3);
}

class EmbeddedShaders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRealDevice(); }
  static void TearDownTestSuite() { EndRealDevice(); }
};

// "" or the first shader of the archive that pixel shader 2.0 would not run, with the reason.
std::string CheckArchive(KVA_ARCHIVE* archive, int* checked) {
  const uint8_t* image = (const uint8_t*)GetKvaMemoryImage(archive);
  if (image == nullptr) return "no archive";
  FILE_FIND_DATA data;
  KVA_FIND* find = FindFirstKvaEntry(archive, "*", &data);
  if (find == nullptr) return "an empty archive";
  std::vector<std::string> names;
  do {
    if (!data.directory) names.push_back(data.name);
  } while (NextKvaFindEntry(find, &data) == 0 && ++find->nextIndex != 0);
  FreeTracked(find);
  for (const std::string& name : names) {
    int offset = 0, size = 0;
    if (GetKvaFileLocation(archive, name.c_str(), &offset, &size) != 0 || size % 4 != 0)
      return name + ": not whole byte code";
    std::vector<uint32_t> words(size / 4);
    memcpy(words.data(), image + offset, size);
    std::string why = Check(words);
    if (!why.empty()) return name + ": " + why;
    (*checked)++;
  }
  return "";
}

TEST_F(EmbeddedShaders, EveryBuiltInPixelShaderFitsPixelShader20) {
  ASSERT_TRUE(BuiltInShaderCode.loaded);
  int filters = 0, others = 0;
  EXPECT_EQ(CheckArchive(&BuiltInShaderCode.archiveFilter, &filters), "");
  EXPECT_EQ(CheckArchive(&BuiltInShaderCode.archive2D, &others), "");
  // The filter archive: 20 filter files, 16 basic blends, the general and 16 named RGBA mixes.
  EXPECT_EQ(filters, 20 + 16 + 1 + 16);
  EXPECT_GT(others, 64);
  int pack = 0;
  for (int entry = 0; entry < RGBA_MIX_ENTRIES; entry++)
    for (int slot = 0; slot < 4; slot++) {
      const uint8_t* code = BuiltInShaderCode.rgbaMixCode[entry][slot];
      int size = BuiltInShaderCode.rgbaMixSizes[entry][slot];
      ASSERT_TRUE(code != nullptr && size > 0 && size % 4 == 0) << entry * 4 + slot;
      std::vector<uint32_t> words(size / 4);
      memcpy(words.data(), code, size);
      EXPECT_EQ(Check(words), "") << "pack entry " << entry * 4 + slot;
      pack++;
    }
  EXPECT_EQ(pack, 256);
}
}  // namespace
