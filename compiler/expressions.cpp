// The expression compiler: innermost parentheses first, then the operators level by level, each
// piece emitted into a new temporary whose marker replaces its text. Operands are literals (kept
// in the constant tables), variables, array elements, value functions of the command table and
// user functions. Values that must survive a user-function call are moved into hidden locals of
// the function first, since a call may run code that uses the same temporaries.
#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstring>

#include "compiler/internal.h"
#include "generated/command_numbers.h"

namespace vx::compiler {

namespace {

LiveValues* gInnermostLive = nullptr;

constexpr int32_t kTempBase[3] = {operands::kIntTemp, operands::kFloatTemp, operands::kStringTemp};

std::string Marker(int32_t number) {
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
  (void)ec;
  std::string marker(1, kMarker);
  marker.append(digits, end);
  return marker;
}

bool IsOperatorChar(char c) {
  switch (c) {
    case '^':
    case '*':
    case '/':
    case '+':
    case '-':
    case '=':
    case '>':
    case '<':
    case '!':
    case '&':
    case '|': return true;
    default: return false;
  }
}

// A "-" is a sign when nothing but blanks or another operator stands before it.
bool IsSign(std::string_view text, size_t at) {
  size_t i = at;
  while (i > 0) {
    --i;
    if (text[i] != ' ') return IsOperatorChar(text[i]);
  }
  return true;
}

bool NeedsHolding(int32_t number) {
  if (number < operands::kIntTemp || number >= operands::kIntVar) return false;
  if (gCompiler.currentFunction > 0) return true;  // the function may call itself
  // The main program's own band is the first 50 of each type; beyond it a function's band starts.
  return (number - operands::kIntTemp) % kTemporariesPerType >= kTemporaryBandStep;
}

int AssignRow(char type) {
  const int first = FindStatementRow("=");
  if (first < 0) return -1;
  const char letters[3] = {type, type, 0};
  for (int r = first; r < StatementGroupEnd(first); ++r)
    if (gCompiler.statements[size_t(r)].parameters == letters) return r;
  return -1;
}

}  // namespace

bool AnyRowAgrees(const std::vector<CommandEntry>& rows, int first, int end, const std::string& types, size_t offset) {
  for (int r = first; r < end; ++r) {
    const std::string& letters = rows[size_t(r)].parameters;
    if (offset == 0 && !letters.empty() && letters[0] == 'e') return true;
    if (letters.size() < offset + types.size()) continue;
    bool agrees = true;
    for (size_t k = 0; k < types.size() && agrees; ++k) {
      const char letter = letters[offset + k];
      agrees = letter == 'z' || letter == types[k];
    }
    if (agrees) return true;
  }
  return false;
}

namespace {

std::string DisplayName(const std::string& name) { return name == "==" ? "=" : name; }

// The row of a value function or operator whose parameters equal the argument types.
int MatchValueFunction(int first, const std::string& types) {
  const auto& rows = gCompiler.valueFunctions;
  const int end = ValueFunctionGroupEnd(first);
  for (int r = first; r < end; ++r) {
    const std::string& letters = rows[size_t(r)].parameters;
    if (letters.size() != types.size() + 1) continue;
    bool equal = true;
    for (size_t k = 0; k < types.size() && equal; ++k) equal = letters[k + 1] == 'z' || letters[k + 1] == types[k];
    if (equal) return r;
  }
  const std::string& name = rows[size_t(first)].name;
  std::string text = MessageText(msg::kWrongValues) + " ";
  if (name == "=" || name == "@=" || name == "@") {
    text += MessageText(name == "="    ? msg::kWrongAssignment
                        : name == "@=" ? msg::kWrongElementAssignment
                                       : msg::kWrongElementRead);
  } else {
    const std::string& last = rows[size_t(end - 1)].parameters;
    text += DisplayName(name) + " " + MessageText(msg::kExpects) + " " + TypeNames(std::string_view(last).substr(1));
  }
  Fail(text);
  return -1;
}

bool NoSuchFunction(std::string_view name) {
  return Fail(MessageText(msg::kNoSuchFunction) + " " + std::string(name) + " " + MessageText(msg::kNoSuchFunctionEnd));
}

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

bool CompileOperand(std::string_view text, Operand& out);

// A dim of that name that the running function sees: its own or the main program's.
bool IsDeclaredArray(std::string_view name) {
  const CompilerContext& c = gCompiler;
  return std::any_of(c.arrays.begin(), c.arrays.end(), [&](const ArrayDeclaration& a) {
    return a.name == name && (a.function == c.currentFunction || a.function == 0);
  });
}

// Arguments of a value function, an operator-free call or an array element read, then the row
// that fits their types.
bool CompileValueFunction(int first, std::string_view arguments, bool arrayRead, Operand& out) {
  CompilerContext& c = gCompiler;
  std::vector<std::string_view> items;
  if (SplitArguments(arguments, items) < 0) return false;
  const auto& rows = c.valueFunctions;
  const int end = ValueFunctionGroupEnd(first);
  const std::string& letters = rows[size_t(first)].parameters;
  std::vector<Operand> args(items.size());
  std::string types;
  LiveValues live;
  // Each argument is compiled expecting its parameter's type; after it nothing is expected, also
  // for what follows the call in the text around it.
  for (size_t i = 0; i < items.size(); ++i) {
    c.expectedType = i + 1 < letters.size() ? letters[i + 1] : 0;
    c.arrayFlag = arrayRead && i == 0;
    const bool ok = CompileExpression(items[i], args[i]);
    c.arrayFlag = false;
    c.expectedType = 0;
    if (!ok) return false;
    if (arrayRead && i == 0 && (args[i].number < operands::kIntVar || args[i].number >= operands::kIntConst))
      return Fail(msg::kBadOperand);
    char type = args[i].type == 'z' ? 'l' : args[i].type;
    args[i].type = type;
    if ((type == 'l' || type == 'f') && !AnyRowAgrees(rows, first, end, types + type, 1)) {
      if (!EmitConversion(args[i])) return false;
      type = args[i].type;
    }
    types += type;
    live.Add(args[i]);
  }
  c.expectedType = 0;  // a call without arguments too
  for (size_t i = 0; i < args.size(); ++i) args[i] = live[i];
  const int row = MatchValueFunction(first, types);
  if (row < 0) return false;
  const char result = rows[size_t(row)].parameters.empty() ? 'l' : rows[size_t(row)].parameters[0];
  Operand target;
  if (!NewTemporary(result, target)) return false;
  std::vector<Operand> operandList;
  operandList.reserve(args.size() + 1);
  operandList.push_back(target);
  operandList.insert(operandList.end(), args.begin(), args.end());
  EmitCommand(rows[size_t(row)].number, operandList);
  if (!StoresResultLast(rows[size_t(row)].number)) NoteUnsureTemporary(target.number);
  out.number = target.number;
  out.type = result;
  return true;
}

bool CompileOperand(std::string_view input, Operand& out) {
  CompilerContext& c = gCompiler;
  const std::string_view text = Trim(input);
  if (text.empty()) return Fail(msg::kBadOperand);
  if (text[0] == kMarker) {
    int32_t number = 0;
    auto [ptr, ec] = std::from_chars(text.data() + 1, text.data() + text.size(), number);
    if (ec != std::errc() || ptr != text.data() + text.size()) return Fail(msg::kBadOperand);
    out.number = number;
    out.type = TypeOfOperand(number);
    return out.type != 0 || Fail(msg::kBadOperand);
  }

  // Call form: a name directly followed by a parenthesised argument list that ends the text.
  if (const size_t p = FindCallOpen(text); p != std::string_view::npos) {
    if (MatchingBracket(text, p) != text.size() - 1) return Fail(msg::kBadOperand);
    const std::string_view name = Trim(text.substr(0, p));
    const std::string_view arguments = text.substr(p + 1, text.size() - p - 2);
    const int function = FindUserFunction(name);
    if (function >= 0) return CompileUserFunctionCall(arguments, function, out);
    int row = FindValueFunctionRow(name);
    if (row >= 0) {
      const int end = ValueFunctionGroupEnd(row);
      if (c.expectedType) {
        int typed = end - 1;
        for (int r = row; r < end; ++r)
          if (!c.valueFunctions[size_t(r)].parameters.empty() &&
              c.valueFunctions[size_t(r)].parameters[0] == c.expectedType) {
            typed = r;
            break;
          }
        row = typed;
      }
      return CompileValueFunction(row, arguments, false, out);
    }
    // Any other name is an array: the "@" rows take the array variable and its indices.
    if (c.arrayGroupStart < 0) return NoSuchFunction(name);
    // Without an index it is no array element either: unless an array of that name is made, it
    // is a function that does not exist.
    if (Trim(arguments).empty()) {
      if (!IsVariableName(name) || IsDeclaredArray(name)) return FailOperand(text);
      return Fail(msg::kUndeclaredArray, name);
    }
    std::string element(name);
    element += ',';
    element.append(arguments);
    return CompileValueFunction(c.arrayGroupStart, element, true, out);
  }

  if (IsIntegerLiteral(text)) return IntConstant(IntegerLiteralValue(text), out);
  if (IsFloatLiteral(text)) return FloatConstant(FloatLiteralValue(text), out);
  if (text[0] == '"') {
    if (!IsStringLiteral(text))
      return FailOperand(text, text.size() < 2 || text.back() != '"' ? " (no closing \")" : "");
    if (text.size() > kMaxLineLength) return Fail(msg::kLongString);
    return StringConstant(text.substr(1, text.size() - 2), out);
  }
  return FindVariable(text, out);
}

struct Level {
  char first, second;  // second: the other spelling's first character, for >= and <=
  bool twoCharacters;
  const char* row;
};
constexpr Level kLevels[] = {
    {'^', 0, false, "^"},   {'/', 0, false, "/"},   {'*', 0, false, "*"}, {'+', 0, false, "+"}, {'-', 0, false, "-"},
    {'>', '=', true, ">="}, {'<', '=', true, "<="}, {'>', 0, false, ">"}, {'<', 0, false, "<"}, {'=', 0, false, "=="},
    {'!', 0, false, "!"},   {'&', 0, false, "&"},   {'|', 0, false, "|"},
};

// The next operator of the level at or after from, outside string literals and groups. The scan
// starts at from itself, which stands outside literals and groups: at 0, or after a marker that
// replaced a whole operation; operators are taken from position 1 on.
bool FindOperator(std::string_view text, const Level& level, size_t from, size_t& at, size_t& length) {
  for (QuoteScanner s(text, from); !s.Done(); s.Next()) {
    const size_t i = s.Position();
    if (!s.AtTop() || i == 0) continue;
    const char ch = s.Char();
    if (level.twoCharacters) {
      if (i + 1 < text.size() &&
          ((ch == level.first && text[i + 1] == level.second) || (ch == level.second && text[i + 1] == level.first))) {
        at = i;
        length = 2;
        return true;
      }
    } else if (ch == level.first && !(ch == '-' && IsSign(text, i))) {
      at = i;
      length = 1;
      return true;
    }
  }
  return false;
}

// Which operator characters stand outside string literals and groups.
uint32_t OperatorsPresent(std::string_view text) {
  uint32_t present = 0;
  for (QuoteScanner s(text); !s.Done(); s.Next())
    if (s.AtTop() && IsOperatorChar(s.Char())) present |= 1u << (s.Char() & 31);
  return present;
}

// Start of the operand that ends at the operator at: after the operator before it that stands
// outside literals and groups; a sign belongs to the operand.
size_t LeftOperandStart(std::string_view text, size_t at) {
  size_t start = 0;
  for (QuoteScanner s(text); !s.Done() && s.Position() < at; s.Next()) {
    if (!s.AtTop() || !IsOperatorChar(s.Char())) continue;
    const size_t k = s.Position();
    start = (s.Char() == '-' && IsSign(text, k)) ? k : k + 1;
  }
  return start;
}

// End of the operand that starts after an operator: a leading sign, then up to the next operator
// outside literals and groups.
size_t RightOperandEnd(std::string_view text, size_t from) {
  size_t k = from;
  while (k < text.size() && text[k] == ' ') ++k;
  if (k < text.size() && text[k] == '-') ++k;
  for (QuoteScanner s(text, k); !s.Done(); s.Next())
    if (s.AtTop() && IsOperatorChar(s.Char())) return s.Position();
  return text.size();
}

// An operator with nothing on one side. "==" and "!=" are other languages' comparisons: their
// "=" leaves the operand next to the other character empty.
bool FailEmptyOperand(std::string_view text, const Level& level, size_t at, size_t length) {
  if (level.first == '=' && !level.twoCharacters) {
    const std::string_view before = Trim(text.substr(0, at)), after = TrimLeft(text.substr(at + length));
    if (!after.empty() && after[0] == '=') return Fail(msg::kForeignComparison, "==");
    if (!before.empty() && before.back() == '!') return Fail(msg::kForeignComparison, "!=");
  }
  return Fail(msg::kBadOperand);
}

bool CompileOperators(std::string_view input, Operand& out) {
  CompilerContext& c = gCompiler;
  LiveValues live;
  std::string& text = live.Text();
  text = Trim(input);
  // Most texts hold few operators: a level whose character is missing needs no scan.
  const uint32_t present = OperatorsPresent(text);
  for (const Level& level : kLevels) {
    if (!(present & (1u << (level.first & 31)))) continue;
    size_t from = 0;
    size_t at = 0, length = 0;
    while (FindOperator(text, level, from, at, length)) {
      for (size_t k = 0; k < length; ++k) text[at + k] = ' ';
      const size_t start = LeftOperandStart(text, at);
      const size_t end = RightOperandEnd(text, at + length);
      const std::string left(Trim(std::string_view(text).substr(start, at - start)));
      const std::string right(Trim(std::string_view(text).substr(at + length, end - at - length)));
      if (left.empty() || right.empty()) return FailEmptyOperand(text, level, at, length);
      // The pieces' markers now live in the operands, not in the text.
      std::fill(text.begin() + long(start), text.begin() + long(end), ' ');
      // The right operand may already be a value worked out (a marker) that a call on the left
      // must not overwrite: it waits in the held list's text.
      Operand a, b;
      LiveValues held;
      held.Text() = right;
      if (!CompileOperand(left, a)) return FailIfSilent(msg::kBadOperand);
      held.Add(a);
      if (!CompileOperand(held.Text(), b)) return FailIfSilent(msg::kBadOperand);
      a = held[0];
      const int first = FindValueFunctionRow(level.row);
      if (first < 0) return NoSuchFunction(level.row);
      std::string types;
      types += a.type == 'z' ? 'l' : a.type;
      types += b.type == 'z' ? 'l' : b.type;
      const int row = MatchValueFunction(first, types);
      if (row < 0) return false;
      const std::string& letters = c.valueFunctions[size_t(row)].parameters;
      const char result = letters.empty() ? 'l' : letters[0];
      Operand target;
      if (!NewTemporary(result, target)) return false;
      EmitCommand(c.valueFunctions[size_t(row)].number, {{target.number, result}, a, b});
      if (!StoresResultLast(c.valueFunctions[size_t(row)].number)) NoteUnsureTemporary(target.number);
      const std::string marker = Marker(target.number);
      text.replace(start, end - start, marker);
      if (text.size() >= kMaxLineLength) return Fail(msg::kLongLine);
      from = start + marker.size();
    }
  }
  return CompileOperand(text, out);
}

}  // namespace

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

LiveValues::LiveValues() : outer_(gInnermostLive) { gInnermostLive = this; }
LiveValues::~LiveValues() {
  assert(gInnermostLive == this);
  gInnermostLive = outer_;
}

namespace {

// Rewrites each marker of a temporary that hold moves, outside string literals.
template <typename Hold>
void HoldMarkers(std::string& text, Hold& hold) {
  std::vector<size_t> markers;
  for (QuoteScanner s(text); !s.Done(); s.NextOf(kMarker))
    if (s.Char() == kMarker && !s.InLiteral()) markers.push_back(s.Position());
  // From the last: a rewritten marker may change length.
  for (auto m = markers.rbegin(); m != markers.rend(); ++m) {
    const char* digits = text.data() + *m + 1;
    int32_t number = 0;
    auto [end, ec] = std::from_chars(digits, text.data() + text.size(), number);
    if (ec != std::errc() || !NeedsHolding(number)) continue;
    text.replace(*m, size_t(end - digits) + 1, Marker(hold(number)));
  }
}

}  // namespace

void ProtectLiveValues() {
  CompilerContext& c = gCompiler;
  if (c.scanOnly) return;
  std::vector<std::pair<int32_t, int32_t>> moved;  // temporary -> hidden local
  auto hold = [&](int32_t temporary) -> int32_t {
    for (const auto& m : moved)
      if (m.first == temporary) return m.second;
    const char type = TypeOfOperand(temporary);
    Operand local;
    const int row = AssignRow(type);
    if (row < 0) {
      Fail(msg::kWrongAssignment);
      return temporary;
    }
    if (!HeldLocal(TypeIndex(type), local)) return temporary;
    EmitCommand(c.statements[size_t(row)].number, {local, {temporary, type}});
    moved.emplace_back(temporary, local.number);
    return local.number;
  };
  // Outermost list first: the hidden locals are taken in the order the values became live.
  std::vector<LiveValues*> lists;
  for (LiveValues* list = gInnermostLive; list; list = list->outer_) lists.push_back(list);
  for (auto l = lists.rbegin(); l != lists.rend(); ++l) {
    HoldMarkers((*l)->text_, hold);
    for (Operand& op : (*l)->operands_)
      if (NeedsHolding(op.number)) op.number = hold(op.number);
  }
}

void ResetTemporaries() {
  CompilerContext& c = gCompiler;
  const int band = std::min(kTemporaryBandStep * int(c.currentFunction), kMaxTemporaryBand);
  for (int t = 0; t < 3; ++t) {
    c.nextTemporary[size_t(t)] = kTempBase[t] + band;
    c.temporaryLimit[size_t(t)] = kTempBase[t] + kTemporariesPerType;
  }
  c.heldInUse = {0, 0, 0};
}

bool NewTemporary(char type, Operand& out) {
  CompilerContext& c = gCompiler;
  const int t = TypeIndex(type);
  out.type = type;
  if (c.scanOnly) {
    out.number = kTempBase[t];
    return true;
  }
  // A statement that needs more temporaries than its band holds is refused as too long.
  if (c.nextTemporary[size_t(t)] >= c.temporaryLimit[size_t(t)]) return Fail(msg::kLongLine);
  out.number = c.nextTemporary[size_t(t)]++;
  return true;
}

bool EmitConversion(Operand& operand) {
  const bool toFloat = operand.type == 'l';
  Operand target;
  if (!NewTemporary(toFloat ? 'f' : 'l', target)) return false;
  EmitCommand(toFloat ? kCmdIntToFloat : kCmdFloatToInt, {target, operand});
  operand = target;
  return true;
}

char TypeOfOperand(int32_t number) { return operands::ValueTypeOf(number); }

namespace {

// "2 values (integer, float)".
std::string CountedValues(std::string_view types) {
  std::string text = std::to_string(types.size()) + (types.size() == 1 ? " value" : " values");
  if (!types.empty()) text += " (" + TypeNames(types) + ")";
  return text;
}

// "name takes 2 values (integer, float), given 1 value (string)": what a call with the wrong
// values is told.
std::string ArgumentsWanted(const UserFunction& f, std::string_view given) {
  return f.name + " takes " + CountedValues(f.parameters) + ", given " + CountedValues(given);
}

}  // namespace

bool CompileUserFunctionCall(std::string_view arguments, int function, Operand& out) {
  CompilerContext& c = gCompiler;
  const UserFunction& f = c.functions[size_t(function)];
  std::string text = f.name + "," + std::to_string(f.parameters.size());
  if (!Trim(arguments).empty()) {
    text += ',';
    text.append(arguments);
  }
  std::vector<std::string_view> items;
  if (SplitArguments(text, items) < 0) return false;
  std::vector<Operand> ops(items.size());
  if (!c.scanOnly) {
    const int label = FindLabel(f.name, false, true, true);
    if (label < 0) return false;
    ops[0] = {int32_t(operands::kLabel) + label, 'a', false, label};
  }
  std::string types;
  {
    LiveValues live;
    for (size_t i = 1; i < items.size(); ++i) {
      if (!CompileExpression(items[i], ops[i])) return false;
      if (ops[i].type == 'z') ops[i].type = 'l';
      if (i >= 2) types += ops[i].type;
      live.Add(ops[i]);
    }
    for (size_t i = 1; i < items.size(); ++i) ops[i] = live[i - 1];
  }
  if (types != f.parameters) return Fail(msg::kWrongUserArguments, ArgumentsWanted(f, types));
  Operand result;
  if (!NewTemporary(f.returnType, result)) return false;
  out.number = result.number;
  out.type = f.returnType;
  if (c.scanOnly) return true;
  // The arguments are read by the call itself; what else is pending must outlive it.
  ProtectLiveValues();
  if (c.failed) return false;
  ops.insert(ops.begin() + 1, result);
  EmitCommand(kCmdCallFunction, ops);
  NoteUnsureTemporary(result.number);
  return true;
}

bool CompileExpression(std::string_view input, Operand& out) {
  LiveValues live;
  std::string& text = live.Text();
  text = input;
  for (;;) {
    // The first grouping "(" of the greatest depth; call and array groups are passed over whole.
    int bestDepth = 0;
    size_t best = std::string::npos;
    QuoteScanner s(text);
    for (; !s.Done(); s.NextOf('(')) {
      if (s.InLiteral() || s.Char() != '(') continue;
      const size_t i = s.Position();
      if (i > 0 && OpensGroup(text[i - 1])) {
        if (!s.SkipGroup()) return Fail(msg::kParentheses);
        continue;
      }
      if (s.Depth() + 1 > bestDepth) {
        bestDepth = s.Depth() + 1;
        best = i;
      }
    }
    if (s.StrayClosers() > 0 || s.OpenGroups() > 0) return Fail(msg::kParentheses);
    if (best == std::string::npos) {
      // The operators' own list holds the text from now on: values it has used up need no holding.
      const std::string whole = std::move(text);
      text.clear();
      return CompileOperators(whole, out);
    }
    const size_t close = MatchingBracket(text, best);
    const std::string inner = text.substr(best + 1, close - best - 1);
    std::fill(text.begin() + long(best), text.begin() + long(close) + 1, ' ');
    Operand value;
    if (!CompileOperators(inner, value)) return false;
    text.replace(best, close - best + 1, Marker(value.number));
    if (text.size() >= kMaxLineLength) return Fail(msg::kLongLine);
  }
}

}  // namespace vx::compiler
