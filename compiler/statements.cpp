// The statement compiler: one line (or the part before a ":") into code. It recognises labels and
// function declarations, classifies the statement by its words (the single-line if, for, dim and
// select go to rewritten_statements.cpp), rewrites assignments and print and input with several
// items, compiles each parameter as an expression, picks the row that fits the types and emits
// it, through the block engine for block keywords. It also keeps function declarations and DATA
// items.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>

#include "compiler/internal.h"
#include "generated/command_numbers.h"

namespace vx::compiler {

namespace {

// The statement row whose "any type" results take the type of its first parameter: the table's
// "data", which takes no values (see resources/commands/core.txt).
bool IsAnyTypeRow(int row) { return gCompiler.statements[size_t(row)].name == "data"; }

bool EndsFunction(int32_t n) { return n >= kCmdEndFunction && n <= kCmdEndFunctionString; }
bool IsReturnNumber(int32_t n) { return EndsFunction(n) || (n >= kCmdExitFunction && n <= kCmdExitFunctionString); }

// "<>", " and " and " or " in block keyword conditions.
std::string RewriteLogicalOperators(std::string_view item) {
  static constexpr struct {
    std::string_view words;
    char replacement;
  } kWords[] = {{"<>", '!'}, {" and ", '&'}, {" or ", '|'}};
  std::string out;
  out.reserve(item.size());
  QuoteScanner s(item);
  while (!s.Done()) {
    const auto* match = std::find_if(std::begin(kWords), std::end(kWords), [&](const auto& w) {
      return !s.InLiteral() && item.substr(s.Position(), w.words.size()) == w.words;
    });
    if (match == std::end(kWords)) {
      out += s.Char();
      s.Next();
      continue;
    }
    out += match->replacement;
    for (size_t k = 0; k < match->words.size(); ++k) s.Next();  // no quote or parenthesis among them
  }
  return out;
}

bool IsLabelDefinition(std::string_view text, std::string_view& name) {
  size_t i = 0;
  while (i < text.size() && IsLabelChar(text[i])) ++i;
  if (i == 0 || i >= text.size() || text[i] != ':') return false;
  if (!Trim(text.substr(i + 1)).empty()) return false;
  name = text.substr(0, i);
  return true;
}

}  // namespace

size_t FindWord(const std::vector<std::string_view>& words, std::string_view word, size_t from, size_t to) {
  for (size_t i = from; i < to && i < words.size(); ++i)
    if (words[i] == word) return i;
  return std::string_view::npos;
}

size_t ColonWord(const std::vector<std::string_view>& words) {
  const size_t i = FindWord(words, ":", 0, words.size());
  return i == std::string_view::npos ? words.size() : i;
}

bool CompileRest(std::string_view rest) { return Trim(rest).empty() || CompileStatement(rest); }

namespace {

// ---- Rows and their parameters ----

bool RowFits(const std::string& letters, const std::string& types) {
  if (letters.size() != types.size()) return false;
  for (size_t k = 0; k < types.size(); ++k)
    if (letters[k] != types[k] && letters[k] != 'z') return false;
  return true;
}

bool WrongParameters(int first) {
  const auto& rows = gCompiler.statements;
  const std::string& name = rows[size_t(first)].name;
  std::string text = MessageText(msg::kWrongParameters) + " ";
  if (name == "=" || name == "@=" || name == "@") {
    text += MessageText(name == "="    ? msg::kWrongAssignment
                        : name == "@=" ? msg::kWrongElementAssignment
                                       : msg::kWrongElementRead);
  } else {
    text += name + " " + MessageText(msg::kExpects) + " " +
            TypeNames(rows[size_t(StatementGroupEnd(first) - 1)].parameters);
  }
  return Fail(text);
}

bool CompileLabelArgument(std::string_view item, bool data, Operand& out) {
  const std::string_view name = Trim(item);
  if (name.empty()) return Fail(msg::kBadLabel);
  for (char ch : name)
    if (!IsLabelChar(ch)) return Fail(msg::kBadLabelName);
  const int label = FindLabel(name, data, true, false);
  if (label < 0) return false;
  out = {int32_t(operands::kLabel) + label, 'a', data, label};
  return true;
}

bool StoreDataItems(std::string_view params) {
  CompilerContext& c = gCompiler;
  std::vector<std::string_view> items;
  if (SplitArguments(params, items) < 0) return false;
  for (std::string_view item : items) {
    if (int(c.data.size()) + 1 >= kMaxDataItems) return Fail(msg::kDataFull);
    DataItem d{};
    if (!item.empty() && item[0] == '"') {
      if (!IsStringLiteral(item)) return Fail(msg::kBadDataItem);
      d.type = 's';
      d.text = std::string(item.substr(1, item.size() - 2));
    } else if (IsIntegerLiteral(item)) {
      d.type = 'l';
      d.word = uint32_t(IntegerLiteralValue(item));
    } else if (IsFloatLiteral(item)) {
      const float f = FloatLiteralValue(item);
      d.type = 'f';
      std::memcpy(&d.word, &f, 4);
    } else {
      return Fail(msg::kBadDataItem);
    }
    c.data.push_back(std::move(d));
  }
  return true;
}

bool TakesText(int row) {
  const std::string& letters = gCompiler.statements[size_t(row)].parameters;
  return !letters.empty() && letters[0] == 'e';
}

// A row's parameter text, cut where its parameters end, and what follows.
struct RowText {
  int row = -1;  // the row whose parameters these are: print and input give their first items to printc
  std::string params;
  std::string rest;  // compiled afterwards as a statement of its own
};

// Print and read take a "," between items as a ";".
void CommasToSemicolons(std::string& text) {
  const size_t limit = std::min(FindOutside(text, ':'), text.size());
  for (QuoteScanner s(text); !s.Done() && s.Position() < limit; s.NextOf(','))
    if (s.Char() == ',' && s.AtTop()) text[s.Position()] = ';';
}

// The first ":" or ";" outside literals, and for input also a "," outside literals and groups.
size_t ParameterEnd(std::string_view text, bool isInput) {
  for (QuoteScanner s(text); !s.Done(); s.Next()) {
    if (s.InLiteral()) continue;
    const char ch = s.Char();
    if (ch == ':' || ch == ';' || (isInput && ch == ',' && s.Depth() == 0)) return s.Position();
  }
  return std::string_view::npos;
}

// Cuts the text after a row's name into its parameters and the rest. A print, input or read with
// more items leaves them to a statement of its own.
bool CutParameters(int row, std::string text, RowText& out) {
  const CompilerContext& c = gCompiler;
  const std::string& name = c.statements[size_t(row)].name;
  out.row = row;
  if (TakesText(row)) {
    const size_t colon = FindOutside(text, ':');
    if (colon != std::string::npos) {
      out.rest = text.substr(colon + 1);
      text.resize(colon);
    }
    out.params = std::move(text);
    return true;
  }
  const bool isPrint = name == "print", isRead = name == "read", isInput = name == "input";
  if (isPrint || isRead) CommasToSemicolons(text);
  const size_t end = ParameterEnd(text, isInput);
  if (end == std::string::npos) {
    out.params = std::move(text);
    return true;
  }
  const char terminator = text[end];
  const std::string after = text.substr(end + 1);
  text.resize(end);
  out.params = std::move(text);
  if (terminator == ':') {
    out.rest = after;
  } else if (isPrint || isInput || isRead) {
    if (isPrint || isInput) {
      int printc = -1;
      for (size_t r = isPrint ? size_t(row) + 1 : 0; r < c.statements.size() && printc < 0; ++r)
        if (c.statements[r].name == "printc") printc = int(r);
      if (printc < 0) return WrongParameters(row);
      out.row = printc;
    }
    const std::string_view afterText = TrimLeft(after);
    if (!afterText.empty() && afterText[0] == ':')
      out.rest = std::string(afterText.substr(1));
    else
      out.rest = name + " " + after;
  } else {
    out.rest = std::string(AfterColon(after));
  }
  return true;
}

// A row that takes its text as it stands: it starts a skip region or stores DATA items.
bool CompileTextRow(const RowText& text) {
  CompilerContext& c = gCompiler;
  if (c.statements[size_t(text.row)].number == kCmdRemStart) c.skipRegion = true;
  if (c.statements[size_t(text.row)].name == "data" && !StoreDataItems(text.params)) return false;
  return CompileRest(text.rest);
}

// Compiles each parameter of the row (a label, or an expression converted where no row of the
// name takes its type), in order: ops receives them and types their letters.
bool CompileParameters(int row, std::string_view params, bool arrayTarget, std::vector<Operand>& ops,
                       std::string& types) {
  CompilerContext& c = gCompiler;
  const std::string& letters = c.statements[size_t(row)].parameters;
  const int groupEnd = StatementGroupEnd(row);
  const bool isBlock = c.blockKeywordRow[size_t(row)] != 0;
  const bool isRestore = c.statements[size_t(row)].name == "restore";
  std::vector<std::string_view> items;
  if (SplitArguments(params, items) < 0) return false;
  LiveValues live;
  for (size_t i = 0; i < items.size(); ++i) {
    std::string rewritten;  // a block keyword's condition with its operator words replaced
    std::string_view item = items[i];
    if (isBlock) item = rewritten = RewriteLogicalOperators(items[i]);
    const char letter = i < letters.size() ? letters[i] : 0;
    Operand op;
    if (letter == 'a') {
      if (!CompileLabelArgument(item, isRestore, op)) return false;
    } else {
      c.arrayFlag = arrayTarget && i == 0;
      const bool ok = CompileExpression(item, op);
      c.arrayFlag = false;
      if (!ok) return false;
      if (arrayTarget && i == 0 && (op.number < operands::kIntVar || op.number >= operands::kIntConst))
        return Fail(msg::kBadOperand);
      if (op.type == 'z')
        op.type = (IsAnyTypeRow(row) && i > 0 && (types[0] == 'f' || types[0] == 's')) ? types[0] : 'l';
      if ((op.type == 'l' || op.type == 'f') && !AnyRowAgrees(c.statements, row, groupEnd, types + op.type, 0) &&
          !EmitConversion(op))
        return false;
    }
    types += op.type;
    live.Add(op);
  }
  ops.clear();
  for (size_t i = 0; i < items.size(); ++i) ops.push_back(live[i]);
  return true;
}

// A for counts only in an integer variable (a float one might never reach its end); a value
// returned by endfunction takes the function's return type.
bool CheckCounterAndReturn(int row, std::vector<Operand>& ops, std::string& types) {
  const CompilerContext& c = gCompiler;
  const int32_t number = c.statements[size_t(row)].number;
  if (IsForCommand(number) &&
      (ops.empty() || ops[0].number < operands::kIntVar || ops[0].number >= operands::kFloatVar))
    return Fail(msg::kBadFor);
  if (IsReturnNumber(number) && c.currentFunction > 0 && c.currentFunction <= c.functions.size() && ops.size() == 1) {
    const char want = c.functions[size_t(c.currentFunction - 1)].returnType;
    if (types[0] != want) {
      if (!((types[0] == 'l' || types[0] == 'f') && (want == 'l' || want == 'f'))) return Fail(msg::kBadReturn);
      if (!EmitConversion(ops[0])) return false;
      types[0] = want;
    }
  }
  return true;
}

// The first row of the name, at or after row, that takes these types; -1 after message 37.
int ChooseRow(int row, const std::string& types) {
  const auto& rows = gCompiler.statements;
  for (int r = row; r < StatementGroupEnd(row); ++r) {
    const std::string& l = rows[size_t(r)].parameters;
    if (RowFits(l, types) || (types.empty() && !l.empty() && l[0] == '0') || (!l.empty() && l[0] == 'e')) return r;
  }
  WrongParameters(row);
  return -1;
}

// Runs the block engine for the row's command and emits it; a return ends the function's body.
bool EmitRow(int row, std::vector<Operand>& ops) {
  CompilerContext& c = gCompiler;
  int32_t number = c.statements[size_t(row)].number;
  bool noCode = false;
  if (!CompileBlockKeyword(number, ops, noCode)) return false;
  if (!noCode) {
    NoteFoldableAssignment(number, ops);
    NoteStatementTemporaries(number, ops);
    EmitCommand(number, ops);
  }
  if (EndsFunction(number)) {
    c.functionBody = false;
    c.currentFunction = 0;
  }
  return true;
}

}  // namespace

// Compiles a statement of the table: its parameter text is what follows the row's name.
bool CompileRow(int row, std::string params, bool arrayTarget) {
  ResetTemporaries();
  RowText text;
  if (!CutParameters(row, std::move(params), text)) return false;
  if (TakesText(row)) return CompileTextRow(text);
  gCompiler.statementStart = uint32_t(gCompiler.code.size());
  std::vector<Operand> ops;
  std::string types;
  if (!CompileParameters(text.row, text.params, arrayTarget, ops, types)) return false;
  if (!CheckCounterAndReturn(text.row, ops, types)) return false;
  const int chosen = ChooseRow(text.row, types);
  if (chosen < 0 || !EmitRow(chosen, ops)) return false;
  return CompileRest(text.rest);
}

namespace {

bool DeclareFunction(int function, std::string_view declaration) {
  CompilerContext& c = gCompiler;
  const std::string_view head = BeforeColon(declaration);
  const std::string_view rest = AfterColon(declaration);
  const UserFunction& f = c.functions[size_t(function)];
  auto known = c.labelIndex.find(LabelKey(f.name, kGlobalLabel));
  if (known != c.labelIndex.end() && c.labels[size_t(known->second)].definedAt >= 0) return Fail(msg::kFunctionTwice);
  c.functionBody = true;
  c.currentFunction = uint16_t(function + 1);
  EmitCommand(kCmdFunctionHead, {});
  if (FindLabel(f.name, false, false, true) < 0) return false;  // the entry: after the head
  const size_t open = FindOutside(head, '(');
  const size_t close = FindLastOutside(head, ')');
  std::vector<std::string_view> items;
  if (open != std::string_view::npos && close != std::string_view::npos && close > open &&
      SplitArguments(head.substr(open + 1, close - open - 1), items) < 0)
    return false;
  for (std::string_view item : items) {
    Operand parameter;
    if (!IsVariableName(item)) return Fail(msg::kBadParameter);
    if (!FindVariable(item, parameter)) return false;
    EmitWord(uint32_t(parameter.number));
  }
  EmitWord(uint32_t(function + 1));
  return CompileRest(rest);
}

bool RewriteAssignment(std::string_view statement, std::string& out, bool& arrayTarget) {
  const size_t equals = FindOutside(statement, '=', Outside::kLiteralsAndGroups);
  if (equals == std::string_view::npos) return false;
  const std::string_view target = Trim(statement.substr(0, equals));
  const std::string_view value = Trim(statement.substr(equals + 1));
  if (target.empty() || value.empty() ||
      FindOutside(target, ' ', Outside::kLiteralsAndGroups) != std::string_view::npos)
    return false;
  const size_t open = FindCallOpen(target);
  arrayTarget = open != std::string_view::npos;
  if (arrayTarget) {
    std::string element(target);
    const size_t close = MatchingBracket(element, open);
    element[open] = ',';
    if (close != std::string::npos) element[close] = ' ';
    out = "@= " + element + "," + std::string(value);
  } else {
    out = "= " + std::string(target) + "," + std::string(value);
  }
  return true;
}

bool IsNameCharacter(char ch) {
  return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '$' || ch == '#';
}

// The words a statement begins with, up to its first value: the command it was meant to be
// ("make objct cube" of "make objct cube 1, 2").
std::string_view LeadingWord(std::string_view statement) {
  size_t end = 0;
  while (end < statement.size() && std::isalpha(static_cast<unsigned char>(statement[end]))) {
    size_t word = end;
    while (word < statement.size() && IsNameCharacter(statement[word])) ++word;
    const bool whole = word == statement.size() || statement[word] == ' ';
    if (!whole && end > 0) break;
    end = word;
    if (!whole) break;
    while (end < statement.size() && statement[end] == ' ') ++end;
  }
  while (end > 0 && statement[end - 1] == ' ') --end;
  return end > 0 ? statement.substr(0, end) : statement;
}

// A statement that names no row: a call of a user function, or an assignment.
bool CompileCallOrAssignment(std::string_view text) {
  const std::string_view statement = Trim(BeforeColon(text));
  const std::string_view rest = AfterColon(text);
  const size_t open = FindOutside(statement, '(');
  if (open != std::string_view::npos) {
    const int function = FindUserFunction(Trim(statement.substr(0, open)));
    if (function >= 0) {
      const size_t close = MatchingBracket(statement, open);
      if (close != statement.size() - 1) return Fail(msg::kUnknownStatement, LeadingWord(statement));
      ResetTemporaries();
      gCompiler.statementStart = uint32_t(gCompiler.code.size());
      Operand ignored;
      if (!CompileUserFunctionCall(statement.substr(open + 1, close - open - 1), function, ignored)) return false;
      return CompileRest(rest);
    }
  }
  std::string assignment;
  bool arrayTarget = false;
  if (!RewriteAssignment(statement, assignment, arrayTarget))
    return Fail(msg::kUnknownStatement, LeadingWord(statement));
  const int row = FindStatementRow(arrayTarget ? "@=" : "=");
  if (row < 0) return Fail(msg::kUnknownStatement, LeadingWord(statement));
  const size_t blank = assignment.find(' ');
  if (!CompileRow(row, assignment.substr(blank + 1), arrayTarget)) return false;
  return CompileRest(rest);
}

// The row named by the longest run of leading words; consumed tells how many words it took.
int FindStatementCommand(const std::vector<std::string_view>& words, size_t limit, size_t& consumed) {
  const auto known = gCompiler.statementWords.find(words[0]);
  if (known == gCompiler.statementWords.end()) return -1;
  const size_t most = std::min(known->second, limit);
  for (size_t k = most; k >= 1; --k) {
    const int row = k == 1 ? FindStatementRow(words[0]) : FindStatementRow(JoinWords(words, 0, k));
    if (row >= 0) {
      consumed = k;
      return row;
    }
  }
  return -1;
}

// The words of a statement, in a buffer kept for each level of statements within statements, so
// that a line costs no allocation for them.
class WordList {
 public:
  WordList() : words(Take()) {}
  ~WordList() { --depth_; }
  WordList(const WordList&) = delete;
  WordList& operator=(const WordList&) = delete;
  std::vector<std::string_view>& words;

 private:
  static std::vector<std::string_view>& Take() {
    if (depth_ == buffers_.size()) buffers_.emplace_back();  // a deque keeps the others in place
    return buffers_[depth_++];
  }
  static inline std::deque<std::vector<std::string_view>> buffers_;
  static inline size_t depth_ = 0;
};

}  // namespace

bool CompileStatement(std::string_view input) {
  CompilerContext& c = gCompiler;
  const std::string_view text = TrimLeft(input);
  if (text.empty()) return true;
  if (text[0] == ':') return CompileStatement(text.substr(1));  // an empty statement before it
  WordList list;
  std::vector<std::string_view>& words = list.words;
  SplitWords(text, words);
  if (words.empty()) return true;
  const size_t colon = ColonWord(words);

  // Between the two rows of a skip region nothing is compiled.
  if (c.skipRegion) {
    size_t consumed = 0;
    const int row = colon > 0 ? FindStatementCommand(words, colon, consumed) : -1;
    if (row < 0 || c.statements[size_t(row)].number != kCmdRemEnd) return true;
    c.skipRegion = false;
  }

  std::string_view label;
  if (IsLabelDefinition(text, label)) {
    const int index = FindLabel(label, false, false, false);
    if (index == -2) return Fail(msg::kLabelTwice);
    return index >= 0;
  }
  if (text.substr(0, 9) == "function ") {
    const std::string_view declaration = text.substr(9);
    const size_t open = FindOutside(declaration, '(');
    const int function =
        FindUserFunction(Trim(BeforeColon(open == std::string_view::npos ? declaration : declaration.substr(0, open))));
    if (function >= 0) return DeclareFunction(function, declaration);
  }

  const std::string_view first = words[0];
  if (first == "rem" || first[0] == '`') return true;
  if (first == "if") {
    const size_t thenAt = FindWord(words, "then", 1, colon);
    if (thenAt != std::string_view::npos) return CompileSingleLineIf(words, thenAt);
  }
  if (first == "for" && FindWord(words, "to", 1, colon) != std::string_view::npos) return CompileFor(text.substr(3));
  if (first == "dim" && colon > 1) {
    const std::string_view second = words[1];
    const size_t open = FindOutside(second, '(');
    if (open != std::string_view::npos && open > 0 && IsNameChar(second[open - 1])) return CompileDim(text.substr(3));
  }
  if (first == "select" || first == "case" || first == "endcase" || first == "endselect")
    return CompileSelect(words, text);
  bool arrayTarget = false;
  if (first == "undim" && colon > 1) {
    arrayTarget = true;
    size_t n = 0;
    while (n < words[1].size() && IsNameChar(words[1][n])) ++n;
    words[1] = words[1].substr(0, n);
  }
  size_t consumed = 0;
  const int row = colon > 0 ? FindStatementCommand(words, colon, consumed) : -1;
  if (row < 0) return CompileCallOrAssignment(text);
  return CompileRow(row, JoinWords(words, consumed, words.size()), arrayTarget);
}

}  // namespace vx::compiler
