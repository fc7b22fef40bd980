// Literals as the expression compiler reads them (integers, floats, strings in double quotes),
// and the constant tables that hold their values: equal numbers share a constant, strings do not.
#include <charconv>
#include <cstring>

#include "compiler/internal.h"

namespace vx::compiler {

bool IntConstant(int32_t value, Operand& out) {
  CompilerContext& c = gCompiler;
  out.type = 'l';
  if (c.scanOnly) {
    out.number = operands::kIntConst;
    return true;
  }
  auto it = c.intConstantIndex.find(value);
  if (it != c.intConstantIndex.end()) {
    out.number = operands::kIntConst + it->second;
    return true;
  }
  if (int(c.intConstants.size()) >= kMaxConstantsPerType) return Fail(msg::kNoIntConstant);
  c.intConstantIndex.emplace(value, int32_t(c.intConstants.size()));
  out.number = operands::kIntConst + int32_t(c.intConstants.size());
  c.intConstants.push_back(value);
  return true;
}

bool FloatConstant(float value, Operand& out) {
  CompilerContext& c = gCompiler;
  out.type = 'f';
  if (c.scanOnly) {
    out.number = operands::kFloatConst;
    return true;
  }
  const uint32_t bits = FloatKey(value);  // -0 and 0 are equal values
  auto it = c.floatConstantIndex.find(bits);
  if (it != c.floatConstantIndex.end()) {
    out.number = operands::kFloatConst + it->second;
    return true;
  }
  if (int(c.floatConstants.size()) >= kMaxConstantsPerType) return Fail(msg::kNoFloatConstant);
  c.floatConstantIndex.emplace(bits, int32_t(c.floatConstants.size()));
  out.number = operands::kFloatConst + int32_t(c.floatConstants.size());
  c.floatConstants.push_back(value);
  return true;
}

bool StringConstant(std::string_view text, Operand& out) {
  CompilerContext& c = gCompiler;
  out.type = 's';
  if (c.scanOnly) {
    out.number = operands::kStringConst;
    return true;
  }
  if (int(c.stringConstants.size()) >= kMaxConstantsPerType) return Fail(msg::kNoStringConstant);
  out.number = operands::kStringConst + int32_t(c.stringConstants.size());
  c.stringConstants.emplace_back(text);
  return true;
}

bool IsIntegerLiteral(std::string_view text) {
  size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  if (i >= text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

// Decimal digits taken modulo 2^32, as a 32-bit word holds them.
int32_t IntegerLiteralValue(std::string_view text) {
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  uint32_t value = 0;
  for (char c : text) value = value * 10u + uint32_t(c - '0');
  return int32_t(negative ? 0u - value : value);
}

bool IsFloatLiteral(std::string_view text) {
  size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  int dots = 0, digits = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == '.')
      ++dots;
    else if (text[i] >= '0' && text[i] <= '9')
      ++digits;
    else
      return false;
  }
  return dots == 1 && digits > 0;
}

float FloatLiteralValue(std::string_view text) {
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return float(negative ? -value : value);
}

// A string literal: quotes at both ends and none between.
bool IsStringLiteral(std::string_view text) {
  return text.size() >= 2 && text.front() == '"' && text.back() == '"' &&
         text.substr(1, text.size() - 2).find('"') == std::string_view::npos;
}

uint32_t FloatKey(float value) {
  if (value == 0.0f) value = 0.0f;
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

}  // namespace vx::compiler
