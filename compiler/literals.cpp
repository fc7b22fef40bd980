// Literals as the expression compiler reads them (integers, floats, strings in double quotes),
// and the constant tables that hold their values: equal numbers share a constant, strings do not.
#include <charconv>
#include <cstring>

#include "compiler/internal.h"

namespace vx::compiler {

namespace {

// A constant of equal value shares its slot; another takes the next slot of its group.
template <typename Value, typename Key>
bool SharedConstant(Value value, Key key, std::unordered_map<Key, int32_t>& index, std::vector<Value>& table,
                    int32_t first, char type, int fullMessage, Operand& out) {
  out.type = type;
  if (gCompiler.scanOnly) {
    out.number = first;
    return true;
  }
  auto it = index.find(key);
  if (it != index.end()) {
    out.number = first + it->second;
    return true;
  }
  if (int(table.size()) >= kMaxConstantsPerType) return Fail(fullMessage);
  index.emplace(key, int32_t(table.size()));
  out.number = first + int32_t(table.size());
  table.push_back(value);
  return true;
}

}  // namespace

bool IntConstant(int32_t value, Operand& out) {
  CompilerContext& c = gCompiler;
  return SharedConstant(value, value, c.intConstantIndex, c.intConstants, operands::kIntConst, 'l', msg::kNoIntConstant,
                        out);
}

bool FloatConstant(float value, Operand& out) {
  CompilerContext& c = gCompiler;
  // -0 and 0 are equal values.
  return SharedConstant(value, FloatKey(value), c.floatConstantIndex, c.floatConstants, operands::kFloatConst, 'f',
                        msg::kNoFloatConstant, out);
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

namespace {

// Takes a leading sign off the text; true when it was a minus.
bool TakeSign(std::string_view& text) {
  if (text.empty() || (text[0] != '+' && text[0] != '-')) return false;
  const bool negative = text[0] == '-';
  text.remove_prefix(1);
  return negative;
}

}  // namespace

// Decimal digits taken modulo 2^32, as a 32-bit word holds them.
int32_t IntegerLiteralValue(std::string_view text) {
  const bool negative = TakeSign(text);
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
  const bool negative = TakeSign(text);
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
