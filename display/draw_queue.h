// The 2D draw queue: drawing commands append items here and the frame preparation performs them
// in queue order, on the back buffer or a bitmap, before the next slice runs. Every item is
// performed once. Screen items of a flip chain stay queued for a second frame, in which the other
// buffer receives what they drew through the page copy (draw_queue_pages.cpp), not by drawing
// them again.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <variant>

#include "common/record_pool.h"
#include "common/value_slot.h"
#include "platform/ddraw/ddraw.h"
#include "platform/gdi/gdi.h"

namespace vx {

// A colour as the fills want it (a pixel value of the target's format) and as GDI wants it.
struct DrawColour {
  uint32_t pixel = 0;
  uint8_t red = 0, green = 0, blue = 0;
  uint32_t Gdi() const { return uint32_t(red) + uint32_t(green) * 256u + uint32_t(blue) * 65536u; }
};

// The kinds of queued drawing, by the numbers the queue has always given them.
enum class DrawItemType : int32_t {
  kSetBitmap = 1,
  kLoadBitmap = 2,
  kSaveBitmap = 3,
  kCreateBitmap = 4,
  kDeleteBitmap = 5,
  kCopyBitmap = 6,
  kMirrorBitmap = 8,
  kFlipBitmap = 9,
  kBlurBitmap = 10,
  kFadeBitmap = 11,
  kGrabImage = 51,
  kPasteImage = 52,
  kPasteSprite = 54,
  kSaveImage = 55,
  kRotateImage = 56,
  kClear = 101,
  kPrintText = 102,
  kDot = 103,
  kBox = 104,
  kLine = 105,
  kEllipse = 106,
  kInk = 107,
  kBackColour = 108,
  kReadPixel = 109,
  kEraseText = 110,
  kTextFont = 201,
  kTextSize = 202,
  kTextOpaque = 205,
  kTextTransparent = 206,
  kTextNormal = 207,
  kTextItalic = 208,
  kTextBold = 209,
  kTextBoldItalic = 210,
  kDrawText = 212,
  kDrawTextCentred = 213,
};

// A text of an item (a file name, a text to draw, a font face), cut to 255 characters.
struct ItemText {
  char chars[256];
  void Set(const std::string& text);
  std::string Get() const { return std::string(chars, strnlen(chars, sizeof chars - 1)); }
};

// The fields of each kind of item; the queue operations below fill them.
struct SetBitmapItem {  // targets gCurrentBitmap as it is when the item is performed
  static constexpr DrawItemType kType = DrawItemType::kSetBitmap;
};
struct LoadBitmapItem {
  static constexpr DrawItemType kType = DrawItemType::kLoadBitmap;
  int32_t bitmap;
  ItemText file;
};
struct SaveBitmapItem {
  static constexpr DrawItemType kType = DrawItemType::kSaveBitmap;
  int32_t bitmap;
  ItemText file;
};
struct CreateBitmapItem {
  static constexpr DrawItemType kType = DrawItemType::kCreateBitmap;
  int32_t bitmap, width, height;
};
struct DeleteBitmapItem {
  static constexpr DrawItemType kType = DrawItemType::kDeleteBitmap;
  int32_t bitmap;
};
struct CopyBitmapItem {
  static constexpr DrawItemType kType = DrawItemType::kCopyBitmap;
  int32_t source, target;
  int32_t whole;           // 1: the whole source at (0, 0); 0: rectangle to rectangle
  int32_t sourceEdges[4];  // left, top, right, bottom, inclusive
  int32_t targetEdges[4];
};
struct MirrorBitmapItem {
  static constexpr DrawItemType kType = DrawItemType::kMirrorBitmap;
  int32_t bitmap;
};
struct FlipBitmapItem {
  static constexpr DrawItemType kType = DrawItemType::kFlipBitmap;
  int32_t bitmap;
};
struct BlurBitmapItem {
  static constexpr DrawItemType kType = DrawItemType::kBlurBitmap;
  int32_t bitmap, value;
};
struct FadeBitmapItem {
  static constexpr DrawItemType kType = DrawItemType::kFadeBitmap;
  int32_t bitmap, value;
};
struct GrabImageItem {
  static constexpr DrawItemType kType = DrawItemType::kGrabImage;
  int32_t image;
  int32_t left, top, right, bottom;
  int32_t textureFlag;  // above 0: the image gets a texture; 2 compressed
};
struct PasteImageItem {
  static constexpr DrawItemType kType = DrawItemType::kPasteImage;
  int32_t image, x, y;
  int32_t colourKey;
};
struct PasteSpriteItem {
  static constexpr DrawItemType kType = DrawItemType::kPasteSprite;
  int32_t sprite, x, y;
};
struct SaveImageItem {
  static constexpr DrawItemType kType = DrawItemType::kSaveImage;
  int32_t image;
  ItemText file;
};
struct RotateImageItem {
  static constexpr DrawItemType kType = DrawItemType::kRotateImage;
  int32_t image, angle;
};
struct ClearItem {
  static constexpr DrawItemType kType = DrawItemType::kClear;
  int32_t deviceClear;  // 1: through the 3D device with the colour
  uint32_t colour;
};
struct PrintTextItem {  // in the window's font, at the print cursor
  static constexpr DrawItemType kType = DrawItemType::kPrintText;
  int32_t x, y, opaque;
  ItemText text;
};
struct DotItem {
  static constexpr DrawItemType kType = DrawItemType::kDot;
  int32_t x, y;
};
struct BoxItem {
  static constexpr DrawItemType kType = DrawItemType::kBox;
  int32_t left, top, right, bottom;  // corners inclusive
};
struct LineItem {
  static constexpr DrawItemType kType = DrawItemType::kLine;
  int32_t x1, y1, x2, y2;
};
struct EllipseItem {
  static constexpr DrawItemType kType = DrawItemType::kEllipse;
  int32_t x, y;
  float radiusX, radiusY;
};
struct InkItem {
  static constexpr DrawItemType kType = DrawItemType::kInk;
  int32_t ink, background;
};
struct BackColourItem {
  static constexpr DrawItemType kType = DrawItemType::kBackColour;
  int32_t background;
};
struct ReadPixelItem {
  static constexpr DrawItemType kType = DrawItemType::kReadPixel;
  int32_t x, y;
  ValueSlot* result;  // where the colour goes
};
struct EraseTextItem {  // the cells of a printed text in the background colour
  static constexpr DrawItemType kType = DrawItemType::kEraseText;
  int32_t x, y;
  ItemText text;
};
struct TextFontItem {
  static constexpr DrawItemType kType = DrawItemType::kTextFont;
  int32_t charset;
  ItemText face;
};
struct TextSizeItem {
  static constexpr DrawItemType kType = DrawItemType::kTextSize;
  int32_t size;
};
struct TextOpaqueItem {
  static constexpr DrawItemType kType = DrawItemType::kTextOpaque;
};
struct TextTransparentItem {
  static constexpr DrawItemType kType = DrawItemType::kTextTransparent;
};
// The four text styles; gTextStyle becomes kStyle.
template <DrawItemType kItemType, int16_t kStyle>
struct TextStyleItem {
  static constexpr DrawItemType kType = kItemType;
  static constexpr int16_t kTextStyle = kStyle;
};
using TextNormalItem = TextStyleItem<DrawItemType::kTextNormal, 0>;
using TextItalicItem = TextStyleItem<DrawItemType::kTextItalic, 1>;
using TextBoldItem = TextStyleItem<DrawItemType::kTextBold, 2>;
using TextBoldItalicItem = TextStyleItem<DrawItemType::kTextBoldItalic, 3>;
struct DrawTextItem {  // in the text font
  static constexpr DrawItemType kType = DrawItemType::kDrawText;
  int32_t x, y;
  ItemText text;
};
struct DrawTextCentredItem {  // x is the middle of the text
  static constexpr DrawItemType kType = DrawItemType::kDrawTextCentred;
  int32_t x, y;
  ItemText text;
};

using DrawItemFields =
    std::variant<SetBitmapItem, LoadBitmapItem, SaveBitmapItem, CreateBitmapItem, DeleteBitmapItem, CopyBitmapItem,
                 MirrorBitmapItem, FlipBitmapItem, BlurBitmapItem, FadeBitmapItem, GrabImageItem, PasteImageItem,
                 PasteSpriteItem, SaveImageItem, RotateImageItem, ClearItem, PrintTextItem, DotItem, BoxItem, LineItem,
                 EllipseItem, InkItem, BackColourItem, ReadPixelItem, EraseTextItem, TextFontItem, TextSizeItem,
                 TextOpaqueItem, TextTransparentItem, TextNormalItem, TextItalicItem, TextBoldItem, TextBoldItalicItem,
                 DrawTextItem, DrawTextCentredItem>;

struct DrawQueueItem {
  int32_t next, previous;
  DrawItemType type;     // the kind of the fields
  int32_t frames;        // frame preparations it still waits in; it is performed in the first
  int32_t targetBitmap;  // gCurrentBitmap when queued
  win::IDirectDrawSurface7* targetSurface;
  DrawItemFields fields;
  int32_t performed;        // 1 once performed
  int32_t lastTurnWarning;  // a soft error the item reports when its last frame ends, 0 none
};

struct DrawQueueState {
  RecordPool<DrawQueueItem> gDrawQueue{1024, 4};
  uint32_t gDrawQueueCount = 0;  // items waiting; the dispatcher ends a slice past 32000
  int32_t gCurrentBitmap = 0;    // target of new items, 0 the screen
  win::IDirectDrawSurface7* gCurrentSurface = nullptr;
  uint8_t gScreenPersistFrames = 1;  // frames of a screen item: 2 with a flip chain, else 1
  DrawColour gDrawBackColor{}, gDrawInkColor{};
  int32_t gExecBitmap = 0;  // the executor's own current bitmap
  win::IDirectDrawSurface7* gExecSurface = nullptr;
};
extern DrawQueueState gDrawQueueState;  // the one instance (display/draw_queue.cpp)
inline DrawQueueState& DrawQueue() { return gDrawQueueState; }

// Targets the screen, takes the persistence of the flip chain and sets black on white in the back
// buffer's format. Run set-up and display changes call it.
void ResetDrawTarget();

int32_t DrawQueueAlloc();  // the new item's slot, -1 after kErrOutOfMemory
int32_t DrawQueueFree(int32_t slot);
int32_t DrawQueueExecute();
void DrawQueueFlush();
// Waiting items that draw on the surface, which is about to be released, draw nowhere.
void DropQueuedTarget(win::IDirectDrawSurface7* surface);
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
// The 3D device's clear of the screen with a colour, in queue order.
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
int32_t QueuePrintText(const std::string& text, int32_t* cursorX, int32_t* cursorY, int32_t sameLine, int32_t opaque,
                       int32_t wrap);
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
