// Tokens of the .x formats: the text lexer and the binary lexer give the parser the same stream.
// Internal to the .x reader.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "models/xfile.h"

namespace vx::xfile {

enum class TokenKind {
  End,
  Error,
  Name,
  String,
  Integer,
  Float,
  GuidValue,
  IntegerList,
  FloatList,
  OpenBrace,
  CloseBrace,
  OpenParen,
  CloseParen,
  OpenBracket,
  CloseBracket,
  OpenAngle,
  CloseAngle,
  Dot,
  Comma,
  Semicolon,
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;               // names, strings, and the spelling of text numbers
  double number = 0.0;            // Integer, Float
  Guid guid;                      // GuidValue
  const uint8_t* list = nullptr;  // IntegerList, FloatList: the raw little-endian elements
  uint32_t listCount = 0;
  size_t offset = 0;  // where the token began
};

class Lexer {
 public:
  Lexer(const uint8_t* data, size_t size, File::Format format, int floatSize)
      : data_(data), size_(size), format_(format), floatSize_(floatSize) {}

  // The next token; Error (with `error` set) on malformed input, End at the end of the data.
  Token Next();
  size_t Remaining() const { return size_ - position_; }
  size_t Position() const { return position_; }
  int FloatSize() const { return floatSize_; }
  const std::string& error() const { return error_; }

 private:
  Token NextText();
  Token NextBinary();
  Token Fail(const std::string& why);

  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
  File::Format format_;
  int floatSize_;
  std::string error_;
};

// Parses the text of a GUID "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"; false when it is not one.
bool ParseGuidText(const std::string& text, Guid& out);

}  // namespace vx::xfile
