// GDI as the system code calls it: device contexts on DirectDraw surfaces and on memory bitmaps,
// fonts found through fontconfig and drawn by FreeType without anti-aliasing (so colour keys stay
// exact), text out and text extents, font family enumeration, DIB drawing of every BMP variant,
// bit blits, pixels, and the code pages behind character sets.
//
// Handles are checked: a handle that was never made or was deleted fails the call instead of
// being used. DIB drawing takes the byte counts of the header block and of the pixel data it is
// given and never reads past either.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ddraw/ddraw.h"
#include "platform/win/types.h"

namespace vx::win {

// --- Handles and basic types ----------------------------------------------------------------------

struct GdiObject;
using HGDIOBJ = GdiObject*;
using HFONT = HGDIOBJ;
using HBITMAP = HGDIOBJ;

using COLORREF = DWORD;  // 0x00BBGGRR
constexpr COLORREF RGB(BYTE red, BYTE green, BYTE blue) {
  return static_cast<COLORREF>(red) | (static_cast<COLORREF>(green) << 8) | (static_cast<COLORREF>(blue) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>(c >> 8); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>(c >> 16); }
constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;

struct SIZE {
  LONG cx;
  LONG cy;
};

// --- Constants ------------------------------------------------------------------------------------

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_THIN = 100;
constexpr LONG FW_LIGHT = 300;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_MEDIUM = 500;
constexpr LONG FW_SEMIBOLD = 600;
constexpr LONG FW_BOLD = 700;
constexpr LONG FW_HEAVY = 900;

constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE SYMBOL_CHARSET = 2;
constexpr BYTE MAC_CHARSET = 77;
constexpr BYTE SHIFTJIS_CHARSET = 128;
constexpr BYTE HANGUL_CHARSET = 129;
constexpr BYTE JOHAB_CHARSET = 130;
constexpr BYTE GB2312_CHARSET = 134;
constexpr BYTE CHINESEBIG5_CHARSET = 136;
constexpr BYTE GREEK_CHARSET = 161;
constexpr BYTE TURKISH_CHARSET = 162;
constexpr BYTE VIETNAMESE_CHARSET = 163;
constexpr BYTE HEBREW_CHARSET = 177;
constexpr BYTE ARABIC_CHARSET = 178;
constexpr BYTE BALTIC_CHARSET = 186;
constexpr BYTE RUSSIAN_CHARSET = 204;
constexpr BYTE THAI_CHARSET = 222;
constexpr BYTE EASTEUROPE_CHARSET = 238;
constexpr BYTE OEM_CHARSET = 255;

constexpr BYTE OUT_DEFAULT_PRECIS = 0;
constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE DRAFT_QUALITY = 1;
constexpr BYTE PROOF_QUALITY = 2;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE ANTIALIASED_QUALITY = 4;

constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FIXED_PITCH = 1;
constexpr BYTE VARIABLE_PITCH = 2;
constexpr BYTE FF_DONTCARE = 0x00;
constexpr BYTE FF_ROMAN = 0x10;
constexpr BYTE FF_SWISS = 0x20;
constexpr BYTE FF_MODERN = 0x30;

// tmPitchAndFamily bits; the "fixed pitch" bit is set for variable-pitch fonts, as GDI does.
constexpr BYTE TMPF_FIXED_PITCH = 0x01;
constexpr BYTE TMPF_VECTOR = 0x02;
constexpr BYTE TMPF_TRUETYPE = 0x04;

constexpr DWORD TRUETYPE_FONTTYPE = 0x0004;

// Stock objects.
constexpr int OEM_FIXED_FONT = 10;
constexpr int ANSI_FIXED_FONT = 11;
constexpr int ANSI_VAR_FONT = 12;
constexpr int SYSTEM_FONT = 13;
constexpr int DEVICE_DEFAULT_FONT = 14;
constexpr int SYSTEM_FIXED_FONT = 16;
constexpr int DEFAULT_GUI_FONT = 17;

// GetDeviceCaps indices.
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

// Raster operations beyond SRCCOPY (declared with the surfaces).
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// DIBs.
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
constexpr DWORD BI_JPEG = 4;
constexpr DWORD BI_PNG = 5;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;

constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_LOADFROMFILE = 0x0010;
constexpr UINT LR_CREATEDIBSECTION = 0x2000;

constexpr int LF_FACESIZE = 32;
constexpr int LF_FULLFACESIZE = 64;

// --- Structures -----------------------------------------------------------------------------------

struct LOGFONTA {
  LONG lfHeight;  // > 0: cell height; < 0: character (em) height; 0: the default
  LONG lfWidth;   // not used: glyphs keep their own proportions
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;  // text is always drawn without anti-aliasing
  BYTE lfPitchAndFamily;
  char lfFaceName[LF_FACESIZE];
};

struct ENUMLOGFONTEXA {
  LOGFONTA elfLogFont;
  char elfFullName[LF_FULLFACESIZE];
  char elfStyle[LF_FACESIZE];
  char elfScript[LF_FACESIZE];
};

struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};

#pragma pack(push, 1)
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "the file header is 14 bytes");

struct BITMAPCOREHEADER {
  DWORD bcSize;  // 12
  WORD bcWidth;
  WORD bcHeight;
  WORD bcPlanes;
  WORD bcBitCount;
};

struct BITMAPINFOHEADER {
  DWORD biSize;  // 40, or more for the later headers that begin the same way
  LONG biWidth;
  LONG biHeight;  // negative: rows run top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the info header is 40 bytes");

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

// Return non-zero to go on, 0 to stop. `font` points at an ENUMLOGFONTEXA, `metrics` at the
// family's metrics at its default size.
using FONTENUMPROCA = int (*)(const LOGFONTA* font, const TEXTMETRICA* metrics, DWORD fontType, LPARAM context);

// --- Device contexts ------------------------------------------------------------------------------

// Surfaces hand out device contexts drawing into their pixels once these hooks are installed.
// Using any GDI call installs them; tests that replace the hooks install them again.
void InstallSurfaceDcHooks();

// A memory device context with a 1x1 bitmap selected; `dc` may be null or any context.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// Selects a font or a bitmap (a bitmap only into a memory context); returns the previous one.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// An object selected into a context is deleted once it is no longer selected. Stock objects stay.
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int which);
int GetObjectA(HGDIOBJ object, int bytes, void* out);
int GetDeviceCaps(HDC dc, int index);
// number × numerator / denominator rounded half away from zero; -1 when it does not fit or the
// denominator is 0.
int MulDiv(int number, int numerator, int denominator);

int SetBkMode(HDC dc, int mode);  // returns the previous mode, 0 on failure
int GetBkMode(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);  // returns the previous colour, CLR_INVALID on failure
COLORREF GetBkColor(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);

// Pixels outside the context read as CLR_INVALID; SetPixel returns the colour the pixel got.
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);

// SRCCOPY, BLACKNESS and WHITENESS; stretching samples the nearest pixel, a negative size mirrors.
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth, int srcHeight,
                DWORD rop);

// --- Fonts and text -------------------------------------------------------------------------------

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, const char* faceName);
HFONT CreateFontIndirectA(const LOGFONTA* font);

// Text in the context's font and text colour at (x, y), the top left of the first cell; with
// OPAQUE the cells are first filled with the background colour. Bytes are read in the code page
// of the font's character set.
BOOL TextOutA(HDC dc, int x, int y, const char* text, int length);
BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size);
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
// The family of the face actually used; returns the characters copied (without the NUL).
int GetTextFaceA(HDC dc, int count, char* name);

// One call per family of the installed fonts (font->lfFaceName empty or null font: all families;
// else that family only), in family-name order. Returns the last value of the callback.
int EnumFontFamiliesExA(HDC dc, const LOGFONTA* font, FONTENUMPROCA callback, LPARAM context, DWORD flags);
int EnumFontFamiliesA(HDC dc, const char* family, FONTENUMPROCA callback, LPARAM context);

// --- DIBs -----------------------------------------------------------------------------------------

// `info` holds a BITMAPINFOHEADER (or a later header, or a 12-byte BITMAPCOREHEADER) with its masks
// and colour table, infoBytes long; `bits` holds bitsBytes bytes of rows. Rows past the data and
// runs that would leave the image are dropped. The source origin is the bottom left corner of a
// bottom-up DIB. Return the number of scan lines drawn, 0 on failure.
int SetDIBitsToDevice(HDC dc, int x, int y, DWORD width, DWORD height, int srcX, int srcY, UINT startScan,
                      UINT scanLines, const void* bits, const BITMAPINFO* info, UINT usage, size_t infoBytes,
                      size_t bitsBytes);
int StretchDIBits(HDC dc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth, int srcHeight,
                  const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop, size_t infoBytes, size_t bitsBytes);

// Rows of the bitmap as a 24- or 32-bit BI_RGB DIB described by info (bits null: only fills in
// biSizeImage). Returns the rows copied.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT scanLines, void* bits, BITMAPINFO* info, UINT usage);
// The colour table of the DIB bitmap selected into a memory context; returns the entries copied.
UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors);

// A bitmap from a BMP file (LR_LOADFROMFILE; instance null; the name in any letter case), or,
// without LR_LOADFROMFILE, from the bitmap resource whose id MAKEINTRESOURCEA gives as the name
// (the resources compiled into the executable, type kBitmapResourceType: a DIB without the file
// header). At its own size when width and height are 0, else stretched to them. Null when the
// file or resource can't be read or decoded.
HANDLE LoadImageA(HINSTANCE instance, const char* name, UINT type, int width, int height, UINT flags);

// Resource ids stand in for names as small numbers in the pointer.
inline const char* MAKEINTRESOURCEA(int id) {
  return reinterpret_cast<const char*>(static_cast<uintptr_t>(static_cast<WORD>(id)));
}
inline bool IS_INTRESOURCEA(const char* name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }
constexpr const char* kBitmapResourceType = "2";

// --- Platform access ------------------------------------------------------------------------------

// Windows code page of a character set (1252 for ANSI and DEFAULT).
UINT CharsetCodePage(DWORD charSet);
// Text bytes in a character set's code page as Unicode code points; bytes that do not decode
// become U+FFFD, each on its own.
std::u32string DecodeCharsetText(DWORD charSet, const char* text, size_t length);

// Reads the fontconfig configuration again (as FONTCONFIG_FILE now names it). Fonts made before
// keep the faces they found.
void ReloadFontConfiguration();
// The family and file of the face a font uses; empty when no face could be found.
std::string FontFamilyName(HFONT font);
std::string FontFilePath(HFONT font);

// Objects alive, for tests that check nothing leaks.
size_t LiveGdiObjectCount();
size_t LiveDeviceContextCount();

}  // namespace vx::win
