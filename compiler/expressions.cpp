// The expression compiler: innermost parentheses first, then the operators level by level, each
// piece emitted into a new temporary whose marker replaces its text. Operands are literals,
// variables, array elements, value functions of the command table and user functions.
#include <algorithm>
#include <charconv>

#include "compiler/internal.h"

namespace vx::compiler {

namespace {

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
