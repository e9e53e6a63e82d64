// The one core every filter and blend runs through: checks, clipping, parameter conversion,
// the pass count and the choice of work targets, and the passes between a save and a restore
// of the draw state.
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "core/log.h"
#include "filter/filter_blend.h"
#include "filter/filter_color.h"
#include "filter/filter_downscale.h"
#include "filter/filter_draw_state.h"
#include "filter/filter_gauss.h"
#include "filter/filter_hsb.h"
#include "filter/filter_level.h"
#include "filter/filter_rgba_mix.h"
#include "filter/filter_record.h"
#include "filter/filter_resources.h"
#include "filter/filter_targets.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/present.h"
#include "graphics/draw/draw_target.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/texture_transfer.h"
#include "korvel.h"

namespace {
typedef int (*PASS_FUNCTION)(FILTER_PASS_RECORD* record, const FILTER_PARAMS* params);

struct TYPE_RUN {
  int passes;
  int work;  // the type needs work textures whatever the rectangle
  PASS_FUNCTION run;
};

int Mono(FILTER_PASS_RECORD* r, const FILTER_PARAMS* p) { return RunMonoFilter(r, p->floats[0], p->floats[1]); }
int BrightClip(FILTER_PASS_RECORD* r, const FILTER_PARAMS* p) {
  return RunBrightClipFilter(r, p->ints[0], p->floats[0], p->ints[1], p->floats + 1);
}
int Invert(FILTER_PASS_RECORD* r, const FILTER_PARAMS*) { return RunInvertFilter(r); }
int TwoColor(FILTER_PASS_RECORD* r, const FILTER_PARAMS* p) {
  return RunTwoColorFilter(r, p->floats[0], p->floats + 1, p->floats + 5);
}
int PremultipliedAlpha(FILTER_PASS_RECORD* r, const FILTER_PARAMS*) { return RunPremultipliedAlphaFilter(r); }
int Gauss(FILTER_PASS_RECORD* r, const FILTER_PARAMS* p) { return RunGaussFilter(r, p->ints[0], p->floats[0]); }
int DownScale(FILTER_PASS_RECORD* r, const FILTER_PARAMS* p) { return RunDownScaleFilter(r, p->ints[0]); }
int Hsb(FILTER_PASS_RECORD* r, const FILTER_PARAMS* p) {
  return RunHsbFilter(r, p->ints[0], p->floats[0], p->floats[1], p->floats[2]);
}
int Level(FILTER_PASS_RECORD* r, const FILTER_PARAMS* p) {
  return RunLevelFilter(r, p->floats[0], p->floats[1], p->floats[2], p->floats[3], p->floats[4]);
}
int GradientMap(FILTER_PASS_RECORD* r, const FILTER_PARAMS* p) { return RunGradientMapFilter(r, p->ints[0], p->ints[1]); }

const TYPE_RUN kFilterRuns[FILTER_TYPE_COUNT] = {
    {1, 0, Mono},      {2, 1, Gauss},
    {1, 0, DownScale}, {1, 0, BrightClip}, {2, 0, Hsb},         {1, 0, Invert},
    {1, 0, Level},     {1, 0, TwoColor},   {1, 0, GradientMap}, {1, 0, PremultipliedAlpha},
};
int Blend(FILTER_PASS_RECORD* r, const FILTER_PARAMS* p) {
  if (r->type == BLEND_RGBA_MIX) return RunRgbaMixBlendFilter(r, p->ints[0], p->ints[1], p->ints[2], p->ints[3]);
  return RunBasicBlendFilter(r);
}

// Every blend type runs one pass without work textures.
const TYPE_RUN kBlendRun = {1, 0, Blend};

// value x numerator / denominator, computed in double precision and stored as float.
float Scaled(int value, double numerator, double denominator) { return (float)(value * numerator / denominator); }

// A packed screen colour and an alpha, both from the list, as red, green, blue, alpha in 0-1.
void ReadColor(va_list* args, float* out) {
  unsigned int color = va_arg(*args, unsigned int);
  int alpha = va_arg(*args, int);
  int red = 0, green = 0, blue = 0;
  UnpackScreenColor(color, &red, &green, &blue);
  out[0] = Scaled(red, 1.0, 255.0), out[1] = Scaled(green, 1.0, 255.0), out[2] = Scaled(blue, 1.0, 255.0);
  out[3] = Scaled(alpha, 1.0, 255.0);
}

// The type's parameters, read from the list in order and converted for its pass function.
void ReadParams(int blend, int type, va_list* args, FILTER_PARAMS* p) {
  memset(p, 0, sizeof(*p));
  auto next = [args]() { return va_arg(*args, int); };
  if (blend) {
    if (type == 1)
      for (int i = 0; i < 4; i++) p->ints[i] = next();
    return;
  }
  switch (type) {
    case FILTER_MONO:
      p->floats[0] = Scaled(next(), 100.0, 255.0);
      p->floats[1] = Scaled(next(), 100.0, 255.0);
      break;
    case FILTER_GAUSS:
      p->ints[0] = next();
      p->floats[0] = Scaled(next(), 1.0, 100.0);
      break;
    case FILTER_DOWN_SCALE:
      p->ints[0] = next();
      break;
    case FILTER_BRIGHT_CLIP:
      p->ints[0] = next();
      p->floats[0] = (float)next();
      p->ints[1] = next();
      if (p->ints[1] != 0) ReadColor(args, p->floats + 1);
      break;
    case FILTER_HSB:
      p->ints[0] = next();
      p->floats[0] = (float)next();
      p->floats[1] = Scaled(next(), 100.0, 255.0);
      p->floats[2] = Scaled(next(), 100.0, 255.0);
      break;
    case FILTER_LEVEL:
      for (int i = 0; i < 5; i++) p->floats[i] = i == 2 ? Scaled(next(), 1.0, 100.0) : (float)next();
      break;
    case FILTER_TWO_COLOR:
      p->floats[0] = (float)next();
      ReadColor(args, p->floats + 1);
      ReadColor(args, p->floats + 5);
      break;
    case FILTER_GRADIENT_MAP:
      p->ints[0] = next();
      p->ints[1] = next();
      break;
    default:
      break;
  }
}

// One axis of a request: the source rectangle's start and end (exclusive), the blend position
// and the destination point. Held in 64 bits so that positions at the ends of the int range
// move without overflow.
struct CLIP_AXIS {
  int64_t start, end, blend, dest;
};

// Clips one axis: the source rectangle against the source, the result against the
// destination; the blend position moves with the source. false when nothing is left.
bool ClipAxis(CLIP_AXIS* a, int sourceSize, int destSize, int divisor) {
  if (a->start < 0) a->blend -= a->start, a->dest -= a->start, a->start = 0;
  if (a->dest < 0) a->blend -= a->dest, a->start -= a->dest, a->dest = 0;
  if (a->end <= a->start) return false;
  if (a->end > sourceSize) a->end = sourceSize;
  if (a->start >= sourceSize || a->end <= 0 || a->dest >= destSize) return false;
  if ((a->end - a->start) / divisor + a->dest > destSize) a->end = a->start + (destSize - a->dest) * divisor;
  return a->end > a->start;
}

// A blend position moved past an end of the int range lies beyond every blend graph; kept at
// that end, it still does.
int SaturateToInt(int64_t value) {
  return value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : (int)value;
}

// A graph the run reads or writes that is the multisampled draw target is resolved first.
void ResolveIfDrawTarget(HANDLE_VALUE a, HANDLE_VALUE b, HANDLE_VALUE c) {
  HANDLE_VALUE target = DrawSettings.drawTarget;
  if (!IsGraphMultiSampled(target)) return;
  if (target != a && target != b && target != c) return;
  EndDeviceScene();
  ResolveMultiSampleTexture(&GetGraphRecord(target, 0)->imageSet->textures[0]);
}

int ExecuteGraphFilterV(int blend, HANDLE_VALUE source, HANDLE_VALUE blendGraph, HANDLE_VALUE dest, int ratio,
                        int type, int x1, int y1, int x2, int y2, int blendX, int blendY, int useBlendPosition,
                        int destX, int destY, va_list args) {
  GRAPH_RECORD* from = GetGraphRecord(source, 0);
  GRAPH_RECORD* to = GetGraphRecord(dest, 0);
  if (from == nullptr || to == nullptr || x1 >= x2 || y1 >= y2) return -1;
  if (blend ? GetGraphRecord(blendGraph, 0) == nullptr || type < 0 || type >= BLEND_TYPE_COUNT
            : type < 0 || type >= FILTER_TYPE_COUNT)
    return -1;
  const TYPE_RUN& run = blend ? kBlendRun : kFilterRuns[type];
  FILTER_PARAMS params;
  va_list list;
  va_copy(list, args);
  ReadParams(blend, type, &list, &params);
  va_end(list);
  ratio = ratio < 0 ? 0 : ratio > 255 ? 255 : ratio;
  int divisor = !blend && type == FILTER_DOWN_SCALE ? DownScaleDivisor(params.ints[0]) : 1;

  CLIP_AXIS across = {x1, x2, blendX, destX}, down = {y1, y2, blendY, destY};
  if (!ClipAxis(&across, from->width, to->width, divisor) || !ClipAxis(&down, from->height, to->height, divisor))
    return 0;
  // What is left lies inside both graphs; only the blend position, which is not clipped, can
  // have left the int range.
  x1 = (int)across.start, x2 = (int)across.end, destX = (int)across.dest, blendX = SaturateToInt(across.blend);
  y1 = (int)down.start, y2 = (int)down.end, destY = (int)down.dest, blendY = SaturateToInt(down.blend);
  int w = x2 - x1, h = y2 - y1;

  ResolveIfDrawTarget(source, dest, blend ? blendGraph : -1);
  if (!blend && type == FILTER_GRADIENT_MAP) ResolveIfDrawTarget(params.ints[0], -1, -1);
  int passes = run.passes, work = run.work;
  if (!blend && type == FILTER_HSB && params.ints[0] == 1) passes = 1;
  if (x1 != destX || y1 != destY || !IsFilterInPlace()) work = 1;
  // DownScale reads pixels other than the one it writes: rendered into the graph it reads, it
  // would read pixels it has already written.
  if (!blend && type == FILTER_DOWN_SCALE && source == dest) work = 1;
  if (!FilterShadersUsable()) passes = 1;

  FILTER_PASS_RECORD record;
  memset(&record, 0, sizeof(record));
  record.blend = blend;
  record.type = type;
  record.blendGraph = blend ? blendGraph : -1;
  record.blendRatio = (float)(ratio / 255.0);
  record.x1 = x1, record.y1 = y1, record.x2 = x2, record.y2 = y2;
  record.blendX = blendX, record.blendY = blendY;
  record.useBlendPosition = useBlendPosition;
  record.destX = destX, record.destY = destY;

  BeginDeviceScene();
  FILTER_SAVED_DRAW_STATE saved;
  SaveFilterDrawState(&saved);
  HANDLE_VALUE running = source, target = -1, lastTarget = -1;
  int lastResult = -1, finished = 0;
  for (int i = 0; i < passes; i++) {
    record.passSource = source;
    record.passDestination = dest;
    record.passIndex = i;
    if (PrepareFilterPassTargets(&record, passes, work, &running, &target) != 0 || !IsGraphHandleValid(target)) break;
    record.passSource = running;
    record.passDestination = target;
    lastResult = run.run(&record, &params);
    lastTarget = target;
    // A failed pass leaves its target unwritten: nothing after it can be right.
    if (lastResult != 0) break;
    finished++;
    running = target;
  }
  RestoreFilterDrawState(&saved);
  record.passSource = source;
  record.passDestination = dest;
  int copied = CopyFilterResultToGraph(&record, lastTarget, work, lastResult, w / divisor, h / divisor);
  return finished == passes && copied == 0 ? 0 : -1;
}
}  // namespace

int ExecuteGraphFilter(int blend, int source, int blendGraph, int dest, int blendRatio, int type, int x1, int y1,
                       int x2, int y2, int blendX, int blendY, int useBlendPosition, int destX, int destY, ...) {
  va_list args;
  va_start(args, destY);
  int result = ExecuteGraphFilterV(blend, source, blendGraph, dest, blendRatio, type, x1, y1, x2, y2, blendX, blendY,
                                   useBlendPosition, destX, destY, args);
  va_end(args);
  return result;
}

int ApplyGraphFilter(int graph, int type, ...) {
  int width = 0, height = 0;
  if (GetGraphRecord(graph, 0) == nullptr || GetGraphOrScreenSize(graph, &width, &height) != 0) return -1;
  va_list args;
  va_start(args, type);
  int result = ExecuteGraphFilterV(0, graph, -1, graph, 0, type, 0, 0, width, height, 0, 0, 0, 0, 0, args);
  va_end(args);
  return result;
}
