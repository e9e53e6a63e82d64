// The pixel rule of the CPU renderer: every blend mode on both pixel types with plain, tinted,
// blend-graph and alpha sources; the worked cases; the MMX short cuts against the plain ones.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "softrender_fixture.h"

namespace {

struct BlendCase {
  int bits;         // 32 or 565
  int mode, param;
  uint32_t target;  // target pixel before the draw
  uint32_t source;  // source pixel (alpha sources: alpha in byte 3, or bits 16-23 for RGB565)
  uint32_t tint;
  int weight;       // blend-graph weight, -1 without blend graph
  int alpha;        // alpha source
  int trans;        // TransFlag
  uint32_t expected;
  const char* name;
};

// Expected values computed from the arithmetic by an independent model (integer formulas, no
// tables), for a few target, source, parameter, tint and weight sets including the extremes.
// Rows named stretch_* go through the stretched blit, the others through the blit.
const BlendCase kBlendCases[] = {
    {32, 0, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0x5CE17A4A, "plain"},
    {32, 0, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, -1, 0, 0, 0xAB385F25, "tint"},
    {32, 0, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, 176, 0, 0, 0xABAB927F, "graph"},
    {32, 0, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, 176, 1, 0, 0xAB63B3C7, "alpha_graph"},
    {32, 0, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, 176, 0, 0, 0xAB377F66, "graph_tint"},
    {32, 0, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, -1, 1, 0, 0xAB369EA3, "alpha_tint"},
    {32, 0, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, 176, 1, 0, 0xAB35ABBD, "alpha_graph_tint"},
    {32, 0, 100, 0xAB35C8F5, 0xFFE17A4A, 0xFFFFFF, -1, 1, 1, 0xFFE17A4A, "alpha_trans255"},
    {32, 0, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, -1, 1, 0, 0x64E17A4A, "alpha_copy"},
    {32, 1, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0xAB78A9B2, "plain"},
    {32, 1, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, -1, 0, 0, 0xAB369EA3, "tint"},
    {32, 1, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, 176, 0, 0, 0xAB63B3C7, "graph"},
    {32, 1, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, -1, 1, 0, 0xAB4FBCDA, "alpha"},
    {32, 1, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, 176, 1, 0, 0xAB47BFE3, "alpha_graph"},
    {32, 1, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, 176, 0, 0, 0xAB35ABBD, "graph_tint"},
    {32, 1, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, -1, 1, 0, 0xAB35B7D5, "alpha_tint"},
    {32, 1, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, 176, 1, 0, 0xAB35BCDF, "alpha_graph_tint"},
    {32, 1, 100, 0xAB35C8F5, 0xFFE17A4A, 0xFFFFFF, -1, 1, 1, 0xAB78A9B2, "alpha_trans255"},
    {32, 2, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0x008DF7FF, "plain"},
    {32, 2, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, -1, 0, 0, 0x0049EDFF, "tint"},
    {32, 2, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, 176, 0, 0, 0x0071E9FF, "graph"},
    {32, 2, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, -1, 1, 0, 0x0057DBFF, "alpha"},
    {32, 2, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, 176, 1, 0, 0x004BD4FC, "alpha_graph"},
    {32, 2, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, 176, 0, 0, 0x0043E1FE, "graph_tint"},
    {32, 2, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, -1, 1, 0, 0x003DD6FA, "alpha_tint"},
    {32, 2, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, 176, 1, 0, 0x0039D1F8, "alpha_graph_tint"},
    {32, 2, 100, 0xAB35C8F5, 0xFFE17A4A, 0xFFFFFF, -1, 1, 1, 0x008DF7FF, "alpha_trans255"},
    {32, 3, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0x00009BD8, "plain"},
    {32, 3, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, -1, 0, 0, 0x0021A5E7, "tint"},
    {32, 3, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, 176, 0, 0, 0x0000A9E2, "graph"},
    {32, 3, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, -1, 1, 0, 0x0013B7EA, "alpha"},
    {32, 3, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, 176, 1, 0, 0x001FBDEE, "alpha_graph"},
    {32, 3, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, 176, 0, 0, 0x0027B1EC, "graph_tint"},
    {32, 3, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, -1, 1, 0, 0x002DBBF0, "alpha_tint"},
    {32, 3, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, 176, 1, 0, 0x0031C1F2, "alpha_graph_tint"},
    {32, 3, 100, 0xAB35C8F5, 0xFFE17A4A, 0xFFFFFF, -1, 1, 1, 0x00009BD8, "alpha_trans255"},
    {32, 4, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0xAB2E5F46, "plain"},
    {32, 4, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, -1, 0, 0, 0xAB0B4A23, "tint"},
    {32, 4, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, 176, 0, 0, 0xAB204130, "graph"},
    {32, 4, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, -1, 1, 0, 0xAB12251B, "alpha"},
    {32, 4, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, 176, 1, 0, 0xAB0C1913, "alpha_graph"},
    {32, 4, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, 176, 0, 0, 0xAB073318, "graph_tint"},
    {32, 4, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, -1, 1, 0, 0xAB041C0D, "alpha_tint"},
    {32, 4, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, 176, 1, 0, 0xAB031309, "alpha_graph_tint"},
    {32, 4, 100, 0xAB35C8F5, 0xFFE17A4A, 0xFFFFFF, -1, 1, 1, 0xAB2E5F46, "alpha_trans255"},
    {32, 10, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0xAB2CADDC, "plain"},
    {32, 10, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, -1, 0, 0, 0xAB23A2B8, "tint"},
    {32, 10, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, 176, 0, 0, 0xAB2EB6E3, "graph"},
    {32, 10, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, -1, 1, 0, 0xAB31BDEB, "alpha"},
    {32, 10, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, 176, 1, 0, 0xAB32C0EE, "alpha_graph"},
    {32, 10, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, 176, 0, 0, 0xAB28AECB, "graph_tint"},
    {32, 10, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, -1, 1, 0, 0xAB2DB9DD, "alpha_tint"},
    {32, 10, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, 176, 1, 0, 0xAB30BDE4, "alpha_graph_tint"},
    {32, 10, 100, 0xAB35C8F5, 0xFFE17A4A, 0xFFFFFF, -1, 1, 1, 0xAB2CADDC, "alpha_trans255"},
    {32, 11, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0xAB329EB0, "plain"},
    {32, 11, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, -1, 0, 0, 0xAB2496A2, "tint"},
    {32, 11, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, 176, 0, 0, 0xAB33ABC6, "graph"},
    {32, 11, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, -1, 1, 0, 0xAB33B7DA, "alpha"},
    {32, 11, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, 176, 1, 0, 0xAB34BCE2, "alpha_graph"},
    {32, 11, 100, 0xAB35C8F5, 0x5CE17A4A, 0x40C880, 176, 0, 0, 0xAB29A6BC, "graph_tint"},
    {32, 11, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, -1, 1, 0, 0xAB2EB4D4, "alpha_tint"},
    {32, 11, 100, 0xAB35C8F5, 0x64E17A4A, 0x40C880, 176, 1, 0, 0xAB30BADE, "alpha_graph_tint"},
    {32, 11, 100, 0xAB35C8F5, 0xFFE17A4A, 0xFFFFFF, -1, 1, 1, 0xAB329EB0, "alpha_trans255"},
    {565, 0, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x00004CF5, "plain"},
    {565, 0, 100, 0x00009A6B, 0x00004CF5, 0x40C880, -1, 0, 0, 0x000013CA, "tint"},
    {565, 0, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, 176, 0, 0, 0x00006411, "graph"},
    {565, 0, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, 176, 1, 0, 0x0000830D, "alpha_graph"},
    {565, 0, 100, 0x00009A6B, 0x00004CF5, 0x40C880, 176, 0, 0, 0x00003B4A, "graph_tint"},
    {565, 0, 100, 0x00009A6B, 0x00644CF5, 0x40C880, -1, 1, 0, 0x000062EA, "alpha_tint"},
    {565, 0, 100, 0x00009A6B, 0x00644CF5, 0x40C880, 176, 1, 0, 0x000072AA, "alpha_graph_tint"},
    {565, 0, 100, 0x00009A6B, 0x00FF4CF5, 0xFFFFFF, -1, 1, 1, 0x00004CF5, "alpha_trans255"},
    {565, 0, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, -1, 1, 0, 0x00004CF5, "alpha_copy"},
    {565, 1, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x00007B4E, "plain"},
    {565, 1, 100, 0x00009A6B, 0x00004CF5, 0x40C880, -1, 0, 0, 0x00006AEB, "tint"},
    {565, 1, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, 176, 0, 0, 0x0000830D, "graph"},
    {565, 1, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, -1, 1, 0, 0x00008ACC, "alpha"},
    {565, 1, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, 176, 1, 0, 0x00008AAC, "alpha_graph"},
    {565, 1, 100, 0x00009A6B, 0x00004CF5, 0x40C880, 176, 0, 0, 0x000072AA, "graph_tint"},
    {565, 1, 100, 0x00009A6B, 0x00644CF5, 0x40C880, -1, 1, 0, 0x0000828A, "alpha_tint"},
    {565, 1, 100, 0x00009A6B, 0x00644CF5, 0x40C880, 176, 1, 0, 0x00008A8A, "alpha_graph_tint"},
    {565, 1, 100, 0x00009A6B, 0x00FF4CF5, 0xFFFFFF, -1, 1, 1, 0x0000834E, "alpha_trans255"},
    {565, 2, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x0000AC33, "plain"},
    {565, 2, 100, 0x00009A6B, 0x00004CF5, 0x40C880, -1, 0, 0, 0x00009BAE, "tint"},
    {565, 2, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, 176, 0, 0, 0x0000ABB0, "graph"},
    {565, 2, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, -1, 1, 0, 0x00009AEE, "alpha"},
    {565, 2, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, 176, 1, 0, 0x00009AAC, "alpha_graph"},
    {565, 2, 100, 0x00009A6B, 0x00004CF5, 0x40C880, 176, 0, 0, 0x00009B2D, "graph_tint"},
    {565, 2, 100, 0x00009A6B, 0x00644CF5, 0x40C880, -1, 1, 0, 0x00009AEC, "alpha_tint"},
    {565, 2, 100, 0x00009A6B, 0x00644CF5, 0x40C880, 176, 1, 0, 0x00009AAB, "alpha_graph_tint"},
    {565, 2, 100, 0x00009A6B, 0x00FF4CF5, 0xFFFFFF, -1, 1, 1, 0x0000AC33, "alpha_trans255"},
    {565, 3, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x00008883, "plain"},
    {565, 3, 100, 0x00009A6B, 0x00004CF5, 0x40C880, -1, 0, 0, 0x00009908, "tint"},
    {565, 3, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, 176, 0, 0, 0x00008906, "graph"},
    {565, 3, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, -1, 1, 0, 0x000099C8, "alpha"},
    {565, 3, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, 176, 1, 0, 0x00009A0A, "alpha_graph"},
    {565, 3, 100, 0x00009A6B, 0x00004CF5, 0x40C880, 176, 0, 0, 0x00009989, "graph_tint"},
    {565, 3, 100, 0x00009A6B, 0x00644CF5, 0x40C880, -1, 1, 0, 0x000099CA, "alpha_tint"},
    {565, 3, 100, 0x00009A6B, 0x00644CF5, 0x40C880, 176, 1, 0, 0x00009A0B, "alpha_graph_tint"},
    {565, 3, 100, 0x00009A6B, 0x00FF4CF5, 0xFFFFFF, -1, 1, 1, 0x00008883, "alpha_trans255"},
    {565, 4, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x00002967, "plain"},
    {565, 4, 100, 0x00009A6B, 0x00004CF5, 0x40C880, -1, 0, 0, 0x00000903, "tint"},
    {565, 4, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, 176, 0, 0, 0x000018E4, "graph"},
    {565, 4, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, -1, 1, 0, 0x00001082, "alpha"},
    {565, 4, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, 176, 1, 0, 0x00000861, "alpha_graph"},
    {565, 4, 100, 0x00009A6B, 0x00004CF5, 0x40C880, 176, 0, 0, 0x000000C2, "graph_tint"},
    {565, 4, 100, 0x00009A6B, 0x00644CF5, 0x40C880, -1, 1, 0, 0x00000061, "alpha_tint"},
    {565, 4, 100, 0x00009A6B, 0x00644CF5, 0x40C880, 176, 1, 0, 0x00000040, "alpha_graph_tint"},
    {565, 4, 100, 0x00009A6B, 0x00FF4CF5, 0xFFFFFF, -1, 1, 1, 0x00002967, "alpha_trans255"},
    {565, 10, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x0000A28B, "plain"},
    {565, 10, 100, 0x00009A6B, 0x00004CF5, 0x40C880, -1, 0, 0, 0x00007269, "tint"},
    {565, 10, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, 176, 0, 0, 0x00009A8A, "graph"},
    {565, 10, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, -1, 1, 0, 0x00009A6A, "alpha"},
    {565, 10, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, 176, 1, 0, 0x00009A6A, "alpha_graph"},
    {565, 10, 100, 0x00009A6B, 0x00004CF5, 0x40C880, 176, 0, 0, 0x00007A49, "graph_tint"},
    {565, 10, 100, 0x00009A6B, 0x00644CF5, 0x40C880, -1, 1, 0, 0x0000824A, "alpha_tint"},
    {565, 10, 100, 0x00009A6B, 0x00644CF5, 0x40C880, 176, 1, 0, 0x00008A4A, "alpha_graph_tint"},
    {565, 10, 100, 0x00009A6B, 0x00FF4CF5, 0xFFFFFF, -1, 1, 1, 0x0000A28B, "alpha_trans255"},
    {565, 11, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x0000720A, "plain"},
    {565, 11, 100, 0x00009A6B, 0x00004CF5, 0x40C880, -1, 0, 0, 0x000061E8, "tint"},
    {565, 11, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, 176, 0, 0, 0x00007A09, "graph"},
    {565, 11, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, -1, 1, 0, 0x0000822A, "alpha"},
    {565, 11, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, 176, 1, 0, 0x00008A4A, "alpha_graph"},
    {565, 11, 100, 0x00009A6B, 0x00004CF5, 0x40C880, 176, 0, 0, 0x00007208, "graph_tint"},
    {565, 11, 100, 0x00009A6B, 0x00644CF5, 0x40C880, -1, 1, 0, 0x00008229, "alpha_tint"},
    {565, 11, 100, 0x00009A6B, 0x00644CF5, 0x40C880, 176, 1, 0, 0x00008A2A, "alpha_graph_tint"},
    {565, 11, 100, 0x00009A6B, 0x00FF4CF5, 0xFFFFFF, -1, 1, 1, 0x0000720A, "alpha_trans255"},
    {32, 0, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {32, 0, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0xFF000000, "tint"},
    {32, 0, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0xFF000000, "graph"},
    {32, 0, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, 255, 1, 0, 0xFF020202, "alpha_graph"},
    {32, 0, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0xFF000000, "graph_tint"},
    {32, 0, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, -1, 1, 0, 0xFF010101, "alpha_tint"},
    {32, 0, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, 255, 1, 0, 0xFF020202, "alpha_graph_tint"},
    {32, 0, 254, 0xFFFFFFFF, 0xFF000000, 0xFFFFFF, -1, 1, 1, 0xFF000000, "alpha_trans255"},
    {32, 0, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, -1, 1, 0, 0xFE000000, "alpha_copy"},
    {32, 1, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0xFF010101, "plain"},
    {32, 1, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0xFF010101, "tint"},
    {32, 1, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0xFF020202, "graph"},
    {32, 1, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, -1, 1, 0, 0xFF030303, "alpha"},
    {32, 1, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, 255, 1, 0, 0xFF040404, "alpha_graph"},
    {32, 1, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0xFF020202, "graph_tint"},
    {32, 1, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, -1, 1, 0, 0xFF030303, "alpha_tint"},
    {32, 1, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, 255, 1, 0, 0xFF040404, "alpha_graph_tint"},
    {32, 1, 254, 0xFFFFFFFF, 0xFF000000, 0xFFFFFF, -1, 1, 1, 0xFF010101, "alpha_trans255"},
    {32, 2, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x00FFFFFF, "plain"},
    {32, 2, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0x00FFFFFF, "tint"},
    {32, 2, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0x00FFFFFF, "graph"},
    {32, 2, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, -1, 1, 0, 0x00FFFFFF, "alpha"},
    {32, 2, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, 255, 1, 0, 0x00FFFFFF, "alpha_graph"},
    {32, 2, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0x00FFFFFF, "graph_tint"},
    {32, 2, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, -1, 1, 0, 0x00FFFFFF, "alpha_tint"},
    {32, 2, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, 255, 1, 0, 0x00FFFFFF, "alpha_graph_tint"},
    {32, 2, 254, 0xFFFFFFFF, 0xFF000000, 0xFFFFFF, -1, 1, 1, 0x00FFFFFF, "alpha_trans255"},
    {32, 3, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x00FFFFFF, "plain"},
    {32, 3, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0x00FFFFFF, "tint"},
    {32, 3, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0x00FFFFFF, "graph"},
    {32, 3, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, -1, 1, 0, 0x00FFFFFF, "alpha"},
    {32, 3, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, 255, 1, 0, 0x00FFFFFF, "alpha_graph"},
    {32, 3, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0x00FFFFFF, "graph_tint"},
    {32, 3, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, -1, 1, 0, 0x00FFFFFF, "alpha_tint"},
    {32, 3, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, 255, 1, 0, 0x00FFFFFF, "alpha_graph_tint"},
    {32, 3, 254, 0xFFFFFFFF, 0xFF000000, 0xFFFFFF, -1, 1, 1, 0x00FFFFFF, "alpha_trans255"},
    {32, 4, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0xFF000000, "plain"},
    {32, 4, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0xFF000000, "tint"},
    {32, 4, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0xFF000000, "graph"},
    {32, 4, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, -1, 1, 0, 0xFF000000, "alpha"},
    {32, 4, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, 255, 1, 0, 0xFF000000, "alpha_graph"},
    {32, 4, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0xFF000000, "graph_tint"},
    {32, 4, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, -1, 1, 0, 0xFF000000, "alpha_tint"},
    {32, 4, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, 255, 1, 0, 0xFF000000, "alpha_graph_tint"},
    {32, 4, 254, 0xFFFFFFFF, 0xFF000000, 0xFFFFFF, -1, 1, 1, 0xFF000000, "alpha_trans255"},
    {32, 10, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0xFFFFFFFF, "plain"},
    {32, 10, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0xFF02FFFE, "tint"},
    {32, 10, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0xFFFFFFFF, "graph"},
    {32, 10, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, -1, 1, 0, 0xFFFFFFFF, "alpha"},
    {32, 10, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, 255, 1, 0, 0xFFFFFFFF, "alpha_graph"},
    {32, 10, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0xFF03FFFE, "graph_tint"},
    {32, 10, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, -1, 1, 0, 0xFF04FFFE, "alpha_tint"},
    {32, 10, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, 255, 1, 0, 0xFF05FFFE, "alpha_graph_tint"},
    {32, 10, 254, 0xFFFFFFFF, 0xFF000000, 0xFFFFFF, -1, 1, 1, 0xFFFFFFFF, "alpha_trans255"},
    {32, 11, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0xFF010101, "plain"},
    {32, 11, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0xFF010101, "tint"},
    {32, 11, 254, 0xFFFFFFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0xFF020202, "graph"},
    {32, 11, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, -1, 1, 0, 0xFF030303, "alpha"},
    {32, 11, 254, 0xFFFFFFFF, 0xFE000000, 0xFFFFFF, 255, 1, 0, 0xFF040404, "alpha_graph"},
    {32, 11, 254, 0xFFFFFFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0xFF020202, "graph_tint"},
    {32, 11, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, -1, 1, 0, 0xFF030303, "alpha_tint"},
    {32, 11, 254, 0xFFFFFFFF, 0xFE000000, 0x01FFFE, 255, 1, 0, 0xFF040404, "alpha_graph_tint"},
    {32, 11, 254, 0xFFFFFFFF, 0xFF000000, 0xFFFFFF, -1, 1, 1, 0xFF010101, "alpha_trans255"},
    {565, 0, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {565, 0, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0x00000000, "tint"},
    {565, 0, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0x00000000, "graph"},
    {565, 0, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, 255, 1, 0, 0x00000000, "alpha_graph"},
    {565, 0, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0x00000000, "graph_tint"},
    {565, 0, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 0, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, 255, 1, 0, 0x00000000, "alpha_graph_tint"},
    {565, 0, 254, 0x0000FFFF, 0x00FF0000, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {565, 0, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha_copy"},
    {565, 1, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {565, 1, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0x00000821, "tint"},
    {565, 1, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0x00000000, "graph"},
    {565, 1, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {565, 1, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, 255, 1, 0, 0x00000020, "alpha_graph"},
    {565, 1, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0x00000000, "graph_tint"},
    {565, 1, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 1, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, 255, 1, 0, 0x00000020, "alpha_graph_tint"},
    {565, 1, 254, 0x0000FFFF, 0x00FF0000, 0xFFFFFF, -1, 1, 1, 0x00000821, "alpha_trans255"},
    {565, 2, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x0000FFFF, "plain"},
    {565, 2, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0x0000FFFF, "tint"},
    {565, 2, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0x0000FFFF, "graph"},
    {565, 2, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, -1, 1, 0, 0x0000FFFF, "alpha"},
    {565, 2, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, 255, 1, 0, 0x0000FFFF, "alpha_graph"},
    {565, 2, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0x0000FFFF, "graph_tint"},
    {565, 2, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, -1, 1, 0, 0x0000FFFF, "alpha_tint"},
    {565, 2, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, 255, 1, 0, 0x0000FFFF, "alpha_graph_tint"},
    {565, 2, 254, 0x0000FFFF, 0x00FF0000, 0xFFFFFF, -1, 1, 1, 0x0000FFFF, "alpha_trans255"},
    {565, 3, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x0000FFDF, "plain"},
    {565, 3, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0x0000FFDF, "tint"},
    {565, 3, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0x0000FFDF, "graph"},
    {565, 3, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, -1, 1, 0, 0x0000FFDF, "alpha"},
    {565, 3, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, 255, 1, 0, 0x0000FFDF, "alpha_graph"},
    {565, 3, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0x0000FFDF, "graph_tint"},
    {565, 3, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, -1, 1, 0, 0x0000FFDF, "alpha_tint"},
    {565, 3, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, 255, 1, 0, 0x0000FFDF, "alpha_graph_tint"},
    {565, 3, 254, 0x0000FFFF, 0x00FF0000, 0xFFFFFF, -1, 1, 1, 0x0000FFDF, "alpha_trans255"},
    {565, 4, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {565, 4, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0x00000000, "tint"},
    {565, 4, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0x00000000, "graph"},
    {565, 4, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {565, 4, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, 255, 1, 0, 0x00000000, "alpha_graph"},
    {565, 4, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0x00000000, "graph_tint"},
    {565, 4, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 4, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, 255, 1, 0, 0x00000000, "alpha_graph_tint"},
    {565, 4, 254, 0x0000FFFF, 0x00FF0000, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {565, 10, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x0000FFFF, "plain"},
    {565, 10, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0x00000FFF, "tint"},
    {565, 10, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0x0000FFFF, "graph"},
    {565, 10, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, -1, 1, 0, 0x0000FFFF, "alpha"},
    {565, 10, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, 255, 1, 0, 0x0000FFFF, "alpha_graph"},
    {565, 10, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0x000007FE, "graph_tint"},
    {565, 10, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, -1, 1, 0, 0x000007FE, "alpha_tint"},
    {565, 10, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, 255, 1, 0, 0x000007FE, "alpha_graph_tint"},
    {565, 10, 254, 0x0000FFFF, 0x00FF0000, 0xFFFFFF, -1, 1, 1, 0x0000FFFF, "alpha_trans255"},
    {565, 11, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, -1, 0, 0, 0x00000821, "plain"},
    {565, 11, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, -1, 0, 0, 0x00000821, "tint"},
    {565, 11, 254, 0x0000FFFF, 0x00000000, 0xFFFFFF, 255, 0, 0, 0x00000000, "graph"},
    {565, 11, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {565, 11, 254, 0x0000FFFF, 0x00FE0000, 0xFFFFFF, 255, 1, 0, 0x00000020, "alpha_graph"},
    {565, 11, 254, 0x0000FFFF, 0x00000000, 0x01FFFE, 255, 0, 0, 0x00000000, "graph_tint"},
    {565, 11, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 11, 254, 0x0000FFFF, 0x00FE0000, 0x01FFFE, 255, 1, 0, 0x00000020, "alpha_graph_tint"},
    {565, 11, 254, 0x0000FFFF, 0x00FF0000, 0xFFFFFF, -1, 1, 1, 0x00000821, "alpha_trans255"},
    {32, 0, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 0, 0, 0xFFFFFFFF, "plain"},
    {32, 0, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, -1, 0, 0, 0x008000FF, "tint"},
    {32, 0, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {32, 0, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {32, 0, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {32, 0, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {32, 0, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {32, 0, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 1, 1, 0xFFFFFFFF, "alpha_trans255"},
    {32, 0, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, -1, 1, 0, 0x01FFFFFF, "alpha_copy"},
    {32, 1, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {32, 1, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, -1, 0, 0, 0x00000000, "tint"},
    {32, 1, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {32, 1, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {32, 1, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {32, 1, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {32, 1, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {32, 1, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {32, 1, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {32, 2, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 0, 0, 0x00010101, "plain"},
    {32, 2, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, -1, 0, 0, 0x00000001, "tint"},
    {32, 2, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {32, 2, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {32, 2, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {32, 2, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {32, 2, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {32, 2, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {32, 2, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 1, 1, 0x00010101, "alpha_trans255"},
    {32, 3, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 0, 0, 0x00010000, "plain"},
    {32, 3, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, -1, 0, 0, 0x00010000, "tint"},
    {32, 3, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, 1, 0, 0, 0x00010100, "graph"},
    {32, 3, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, -1, 1, 0, 0x00010100, "alpha"},
    {32, 3, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, 1, 1, 0, 0x00010100, "alpha_graph"},
    {32, 3, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, 1, 0, 0, 0x00010100, "graph_tint"},
    {32, 3, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, -1, 1, 0, 0x00010100, "alpha_tint"},
    {32, 3, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, 1, 1, 0, 0x00010100, "alpha_graph_tint"},
    {32, 3, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 1, 1, 0x00010000, "alpha_trans255"},
    {32, 4, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {32, 4, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, -1, 0, 0, 0x00000000, "tint"},
    {32, 4, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {32, 4, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {32, 4, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {32, 4, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {32, 4, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {32, 4, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {32, 4, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {32, 10, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {32, 10, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, -1, 0, 0, 0x00000000, "tint"},
    {32, 10, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {32, 10, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {32, 10, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {32, 10, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {32, 10, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {32, 10, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {32, 10, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {32, 11, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {32, 11, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, -1, 0, 0, 0x00000000, "tint"},
    {32, 11, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {32, 11, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {32, 11, 1, 0x00000000, 0x01FFFFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {32, 11, 1, 0x00000000, 0xFFFFFFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {32, 11, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {32, 11, 1, 0x00000000, 0x01FFFFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {32, 11, 1, 0x00000000, 0xFFFFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {565, 0, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, -1, 0, 0, 0x0000FFFF, "plain"},
    {565, 0, 1, 0x00000000, 0x0000FFFF, 0x8000FF, -1, 0, 0, 0x0000781F, "tint"},
    {565, 0, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {565, 0, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {565, 0, 1, 0x00000000, 0x0000FFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {565, 0, 1, 0x00000000, 0x0001FFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 0, 1, 0x00000000, 0x0001FFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {565, 0, 1, 0x00000000, 0x00FFFFFF, 0xFFFFFF, -1, 1, 1, 0x0000FFFF, "alpha_trans255"},
    {565, 0, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, -1, 1, 0, 0x0000FFFF, "alpha_copy"},
    {565, 1, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {565, 1, 1, 0x00000000, 0x0000FFFF, 0x8000FF, -1, 0, 0, 0x00000000, "tint"},
    {565, 1, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {565, 1, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {565, 1, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {565, 1, 1, 0x00000000, 0x0000FFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {565, 1, 1, 0x00000000, 0x0001FFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 1, 1, 0x00000000, 0x0001FFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {565, 1, 1, 0x00000000, 0x00FFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {565, 2, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {565, 2, 1, 0x00000000, 0x0000FFFF, 0x8000FF, -1, 0, 0, 0x00000000, "tint"},
    {565, 2, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {565, 2, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {565, 2, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {565, 2, 1, 0x00000000, 0x0000FFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {565, 2, 1, 0x00000000, 0x0001FFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 2, 1, 0x00000000, 0x0001FFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {565, 2, 1, 0x00000000, 0x00FFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {565, 3, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, -1, 0, 0, 0x00000800, "plain"},
    {565, 3, 1, 0x00000000, 0x0000FFFF, 0x8000FF, -1, 0, 0, 0x00000800, "tint"},
    {565, 3, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, 1, 0, 0, 0x00000800, "graph"},
    {565, 3, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, -1, 1, 0, 0x00000800, "alpha"},
    {565, 3, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, 1, 1, 0, 0x00000800, "alpha_graph"},
    {565, 3, 1, 0x00000000, 0x0000FFFF, 0x8000FF, 1, 0, 0, 0x00000800, "graph_tint"},
    {565, 3, 1, 0x00000000, 0x0001FFFF, 0x8000FF, -1, 1, 0, 0x00000800, "alpha_tint"},
    {565, 3, 1, 0x00000000, 0x0001FFFF, 0x8000FF, 1, 1, 0, 0x00000800, "alpha_graph_tint"},
    {565, 3, 1, 0x00000000, 0x00FFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000800, "alpha_trans255"},
    {565, 4, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {565, 4, 1, 0x00000000, 0x0000FFFF, 0x8000FF, -1, 0, 0, 0x00000000, "tint"},
    {565, 4, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {565, 4, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {565, 4, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {565, 4, 1, 0x00000000, 0x0000FFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {565, 4, 1, 0x00000000, 0x0001FFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 4, 1, 0x00000000, 0x0001FFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {565, 4, 1, 0x00000000, 0x00FFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {565, 10, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {565, 10, 1, 0x00000000, 0x0000FFFF, 0x8000FF, -1, 0, 0, 0x00000000, "tint"},
    {565, 10, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {565, 10, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {565, 10, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {565, 10, 1, 0x00000000, 0x0000FFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {565, 10, 1, 0x00000000, 0x0001FFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 10, 1, 0x00000000, 0x0001FFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {565, 10, 1, 0x00000000, 0x00FFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {565, 11, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, -1, 0, 0, 0x00000000, "plain"},
    {565, 11, 1, 0x00000000, 0x0000FFFF, 0x8000FF, -1, 0, 0, 0x00000000, "tint"},
    {565, 11, 1, 0x00000000, 0x0000FFFF, 0xFFFFFF, 1, 0, 0, 0x00000000, "graph"},
    {565, 11, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, -1, 1, 0, 0x00000000, "alpha"},
    {565, 11, 1, 0x00000000, 0x0001FFFF, 0xFFFFFF, 1, 1, 0, 0x00000000, "alpha_graph"},
    {565, 11, 1, 0x00000000, 0x0000FFFF, 0x8000FF, 1, 0, 0, 0x00000000, "graph_tint"},
    {565, 11, 1, 0x00000000, 0x0001FFFF, 0x8000FF, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 11, 1, 0x00000000, 0x0001FFFF, 0x8000FF, 1, 1, 0, 0x00000000, "alpha_graph_tint"},
    {565, 11, 1, 0x00000000, 0x00FFFFFF, 0xFFFFFF, -1, 1, 1, 0x00000000, "alpha_trans255"},
    {32, 0, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, -1, 0, 0, 0x51C9BC70, "plain"},
    {32, 0, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, -1, 0, 0, 0x1EA95416, "tint"},
    {32, 0, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, 251, 0, 0, 0x1EC7BB6E, "graph"},
    {32, 0, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, 251, 1, 0, 0x1EB5B559, "alpha_graph"},
    {32, 0, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, 251, 0, 0, 0x1EA85516, "graph_tint"},
    {32, 0, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, -1, 1, 0, 0x1E9E6716, "alpha_tint"},
    {32, 0, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, 251, 1, 0, 0x1E9D6816, "alpha_graph_tint"},
    {32, 0, 132, 0x1E7EA419, 0xFFC9BC70, 0xFFFFFF, -1, 1, 1, 0xFFC9BC70, "alpha_trans255"},
    {32, 0, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, -1, 1, 0, 0xC1C9BC70, "alpha_copy"},
    {32, 1, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, -1, 0, 0, 0x1EA4B045, "plain"},
    {32, 1, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, -1, 0, 0, 0x1E947A17, "tint"},
    {32, 1, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, 251, 0, 0, 0x1EA3B044, "graph"},
    {32, 1, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, -1, 1, 0, 0x1E9BAD3A, "alpha"},
    {32, 1, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, 251, 1, 0, 0x1E9AAD3A, "alpha_graph"},
    {32, 1, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, 251, 0, 0, 0x1E937B17, "graph_tint"},
    {32, 1, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, -1, 1, 0, 0x1E8E8417, "alpha_tint"},
    {32, 1, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, 251, 1, 0, 0x1E8E8517, "alpha_graph_tint"},
    {32, 1, 132, 0x1E7EA419, 0xFFC9BC70, 0xFFFFFF, -1, 1, 1, 0x1EA4B045, "alpha_trans255"},
    {32, 2, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, -1, 0, 0, 0x00E7FF52, "plain"},
    {32, 2, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, -1, 0, 0, 0x00D5CF24, "tint"},
    {32, 2, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, 251, 0, 0, 0x00E3FF51, "graph"},
    {32, 2, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, -1, 1, 0, 0x00CCED44, "alpha"},
    {32, 2, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, 251, 1, 0, 0x00CAEB43, "alpha_graph"},
    {32, 2, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, 251, 0, 0, 0x00D3CE24, "graph_tint"},
    {32, 2, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, -1, 1, 0, 0x00BFC421, "alpha_tint"},
    {32, 2, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, 251, 1, 0, 0x00BEC421, "alpha_graph_tint"},
    {32, 2, 132, 0x1E7EA419, 0xFFC9BC70, 0xFFFFFF, -1, 1, 1, 0x00E7FF52, "alpha_trans255"},
    {32, 3, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, -1, 0, 0, 0x00174400, "plain"},
    {32, 3, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, -1, 0, 0, 0x00297B0E, "tint"},
    {32, 3, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, 251, 0, 0, 0x001B4600, "graph"},
    {32, 3, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, -1, 1, 0, 0x00315C00, "alpha"},
    {32, 3, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, 251, 1, 0, 0x00335E00, "alpha_graph"},
    {32, 3, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, 251, 0, 0, 0x002B7B0E, "graph_tint"},
    {32, 3, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, -1, 1, 0, 0x003F8511, "alpha_tint"},
    {32, 3, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, 251, 1, 0, 0x003F8511, "alpha_graph_tint"},
    {32, 3, 132, 0x1E7EA419, 0xFFC9BC70, 0xFFFFFF, -1, 1, 1, 0x00174400, "alpha_trans255"},
    {32, 4, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, -1, 0, 0, 0x1E62780A, "plain"},
    {32, 4, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, -1, 0, 0, 0x1E533502, "tint"},
    {32, 4, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, 251, 0, 0, 0x1E60760A, "graph"},
    {32, 4, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, -1, 1, 0, 0x1E4A5A08, "alpha"},
    {32, 4, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, 251, 1, 0, 0x1E495908, "alpha_graph"},
    {32, 4, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, 251, 0, 0, 0x1E513402, "graph_tint"},
    {32, 4, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, -1, 1, 0, 0x1E3E2801, "alpha_tint"},
    {32, 4, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, 251, 1, 0, 0x1E3D2701, "alpha_graph_tint"},
    {32, 4, 132, 0x1E7EA419, 0xFFC9BC70, 0xFFFFFF, -1, 1, 1, 0x1E62780A, "alpha_trans255"},
    {32, 10, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, -1, 0, 0, 0x1E587155, "plain"},
    {32, 10, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, -1, 0, 0, 0x1E545E1B, "tint"},
    {32, 10, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, 251, 0, 0, 0x1E597254, "graph"},
    {32, 10, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, -1, 1, 0, 0x1E627E46, "alpha"},
    {32, 10, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, 251, 1, 0, 0x1E627F45, "alpha_graph"},
    {32, 10, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, 251, 0, 0, 0x1E555F1B, "graph_tint"},
    {32, 10, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, -1, 1, 0, 0x1E5E6F1A, "alpha_tint"},
    {32, 10, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, 251, 1, 0, 0x1E5F701A, "alpha_graph_tint"},
    {32, 10, 132, 0x1E7EA419, 0xFFC9BC70, 0xFFFFFF, -1, 1, 1, 0x1E587155, "alpha_trans255"},
    {32, 11, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, -1, 0, 0, 0x1E6F8D11, "plain"},
    {32, 11, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, -1, 0, 0, 0x1E676A0D, "tint"},
    {32, 11, 132, 0x1E7EA419, 0x51C9BC70, 0xFFFFFF, 251, 0, 0, 0x1E6F8D11, "graph"},
    {32, 11, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, -1, 1, 0, 0x1E739213, "alpha"},
    {32, 11, 132, 0x1E7EA419, 0xC1C9BC70, 0xFFFFFF, 251, 1, 0, 0x1E739313, "alpha_graph"},
    {32, 11, 132, 0x1E7EA419, 0x51C9BC70, 0xD77234, 251, 0, 0, 0x1E686B0D, "graph_tint"},
    {32, 11, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, -1, 1, 0, 0x1E6D7810, "alpha_tint"},
    {32, 11, 132, 0x1E7EA419, 0xC1C9BC70, 0xD77234, 251, 1, 0, 0x1E6D7910, "alpha_graph_tint"},
    {32, 11, 132, 0x1E7EA419, 0xFFC9BC70, 0xFFFFFF, -1, 1, 1, 0x1E6F8D11, "alpha_trans255"},
    {565, 0, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, -1, 0, 0, 0x0000F38B, "plain"},
    {565, 0, 132, 0x000080A4, 0x0000F38B, 0xD77234, -1, 0, 0, 0x0000C982, "tint"},
    {565, 0, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, 251, 0, 0, 0x0000EB6A, "graph"},
    {565, 0, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, 251, 1, 0, 0x0000D2C9, "alpha_graph"},
    {565, 0, 132, 0x000080A4, 0x0000F38B, 0xD77234, 251, 0, 0, 0x0000C162, "graph_tint"},
    {565, 0, 132, 0x000080A4, 0x00C1F38B, 0xD77234, -1, 1, 0, 0x0000B142, "alpha_tint"},
    {565, 0, 132, 0x000080A4, 0x00C1F38B, 0xD77234, 251, 1, 0, 0x0000B142, "alpha_graph_tint"},
    {565, 0, 132, 0x000080A4, 0x00FFF38B, 0xFFFFFF, -1, 1, 1, 0x0000F38B, "alpha_trans255"},
    {565, 0, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, -1, 1, 0, 0x0000F38B, "alpha_copy"},
    {565, 1, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, -1, 0, 0, 0x0000BA27, "plain"},
    {565, 1, 132, 0x000080A4, 0x0000F38B, 0xD77234, -1, 0, 0, 0x0000A103, "tint"},
    {565, 1, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, 251, 0, 0, 0x0000BA07, "graph"},
    {565, 1, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, -1, 1, 0, 0x0000A9A6, "alpha"},
    {565, 1, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, 251, 1, 0, 0x0000A9A6, "alpha_graph"},
    {565, 1, 132, 0x000080A4, 0x0000F38B, 0xD77234, 251, 0, 0, 0x0000A102, "graph_tint"},
    {565, 1, 132, 0x000080A4, 0x00C1F38B, 0xD77234, -1, 1, 0, 0x000098E3, "alpha_tint"},
    {565, 1, 132, 0x000080A4, 0x00C1F38B, 0xD77234, 251, 1, 0, 0x000098E3, "alpha_graph_tint"},
    {565, 1, 132, 0x000080A4, 0x00FFF38B, 0xFFFFFF, -1, 1, 1, 0x0000BA07, "alpha_trans255"},
    {565, 2, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, -1, 0, 0, 0x0000FA69, "plain"},
    {565, 2, 132, 0x000080A4, 0x0000F38B, 0xD77234, -1, 0, 0, 0x0000E165, "tint"},
    {565, 2, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, 251, 0, 0, 0x0000FA29, "graph"},
    {565, 2, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, -1, 1, 0, 0x0000D9E8, "alpha"},
    {565, 2, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, 251, 1, 0, 0x0000D9E8, "alpha_graph"},
    {565, 2, 132, 0x000080A4, 0x0000F38B, 0xD77234, 251, 0, 0, 0x0000E124, "graph_tint"},
    {565, 2, 132, 0x000080A4, 0x00C1F38B, 0xD77234, -1, 1, 0, 0x0000C924, "alpha_tint"},
    {565, 2, 132, 0x000080A4, 0x00C1F38B, 0xD77234, 251, 1, 0, 0x0000C924, "alpha_graph_tint"},
    {565, 2, 132, 0x000080A4, 0x00FFF38B, 0xFFFFFF, -1, 1, 1, 0x0000FA69, "alpha_trans255"},
    {565, 3, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, -1, 0, 0, 0x00001000, "plain"},
    {565, 3, 132, 0x000080A4, 0x0000F38B, 0xD77234, -1, 0, 0, 0x00002003, "tint"},
    {565, 3, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, 251, 0, 0, 0x00001000, "graph"},
    {565, 3, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, -1, 1, 0, 0x00003000, "alpha"},
    {565, 3, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, 251, 1, 0, 0x00003000, "alpha_graph"},
    {565, 3, 132, 0x000080A4, 0x0000F38B, 0xD77234, 251, 0, 0, 0x00002804, "graph_tint"},
    {565, 3, 132, 0x000080A4, 0x00C1F38B, 0xD77234, -1, 1, 0, 0x00004804, "alpha_tint"},
    {565, 3, 132, 0x000080A4, 0x00C1F38B, 0xD77234, 251, 1, 0, 0x00004804, "alpha_graph_tint"},
    {565, 3, 132, 0x000080A4, 0x00FFF38B, 0xFFFFFF, -1, 1, 1, 0x00001000, "alpha_trans255"},
    {565, 4, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, -1, 0, 0, 0x00007841, "plain"},
    {565, 4, 132, 0x000080A4, 0x0000F38B, 0xD77234, -1, 0, 0, 0x00006000, "tint"},
    {565, 4, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, 251, 0, 0, 0x00007041, "graph"},
    {565, 4, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, -1, 1, 0, 0x00005821, "alpha"},
    {565, 4, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, 251, 1, 0, 0x00005821, "alpha_graph"},
    {565, 4, 132, 0x000080A4, 0x0000F38B, 0xD77234, 251, 0, 0, 0x00006000, "graph_tint"},
    {565, 4, 132, 0x000080A4, 0x00C1F38B, 0xD77234, -1, 1, 0, 0x00004800, "alpha_tint"},
    {565, 4, 132, 0x000080A4, 0x00C1F38B, 0xD77234, 251, 1, 0, 0x00004800, "alpha_graph_tint"},
    {565, 4, 132, 0x000080A4, 0x00FFF38B, 0xFFFFFF, -1, 1, 1, 0x00007841, "alpha_trans255"},
    {565, 10, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, -1, 0, 0, 0x00004A8C, "plain"},
    {565, 10, 132, 0x000080A4, 0x0000F38B, 0xD77234, -1, 0, 0, 0x00004144, "tint"},
    {565, 10, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, 251, 0, 0, 0x0000428C, "graph"},
    {565, 10, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, -1, 1, 0, 0x0000520A, "alpha"},
    {565, 10, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, 251, 1, 0, 0x0000520A, "alpha_graph"},
    {565, 10, 132, 0x000080A4, 0x0000F38B, 0xD77234, 251, 0, 0, 0x00003944, "graph_tint"},
    {565, 10, 132, 0x000080A4, 0x00C1F38B, 0xD77234, -1, 1, 0, 0x00004904, "alpha_tint"},
    {565, 10, 132, 0x000080A4, 0x00C1F38B, 0xD77234, 251, 1, 0, 0x00004904, "alpha_graph_tint"},
    {565, 10, 132, 0x000080A4, 0x00FFF38B, 0xFFFFFF, -1, 1, 1, 0x00004A8C, "alpha_trans255"},
    {565, 11, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, -1, 0, 0, 0x00008083, "plain"},
    {565, 11, 132, 0x000080A4, 0x0000F38B, 0xD77234, -1, 0, 0, 0x00007062, "tint"},
    {565, 11, 132, 0x000080A4, 0x0000F38B, 0xFFFFFF, 251, 0, 0, 0x00007862, "graph"},
    {565, 11, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, -1, 1, 0, 0x00007862, "alpha"},
    {565, 11, 132, 0x000080A4, 0x00C1F38B, 0xFFFFFF, 251, 1, 0, 0x00007862, "alpha_graph"},
    {565, 11, 132, 0x000080A4, 0x0000F38B, 0xD77234, 251, 0, 0, 0x00006841, "graph_tint"},
    {565, 11, 132, 0x000080A4, 0x00C1F38B, 0xD77234, -1, 1, 0, 0x00007062, "alpha_tint"},
    {565, 11, 132, 0x000080A4, 0x00C1F38B, 0xD77234, 251, 1, 0, 0x00007062, "alpha_graph_tint"},
    {565, 11, 132, 0x000080A4, 0x00FFF38B, 0xFFFFFF, -1, 1, 1, 0x00008083, "alpha_trans255"},
    {32, 0, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, -1, 0, 0, 0x96263AE6, "plain"},
    {32, 0, 1, 0xC5E818FA, 0x96263AE6, 0x933829, -1, 0, 0, 0xC5150C24, "tint"},
    {32, 0, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, 50, 0, 0, 0xC5C21EF6, "graph"},
    {32, 0, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, 50, 1, 0, 0xC5D61BF8, "alpha_graph"},
    {32, 0, 1, 0xC5E818FA, 0x96263AE6, 0x933829, 50, 0, 0, 0xC5BE15D0, "graph_tint"},
    {32, 0, 1, 0xC5E818FA, 0x74263AE6, 0x933829, -1, 1, 0, 0xC5881299, "alpha_tint"},
    {32, 0, 1, 0xC5E818FA, 0x74263AE6, 0x933829, 50, 1, 0, 0xC5D516E7, "alpha_graph_tint"},
    {32, 0, 1, 0xC5E818FA, 0xFF263AE6, 0xFFFFFF, -1, 1, 1, 0xFF263AE6, "alpha_trans255"},
    {32, 0, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, -1, 1, 0, 0x74263AE6, "alpha_copy"},
    {32, 1, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, -1, 0, 0, 0xC5E718F9, "plain"},
    {32, 1, 1, 0xC5E818FA, 0x96263AE6, 0x933829, -1, 0, 0, 0xC5E717F9, "tint"},
    {32, 1, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, 50, 0, 0, 0xC5E718F9, "graph"},
    {32, 1, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, -1, 1, 0, 0xC5E718F9, "alpha"},
    {32, 1, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, 50, 1, 0, 0xC5E718F9, "alpha_graph"},
    {32, 1, 1, 0xC5E818FA, 0x96263AE6, 0x933829, 50, 0, 0, 0xC5E717F9, "graph_tint"},
    {32, 1, 1, 0xC5E818FA, 0x74263AE6, 0x933829, -1, 1, 0, 0xC5E717F9, "alpha_tint"},
    {32, 1, 1, 0xC5E818FA, 0x74263AE6, 0x933829, 50, 1, 0, 0xC5E717F9, "alpha_graph_tint"},
    {32, 1, 1, 0xC5E818FA, 0xFF263AE6, 0xFFFFFF, -1, 1, 1, 0xC5E718F9, "alpha_trans255"},
    {32, 2, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, -1, 0, 0, 0x00E818FA, "plain"},
    {32, 2, 1, 0xC5E818FA, 0x96263AE6, 0x933829, -1, 0, 0, 0x00E818FA, "tint"},
    {32, 2, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, 50, 0, 0, 0x00E818FA, "graph"},
    {32, 2, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, -1, 1, 0, 0x00E818FA, "alpha"},
    {32, 2, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, 50, 1, 0, 0x00E818FA, "alpha_graph"},
    {32, 2, 1, 0xC5E818FA, 0x96263AE6, 0x933829, 50, 0, 0, 0x00E818FA, "graph_tint"},
    {32, 2, 1, 0xC5E818FA, 0x74263AE6, 0x933829, -1, 1, 0, 0x00E818FA, "alpha_tint"},
    {32, 2, 1, 0xC5E818FA, 0x74263AE6, 0x933829, 50, 1, 0, 0x00E818FA, "alpha_graph_tint"},
    {32, 2, 1, 0xC5E818FA, 0xFF263AE6, 0xFFFFFF, -1, 1, 1, 0x00E818FA, "alpha_trans255"},
    {32, 3, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, -1, 0, 0, 0x00E919FA, "plain"},
    {32, 3, 1, 0xC5E818FA, 0x96263AE6, 0x933829, -1, 0, 0, 0x00E919FA, "tint"},
    {32, 3, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, 50, 0, 0, 0x00E919FA, "graph"},
    {32, 3, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, -1, 1, 0, 0x00E919FA, "alpha"},
    {32, 3, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, 50, 1, 0, 0x00E919FA, "alpha_graph"},
    {32, 3, 1, 0xC5E818FA, 0x96263AE6, 0x933829, 50, 0, 0, 0x00E919FA, "graph_tint"},
    {32, 3, 1, 0xC5E818FA, 0x74263AE6, 0x933829, -1, 1, 0, 0x00E919FA, "alpha_tint"},
    {32, 3, 1, 0xC5E818FA, 0x74263AE6, 0x933829, 50, 1, 0, 0x00E919FA, "alpha_graph_tint"},
    {32, 3, 1, 0xC5E818FA, 0xFF263AE6, 0xFFFFFF, -1, 1, 1, 0x00E919FA, "alpha_trans255"},
    {32, 4, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, -1, 0, 0, 0xC52205E0, "plain"},
    {32, 4, 1, 0xC5E818FA, 0x96263AE6, 0x933829, -1, 0, 0, 0xC5130123, "tint"},
    {32, 4, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, 50, 0, 0, 0xC506012B, "graph"},
    {32, 4, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, -1, 1, 0, 0xC50F0265, "alpha"},
    {32, 4, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, 50, 1, 0, 0xC5030013, "alpha_graph"},
    {32, 4, 1, 0xC5E818FA, 0x96263AE6, 0x933829, 50, 0, 0, 0xC5030006, "graph_tint"},
    {32, 4, 1, 0xC5E818FA, 0x74263AE6, 0x933829, -1, 1, 0, 0xC508000F, "alpha_tint"},
    {32, 4, 1, 0xC5E818FA, 0x74263AE6, 0x933829, 50, 1, 0, 0xC5010003, "alpha_graph_tint"},
    {32, 4, 1, 0xC5E818FA, 0xFF263AE6, 0xFFFFFF, -1, 1, 1, 0xC52205E0, "alpha_trans255"},
    {32, 10, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, -1, 0, 0, 0xC5E718F9, "plain"},
    {32, 10, 1, 0xC5E818FA, 0x96263AE6, 0x933829, -1, 0, 0, 0xC5E718F9, "tint"},
    {32, 10, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, 50, 0, 0, 0xC5E718F9, "graph"},
    {32, 10, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, -1, 1, 0, 0xC5E718F9, "alpha"},
    {32, 10, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, 50, 1, 0, 0xC5E718F9, "alpha_graph"},
    {32, 10, 1, 0xC5E818FA, 0x96263AE6, 0x933829, 50, 0, 0, 0xC5E718F9, "graph_tint"},
    {32, 10, 1, 0xC5E818FA, 0x74263AE6, 0x933829, -1, 1, 0, 0xC5E718F9, "alpha_tint"},
    {32, 10, 1, 0xC5E818FA, 0x74263AE6, 0x933829, 50, 1, 0, 0xC5E718F9, "alpha_graph_tint"},
    {32, 10, 1, 0xC5E818FA, 0xFF263AE6, 0xFFFFFF, -1, 1, 1, 0xC5E718F9, "alpha_trans255"},
    {32, 11, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, -1, 0, 0, 0xC5E717F9, "plain"},
    {32, 11, 1, 0xC5E818FA, 0x96263AE6, 0x933829, -1, 0, 0, 0xC5E717F9, "tint"},
    {32, 11, 1, 0xC5E818FA, 0x96263AE6, 0xFFFFFF, 50, 0, 0, 0xC5E717F9, "graph"},
    {32, 11, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, -1, 1, 0, 0xC5E717F9, "alpha"},
    {32, 11, 1, 0xC5E818FA, 0x74263AE6, 0xFFFFFF, 50, 1, 0, 0xC5E717F9, "alpha_graph"},
    {32, 11, 1, 0xC5E818FA, 0x96263AE6, 0x933829, 50, 0, 0, 0xC5E717F9, "graph_tint"},
    {32, 11, 1, 0xC5E818FA, 0x74263AE6, 0x933829, -1, 1, 0, 0xC5E717F9, "alpha_tint"},
    {32, 11, 1, 0xC5E818FA, 0x74263AE6, 0x933829, 50, 1, 0, 0xC5E717F9, "alpha_graph_tint"},
    {32, 11, 1, 0xC5E818FA, 0xFF263AE6, 0xFFFFFF, -1, 1, 1, 0xC5E717F9, "alpha_trans255"},
    {565, 0, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, -1, 0, 0, 0x00003D6C, "plain"},
    {565, 0, 1, 0x000070EB, 0x00003D6C, 0x933829, -1, 0, 0, 0x00002121, "tint"},
    {565, 0, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, 50, 0, 0, 0x000061CB, "graph"},
    {565, 0, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, 50, 1, 0, 0x0000694B, "alpha_graph"},
    {565, 0, 1, 0x000070EB, 0x00003D6C, 0x933829, 50, 0, 0, 0x000060E9, "graph_tint"},
    {565, 0, 1, 0x000070EB, 0x00743D6C, 0x933829, -1, 1, 0, 0x000048E6, "alpha_tint"},
    {565, 0, 1, 0x000070EB, 0x00743D6C, 0x933829, 50, 1, 0, 0x000068EA, "alpha_graph_tint"},
    {565, 0, 1, 0x000070EB, 0x00FF3D6C, 0xFFFFFF, -1, 1, 1, 0x00003D6C, "alpha_trans255"},
    {565, 0, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, -1, 1, 0, 0x00003D6C, "alpha_copy"},
    {565, 1, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, -1, 0, 0, 0x000070EB, "plain"},
    {565, 1, 1, 0x000070EB, 0x00003D6C, 0x933829, -1, 0, 0, 0x000070EB, "tint"},
    {565, 1, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, 50, 0, 0, 0x000068EB, "graph"},
    {565, 1, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, -1, 1, 0, 0x000068EB, "alpha"},
    {565, 1, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, 50, 1, 0, 0x000068EB, "alpha_graph"},
    {565, 1, 1, 0x000070EB, 0x00003D6C, 0x933829, 50, 0, 0, 0x000068EA, "graph_tint"},
    {565, 1, 1, 0x000070EB, 0x00743D6C, 0x933829, -1, 1, 0, 0x000068EA, "alpha_tint"},
    {565, 1, 1, 0x000070EB, 0x00743D6C, 0x933829, 50, 1, 0, 0x000068EA, "alpha_graph_tint"},
    {565, 1, 1, 0x000070EB, 0x00FF3D6C, 0xFFFFFF, -1, 1, 1, 0x000070EB, "alpha_trans255"},
    {565, 2, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, -1, 0, 0, 0x000070EB, "plain"},
    {565, 2, 1, 0x000070EB, 0x00003D6C, 0x933829, -1, 0, 0, 0x000070EB, "tint"},
    {565, 2, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, 50, 0, 0, 0x000070EB, "graph"},
    {565, 2, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, -1, 1, 0, 0x000070EB, "alpha"},
    {565, 2, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, 50, 1, 0, 0x000070EB, "alpha_graph"},
    {565, 2, 1, 0x000070EB, 0x00003D6C, 0x933829, 50, 0, 0, 0x000070EB, "graph_tint"},
    {565, 2, 1, 0x000070EB, 0x00743D6C, 0x933829, -1, 1, 0, 0x000070EB, "alpha_tint"},
    {565, 2, 1, 0x000070EB, 0x00743D6C, 0x933829, 50, 1, 0, 0x000070EB, "alpha_graph_tint"},
    {565, 2, 1, 0x000070EB, 0x00FF3D6C, 0xFFFFFF, -1, 1, 1, 0x000070EB, "alpha_trans255"},
    {565, 3, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, -1, 0, 0, 0x000078CB, "plain"},
    {565, 3, 1, 0x000070EB, 0x00003D6C, 0x933829, -1, 0, 0, 0x000078CB, "tint"},
    {565, 3, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, 50, 0, 0, 0x000078CB, "graph"},
    {565, 3, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, -1, 1, 0, 0x000078CB, "alpha"},
    {565, 3, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, 50, 1, 0, 0x000078CB, "alpha_graph"},
    {565, 3, 1, 0x000070EB, 0x00003D6C, 0x933829, 50, 0, 0, 0x000078CB, "graph_tint"},
    {565, 3, 1, 0x000070EB, 0x00743D6C, 0x933829, -1, 1, 0, 0x000078CB, "alpha_tint"},
    {565, 3, 1, 0x000070EB, 0x00743D6C, 0x933829, 50, 1, 0, 0x000078CB, "alpha_graph_tint"},
    {565, 3, 1, 0x000070EB, 0x00FF3D6C, 0xFFFFFF, -1, 1, 1, 0x000078CB, "alpha_trans255"},
    {565, 4, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, -1, 0, 0, 0x00001884, "plain"},
    {565, 4, 1, 0x000070EB, 0x00003D6C, 0x933829, -1, 0, 0, 0x00000800, "tint"},
    {565, 4, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, 50, 0, 0, 0x00000000, "graph"},
    {565, 4, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, -1, 1, 0, 0x00000841, "alpha"},
    {565, 4, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, 50, 1, 0, 0x00000000, "alpha_graph"},
    {565, 4, 1, 0x000070EB, 0x00003D6C, 0x933829, 50, 0, 0, 0x00000000, "graph_tint"},
    {565, 4, 1, 0x000070EB, 0x00743D6C, 0x933829, -1, 1, 0, 0x00000000, "alpha_tint"},
    {565, 4, 1, 0x000070EB, 0x00743D6C, 0x933829, 50, 1, 0, 0x00000000, "alpha_graph_tint"},
    {565, 4, 1, 0x000070EB, 0x00FF3D6C, 0xFFFFFF, -1, 1, 1, 0x00001884, "alpha_trans255"},
    {565, 10, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, -1, 0, 0, 0x000070EB, "plain"},
    {565, 10, 1, 0x000070EB, 0x00003D6C, 0x933829, -1, 0, 0, 0x000070EB, "tint"},
    {565, 10, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, 50, 0, 0, 0x000070EB, "graph"},
    {565, 10, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, -1, 1, 0, 0x000070EB, "alpha"},
    {565, 10, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, 50, 1, 0, 0x000070EB, "alpha_graph"},
    {565, 10, 1, 0x000070EB, 0x00003D6C, 0x933829, 50, 0, 0, 0x000068CA, "graph_tint"},
    {565, 10, 1, 0x000070EB, 0x00743D6C, 0x933829, -1, 1, 0, 0x000068CA, "alpha_tint"},
    {565, 10, 1, 0x000070EB, 0x00743D6C, 0x933829, 50, 1, 0, 0x000068CA, "alpha_graph_tint"},
    {565, 10, 1, 0x000070EB, 0x00FF3D6C, 0xFFFFFF, -1, 1, 1, 0x000070EB, "alpha_trans255"},
    {565, 11, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, -1, 0, 0, 0x000070EB, "plain"},
    {565, 11, 1, 0x000070EB, 0x00003D6C, 0x933829, -1, 0, 0, 0x000070EB, "tint"},
    {565, 11, 1, 0x000070EB, 0x00003D6C, 0xFFFFFF, 50, 0, 0, 0x000068CA, "graph"},
    {565, 11, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, -1, 1, 0, 0x000068CA, "alpha"},
    {565, 11, 1, 0x000070EB, 0x00743D6C, 0xFFFFFF, 50, 1, 0, 0x000068CA, "alpha_graph"},
    {565, 11, 1, 0x000070EB, 0x00003D6C, 0x933829, 50, 0, 0, 0x000068CA, "graph_tint"},
    {565, 11, 1, 0x000070EB, 0x00743D6C, 0x933829, -1, 1, 0, 0x000068CA, "alpha_tint"},
    {565, 11, 1, 0x000070EB, 0x00743D6C, 0x933829, 50, 1, 0, 0x000068CA, "alpha_graph_tint"},
    {565, 11, 1, 0x000070EB, 0x00FF3D6C, 0xFFFFFF, -1, 1, 1, 0x000070EB, "alpha_trans255"},
    {32, 0, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, -1, 0, 0, 0xD0944996, "plain"},
    {32, 0, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, -1, 0, 0, 0x02751E5E, "tint"},
    {32, 0, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, 128, 0, 0, 0x02C29B97, "graph"},
    {32, 0, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, 128, 1, 0, 0x02DFD098, "alpha_graph"},
    {32, 0, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, 128, 0, 0, 0x02B2867B, "graph_tint"},
    {32, 0, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, -1, 1, 0, 0x02C4A484, "alpha_tint"},
    {32, 0, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, 128, 1, 0, 0x02DAC98E, "alpha_graph_tint"},
    {32, 0, 126, 0x02F0EE99, 0xFF944996, 0xFFFFFF, -1, 1, 1, 0xFF944996, "alpha_trans255"},
    {32, 0, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, -1, 1, 0, 0x5A944996, "alpha_copy"},
    {32, 1, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, -1, 0, 0, 0x02C29C97, "plain"},
    {32, 1, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, -1, 0, 0, 0x02B3877B, "tint"},
    {32, 1, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, 128, 0, 0, 0x02D9C598, "graph"},
    {32, 1, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, -1, 1, 0, 0x02E0D198, "alpha"},
    {32, 1, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, 128, 1, 0, 0x02E8DF98, "alpha_graph"},
    {32, 1, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, 128, 0, 0, 0x02D1BA8A, "graph_tint"},
    {32, 1, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, -1, 1, 0, 0x02DACA8E, "alpha_tint"},
    {32, 1, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, 128, 1, 0, 0x02E5DC93, "alpha_graph_tint"},
    {32, 1, 126, 0x02F0EE99, 0xFF944996, 0xFFFFFF, -1, 1, 1, 0x02C29C97, "alpha_trans255"},
    {32, 2, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, -1, 0, 0, 0x01FFFFE3, "plain"},
    {32, 2, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, -1, 0, 0, 0x01FFFCC7, "tint"},
    {32, 2, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, 128, 0, 0, 0x01FFFFBD, "graph"},
    {32, 2, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, -1, 1, 0, 0x01FFFAB2, "alpha"},
    {32, 2, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, 128, 1, 0, 0x00FCF4A5, "alpha_graph"},
    {32, 2, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, 128, 0, 0, 0x01FFF5B0, "graph_tint"},
    {32, 2, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, -1, 1, 0, 0x01FFF3A9, "alpha_tint"},
    {32, 2, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, 128, 1, 0, 0x00FAF0A1, "alpha_graph_tint"},
    {32, 2, 126, 0x02F0EE99, 0xFF944996, 0xFFFFFF, -1, 1, 1, 0x01FFFFE3, "alpha_trans255"},
    {32, 3, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, -1, 0, 0, 0x00A9CB4F, "plain"},
    {32, 3, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, -1, 0, 0, 0x00B9E16B, "tint"},
    {32, 3, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, 128, 0, 0, 0x00CDDF75, "graph"},
    {32, 3, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, -1, 1, 0, 0x00D9E380, "alpha"},
    {32, 3, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, 128, 1, 0, 0x00E5E98D, "alpha_graph"},
    {32, 3, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, 128, 0, 0, 0x00D5E982, "graph_tint"},
    {32, 3, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, -1, 1, 0, 0x00DDEB89, "alpha_tint"},
    {32, 3, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, 128, 1, 0, 0x00E7ED91, "alpha_graph_tint"},
    {32, 3, 126, 0x02F0EE99, 0xFF944996, 0xFFFFFF, -1, 1, 1, 0x00A9CB4F, "alpha_trans255"},
    {32, 4, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, -1, 0, 0, 0x028A4359, "plain"},
    {32, 4, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, -1, 0, 0, 0x026D1B38, "tint"},
    {32, 4, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, 128, 0, 0, 0x0245212C, "graph"},
    {32, 4, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, -1, 1, 0, 0x0230171F, "alpha"},
    {32, 4, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, 128, 1, 0, 0x02180B0F, "alpha_graph"},
    {32, 4, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, 128, 0, 0, 0x02360D1C, "graph_tint"},
    {32, 4, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, -1, 1, 0, 0x02260913, "alpha_tint"},
    {32, 4, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, 128, 1, 0, 0x02130409, "alpha_graph_tint"},
    {32, 4, 126, 0x02F0EE99, 0xFF944996, 0xFFFFFF, -1, 1, 1, 0x028A4359, "alpha_trans255"},
    {32, 10, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, -1, 0, 0, 0x02AED281, "plain"},
    {32, 10, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, -1, 0, 0, 0x02A39E6D, "tint"},
    {32, 10, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, 128, 0, 0, 0x02CFE08D, "graph"},
    {32, 10, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, -1, 1, 0, 0x02D8E490, "alpha"},
    {32, 10, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, 128, 1, 0, 0x02E4E994, "alpha_graph"},
    {32, 10, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, 128, 0, 0, 0x02C9C683, "graph_tint"},
    {32, 10, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, -1, 1, 0, 0x02D5D189, "alpha_tint"},
    {32, 10, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, 128, 1, 0, 0x02E2DF91, "alpha_graph_tint"},
    {32, 10, 126, 0x02F0EE99, 0xFF944996, 0xFFFFFF, -1, 1, 1, 0x02AED281, "alpha_trans255"},
    {32, 11, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, -1, 0, 0, 0x02BD9979, "plain"},
    {32, 11, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, -1, 0, 0, 0x02AF8669, "tint"},
    {32, 11, 126, 0x02F0EE99, 0xD0944996, 0xFFFFFF, 128, 0, 0, 0x02D6C389, "graph"},
    {32, 11, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, -1, 1, 0, 0x02DED08D, "alpha"},
    {32, 11, 126, 0x02F0EE99, 0x5A944996, 0xFFFFFF, 128, 1, 0, 0x02E7DF93, "alpha_graph"},
    {32, 11, 126, 0x02F0EE99, 0xD0944996, 0xCB6BA0, 128, 0, 0, 0x02CFBA81, "graph_tint"},
    {32, 11, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, -1, 1, 0, 0x02D9C988, "alpha_tint"},
    {32, 11, 126, 0x02F0EE99, 0x5A944996, 0xCB6BA0, 128, 1, 0, 0x02E4DB90, "alpha_graph_tint"},
    {32, 11, 126, 0x02F0EE99, 0xFF944996, 0xFFFFFF, -1, 1, 1, 0x02BD9979, "alpha_trans255"},
    {565, 0, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, -1, 0, 0, 0x0000AF67, "plain"},
    {565, 0, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, -1, 0, 0, 0x00008304, "tint"},
    {565, 0, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, 128, 0, 0, 0x0000C5AE, "graph"},
    {565, 0, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, 128, 1, 0, 0x0000D493, "alpha_graph"},
    {565, 0, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, 128, 0, 0, 0x0000B38D, "graph_tint"},
    {565, 0, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, -1, 1, 0, 0x0000BBAF, "alpha_tint"},
    {565, 0, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, 128, 1, 0, 0x0000CBD2, "alpha_graph_tint"},
    {565, 0, 126, 0x0000E416, 0x00FFAF67, 0xFFFFFF, -1, 1, 1, 0x0000AF67, "alpha_trans255"},
    {565, 0, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, -1, 1, 0, 0x0000AF67, "alpha_copy"},
    {565, 1, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, -1, 0, 0, 0x0000C5AE, "plain"},
    {565, 1, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, -1, 0, 0, 0x0000BBAE, "tint"},
    {565, 1, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, 128, 0, 0, 0x0000D4D2, "graph"},
    {565, 1, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, -1, 1, 0, 0x0000D493, "alpha"},
    {565, 1, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, 128, 1, 0, 0x0000DC54, "alpha_graph"},
    {565, 1, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, 128, 0, 0, 0x0000CBD1, "graph_tint"},
    {565, 1, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, -1, 1, 0, 0x0000CBD2, "alpha_tint"},
    {565, 1, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, 128, 1, 0, 0x0000D3F4, "alpha_graph_tint"},
    {565, 1, 126, 0x0000E416, 0x00FFAF67, 0xFFFFFF, -1, 1, 1, 0x0000CDAF, "alpha_trans255"},
    {565, 2, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, -1, 0, 0, 0x0000FFB9, "plain"},
    {565, 2, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, -1, 0, 0, 0x0000FD77, "tint"},
    {565, 2, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, 128, 0, 0, 0x0000FDD7, "graph"},
    {565, 2, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, -1, 1, 0, 0x0000FD36, "alpha"},
    {565, 2, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, 128, 1, 0, 0x0000EC96, "alpha_graph"},
    {565, 2, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, 128, 0, 0, 0x0000FCB6, "graph_tint"},
    {565, 2, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, -1, 1, 0, 0x0000F476, "alpha_tint"},
    {565, 2, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, 128, 1, 0, 0x0000E436, "alpha_graph_tint"},
    {565, 2, 126, 0x0000E416, 0x00FFAF67, 0xFFFFFF, -1, 1, 1, 0x0000FFB9, "alpha_trans255"},
    {565, 3, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, -1, 0, 0, 0x00009893, "plain"},
    {565, 3, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, -1, 0, 0, 0x0000BAD5, "tint"},
    {565, 3, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, 128, 0, 0, 0x0000CA55, "graph"},
    {565, 3, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, -1, 1, 0, 0x0000DB16, "alpha"},
    {565, 3, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, 128, 1, 0, 0x0000EB96, "alpha_graph"},
    {565, 3, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, 128, 0, 0, 0x0000DB96, "graph_tint"},
    {565, 3, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, -1, 1, 0, 0x0000DBD6, "alpha_tint"},
    {565, 3, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, 128, 1, 0, 0x0000EC16, "alpha_graph_tint"},
    {565, 3, 126, 0x0000E416, 0x00FFAF67, 0xFFFFFF, -1, 1, 1, 0x00009893, "alpha_trans255"},
    {565, 4, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, -1, 0, 0, 0x000093A4, "plain"},
    {565, 4, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, -1, 0, 0, 0x00007182, "tint"},
    {565, 4, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, 128, 0, 0, 0x000049C2, "graph"},
    {565, 4, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, -1, 1, 0, 0x00003141, "alpha"},
    {565, 4, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, 128, 1, 0, 0x000018A0, "alpha_graph"},
    {565, 4, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, 128, 0, 0, 0x000038C1, "graph_tint"},
    {565, 4, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, -1, 1, 0, 0x00002080, "alpha_tint"},
    {565, 4, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, 128, 1, 0, 0x00001040, "alpha_graph_tint"},
    {565, 4, 126, 0x0000E416, 0x00FFAF67, 0xFFFFFF, -1, 1, 1, 0x000093A4, "alpha_trans255"},
    {565, 10, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, -1, 0, 0, 0x0000A276, "plain"},
    {565, 10, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, -1, 0, 0, 0x00009233, "tint"},
    {565, 10, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, 128, 0, 0, 0x0000BB36, "graph"},
    {565, 10, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, -1, 1, 0, 0x0000C376, "alpha"},
    {565, 10, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, 128, 1, 0, 0x0000D3B6, "alpha_graph"},
    {565, 10, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, 128, 0, 0, 0x0000B314, "graph_tint"},
    {565, 10, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, -1, 1, 0, 0x0000C354, "alpha_tint"},
    {565, 10, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, 128, 1, 0, 0x0000D3B5, "alpha_graph_tint"},
    {565, 10, 126, 0x0000E416, 0x00FFAF67, 0xFFFFFF, -1, 1, 1, 0x0000A276, "alpha_trans255"},
    {565, 11, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, -1, 0, 0, 0x0000C3EE, "plain"},
    {565, 11, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, -1, 0, 0, 0x0000B2ED, "tint"},
    {565, 11, 126, 0x0000E416, 0x0000AF67, 0xFFFFFF, 128, 0, 0, 0x0000CBF1, "graph"},
    {565, 11, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, -1, 1, 0, 0x0000D3F2, "alpha"},
    {565, 11, 126, 0x0000E416, 0x005AAF67, 0xFFFFFF, 128, 1, 0, 0x0000DBF4, "alpha_graph"},
    {565, 11, 126, 0x0000E416, 0x0000AF67, 0xCB6BA0, 128, 0, 0, 0x0000C371, "graph_tint"},
    {565, 11, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, -1, 1, 0, 0x0000CB92, "alpha_tint"},
    {565, 11, 126, 0x0000E416, 0x005AAF67, 0xCB6BA0, 128, 1, 0, 0x0000D3D4, "alpha_graph_tint"},
    {565, 11, 126, 0x0000E416, 0x00FFAF67, 0xFFFFFF, -1, 1, 1, 0x0000C3EE, "alpha_trans255"},
    {32, 0, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0x5CE17A4A, "stretch_plain"},
    {32, 1, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0xAB78A9B2, "stretch_plain"},
    {32, 4, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0xAB2E5F46, "stretch_plain"},
    {32, 11, 100, 0xAB35C8F5, 0x5CE17A4A, 0xFFFFFF, -1, 0, 0, 0xAB329EB0, "stretch_plain"},
    {32, 0, 100, 0xAB35C8F5, 0x64E17A4A, 0xFFFFFF, -1, 1, 0, 0xAB78A9B2, "stretch_alpha_blends"},
    {565, 0, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x00004CF5, "stretch_plain"},
    {565, 1, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x0000834E, "stretch_plain"},
    {565, 4, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x00002967, "stretch_plain"},
    {565, 11, 100, 0x00009A6B, 0x00004CF5, 0xFFFFFF, -1, 0, 0, 0x0000720A, "stretch_plain"},
    {565, 0, 100, 0x00009A6B, 0x00644CF5, 0xFFFFFF, -1, 1, 0, 0x00007B4E, "stretch_alpha_blends"},
};

// Draws one source pixel onto one target pixel through the blit (or the mirrored 1 x 1
// stretched blit) and returns the target pixel.
uint32_t DrawOne(const BlendCase& c, bool stretch) {
  const int type = c.bits == 32 ? MEMIMG_TYPE_32BIT : MEMIMG_TYPE_RGB565;
  TestImage target(type, 1, 1), source(type, 1, 1, 0, c.alpha), graph(MEMIMG_TYPE_CHANNEL8, 1, 1);
  target.Set(0, 0, c.target);
  source.Set(0, 0, c.source);
  graph.Set(0, 0, 7);
  ResetDrawState(target, c.mode, c.param);
  SetMemImgTint(c.tint);
  MemImgDrawState.BLEND_GRAPH_WEIGHT_TABLE[7] = (uint8_t)(c.weight < 0 ? 0 : c.weight);
  const MEMIMG* g = c.weight >= 0 ? &graph.m : nullptr;
  if (stretch) {
    RECT mirrored = {1, 0, 0, 1};
    MEMIMGStretchBlit(&target.m, &source.m, &mirrored, c.trans, g);
  } else {
    MEMIMGBlit(&target.m, &source.m, 0, 0, c.trans, g);
  }
  return target.Get(0, 0);
}

TEST(BlendRule, EveryModeOnBothPixelTypes) {
  for (const BlendCase& c : kBlendCases) {
    bool stretch = strncmp(c.name, "stretch", 7) == 0;
    EXPECT_EQ(DrawOne(c, stretch), c.expected)
        << c.bits << "-bit mode " << c.mode << " " << c.name << std::hex << " d=" << c.target << " s=" << c.source;
    // Mode 1 at p = 255 is mode 0, with tint, blend graph and alpha too.
    if (c.mode == 0 && !stretch) {
      BlendCase one = c;
      one.mode = 1;
      one.param = 255;
      EXPECT_EQ(DrawOne(one, false), DrawOne(c, false)) << c.bits << "-bit " << c.name;
    }
  }
}

TEST(BlendRule, WorkedCases) {
  struct Case {
    BlendCase c;
    bool stretch;
  } cases[] = {
      {{32, 1, 100, 0xF5, 0x4A, 0xFFFFFF, -1, 0, 0, 178, "mode 1 p=100"}, false},
      {{32, 4, 0, 0xF5, 0xDE, 0xFFFFFF, 176, 0, 0, 146, "mode 4 weight 176"}, false},
      {{32, 2, 100, 0xAB123456, 0, 0xFFFFFF, -1, 0, 0, 0x00123456, "packed add of 0"}, false},
      {{32, 1, 128, 0x01010101, 0x01010101, 0xFFFFFF, -1, 0, 0, 0, "halving s=d=1"}, false},
      {{32, 1, 129, 0x01010101, 0x01010101, 0xFFFFFF, -1, 0, 0, 0x01010101, "p=129 s=d=1"}, false},
      {{32, 1, 128, 0x01010101, 0x01010101, 0xFFFFFF, -1, 0, 0, 0x01010101, "stretch has no halving"}, true},
      {{565, 1, 100, 0, 63 << 5, 0xFFFFFF, -1, 0, 0, 25 << 5, "565 green blit mix"}, false},
      {{565, 1, 100, 0, 63 << 5, 0xFFFFFF, -1, 0, 0, 24 << 5, "565 green stretch"}, true},
      {{565, 1, 100, 0, 63 << 5, 0xFFFFFE, -1, 0, 0, 24 << 5, "565 green tinted blit"}, false},
      {{565, 1, 100, 0, 63 << 5 | 255 << 16, 0xFFFFFF, -1, 1, 1, 24 << 5, "565 green alpha 255"}, false},
      {{32, 0, 0, 0, 0x000000C8, 0xFFFFFE, -1, 0, 0, 199, "tint 0xFFFFFE tints"}, false},
      {{32, 0, 0, 0, 0x000000C8, 0xFFFFFFFF, -1, 0, 0, 0xC8, "tint 0xFFFFFFFF does not"}, false},
      {{32, 0, 0, 0xAB000000, 0xFF665544, 0xFFFFFF, -1, 1, 1, 0xFF665544, "alpha 255 copies whole"}, false},
      {{32, 0, 0, 0xAB000000, 0x00665544, 0xFFFFFF, -1, 1, 0, 0x00665544, "alpha raw copy, TransFlag 0"}, false},
      {{565, 0, 0, 0, 0x00801234, 0xFFFFFF, -1, 1, 0, 0x1234, "565 alpha raw copy"}, false},
  };
  for (const Case& k : cases) EXPECT_EQ(DrawOne(k.c, k.stretch), k.c.expected) << k.c.name;
}

TEST(BlendRule, AlphaZeroWithTransFlagLeavesTargetInEveryMode) {
  for (int bits : {32, 565})
    for (int mode : {0, 1, 2, 3, 4, 10, 11})
      for (bool stretch : {false, true}) {
        BlendCase c = {bits, mode, 100, 0x00C0FFEE & (bits == 32 ? 0xFFFFFFFF : 0xFFFF), bits == 32 ? 0x00FFFFFFu : 0x0000FFFFu, 0xFFFFFF, -1, 1, 1, 0, ""};
        EXPECT_EQ(DrawOne(c, stretch), c.target) << bits << "-bit mode " << mode << (stretch ? " stretch" : " blit");
        c.weight = 200;
        EXPECT_EQ(DrawOne(c, stretch), c.target) << bits << "-bit mode " << mode << " with graph";
      }
}

TEST(BlendRule, ModesWithoutOperationDrawNothing) {
  for (int bits : {32, 565})
    for (int mode : {5, 6, 7, 8, 9, 12, 14, -1, 1000})
      for (int param : {0, 100, 255})
        for (int weight : {-1, 100}) {
          BlendCase c = {bits, mode, param, 0x1234, 0x5678, 0xFFFFFF, weight, 0, 0, 0, ""};
          EXPECT_EQ(DrawOne(c, false), 0x1234u) << bits << "-bit mode " << mode << " p=" << param;
          EXPECT_EQ(DrawOne(c, true), 0x1234u) << bits << "-bit mode " << mode << " p=" << param;
        }
}

TEST(BlendRule, ParameterZero) {
  // Modes 1, 2 and 3 draw nothing at p = 0; a palette source still subtracts a zero source.
  for (int mode : {1, 2, 3}) {
    BlendCase c = {32, mode, 0, 0xAB102030, 0x00FFFFFF, 0xFFFFFF, -1, 0, 0, 0, ""};
    EXPECT_EQ(DrawOne(c, false), 0xAB102030u) << mode;
  }
  for (bool stretch : {false, true}) {
    TestImage target(MEMIMG_TYPE_32BIT, 2, 1), source(MEMIMG_TYPE_32BIT, 1, 1, 1);
    target.Set(0, 0, 0xAB102030);
    source.SetPalette(0, 0x00FFFFFF);
    ResetDrawState(target, 3, 0);
    RECT wide = {0, 0, 2, 1};
    if (stretch) MEMIMGStretchBlit(&target.m, &source.m, &wide, 0, nullptr);
    else MEMIMGBlit(&target.m, &source.m, 0, 0, 0, nullptr);
    EXPECT_EQ(target.Get(0, 0), 0x00112130u) << stretch;  // green and red low bits 1, byte 3 0
  }
}

TEST(BlendRule, PalettePixelsAndTransparency) {
  TestImage target(MEMIMG_TYPE_32BIT, 4, 1), source(MEMIMG_TYPE_32BIT, 4, 1, 1, 0, 2);
  target.Fill(0x11111111);
  source.SetPalette(0, 0xCAFEBABE);
  source.SetPalette(2, 0x00FF00FF);
  source.Set(0, 0, 0);
  source.Set(1, 0, 2);  // the transparent index
  source.Set(2, 0, 0);
  source.Set(3, 0, 2);
  ResetDrawState(target);
  MEMIMGBlit(&target.m, &source.m, 0, 0, 1, nullptr);
  EXPECT_EQ(target.Get(0, 0), 0xCAFEBABEu);  // the whole 4-byte entry
  EXPECT_EQ(target.Get(1, 0), 0x11111111u);
  EXPECT_EQ(target.Get(2, 0), 0xCAFEBABEu);
  EXPECT_EQ(target.Get(3, 0), 0x11111111u);
}

// RGB565 add and subtract at p = 255 in the blit work on pairs of pixels from the first drawn
// pixel of each row; a pixel whose partner is transparent, and an odd last pixel, go alone.
TEST(BlendRule, Rgb565PairShortCuts) {
  const uint32_t d[4] = {0xF81F, 0x07E0, 0x8410, 0x39E7}, s[4] = {0x0841, 0xFFFF, 0x1234, 0xC618};
  struct {
    int mode;
    uint32_t all[4];
    uint32_t lone0, lone2;
  } cases[] = {{2, {0xF07F, 0xFFDE, 0x963F, 0xF7DE}, 0xF07F, 0x963F}, {3, {0xF01E, 0, 0x7A00, 0}, 0xF01E, 0x7A00}};
  for (auto& c : cases) {
    TestImage target(MEMIMG_TYPE_RGB565, 4, 1), source(MEMIMG_TYPE_RGB565, 4, 1, 0, 0, 0x5555);
    for (int i = 0; i < 4; i++) target.Set(i, 0, d[i]), source.Set(i, 0, s[i]);
    ResetDrawState(target, c.mode, 255);
    MEMIMGBlit(&target.m, &source.m, 0, 0, 1, nullptr);
    for (int i = 0; i < 4; i++) EXPECT_EQ(target.Get(i, 0), c.all[i]) << "mode " << c.mode << " pixel " << i;

    // Three pixels, the middle one transparent: both others are drawn alone.
    TestImage t3(MEMIMG_TYPE_RGB565, 3, 1), s3(MEMIMG_TYPE_RGB565, 3, 1, 0, 0, 0x5555);
    t3.Set(0, 0, d[0]), t3.Set(1, 0, d[1]), t3.Set(2, 0, d[2]);
    s3.Set(0, 0, s[0]), s3.Set(1, 0, 0x5555), s3.Set(2, 0, s[2]);
    MEMIMGBlit(&t3.m, &s3.m, 0, 0, 1, nullptr);
    EXPECT_EQ(t3.Get(0, 0), c.lone0) << "mode " << c.mode;
    EXPECT_EQ(t3.Get(1, 0), d[1]) << "mode " << c.mode;
    EXPECT_EQ(t3.Get(2, 0), c.lone2) << "mode " << c.mode;
  }
}

// The MMX loops agree with the plain ones where the arithmetic says so: the halving exactly;
// the saturating add and subtract are byte-wise (fourth byte too) and differ from the packed
// forms only in the fourth byte and the low bits of green and red.
TEST(BlendRule, MmxAgreesWithPlainPaths) {
  TestRandom rnd(1234);
  const int w = 37, h = 5;
  TestImage source(MEMIMG_TYPE_32BIT, w, h, 0, 0, 0x00010203), palette(MEMIMG_TYPE_32BIT, w, h, 1, 0, 9);
  for (int i = 0; i < 256; i++) palette.SetPalette(i, rnd.Next());
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      source.Set(x, y, rnd.Below(7) == 0 ? 0x00010203 : rnd.Next());
      palette.Set(x, y, rnd.Below(256));
    }
  std::vector<uint32_t> start(w * h);
  for (auto& v : start) v = rnd.Next();
  auto draw = [&](TestImage& src, int mode, int param, int mmx, bool stretch, int trans) {
    auto target = std::make_unique<TestImage>(MEMIMG_TYPE_32BIT, w, h);
    for (int i = 0; i < w * h; i++) target->Set(i % w, i / w, start[i]);
    ResetDrawState(*target, mode, param);
    ForceSoftRenderMmx(mmx);
    RECT mirrored = {w, 0, 0, h};
    if (stretch) MEMIMGStretchBlit(&target->m, &src.m, &mirrored, trans, nullptr);
    else MEMIMGBlit(&target->m, &src.m, 0, 0, trans, nullptr);
    ForceSoftRenderMmx(-1);
    return target;
  };
  auto sourceColour = [&](TestImage& src, int x, int y) {
    uint32_t raw = src.Get(x, y);
    if (!src.m.store->paletteFlag) return raw;
    uint32_t v;
    memcpy(&v, src.m.store->paletteBlock + raw * 4, 4);
    return v;
  };
  auto byteAt = [](uint32_t v, int i) { return (int)(v >> (8 * i) & 0xFF); };
  for (TestImage* src : {&source, &palette})
    for (int trans : {0, 1}) {
      const char* kind = src == &source ? "plain" : "palette";
      auto plainHalf = draw(*src, 1, 128, 0, false, trans), mmxHalf = draw(*src, 1, 128, 1, false, trans);
      for (int i = 0; i < w * h; i++)
        ASSERT_EQ(mmxHalf->Get(i % w, i / w), plainHalf->Get(i % w, i / w)) << kind << " halving pixel " << i;
      for (int mode : {2, 3})
        for (bool stretch : {false, true}) {
          if (stretch && mode == 2) continue;  // the stretched blit has no add short cut
          auto plain = draw(*src, mode, 255, 0, stretch, trans), mmx = draw(*src, mode, 255, 1, stretch, trans);
          for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
              int sx = stretch ? w - 1 - x : x, sy = y;  // mirrored in x only
              uint32_t d = start[y * w + x], s = sourceColour(*src, sx, sy), p = plain->Get(x, y), m = mmx->Get(x, y);
              bool skipped = trans && (src == &source ? src->Get(sx, sy) == 0x00010203 : src->Get(sx, sy) == 9);
              if (skipped) {
                ASSERT_EQ(m, d);
                ASSERT_EQ(p, d);
                continue;
              }
              for (int b = 0; b < 4; b++) {
                int want = mode == 2 ? std::min(255, byteAt(d, b) + byteAt(s, b)) : std::max(0, byteAt(d, b) - byteAt(s, b));
                ASSERT_EQ(byteAt(m, b), want) << kind << " mode " << mode << " byte " << b << " at " << x << "," << y << std::hex << " d=" << d << " s=" << s << " m=" << m << " p=" << p << " stretch=" << stretch;
              }
              ASSERT_EQ(byteAt(p, 0), byteAt(m, 0)) << kind << " blue exact in mode " << mode;
              for (int b = 1; b < 3; b++) ASSERT_LE(std::abs(byteAt(p, b) - byteAt(m, b)), 2) << kind << " mode " << mode;
            }
        }
    }
}

}  // namespace
