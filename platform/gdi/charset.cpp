// Character sets as code pages: which Windows code page a font's character set reads its bytes
// in, and the decoding of 8-bit and double-byte texts into code points (cp1252 by the system's one
// table, platform/win/code_page.h; the others through iconv).
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/win/code_page.h"

namespace vx::win {

namespace {

const char* IconvName(UINT codePage) {
  switch (codePage) {
    case 932: return "CP932";
    case 936: return "GBK";
    case 949: return "CP949";
    case 950: return "BIG5";
    case 1361: return "JOHAB";
    case 437: return "CP437";
    case 874: return "CP874";
    case 10000: return "MACINTOSH";
    default: break;
  }
  static thread_local std::string name;
  name = "CP" + std::to_string(codePage);
  return name.c_str();
}

bool DoubleByteCodePage(UINT codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 || codePage == 1361;
}

// One converter per code page, made on first use; (iconv_t)-1 when iconv lacks the page.
iconv_t Converter(UINT codePage) {
  static auto* converters = new std::map<UINT, iconv_t>;  // kept for the life of the process
  auto found = converters->find(codePage);
  if (found != converters->end()) return found->second;
  iconv_t made = iconv_open("UTF-32LE", IconvName(codePage));
  converters->emplace(codePage, made);
  return made;
}

// Decodes one character (1 or 2 bytes) at text; returns the bytes used, 0 when they don't decode.
size_t DecodeOne(iconv_t converter, const char* text, size_t available, char32_t* out) {
  for (size_t take = 1; take <= 2 && take <= available; ++take) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text);
    size_t inLeft = take;
    unsigned char buffer[8];
    char* outPtr = reinterpret_cast<char*>(buffer);
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    if (result != static_cast<size_t>(-1) && inLeft == 0 && outLeft == 4) {
      *out = static_cast<char32_t>(buffer[0] | (buffer[1] << 8) | (buffer[2] << 16) |
                                   (static_cast<uint32_t>(buffer[3]) << 24));
      return take;
    }
    if (result == static_cast<size_t>(-1) && errno != EINVAL) return 0;  // invalid, not just incomplete
  }
  return 0;
}

}  // namespace

UINT CharsetCodePage(DWORD charSet) {
  switch (charSet) {
    case SHIFTJIS_CHARSET: return 932;
    case HANGUL_CHARSET: return 949;
    case JOHAB_CHARSET: return 1361;
    case GB2312_CHARSET: return 936;
    case CHINESEBIG5_CHARSET: return 950;
    case GREEK_CHARSET: return 1253;
    case TURKISH_CHARSET: return 1254;
    case VIETNAMESE_CHARSET: return 1258;
    case HEBREW_CHARSET: return 1255;
    case ARABIC_CHARSET: return 1256;
    case BALTIC_CHARSET: return 1257;
    case RUSSIAN_CHARSET: return 1251;
    case THAI_CHARSET: return 874;
    case EASTEUROPE_CHARSET: return 1250;
    case MAC_CHARSET: return 10000;
    case OEM_CHARSET: return 437;
    default: return 1252;  // ANSI, DEFAULT, SYMBOL and unknown sets
  }
}

std::u32string DecodeCharsetText(DWORD charSet, const char* text, size_t length) {
  std::u32string result;
  if (!text) return result;
  const UINT codePage = CharsetCodePage(charSet);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  iconv_t converter = codePage == 1252 ? reinterpret_cast<iconv_t>(-1) : Converter(codePage);
  const bool haveConverter = converter != reinterpret_cast<iconv_t>(-1);
  result.reserve(length);
  for (size_t i = 0; i < length;) {
    const unsigned char byte = bytes[i];
    if (byte < 0x80) {
      result.push_back(byte);
      ++i;
    } else if (!haveConverter) {
      result.push_back(Cp1252ToCodePoint(byte));
      ++i;
    } else {
      char32_t decoded = 0;
      const size_t used =
          DecodeOne(converter, text + i, std::min<size_t>(length - i, DoubleByteCodePage(codePage) ? 2 : 1), &decoded);
      result.push_back(used ? decoded : U'\uFFFD');
      i += used ? used : 1;
    }
  }
  return result;
}

}  // namespace vx::win
