// Drawing a viewer screen: each item of a draw list becomes one library call on the current
// draw target.
#pragma once
#include "viewer_draw.h"

// Font items change the default font; boxes are filled rectangles, lines one pixel wide,
// texts drawn with the default font through "%s" (a data path is never taken as a format).
void DrawDrawList(const DRAW_LIST* list);
