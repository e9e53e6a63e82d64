// Graph filters: image filters and two-graph blends on graph handles, by pixel shaders on a
// Direct3D device, else by CPU passes over ARGB8 images (which define the results).
#pragma once

// Filter types and their parameters (ints, after the type):
//   0 Mono (Cb, Cr)                 5 Invert
//   1 Gauss (pixel width, strength)  6 Level (min, max, gamma x 100, output min, output max)
//   2 DownScale (divisor)            7 TwoColor (threshold, colour 1, alpha 1, colour 2, alpha 2)
//   3 BrightClip (compare mode 2 less / 5 greater, brightness, fill flag[, fill colour, fill alpha])
//   4 HSB (mode, hue, saturation, brightness)  8 GradientMap (gradient graph, reverse flag)
//   9 PremultipliedAlpha
// Colours are packed screen colours (PackScreenColor).
//
// The filter of the type over the whole graph, in place; 0, or -1 when refused or failed.
int ApplyGraphFilter(int graph, int type, ...);
// The core of every filter and blend: the rectangle (x1, y1)-(x2, y2) of the source processed
// into the destination at (destX, destY). The type's parameters follow. 0 when done or nothing
// was left after clipping; -1 when refused or failed.
// A blend (blend 1) also reads the blend graph, where depends on the path:
// - by pixel shader, with useBlendPosition 1: the blend graph's rectangle at (blendX, blendY)
//   of the source rectangle's size. The position moves with the source when clipping moves it
//   but is not clipped against the blend graph: beyond the blend graph's texture its edge
//   texels repeat. With useBlendPosition 0: the blend graph's first texture piece (the whole
//   graph unless it is held in several textures) stretched over the rectangle; blendX and
//   blendY are not read.
// - on the CPU (no usable pixel shaders, or SetGraphFilterCpuOnly(1)): the blend graph's
//   rectangle at the source rectangle's own position, (x1, y1)-(x2, y2) after clipping,
//   whatever blendX, blendY and useBlendPosition are; pixels beyond the blend graph read as 0.
int ExecuteGraphFilter(int blend, int source, int blendGraph, int dest, int blendRatio, int type, int x1, int y1,
                       int x2, int y2, int blendX, int blendY, int useBlendPosition, int destX, int destY, ...);
// 1: every filter runs its CPU pass even where pixel shaders could run it (0 by default).
int SetGraphFilterCpuOnly(int flag);
