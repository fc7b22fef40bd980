// Fonts: a logical font's face name, height, weight, italic and character set matched through
// fontconfig (Windows faces mapped to their metric-compatible free fonts, "system" and "fixedsys"
// to fixed choices), glyphs rendered by FreeType as one-bit bitmaps so that text never blends with
// what is under it, text out, extents, metrics and family enumeration.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <strings.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>

#include "platform/gdi/gdi_internal.h"

namespace vx::win {

namespace {

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library made = nullptr;
    if (FT_Init_FreeType(&made) != 0) made = nullptr;
    return made;
  }();
  return library;
}

void EnsureFontconfig() {
  // Fontconfig's configuration is handed back at exit so that leak checkers see a clean process.
  static const bool ready = FcInit() == FcTrue && std::atexit(FcFini) == 0;
  (void)ready;
}

struct Glyph {
  int left = 0;
  int top = 0;
  int width = 0;
  int rows = 0;
  int advance = 0;
  std::vector<uint8_t> ink;  // one byte per pixel, 1 where the glyph is
};

// What a face name stands for: the family to look for and, for the fixed choices, the one size,
// weight and pitch they always have.
struct FaceChoice {
  std::string family;
  LONG fixedCellHeight = 0;  // 0: the request's height
  LONG fixedWeight = 0;      // 0: the request's weight
};

FaceChoice ChooseFace(const char* requested) {
  static const std::pair<const char*, const char*> kAliases[] = {
      {"arial", "Liberation Sans"},
      {"helvetica", "Liberation Sans"},
      {"ms sans serif", "Liberation Sans"},
      {"microsoft sans serif", "Liberation Sans"},
      {"arial narrow", "Liberation Sans Narrow"},
      {"times new roman", "Liberation Serif"},
      {"times", "Liberation Serif"},
      {"ms serif", "Liberation Serif"},
      {"courier new", "Liberation Mono"},
      {"courier", "Liberation Mono"},
      {"verdana", "DejaVu Sans"},
      {"tahoma", "DejaVu Sans"},
      {"segoe ui", "DejaVu Sans"},
      {"georgia", "DejaVu Serif"},
      {"lucida console", "DejaVu Sans Mono"},
      {"consolas", "DejaVu Sans Mono"},
      {"terminal", "DejaVu Sans Mono"},
  };
  std::string name = requested ? requested : "";
  if (name.empty() || strcasecmp(name.c_str(), "system") == 0) return {"DejaVu Sans", 16, FW_BOLD};
  if (strcasecmp(name.c_str(), "fixedsys") == 0) return {"DejaVu Sans Mono", 15, FW_NORMAL};
  for (const auto& [alias, family] : kAliases)
    if (strcasecmp(name.c_str(), alias) == 0) return {family, 0, 0};
  return {name, 0, 0};
}

const char* CharsetLanguage(BYTE charSet) {
  switch (charSet) {
    case SHIFTJIS_CHARSET: return "ja";
    case HANGUL_CHARSET:
    case JOHAB_CHARSET: return "ko";
    case GB2312_CHARSET: return "zh-cn";
    case CHINESEBIG5_CHARSET: return "zh-tw";
    case GREEK_CHARSET: return "el";
    case RUSSIAN_CHARSET: return "ru";
    case HEBREW_CHARSET: return "he";
    case ARABIC_CHARSET: return "ar";
    case THAI_CHARSET: return "th";
    default: return nullptr;
  }
}

struct MatchedFile {
  std::string file;
  std::string family;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
  bool monospace = false;
};

bool MatchFont(const std::string& family, LONG weight, bool italic, const char* language, char32_t mustHave,
               MatchedFile* out) {
  EnsureFontconfig();
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  if (!family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight > 0 ? static_cast<int>(weight) : FW_NORMAL));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  if (language) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
  FcCharSet* charset = nullptr;
  if (mustHave) {
    charset = FcCharSetCreate();
    FcCharSetAddChar(charset, mustHave);
    FcPatternAddCharSet(pattern, FC_CHARSET, charset);
  }
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (charset) FcCharSetDestroy(charset);
  if (!match) return false;
  bool found = false;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
    found = true;
    out->file = reinterpret_cast<const char*>(file);
    FcChar8* name = nullptr;
    if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name)
      out->family = reinterpret_cast<const char*>(name);
    FcPatternGetInteger(match, FC_INDEX, 0, &out->index);
    FcPatternGetInteger(match, FC_WEIGHT, 0, &out->weight);
    FcPatternGetInteger(match, FC_SLANT, 0, &out->slant);
    int spacing = FC_PROPORTIONAL;
    if (FcPatternGetInteger(match, FC_SPACING, 0, &spacing) == FcResultMatch) out->monospace = spacing >= FC_MONO;
    if (mustHave) {
      FcCharSet* has = nullptr;
      found = FcPatternGetCharSet(match, FC_CHARSET, 0, &has) == FcResultMatch && FcCharSetHasChar(has, mustHave);
    }
  }
  FcPatternDestroy(match);
  return found;
}

int RoundDiv(int64_t numerator, int64_t denominator) {
  if (denominator <= 0) return 0;
  return static_cast<int>((numerator >= 0 ? numerator + denominator / 2 : numerator - denominator / 2) / denominator);
}

}  // namespace

// An opened face at the size of one logical font, with its rendered glyphs.
struct FontFace {
  ~FontFace() {
    for (auto& entry : fallbacks)
      if (entry.second) FT_Done_Face(entry.second);
    if (face) FT_Done_Face(face);
  }

  FT_Face face = nullptr;
  std::string family;
  std::string file;
  bool monospace = false;
  int ppem = 16;
  int ascent = 13;
  int descent = 3;
  int averageWidth = 8;
  int maxWidth = 16;
  bool syntheticBold = false;
  bool syntheticItalic = false;
  std::unordered_map<char32_t, Glyph> glyphs;
  std::map<std::string, FT_Face> fallbacks;  // faces that lend glyphs this one lacks

  const Glyph& GlyphFor(char32_t code);

 private:
  FT_Face FallbackFor(char32_t code, FT_UInt* index);
  void Render(FT_Face from, FT_UInt index, Glyph* glyph);
};

FT_Face FontFace::FallbackFor(char32_t code, FT_UInt* index) {
  MatchedFile match;
  if (!MatchFont(family, syntheticBold ? FW_BOLD : FW_NORMAL, false, nullptr, code, &match)) return nullptr;
  auto found = fallbacks.find(match.file);
  if (found == fallbacks.end()) {
    FT_Face opened = nullptr;
    if (FT_New_Face(Library(), match.file.c_str(), match.index, &opened) != 0) opened = nullptr;
    if (opened && FT_IS_SCALABLE(opened)) FT_Set_Pixel_Sizes(opened, 0, static_cast<FT_UInt>(ppem));
    found = fallbacks.emplace(match.file, opened).first;
  }
  if (!found->second) return nullptr;
  *index = FT_Get_Char_Index(found->second, code);
  return *index ? found->second : nullptr;
}

void FontFace::Render(FT_Face from, FT_UInt index, Glyph* glyph) {
  if (FT_Load_Glyph(from, index, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP) != 0 &&
      FT_Load_Glyph(from, index, FT_LOAD_TARGET_MONO) != 0)
    return;
  FT_GlyphSlot slot = from->glyph;
  int extraAdvance = 0;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (syntheticBold) {
      FT_Outline_Embolden(&slot->outline, 64);
      extraAdvance = 1;
    }
    if (syntheticItalic) {
      FT_Matrix shear{0x10000, 0x3333, 0, 0x10000};  // about 11 degrees
      FT_Outline_Transform(&slot->outline, &shear);
    }
  }
  glyph->advance = static_cast<int>((slot->advance.x + 32) >> 6) + extraAdvance;
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return;
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph->left = slot->bitmap_left;
  glyph->top = slot->bitmap_top;
  glyph->width = static_cast<int>(bitmap.width);
  glyph->rows = static_cast<int>(bitmap.rows);
  glyph->ink.assign(static_cast<size_t>(glyph->width) * static_cast<size_t>(glyph->rows), 0);
  for (int y = 0; y < glyph->rows; ++y) {
    const unsigned char* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
    for (int x = 0; x < glyph->width; ++x) {
      bool on = false;
      if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
        on = (row[x >> 3] >> (7 - (x & 7))) & 1;
      else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
        on = row[x] >= 128;
      glyph->ink[static_cast<size_t>(y) * static_cast<size_t>(glyph->width) + static_cast<size_t>(x)] = on;
    }
  }
}

const Glyph& FontFace::GlyphFor(char32_t code) {
  auto found = glyphs.find(code);
  if (found != glyphs.end()) return found->second;
  Glyph& glyph = glyphs[code];
  FT_UInt index = FT_Get_Char_Index(face, code);
  FT_Face from = face;
  if (index == 0 && code >= 0x80) {
    FT_UInt fallbackIndex = 0;
    if (FT_Face fallback = FallbackFor(code, &fallbackIndex)) from = fallback, index = fallbackIndex;
  }
  Render(from, index, &glyph);
  return glyph;
}

FontObject::FontObject() : GdiObject(GdiKind::Font) {}
FontObject::~FontObject() = default;

namespace {

std::unique_ptr<FontFace> OpenFace(const LOGFONTA& request) {
  char faceName[LF_FACESIZE + 1] = {};
  std::memcpy(faceName, request.lfFaceName, LF_FACESIZE);
  const FaceChoice choice = ChooseFace(faceName);
  const LONG weight = choice.fixedWeight ? choice.fixedWeight : (request.lfWeight ? request.lfWeight : FW_NORMAL);
  const bool italic = request.lfItalic != 0;
  MatchedFile match;
  if (!Library() || !MatchFont(choice.family, weight, italic, CharsetLanguage(request.lfCharSet), 0, &match))
    return nullptr;
  auto font = std::make_unique<FontFace>();
  if (FT_New_Face(Library(), match.file.c_str(), match.index, &font->face) != 0) return nullptr;
  FT_Face face = font->face;
  font->family = match.family;
  font->file = match.file;
  font->monospace = match.monospace;
  font->syntheticBold = weight >= FW_SEMIBOLD && match.weight < FC_WEIGHT_DEMIBOLD;
  font->syntheticItalic = italic && match.slant == FC_SLANT_ROMAN;

  LONG height = choice.fixedCellHeight ? choice.fixedCellHeight : request.lfHeight;
  if (height == 0) height = 16;
  height = std::clamp<LONG>(height, -1000, 1000);
  if (!FT_IS_SCALABLE(face)) {
    if (face->num_fixed_sizes > 0) FT_Select_Size(face, 0);
    const FT_Size_Metrics& m = face->size->metrics;
    font->ppem = std::max(1, static_cast<int>(m.y_ppem));
    font->ascent = static_cast<int>((m.ascender + 63) >> 6);
    font->descent = static_cast<int>((-m.descender + 63) >> 6);
    font->averageWidth = font->maxWidth = static_cast<int>((m.max_advance + 32) >> 6);
    return font;
  }
  const int64_t units = std::max<int64_t>(1, face->units_per_EM);
  int64_t ascender = face->ascender, descender = -face->descender;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0)
    ascender = os2->usWinAscent, descender = os2->usWinDescent;
  if (ascender + descender <= 0) ascender = units * 4 / 5, descender = units / 5;
  if (height > 0) {
    font->ppem = std::max(1, RoundDiv(int64_t{height} * units, ascender + descender));
    font->ascent = RoundDiv(ascender * height, ascender + descender);
    font->descent = static_cast<int>(height) - font->ascent;
  } else {
    font->ppem = static_cast<int>(-height);
    font->ascent = RoundDiv(ascender * font->ppem, units);
    font->descent = RoundDiv(descender * font->ppem, units);
  }
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(font->ppem));
  font->maxWidth = RoundDiv(int64_t{face->max_advance_width} * font->ppem, units);
  if (os2 && os2->version != 0xFFFF && os2->xAvgCharWidth > 0)
    font->averageWidth = RoundDiv(int64_t{os2->xAvgCharWidth} * font->ppem, units);
  else
    font->averageWidth = font->GlyphFor(U'x').advance;
  return font;
}

FontObject* MakeFont(const LOGFONTA& request, bool stock) {
  auto* font = new FontObject;
  font->request = request;
  font->request.lfFaceName[LF_FACESIZE - 1] = '\0';
  font->face = OpenFace(font->request);
  font->stock = stock;
  RegisterObject(font);
  return font;
}

LOGFONTA LogFont(LONG height, LONG weight, const char* face) {
  LOGFONTA font{};
  font.lfHeight = height;
  font.lfWeight = weight;
  font.lfQuality = NONANTIALIASED_QUALITY;
  font.lfPitchAndFamily = VARIABLE_PITCH;
  std::strncpy(font.lfFaceName, face, LF_FACESIZE - 1);
  return font;
}

FontFace* FaceOf(HDC dc, DeviceContextObject** context = nullptr) {
  DeviceContextObject* live = LiveContext(dc);
  if (context) *context = live;
  return live && live->font ? live->font->face.get() : nullptr;
}

int TextWidth(FontFace& face, const std::u32string& text) {
  int64_t width = 0;
  for (char32_t code : text) width += face.GlyphFor(code).advance;
  return static_cast<int>(std::clamp<int64_t>(width, 0, INT32_MAX));
}

TEXTMETRICA MetricsOf(const FontObject& font) {
  TEXTMETRICA metrics{};
  const FontFace* face = font.face.get();
  const int ascent = face ? face->ascent : 0, descent = face ? face->descent : 0;
  metrics.tmHeight = ascent + descent;
  metrics.tmAscent = ascent;
  metrics.tmDescent = descent;
  metrics.tmInternalLeading = face ? std::max(0, ascent + descent - face->ppem) : 0;
  metrics.tmAveCharWidth = face ? face->averageWidth : 0;
  metrics.tmMaxCharWidth = face ? face->maxWidth : 0;
  metrics.tmWeight = font.request.lfWeight ? font.request.lfWeight : FW_NORMAL;
  metrics.tmDigitizedAspectX = metrics.tmDigitizedAspectY = 96;
  metrics.tmFirstChar = 0x20;
  metrics.tmLastChar = 0xFF;
  metrics.tmDefaultChar = 0x1F;
  metrics.tmBreakChar = 0x20;
  metrics.tmItalic = font.request.lfItalic ? 1 : 0;
  metrics.tmUnderlined = font.request.lfUnderline ? 1 : 0;
  metrics.tmStruckOut = font.request.lfStrikeOut ? 1 : 0;
  const bool monospace = face && face->monospace;
  metrics.tmPitchAndFamily = static_cast<BYTE>((monospace ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR | TMPF_TRUETYPE |
                                               (monospace ? FF_MODERN : FF_SWISS));
  metrics.tmCharSet = font.request.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : font.request.lfCharSet;
  return metrics;
}

}  // namespace

FontObject* StockSystemFont() {
  static FontObject* font = MakeFont(LogFont(16, FW_BOLD, "System"), true);
  return font;
}

HGDIOBJ GetStockObject(int which) {
  static FontObject* fixedFont = MakeFont(LogFont(15, FW_NORMAL, "Fixedsys"), true);
  static FontObject* guiFont = MakeFont(LogFont(-11, FW_NORMAL, "MS Sans Serif"), true);
  switch (which) {
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT: return StockSystemFont();
    case SYSTEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case OEM_FIXED_FONT: return fixedFont;
    case ANSI_VAR_FONT:
    case DEFAULT_GUI_FONT: return guiFont;
    default: return nullptr;
  }
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, const char* faceName) {
  LOGFONTA font{};
  font.lfHeight = height;
  font.lfWidth = width;
  font.lfEscapement = escapement;
  font.lfOrientation = orientation;
  font.lfWeight = weight;
  font.lfItalic = static_cast<BYTE>(italic != 0);
  font.lfUnderline = static_cast<BYTE>(underline != 0);
  font.lfStrikeOut = static_cast<BYTE>(strikeOut != 0);
  font.lfCharSet = static_cast<BYTE>(charSet);
  font.lfOutPrecision = static_cast<BYTE>(outPrecision);
  font.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  font.lfQuality = static_cast<BYTE>(quality);
  font.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (faceName) std::strncpy(font.lfFaceName, faceName, LF_FACESIZE - 1);
  return CreateFontIndirectA(&font);
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (!font) return nullptr;
  return MakeFont(*font, false);
}

BOOL TextOutA(HDC dc, int x, int y, const char* text, int length) {
  DeviceContextObject* context = nullptr;
  FontFace* face = FaceOf(dc, &context);
  if (!context || length < 0 || (length > 0 && !text)) return FALSE_;
  if (!face || length == 0) return TRUE_;
  const Canvas canvas = context->Target();
  if (!canvas.bits) return FALSE_;
  const std::u32string codes = DecodeCharsetText(context->font->request.lfCharSet, text, static_cast<size_t>(length));
  const int64_t width = TextWidth(*face, codes);
  const int64_t height = face->ascent + face->descent;
  if (context->bkMode == OPAQUE)
    FillCanvas(canvas, x, y, x + width, y + height, ArgbToCanvasPixel(canvas, ColorRefToArgb(context->bkColor)));
  const uint32_t ink = ArgbToCanvasPixel(canvas, ColorRefToArgb(context->textColor));
  const int64_t baseline = int64_t{y} + face->ascent;
  int64_t pen = x;
  for (char32_t code : codes) {
    const Glyph& glyph = face->GlyphFor(code);
    for (int row = 0; row < glyph.rows; ++row) {
      const int64_t py = baseline - glyph.top + row;
      if (py < 0 || py >= canvas.height) continue;
      for (int column = 0; column < glyph.width; ++column) {
        const int64_t px = pen + glyph.left + column;
        if (px < 0 || px >= canvas.width) continue;
        if (glyph.ink[static_cast<size_t>(row) * static_cast<size_t>(glyph.width) + static_cast<size_t>(column)])
          StorePixel(canvas.At(static_cast<uint32_t>(px), static_cast<uint32_t>(py)), canvas.format.bytesPerPixel, ink);
      }
    }
    pen += glyph.advance;
  }
  const int64_t thickness = std::max(1, face->ppem / 14);
  if (context->font->request.lfUnderline) FillCanvas(canvas, x, baseline + 1, x + width, baseline + 1 + thickness, ink);
  if (context->font->request.lfStrikeOut) {
    const int64_t strike = baseline - face->ascent / 3;
    FillCanvas(canvas, x, strike, x + width, strike + thickness, ink);
  }
  return TRUE_;
}

BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size) {
  DeviceContextObject* context = nullptr;
  FontFace* face = FaceOf(dc, &context);
  if (!context || !size || length < 0 || (length > 0 && !text)) return FALSE_;
  if (!face) {
    *size = SIZE{0, 0};
    return TRUE_;
  }
  const std::u32string codes = DecodeCharsetText(context->font->request.lfCharSet, text, static_cast<size_t>(length));
  *size = SIZE{TextWidth(*face, codes), face->ascent + face->descent};
  return TRUE_;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  DeviceContextObject* context = LiveContext(dc);
  if (!context || !metrics || !context->font) return FALSE_;
  *metrics = MetricsOf(*context->font);
  return TRUE_;
}

int GetTextFaceA(HDC dc, int count, char* name) {
  DeviceContextObject* context = nullptr;
  FontFace* face = FaceOf(dc, &context);
  if (!context || !context->font) return 0;
  std::string family = face ? face->family : std::string(context->font->request.lfFaceName);
  if (!name) return static_cast<int>(family.size() + 1);
  if (count <= 0) return 0;
  const size_t copied = std::min(family.size(), static_cast<size_t>(count - 1));
  std::memcpy(name, family.data(), copied);
  name[copied] = '\0';
  return static_cast<int>(copied);
}

int EnumFontFamiliesExA(HDC dc, const LOGFONTA* font, FONTENUMPROCA callback, LPARAM context, DWORD flags) {
  if (!LiveContext(dc) || !callback) return 0;
  EnsureFontconfig();
  std::string wanted;
  if (font) wanted.assign(font->lfFaceName, strnlen(font->lfFaceName, LF_FACESIZE));
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_SPACING, nullptr);
  FcFontSet* fonts = pattern && objects ? FcFontList(nullptr, pattern, objects) : nullptr;
  std::set<std::string, bool (*)(const std::string&, const std::string&)> families(
      [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcChar8* family = nullptr;
    if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch && family)
      families.insert(reinterpret_cast<const char*>(family));
  }
  if (fonts) FcFontSetDestroy(fonts);
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);

  const BYTE charSet = font && font->lfCharSet != DEFAULT_CHARSET ? font->lfCharSet : ANSI_CHARSET;
  int result = 1;
  for (const std::string& family : families) {
    if (!wanted.empty() && strcasecmp(wanted.c_str(), family.c_str()) != 0) continue;
    ENUMLOGFONTEXA entry{};
    entry.elfLogFont = LogFont(16, FW_NORMAL, family.c_str());
    entry.elfLogFont.lfCharSet = charSet;
    std::strncpy(entry.elfFullName, family.c_str(), LF_FULLFACESIZE - 1);
    std::strncpy(entry.elfStyle, "Regular", LF_FACESIZE - 1);
    std::strncpy(entry.elfScript, "Western", LF_FACESIZE - 1);
    FontObject sample;
    sample.request = entry.elfLogFont;
    sample.face = OpenFace(sample.request);
    const TEXTMETRICA metrics = MetricsOf(sample);
    entry.elfLogFont.lfPitchAndFamily = (metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) ? VARIABLE_PITCH : FIXED_PITCH;
    result = callback(&entry.elfLogFont, &metrics, TRUETYPE_FONTTYPE, context);
    if (result == 0) break;
  }
  return result;
}

int EnumFontFamiliesA(HDC dc, const char* family, FONTENUMPROCA callback, LPARAM context) {
  LOGFONTA font{};
  font.lfCharSet = DEFAULT_CHARSET;
  if (family) std::strncpy(font.lfFaceName, family, LF_FACESIZE - 1);
  return EnumFontFamiliesExA(dc, &font, callback, context, 0);
}

void ReloadFontConfiguration() {
  EnsureFontconfig();
  FcInitReinitialize();
}

std::string FontFamilyName(HFONT font) {
  GdiObject* live = LiveObject(font);
  if (!live || live->kind != GdiKind::Font) return {};
  const FontObject* object = static_cast<FontObject*>(live);
  return object->face ? object->face->family : std::string();
}

std::string FontFilePath(HFONT font) {
  GdiObject* live = LiveObject(font);
  if (!live || live->kind != GdiKind::Font) return {};
  const FontObject* object = static_cast<FontObject*>(live);
  return object->face ? object->face->file : std::string();
}

}  // namespace vx::win
