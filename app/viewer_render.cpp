#include "viewer_render.h"

#include "korvel.h"

namespace {
unsigned ScreenColor(const DRAW_ITEM& item) {
  if (item.colorIsPacked) return item.color;
  return PackScreenColor((item.color >> 16) & 0xFF, (item.color >> 8) & 0xFF, item.color & 0xFF);
}
}  // namespace

void DrawDrawList(const DRAW_LIST* list) {
  for (int i = 0; i < list->count; i++) {
    const DRAW_ITEM& item = list->items[i];
    switch (item.kind) {
      case DRAW_FONT:
        ChangeDefaultFontSize(item.x1);
        ChangeDefaultFontThickness(item.y1);
        break;
      case DRAW_BOX: DrawRectangle(item.x1, item.y1, item.x2, item.y2, ScreenColor(item), 1); break;
      case DRAW_LINE: DrawLineSegment(item.x1, item.y1, item.x2, item.y2, ScreenColor(item), 1); break;
      case DRAW_TEXT: DrawFormattedText(item.x1, item.y1, ScreenColor(item), "%s", list->texts[item.text]); break;
    }
  }
}
