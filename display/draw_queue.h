// The 2D draw queue: drawing commands append items here and the frame preparation performs them
// in queue order, on the back buffer or a bitmap, before the next slice runs. Screen items of a
// flip chain are performed in two consecutive frames so that both buffers get them.
#pragma once
#include <cstdint>
#include <string>

#include "common/value_slot.h"
#include "common/record_pool.h"
#include "platform/ddraw/ddraw.h"
#include "platform/gdi/gdi.h"

namespace vx {

// A colour as the fills want it (a pixel value of the target's format) and as GDI wants it.
struct DrawColour {
  uint32_t pixel = 0;
  uint8_t red = 0, green = 0, blue = 0;
  uint32_t Gdi() const { return uint32_t(red) + uint32_t(green) * 256u + uint32_t(blue) * 65536u; }
};

struct DrawQueueItem {
  int32_t next, previous;
  int32_t type;
  int32_t x, y;              // type 56: the angle
  int32_t frames;            // frame preparations still to perform it in
  int32_t targetBitmap;      // gCurrentBitmap when queued
  win::IDirectDrawSurface7* targetSurface;
  int32_t x2, y2;            // type 106: the radii as float bits; 52: colour-key flag; 107: background, ink
  int32_t number;            // bitmap number, image number or sprite number
  int32_t opaque;
  union {
    char text[256];
    int32_t p[9];
  } params;
  ValueSlot* result;         // type 109: where the colour goes
  // The colours of the item's first performance, kept for its repeat on the other page.
  DrawColour keptInk, keptBack;
  int32_t coloursKept;
  win::HFONT keptFont;       // text items: the font of the first performance
};

extern RecordPool<DrawQueueItem> gDrawQueue;
extern uint32_t gDrawQueueCount;                     // items waiting; the dispatcher ends a slice past 32000
extern int32_t gCurrentBitmap;                       // target of new items, 0 the screen
extern win::IDirectDrawSurface7* gCurrentSurface;
extern uint8_t gScreenPersistFrames;                 // 2 with a flip chain, else 1
extern DrawColour gDrawBackColor, gDrawInkColor;
extern int32_t gExecBitmap;                          // the executor's own current bitmap
extern win::IDirectDrawSurface7* gExecSurface;
// The text state (fonts, style, print cursor) is in display/text_fonts.h.

// Targets the screen, takes the persistence of the flip chain and sets black on white in the back
// buffer's format. Run set-up and display changes call it.
void ResetDrawTarget();

int32_t DrawQueueAlloc();     // the new item's slot, -1 after kErrOutOfMemory
int32_t DrawQueueFree(int32_t slot);
int32_t DrawQueueExecute();
void DrawQueueFlush();
// Colours 0xRRGGBB under the shifts of the last ComputePixelFormatShifts; ink -1 keeps the ink.
void SetDrawColors(int32_t background, int32_t ink);

// Loads an image file into bitmap n at once, with the black colour key unless it is a DDS file.
int32_t LoadBitmapIntoSlot(int32_t n, const std::string& file);
// The present step saves the shown screen into the file and clears the request.
void RequestScreenSave(const std::string& file);
// Lowercases the name in place; true when it ends in "dds".
bool IsDdsFileName(std::string& name);
// Stretches the whole source into the top-left part of the target that both share.
void CopySurfaceToSurface(win::IDirectDrawSurface7* target, win::IDirectDrawSurface7* source);

// Enqueue operations: 1, or 0 when no item could be had.
int32_t QueueSetCurrentBitmap(int32_t n);
int32_t QueueLoadBitmap(int32_t n, const std::string& file);
int32_t QueueSaveBitmap(int32_t n, const std::string& file);
int32_t QueueCreateBitmap(int32_t n, int32_t width, int32_t height);
int32_t QueueDeleteBitmap(int32_t n);
int32_t QueueCopyBitmap(int32_t source, int32_t target);
// Edges inclusive.
int32_t QueueCopyBitmapRect(int32_t source, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t target,
                            int32_t targetLeft, int32_t targetTop, int32_t targetRight, int32_t targetBottom);
int32_t QueueMirrorBitmap(int32_t n);
int32_t QueueFlipBitmap(int32_t n);
int32_t QueueBlurBitmap(int32_t n, int32_t value);
int32_t QueueFadeBitmap(int32_t n, int32_t value);
// Sets the image's width and height at once.
int32_t QueueGrabImage(int32_t imageNumber, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t flag);
int32_t QueuePasteImage(int32_t imageNumber, int32_t x, int32_t y);
int32_t QueuePasteImageKeyed(int32_t imageNumber, int32_t x, int32_t y);
int32_t QueuePasteSprite(int32_t spriteNumber, int32_t x, int32_t y);
int32_t QueueSaveImage(int32_t imageNumber, const std::string& file);
int32_t QueueRotateImage(int32_t imageNumber, int32_t angle);
int32_t QueueClearScreen();
int32_t QueueDeviceClear(uint32_t colour);
int32_t QueueDot(int32_t x, int32_t y);
int32_t QueueBox(int32_t left, int32_t top, int32_t right, int32_t bottom);
int32_t QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int32_t QueueEllipse(int32_t x, int32_t y, int32_t radiusX, int32_t radiusY);
int32_t QueueInk(int32_t ink, int32_t background);
int32_t QueueClearColor(int32_t colour);
int32_t QueueReadPixel(int32_t x, int32_t y, ValueSlot* result);
// Prints at the cursor in the window's font and moves the cursor: to the right of the text with
// sameLine, else to the start of the next line; with wrap, past the display's width too.
int32_t QueuePrintText(const std::string& text, int32_t* cursorX, int32_t* cursorY, int32_t sameLine,
                       int32_t opaque, int32_t wrap);
// Paints the text's cells in the background colour.
int32_t QueueEraseText(const std::string& text, int32_t cursorX, int32_t cursorY);
int32_t QueueTextFont(const std::string& face, int32_t charset);
int32_t QueueTextSize(int32_t size);
int32_t QueueTextOpaque();
int32_t QueueTextTransparent();
int32_t QueueTextNormal();
int32_t QueueTextItalic();
int32_t QueueTextBold();
int32_t QueueTextBoldItalic();
int32_t QueueDrawText(int32_t x, int32_t y, const std::string& text);
int32_t QueueDrawTextCentred(int32_t x, int32_t y, const std::string& text);

}  // namespace vx
