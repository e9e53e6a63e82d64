// The frame sizes a Theora movie may announce: the coded frame must be one the library
// converts (an XRGB8 image and YUV planes of sizes that fit the library's arithmetic and a
// 32-bit address space) and, while Direct3D 9 draws, one texture of the device must hold it
// (the overlay is copied into the graph's first texture); the picture must lie inside it.
#include "core/log.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/screen.h"
#include "movie/theora_decoder.h"

int CheckTheoraFrameSize(const theora_info* info) {
  uint32_t width = info->width, height = info->height;
  if (width == 0 || height == 0 || width > THEORA_MAX_FRAME_SIDE || height > THEORA_MAX_FRAME_SIDE) {
    AddLogLineFormat("Theora ムービーのフレームサイズ %u x %u はライブラリの上限 %d x %d を超えています", width, height,
                     THEORA_MAX_FRAME_SIDE, THEORA_MAX_FRAME_SIDE);
    return -1;
  }
  if (info->frame_width == 0 || info->frame_height == 0 || info->frame_width > width ||
      info->frame_height > height || info->offset_x > width - info->frame_width ||
      info->offset_y > height - info->frame_height) {
    AddLogLineFormat("Theora ムービーの表示領域 %u x %u ( %u, %u ) はフレーム %u x %u に収まっていません",
                     info->frame_width, info->frame_height, info->offset_x, info->offset_y, width, height);
    return -1;
  }
  if (ScreenState.hardwareRendering && HasDirect3DDevice() &&
      (width > (uint32_t)DeviceCaps.maxTextureWidth || height > (uint32_t)DeviceCaps.maxTextureHeight)) {
    AddLogLineFormat("Theora ムービーのフレームサイズ %u x %u はデバイスのテクスチャサイズの上限 %d x %d を超えています",
                     width, height, DeviceCaps.maxTextureWidth, DeviceCaps.maxTextureHeight);
    return -1;
  }
  return 0;
}
