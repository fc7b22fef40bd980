// The statements that the command table does not express directly: a single-line if, a for, a
// dim, and select with its cases. Each is rewritten into simpler statements that the statement
// compiler compiles in turn.
#include <algorithm>

#include "compiler/internal.h"
#include "generated/command_numbers.h"

namespace vx::compiler {

bool CompileSingleLineIf(const std::vector<std::string_view>& words, size_t thenAt) {
  const size_t elseAt = std::min(FindWord(words, "else", thenAt + 1, words.size()), words.size());
  const std::string thenPart = JoinWords(words, thenAt + 1, elseAt);
  if (Trim(thenPart).empty()) return FailIfSilent(msg::kBadSingleLineIf);
  bool ok = CompileStatement("if " + JoinWords(words, 1, thenAt)) && CompileStatement(thenPart);
  if (ok && elseAt < words.size())
    ok = CompileStatement("else") && CompileStatement(JoinWords(words, elseAt + 1, words.size()));
  ok = ok && CompileStatement("endif");
  return ok || FailIfSilent(msg::kBadSingleLineIf);
}

namespace {

// The counter starts one step before the start, so that the for's first step reaches it; the
// command also tells that step when the value lies past the integer limits.
bool CompileForStart(std::string_view variable, const std::string& start, const std::string& step) {
  CompilerContext& c = gCompiler;
  ResetTemporaries();
  c.statementStart = uint32_t(c.code.size());
  Operand counter;
  if (!FindVariable(variable, counter)) return false;
  LiveValues live;
  for (const std::string* value : {&start, &step}) {
    Operand op;
    if (!CompileExpression(*value, op)) return false;
    if (op.type == 'z') op.type = 'l';
    if (op.type == 's') return Fail(msg::kBadFor);
    if (op.type == 'f' && !EmitConversion(op)) return false;
    live.Add(op);
  }
  EmitCommand(kCmdForStart, {counter, live[0], live[1]});
  return true;
}

// "f# is a float variable; the for variable must be an integer variable".
std::string ForVariableDetail(const std::string& variable) {
  std::string what = " is not a variable";
  if (IsVariableName(variable))
    what = " is a " + MessageText(TypeOfName(variable) == 'f' ? msg::kFloat : msg::kString) + " variable";
  return variable + what + "; the for variable must be an " + MessageText(msg::kInteger) + " variable";
}

}  // namespace

bool CompileFor(std::string_view text) {
  const std::string_view head = BeforeColon(text);
  const std::string_view rest = AfterColon(text);
  const size_t equals = FindOutside(head, '=');
  if (equals == std::string_view::npos) return FailIfSilent(msg::kBadFor);
  const std::string variable(Trim(head.substr(0, equals)));
  const auto words = SplitWords(head.substr(equals + 1));
  const size_t toAt = FindWord(words, "to", 0, words.size());
  if (toAt == std::string_view::npos) return FailIfSilent(msg::kBadFor);
  const size_t stepAt = std::min(FindWord(words, "step", toAt + 1, words.size()), words.size());
  const std::string start = JoinWords(words, 0, toAt);
  const std::string end = JoinWords(words, toAt + 1, stepAt);
  const std::string step = stepAt < words.size() ? JoinWords(words, stepAt + 1, words.size()) : "1";
  if (start.empty() || end.empty() || step.empty()) return FailIfSilent(msg::kBadFor);
  // Only an integer variable counts: a float counter could never end.
  if (variable.empty()) return Fail(msg::kBadFor);
  if (!IsVariableName(variable) || TypeOfName(variable) != 'l') return Fail(msg::kBadFor, ForVariableDetail(variable));
  const bool ok =
      CompileForStart(variable, start, step) && CompileStatement("for " + variable + "," + end + "," + step);
  if (!ok) return FailIfSilent(msg::kBadFor);
  return CompileRest(rest);
}

bool CompileDim(std::string_view text) {
  CompilerContext& c = gCompiler;
  std::string declaration(Trim(BeforeColon(text)));
  const std::string_view rest = AfterColon(text);
  const size_t open = FindOutside(declaration, '(');
  const size_t close = FindLastOutside(declaration, ')');
  const int row = FindStatementRow("dim");
  if (open == std::string::npos || row < 0) return FailIfSilent(msg::kBadDim);
  const std::string name(Trim(std::string_view(declaration).substr(0, open)));
  declaration[open] = ',';
  if (close != std::string::npos && close > open) declaration[close] = ' ';
  if (!CompileRow(row, declaration, true)) return FailIfSilent(msg::kBadDim);
  const bool known = std::any_of(c.arrays.begin(), c.arrays.end(), [&](const ArrayDeclaration& a) {
    return a.name == name && a.function == c.currentFunction;
  });
  if (!known) {
    if (int(c.arrays.size()) >= kMaxArrayDeclarations) return Fail(msg::kBadDim);
    c.arrays.push_back({name, c.currentFunction});
  }
  return CompileRest(rest);
}

namespace {

constexpr const char* kSelectVariable = "welldoneifyoufindthistempvarqix";

// Before a case or endselect every block inside the select is closed, and before an endcase
// every block inside its case: a case left open is named with its line.
bool SelectBlocksClosed(std::string_view keyword) {
  const CompilerContext& c = gCompiler;
  const BlockEntry* top = c.blocks.size() > c.selectDepth ? &c.blocks.back() : nullptr;
  const bool caseOnTop = top && !top->caseText.empty();
  if (keyword == "endcase" ? caseOnTop : !top) return true;
  if (!top) return Fail(msg::kSelectOutOfPlace, keyword);
  if (caseOnTop) return Fail(msg::kCaseWithoutEndcase, top->caseText + AtLine(top->line));
  return Fail(msg::kSelectOutOfPlace, std::string(keyword) + " (" + OpenBlockName(*top) + " is open)");
}

// The if of a case: the block that its endcase closes.
bool OpenCase(const std::string& condition, std::string_view values) {
  CompilerContext& c = gCompiler;
  if (!CompileStatement(condition)) return false;
  if (!c.blocks.empty()) c.blocks.back().caseText = "case " + std::string(values);
  return true;
}

}  // namespace

bool CompileSelect(const std::vector<std::string_view>& words, std::string_view text) {
  CompilerContext& c = gCompiler;
  const size_t colon = ColonWord(words);
  const std::string_view rest = AfterColon(text);
  const std::string_view keyword = words[0];
  const std::string variable = kSelectVariable;
  if (keyword == "select") {
    if (c.selectOpen || colon != 2) return Fail(msg::kSelectOutOfPlace, keyword);
    c.selectOpen = true;
    c.selectDefault = false;
    c.selectExpression = std::string(words[1]);
    c.selectDepth = c.blocks.size();
    if (!CompileStatement(variable + "=0")) return false;
  } else if (keyword == "case") {
    if (!c.selectOpen || colon < 2) return Fail(msg::kSelectOutOfPlace, keyword);
    if (!SelectBlocksClosed(keyword)) return false;
    const std::string values = JoinWords(words, 1, colon);
    if (values == "default") {
      if (c.selectDefault) return Fail(msg::kSecondDefault);
      c.selectDefault = true;
      if (!OpenCase("if " + variable + "=0", values)) return false;
    } else {
      std::vector<std::string_view> items;
      if (SplitArguments(values, items) < 0) return false;
      std::string condition = "if ";
      for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].empty()) return Fail(msg::kSelectOutOfPlace);
        if (i > 0) condition += " or ";
        condition += c.selectExpression + "=" + std::string(items[i]);
      }
      if (condition.size() >= kMaxLineLength) return Fail(msg::kLongLine);
      if (!OpenCase(condition, values) || !CompileStatement(variable + "=1")) return false;
    }
  } else if (keyword == "endcase") {
    if (!c.selectOpen) return Fail(msg::kSelectOutOfPlace, keyword);
    if (!SelectBlocksClosed(keyword) || !CompileStatement("endif")) return false;
  } else {  // endselect
    if (!c.selectOpen) return Fail(msg::kSelectOutOfPlace, keyword);
    if (!SelectBlocksClosed(keyword)) return false;
    c.selectOpen = false;
  }
  return CompileRest(rest);
}

}  // namespace vx::compiler
