// Drawing settings, packed screen colours and screen queries.
#pragma once
#include <windows.h>

int SelectBlendMode(int mode, int parameter);
int SelectAlphaTest(int mode, int reference);
int SelectDrawBrightness(int red, int green, int blue);
// The blend graph whose pixels weight each drawn pixel (handle <= 0: none). Type 0 takes one
// parameter, type 1 (border) the border parameter and the border range; each 0-255.
int SelectBlendGraph(int graph, int type, const int* parameters);
int SelectBlendGraphArgs(int graph, int type, ...);
int SetBlendGraphWithBorder(int graph, int borderParam, int borderRange);
int SetDrawFilterMode(int mode);  // 0 nearest, 1 bilinear, 2 anisotropic
int GetDrawFilterMode();
int SetDepthTest3D(int value);
int StoreTransparentColor(int red, int green, int blue);
int SetVSyncWait(int flag);
int GetVSyncWait();
int SetSmallScreenEmulation(int flag);
int GetDrawTargetHandle();
int HasGraphicsRestoreCallback();
// The function that restores graph contents after the device is made again (null: every
// graph reloaded from its source).
int SetGraphicsRestoreHandler(int (*handler)());
int SelectFogMode(int mode);
int SelectFogColor(int red, int green, int blue);
int SelectFogRange(float start, float end);

unsigned int PackScreenColor(int red, int green, int blue);
int UnpackScreenColor(unsigned int color, int* red, int* green, int* blue);

int GetScreenColorBits();
int QueryMainScreenSize(int* width, int* height);

// Vertex and index buffers: created with a size, filled by element ranges, deleted with
// DeleteVertexBuffer / DeleteIndexBuffer. Index buffers hold 16-bit indices.
int CreateVertexBuffer(int vertexSize, int vertexCount);
int CreateIndexBuffer(int indexCount);
int SetVertexBufferData(int first, const void* data, int count, int handle);
int SetIndexBufferData(int first, const void* data, int count, int handle);
int DeleteVertexBuffer(int handle);
int DeleteIndexBuffer(int handle);

// Screen modes and graphics start-up.
int SetScreenMode(int width, int height, int bits, int refresh);  // 0, -1, or -2 after a fall-back
int GetScreenSizeAndBits(int* width, int* height, int* bits);
int IsFullScreenMode();
int SetHardwareRenderingWanted(int flag);  // before start-up only
int IsHardwareRenderingWanted();

// Draw targets (-2 back screen, -4 front screen, or a drawable graph), the draw area and the
// screen flip.
int SelectDrawTarget(int target);
int SetDrawClipArea(int x1, int y1, int x2, int y2);
int ClearDrawTarget(const RECT* rect);  // null: the whole target
int FlipScreenBuffers();
// Copies the rectangle (x1, y1)-(x2, y2) of the source (a graph, else the screen) into the
// destination graph at (destX, destY); -1 when either rectangle does not fit.
int CopyScreenRectToGraph(int source, int x1, int y1, int x2, int y2, int destX, int destY, int dest);
// Copies the rectangle of the current draw target into a graph of exactly its size.
int CaptureDrawTargetToGraph(int x1, int y1, int x2, int y2, int graph);
// Extra render target of a slot, 1 up to the device's count - 1 (slot 0 is the draw target
// and goes to SelectDrawTarget). A drawable graph becomes the slot's target; a valid graph
// that is not drawable returns -1 and leaves the slot as it was; any other value (a screen
// code, an invalid or loading handle) empties the slot. -1 also for a slot outside the range
// and, for slots above 0, without a device drawing with programmable shaders.
int SetRenderTargetSlot(int slot, int target);
// The drawable graph whose depth surface serves drawing; -2 for the default depth buffer.
int SelectDepthBufferGraph(int graph);

// 2D drawing; colours are packed screen colours (PackScreenColor).
int DrawRectangle(int x1, int y1, int x2, int y2, unsigned int color, int fill);
int DrawFilledBox(int x1, int y1, int x2, int y2, unsigned int color);
int DrawBoxOutline(int x1, int y1, int x2, int y2, unsigned int color);
int DrawLineSegment(int x1, int y1, int x2, int y2, unsigned int color, int thickness);
int DrawThickLine(unsigned int color, int x1, int y1, int x2, int y2, int thickness);

// Graph draws; graph is a graph handle, transparent draws with the graph's transparency.
int DrawGraphAt(int x, int y, int graph, int transparent);
// Stretched to the rectangle; x1 > x2 or y1 > y2 mirrors that axis.
int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent);
int DrawGraphStretchedF(float x1, float y1, float x2, float y2, int graph, int transparent);
int DrawGraphMirrored(int x, int y, int graph, int transparent);  // left-right
// Onto the quadrilateral of the corners top-left, top-right, bottom-right, bottom-left.
int DrawGraphQuad(int graph, float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                  int transparent, int extra);
int DrawGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                   int transparent);
// The graph's rectangle (srcX, srcY, width, height) drawn at (x, y), mirrored left-right on request.
int DrawGraphRegion(int x, int y, int srcX, int srcY, int width, int height, int graph, int transparent, int mirror);
// The graph's rectangle (srcX, srcY, width, height) stretched to (x1, y1)-(x2, y2).
int DrawGraphRectStretchedF(float x1, float y1, float x2, float y2, int graph, int srcX, int srcY, int width,
                            int height, int transparent);
