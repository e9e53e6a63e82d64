// The limits of pixel shader 2.0 checked on assembled byte code. Every device the library
// takes as shader-capable has at least pixel shader 2.0, so every built-in pixel shader must
// run there: shaderasm refuses a pixel shader that declares a later model or does not fit
// (the assemblers it uses under Wine do not check either).
//
// ps_2_0: 64 arithmetic and 32 texture instruction slots; temporaries r0-r11, constants
// c0-c31, texture coordinates t0-t7, samplers s0-s15; sources swizzled only as they are or
// one component replicated, modified at most by negation; an instruction reads at most two
// constant registers and one texture-coordinate register; no flow control.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace ps20 {

struct COUNTS {
  int arithmetic = 0, texture = 0;
};

// Arithmetic slots of a ps_2_0 instruction; 0 for the declarations, -1 for an opcode that
// ps_2_0 does not have. Texture instructions are counted apart.
inline int ArithmeticSlots(uint32_t op) {
  switch (op) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10: case 11:
    case 14: case 15: case 19: case 35: case 88:  // nop mov add sub mad mul rcp rsq dp3 dp4 min max exp log frc abs cmp
      return 1;
    case 18: case 24: case 33: case 90:  // lrp m3x2 crs dp2add
      return 2;
    case 21: case 23: case 32: case 36:  // m4x3 m3x3 pow nrm
      return 3;
    case 20: case 22:  // m4x4 m3x4
      return 4;
    case 37:  // sincos
      return 8;
    case 31: case 81:  // dcl def
      return 0;
    default:
      return -1;
  }
}

inline bool IsTextureInstruction(uint32_t op) { return op == 65 || op == 66; }  // texkill, texld

// Register type of a parameter token (bits 28-30 and 11-12).
inline uint32_t RegisterType(uint32_t token) { return (token >> 28 & 7) | (token >> 8 & 0x18); }
inline uint32_t RegisterNumber(uint32_t token) { return token & 0x7FF; }

enum { REG_TEMP = 0, REG_INPUT = 1, REG_CONST = 2, REG_TEXTURE = 3, REG_SAMPLER = 10 };

// Distinct register numbers among up to four.
struct REGISTER_SET {
  uint32_t numbers[4];
  int count = 0;
  void Add(uint32_t n) {
    for (int i = 0; i < count; i++)
      if (numbers[i] == n) return;
    if (count < 4) numbers[count++] = n;
  }
};

// "" when the byte code is a pixel shader that pixel shader 2.0 runs (or not a pixel shader at
// all: vertex shaders are not checked); else why not. The counts so far are returned either way.
inline std::string Check(const uint32_t* code, size_t words, COUNTS* counts) {
  COUNTS& c = *counts;
  c = COUNTS();
  char text[160];
  if (words < 2) return "no byte code";
  uint32_t version = code[0];
  if ((version & 0xFFFF0000u) != 0xFFFF0000u) return "";  // a vertex shader
  if ((version & 0xFFFF) > 0x0200) {
    snprintf(text, sizeof text, "pixel shader model %u.%u, not 2.0", (unsigned)(version >> 8 & 0xFF),
             (unsigned)(version & 0xFF));
    return text;
  }
  for (size_t i = 1; i < words;) {
    uint32_t token = code[i], op = token & 0xFFFF;
    if (op == 0xFFFF) {
      if (c.arithmetic > 64) {
        snprintf(text, sizeof text, "%d arithmetic instruction slots, ps_2_0 allows 64", c.arithmetic);
        return text;
      }
      if (c.texture > 32) {
        snprintf(text, sizeof text, "%d texture instructions, ps_2_0 allows 32", c.texture);
        return text;
      }
      return "";
    }
    if (op == 0xFFFE) {  // comment block
      i += 1 + (token >> 16 & 0x7FFF);
      continue;
    }
    size_t length = token >> 24 & 0xF;
    const uint32_t* params = code + i + 1;
    snprintf(text, sizeof text, "instruction %u at word %u: ", (unsigned)op, (unsigned)i);
    std::string at = text;
    if (i + 1 + length > words) return at + "runs past the end";
    if (IsTextureInstruction(op)) {
      c.texture++;
    } else {
      int slots = ArithmeticSlots(op);
      if (slots < 0) return at + "not a ps_2_0 instruction";
      c.arithmetic += slots;
    }
    i += 1 + length;
    if (op == 31 || length == 0) continue;  // dcl
    if (op == 81) {  // def: the constant register it defines
      if (RegisterNumber(params[0]) > 31) return at + "constant beyond c31";
      continue;
    }
    // The destination, then the sources.
    if (RegisterType(params[0]) == REG_TEMP && RegisterNumber(params[0]) > 11) return at + "temporary beyond r11";
    REGISTER_SET constants, coordinates;
    for (size_t k = 1; k < length; k++) {
      uint32_t s = params[k], type = RegisterType(s), number = RegisterNumber(s);
      uint32_t swizzle = s >> 16 & 0xFF, modifier = s >> 24 & 0xF;
      if (s & 0x2000) return at + "relative addressing";
      if (type != REG_SAMPLER && swizzle != 0xE4 && swizzle != 0x00 && swizzle != 0x55 && swizzle != 0xAA &&
          swizzle != 0xFF)
        return at + "a swizzle that is neither plain nor one replicated component";
      if (modifier > 1) return at + "a source modifier other than negation";
      if (type == REG_TEMP && number > 11) return at + "temporary beyond r11";
      if (type == REG_CONST && number > 31) return at + "constant beyond c31";
      if (type == REG_TEXTURE && number > 7) return at + "texture coordinate beyond t7";
      if (type == REG_CONST) constants.Add(number);
      if (type == REG_TEXTURE) coordinates.Add(number);
    }
    if (constants.count > 2) return at + "reads more than two constant registers";
    if (coordinates.count > 1) return at + "reads more than one texture-coordinate register";
  }
  return "no end token";
}

}  // namespace ps20
