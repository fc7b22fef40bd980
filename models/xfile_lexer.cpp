// The .x lexers. Text: words, quoted strings, punctuation and GUIDs in angle brackets, with "//"
// and "#" comments. Binary: 16-bit token codes, lists of 32-bit integers and of 32- or 64-bit
// floats, every length checked against the bytes that remain.
#include "models/xfile_lexer.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "common/le_words.h"

namespace vx::xfile {
namespace {

// Token codes of the binary format.
enum : uint16_t {
  kBinName = 1,
  kBinString = 2,
  kBinInteger = 3,
  kBinGuid = 5,
  kBinIntegerList = 6,
  kBinFloatList = 7,
  kBinOpenBrace = 10,
  kBinCloseBrace = 11,
  kBinOpenParen = 12,
  kBinCloseParen = 13,
  kBinOpenBracket = 14,
  kBinCloseBracket = 15,
  kBinOpenAngle = 16,
  kBinCloseAngle = 17,
  kBinDot = 18,
  kBinComma = 19,
  kBinSemicolon = 20,
  kBinTemplate = 31,
  kBinWord = 40,
  kBinDword = 41,
  kBinFloat = 42,
  kBinDouble = 43,
  kBinChar = 44,
  kBinUchar = 45,
  kBinSword = 46,
  kBinSdword = 47,
  kBinVoid = 48,
  kBinLpstr = 49,
  kBinUnicode = 50,
  kBinCstring = 51,
  kBinArray = 52,
};

bool IsDelimiter(char c) {
  switch (c) {
    case '{':
    case '}':
    case '(':
    case ')':
    case '[':
    case ']':
    case '<':
    case '>':
    case ',':
    case ';':
    case '"': return true;
    default: return false;
  }
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == 0; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(const std::string& s, size_t from, size_t digits, uint64_t& out) {
  out = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int d = HexDigit(s[from + i]);
    if (d < 0) return false;
    out = out * 16 + uint64_t(d);
  }
  return true;
}

// Classifies a text word: a whole number, a real number or a name. Exporters on Windows write
// NaN and infinity as "1.#QNAN0" and "1.#INF00"; those read as 0.
void ClassifyWord(Token& t) {
  const char* first = t.text.data();
  const char* last = first + t.text.size();
  if (t.text.find('#') != std::string::npos && (t.text[0] == '-' || (t.text[0] >= '0' && t.text[0] <= '9'))) {
    t.kind = TokenKind::Float;
    t.number = 0.0;
    return;
  }
  const char* p = first;
  if (p < last && (*p == '-' || *p == '+')) ++p;
  bool digits = false, real = false;
  for (const char* q = p; q < last; ++q) {
    if (*q >= '0' && *q <= '9') {
      digits = true;
    } else if (*q == '.' || *q == 'e' || *q == 'E' || *q == '-' || *q == '+') {
      real = true;
    } else {
      t.kind = TokenKind::Name;
      return;
    }
  }
  if (!digits) {
    t.kind = TokenKind::Name;
    return;
  }
  double value = 0.0;
  const char* start = (*first == '+') ? first + 1 : first;
  const auto [end, ec] = std::from_chars(start, last, value);
  if (ec != std::errc() || end != last) {
    t.kind = TokenKind::Name;
    return;
  }
  t.kind = real ? TokenKind::Float : TokenKind::Integer;
  t.number = value;
}

}  // namespace

bool ParseGuidText(const std::string& text, Guid& out) {
  std::string s = text;
  while (!s.empty() && IsSpace(s.back())) s.pop_back();
  size_t start = 0;
  while (start < s.size() && IsSpace(s[start])) ++start;
  s = s.substr(start);
  if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return false;
  uint64_t v = 0;
  if (!ParseHex(s, 0, 8, v)) return false;
  out.data1 = uint32_t(v);
  if (!ParseHex(s, 9, 4, v)) return false;
  out.data2 = uint16_t(v);
  if (!ParseHex(s, 14, 4, v)) return false;
  out.data3 = uint16_t(v);
  for (int i = 0; i < 2; ++i) {
    if (!ParseHex(s, 19 + size_t(i) * 2, 2, v)) return false;
    out.data4[i] = uint8_t(v);
  }
  for (int i = 0; i < 6; ++i) {
    if (!ParseHex(s, 24 + size_t(i) * 2, 2, v)) return false;
    out.data4[2 + i] = uint8_t(v);
  }
  return true;
}

Token Lexer::Fail(const std::string& why) {
  error_ = why + " at byte " + std::to_string(position_);
  Token t;
  t.kind = TokenKind::Error;
  t.offset = position_;
  return t;
}

Token Lexer::Next() { return format_ == File::Format::Text ? NextText() : NextBinary(); }

Token Lexer::NextText() {
  const char* s = reinterpret_cast<const char*>(data_);
  for (;;) {
    while (position_ < size_ && IsSpace(s[position_])) ++position_;
    if (position_ >= size_) {
      Token t;
      t.offset = position_;
      return t;
    }
    const bool slashes = s[position_] == '/' && position_ + 1 < size_ && s[position_ + 1] == '/';
    if (s[position_] == '#' || slashes) {
      while (position_ < size_ && s[position_] != '\n') ++position_;
      continue;
    }
    break;
  }
  Token t;
  t.offset = position_;
  const char c = s[position_];
  auto punct = [&](TokenKind kind) {
    ++position_;
    t.kind = kind;
    return t;
  };
  switch (c) {
    case '{': return punct(TokenKind::OpenBrace);
    case '}': return punct(TokenKind::CloseBrace);
    case '(': return punct(TokenKind::OpenParen);
    case ')': return punct(TokenKind::CloseParen);
    case '[': return punct(TokenKind::OpenBracket);
    case ']': return punct(TokenKind::CloseBracket);
    case ',': return punct(TokenKind::Comma);
    case ';': return punct(TokenKind::Semicolon);
    case '>': return punct(TokenKind::CloseAngle);
    case '<': {
      // A GUID in angle brackets.
      const size_t close = std::string_view(s + position_, size_ - position_).find('>');
      if (close == std::string_view::npos) return Fail("unclosed '<'");
      const std::string inside(s + position_ + 1, close - 1);
      if (!ParseGuidText(inside, t.guid)) return Fail("bad GUID");
      position_ += close + 1;
      t.kind = TokenKind::GuidValue;
      return t;
    }
    case '"': {
      const size_t begin = ++position_;
      while (position_ < size_ && s[position_] != '"') ++position_;
      if (position_ >= size_) return Fail("unclosed string");
      t.kind = TokenKind::String;
      t.text.assign(s + begin, position_ - begin);
      ++position_;
      return t;
    }
    default: break;
  }
  const size_t begin = position_;
  while (position_ < size_ && !IsSpace(s[position_]) && !IsDelimiter(s[position_])) {
    if (s[position_] == '/' && position_ + 1 < size_ && s[position_ + 1] == '/') break;
    ++position_;
  }
  t.text.assign(s + begin, position_ - begin);
  ClassifyWord(t);
  return t;
}

Token Lexer::NextBinary() {
  Token t;
  t.offset = position_;
  if (position_ >= size_) return t;
  if (size_ - position_ < 2) return Fail("truncated token");
  const uint16_t code = uint16_t(data_[position_] | (data_[position_ + 1] << 8));
  position_ += 2;
  auto need = [&](size_t bytes) { return size_ - position_ >= bytes; };
  auto keyword = [&](const char* text) {
    t.kind = TokenKind::Name;
    t.text = text;
    return t;
  };
  switch (code) {
    case kBinName:
    case kBinString: {
      if (!need(4)) return Fail("truncated name");
      const uint32_t count = ReadLE32(data_ + position_);
      position_ += 4;
      if (!need(count)) return Fail("name longer than the file");
      t.text.assign(reinterpret_cast<const char*>(data_ + position_), count);
      position_ += count;
      t.kind = code == kBinName ? TokenKind::Name : TokenKind::String;
      if (code == kBinString) {
        // A string carries its terminator (a comma or semicolon token).
        if (!need(2)) return Fail("truncated string");
        position_ += 2;
      }
      // Names written with their terminating NUL read without it.
      while (!t.text.empty() && t.text.back() == '\0') t.text.pop_back();
      return t;
    }
    case kBinInteger:
      if (!need(4)) return Fail("truncated integer");
      t.kind = TokenKind::Integer;
      t.number = double(ReadLE32(data_ + position_));
      position_ += 4;
      return t;
    case kBinGuid:
      if (!need(16)) return Fail("truncated GUID");
      t.kind = TokenKind::GuidValue;
      t.guid.data1 = ReadLE32(data_ + position_);
      t.guid.data2 = uint16_t(data_[position_ + 4] | (data_[position_ + 5] << 8));
      t.guid.data3 = uint16_t(data_[position_ + 6] | (data_[position_ + 7] << 8));
      std::memcpy(t.guid.data4, data_ + position_ + 8, 8);
      position_ += 16;
      return t;
    case kBinIntegerList:
    case kBinFloatList: {
      if (!need(4)) return Fail("truncated list");
      const uint32_t count = ReadLE32(data_ + position_);
      position_ += 4;
      const size_t element = code == kBinIntegerList ? 4 : size_t(floatSize_ / 8);
      if (count > (size_ - position_) / element) return Fail("list longer than the file");
      t.kind = code == kBinIntegerList ? TokenKind::IntegerList : TokenKind::FloatList;
      t.list = data_ + position_;
      t.listCount = count;
      position_ += size_t(count) * element;
      return t;
    }
    case kBinOpenBrace: t.kind = TokenKind::OpenBrace; return t;
    case kBinCloseBrace: t.kind = TokenKind::CloseBrace; return t;
    case kBinOpenParen: t.kind = TokenKind::OpenParen; return t;
    case kBinCloseParen: t.kind = TokenKind::CloseParen; return t;
    case kBinOpenBracket: t.kind = TokenKind::OpenBracket; return t;
    case kBinCloseBracket: t.kind = TokenKind::CloseBracket; return t;
    case kBinOpenAngle: t.kind = TokenKind::OpenAngle; return t;
    case kBinCloseAngle: t.kind = TokenKind::CloseAngle; return t;
    case kBinDot: t.kind = TokenKind::Dot; return t;
    case kBinComma: t.kind = TokenKind::Comma; return t;
    case kBinSemicolon: t.kind = TokenKind::Semicolon; return t;
    case kBinTemplate: return keyword("template");
    case kBinWord: return keyword("WORD");
    case kBinDword: return keyword("DWORD");
    case kBinFloat: return keyword("FLOAT");
    case kBinDouble: return keyword("DOUBLE");
    case kBinChar: return keyword("CHAR");
    case kBinUchar: return keyword("UCHAR");
    case kBinSword: return keyword("SWORD");
    case kBinSdword: return keyword("SDWORD");
    case kBinVoid: return keyword("VOID");
    case kBinLpstr: return keyword("STRING");
    case kBinUnicode: return keyword("UNICODE");
    case kBinCstring: return keyword("CSTRING");
    case kBinArray: return keyword("array");
    default: position_ -= 2; return Fail("unknown token " + std::to_string(code));
  }
}

}  // namespace vx::xfile
