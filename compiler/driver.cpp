// The compiler's frame: the context and its reset, the compile loop that starts again with larger
// buffers when the code outgrows them, the entries that compile a file or an extra text, the
// messages of a failed compile, code emission and the progress display.
#include "compiler/compiler.h"

#include <span>

#include "compiler/internal.h"
#include "ide/compile_progress.h"
#include "ide/language.h"
#include "platform/win/files.h"

namespace vx {

CompilerContext gCompiler;

namespace compiler {

namespace {

// Used when the word file has no text for a key.
const char* const kDefaultMessages[kCompilerMessageCount] = {
    "",
    "Too many integer variables (2000 at most)",
    "Too many float variables (2000 at most)",
    "Too many string variables (2000 at most)",
    "Too many labels (2000 at most)",
    "Too many functions (1024 at most)",
    "integer",
    "float",
    "string",
    "The command",
    "does not exist",
    "Wrong values in expression:",
    "expects",
    "no parameters",
    "the value does not fit the variable",
    "the value does not fit the array element",
    "array indices are numbers",
    "The values do not match the function's parameters",
    "Too many integer constants (2000 at most)",
    "Too many float constants (2000 at most)",
    "String longer than 255 characters",
    "Too many string constants (2000 at most)",
    "A value is missing or is no number, string, variable or function call",
    "Parentheses do not match",
    "A label name holds only letters, digits and _",
    "Too many parameters (32 at most)",
    "Label defined twice",
    "Function declared twice",
    "A function parameter must be a variable name",
    "Unknown command",
    "Wrong single-line if",
    "Wrong for statement",
    "Wrong dim statement",
    "Wrong label",
    "Block keyword out of place",
    "Too many DATA items",
    "A DATA item must be a number or a string in double quotes",
    "Wrong parameters:",
    "Wrong function declaration",
    "Wrong return value after endfunction",
    "endfunction outside a function",
    "Line too long (254 characters at most)",
    "Too many include files (255 at most)",
    "Line or expression too long",
    "Error in an included file",
    "in the included line:",
    "Could not read the source file",
    "at line",
    "Label used but never defined",
    "No array or function of that name (an array is made with dim)",
    "Block not closed",
    "select, case, endcase or endselect out of place",
    "A select has only one case default",
    "The program image cannot be written",
    "Could not read the include file",
    "it does not exist or may not be read",
    "it is not a regular file",
    "the program's text would pass 64 MB",
    "The line holds a zero byte (a source file is text)",
    "Blocks nested too deeply (the limit is 1023)",
    "Function without endfunction",
    "A value would be lost in a function call (a fault of the compiler)",
    "Unknown comparison (this language compares with = and <>)",
    "A case has no endcase",
};

}  // namespace

std::string MessageText(int key) {
  if (key < 0 || key >= kCompilerMessageCount) return "error " + std::to_string(key);
  const auto& text = Language().gCompilerMessages[size_t(key)];
  if (text && !text->empty()) return *text;
  return kDefaultMessages[key][0] ? kDefaultMessages[key] : "error " + std::to_string(key);
}

bool Fail(std::string text) {
  gCompiler.failed = true;
  gCompiler.errorText = std::move(text);
  return false;
}

bool Fail(int key) { return Fail(MessageText(key)); }

bool Fail(int key, std::string_view detail) { return Fail(MessageText(key) + ": " + std::string(detail)); }

bool FailIfSilent(int key) {
  if (gCompiler.errorText.empty()) return Fail(key);
  gCompiler.failed = true;
  return false;
}

bool FailOperand(std::string_view text, std::string_view why) {
  if (text.empty() || text.find(kMarker) != std::string_view::npos) return Fail(msg::kBadOperand);
  return Fail(msg::kBadOperand, std::string(text) + std::string(why));
}

std::string TypeNames(std::string_view letters) {
  std::string out;
  for (char letter : letters) {
    const int key = letter == 'l' ? msg::kInteger : letter == 'f' ? msg::kFloat : letter == 's' ? msg::kString : 0;
    if (!key) continue;
    if (!out.empty()) out += ", ";
    out += MessageText(key);
  }
  return out.empty() ? MessageText(msg::kExpectsNothing) : out;
}

void EmitWord(uint32_t word) {
  CompilerContext& c = gCompiler;
  if (c.scanOnly) return;
  c.code.push_back(word);
  c.lines.push_back(uint32_t(c.lineNumber));
}

void EmitCommand(int32_t number, const Operand* operands, size_t count) {
  CompilerContext& c = gCompiler;
  if (c.scanOnly) return;
  c.lastCommandAt = uint32_t(c.code.size());
  EmitWord(uint32_t(number));
  for (const Operand& op : std::span(operands, count)) {
    // The reference is taken where the word lands, so a conversion emitted before the command
    // cannot shift it.
    if (op.type == 'a' && op.label >= 0)
      c.labels[size_t(op.label)].references.push_back({uint32_t(c.code.size()), op.dataLabel});
    EmitWord(uint32_t(op.number));
  }
  ++c.commandCount;
}

void ReportProgress() {
  CompilerContext& c = gCompiler;
  if (c.totalLines <= 0) return;
  const int p = int(100.0 / c.totalLines * c.lineNumber);
  if (p / 10 > c.progressSteps) {
    ++c.progressSteps;
    ShowCompileProgress(p > 100 ? 100 : p);
  }
}

void ClearCompileTables() {
  CompilerContext& c = gCompiler;
  for (auto& table : c.variables) table.clear();
  c.variableIndex.clear();
  c.intConstants.clear();
  c.floatConstants.clear();
  c.stringConstants.clear();
  c.intConstantIndex.clear();
  c.floatConstantIndex.clear();
  c.data.clear();
  c.labels.clear();
  c.labelIndex.clear();
  c.functions.clear();
  c.userFunctionIndex.clear();
  c.arrays.clear();
  c.blocks.clear();
  c.heldLocals.clear();
  c.code.clear();
  c.lines.clear();
  c.commandCount = 0;
  c.foldableAssignments.clear();
  c.unsureTemporaries.clear();
}

void StartCompilePass() {
  CompilerContext& c = gCompiler;
  InitBlockKeywords();
  ClearCompileTables();
  c.code.reserve(c.capacity);
  c.lines.reserve(c.capacity);
  c.lineNumber = 1;
  c.currentFunction = 0;
  c.functionBody = false;
  c.skipRegion = false;
  c.arrayFlag = false;
  c.expectedType = 0;
  c.selectOpen = false;
  c.selectDefault = false;
  c.selectExpression.clear();
  c.progressSteps = 0;
  c.growAgain = false;
}

namespace {

CounterWords TakeCounters() {
  const CompilerContext& c = gCompiler;
  CounterWords w;
  w.intVars = c.variables[0].size();
  w.floatVars = c.variables[1].size();
  w.stringVars = c.variables[2].size();
  w.intConsts = c.intConstants.size();
  w.floatConsts = c.floatConstants.size();
  w.stringConsts = c.stringConstants.size();
  w.dataItems = c.data.size();
  w.labels = c.labels.size();
  w.functions = c.functions.size();
  w.arrays = c.arrays.size();
  w.blockDepth = c.blocks.size();
  w.codeWords = c.code.size();
  w.commandCount = c.commandCount;
  w.lineNumber = c.lineNumber;
  for (const LabelRecord& label : c.labels) w.labelReferences.push_back(label.references.size());
  return w;
}

// Cuts the tables back to the counts of a snapshot and rebuilds the lookups that index them.
void RestoreTables(const CounterWords& w) {
  CompilerContext& c = gCompiler;
  const size_t counts[3] = {w.intVars, w.floatVars, w.stringVars};
  const int32_t bases[3] = {operands::kIntVar, operands::kFloatVar, operands::kStringVar};
  c.variableIndex.clear();
  for (int t = 0; t < 3; ++t) {
    if (c.variables[size_t(t)].size() > counts[t]) c.variables[size_t(t)].resize(counts[t]);
    for (size_t i = 0; i < c.variables[size_t(t)].size(); ++i) {
      const VariableRecord& v = c.variables[size_t(t)][i];
      c.variableIndex[std::string(VariableKey(v.name, v.isArray, v.function))] = bases[t] + int32_t(i);
    }
  }
  if (c.intConstants.size() > w.intConsts) c.intConstants.resize(w.intConsts);
  if (c.floatConstants.size() > w.floatConsts) c.floatConstants.resize(w.floatConsts);
  if (c.stringConstants.size() > w.stringConsts) c.stringConstants.resize(w.stringConsts);
  c.intConstantIndex.clear();
  for (size_t i = 0; i < c.intConstants.size(); ++i) c.intConstantIndex.emplace(c.intConstants[i], int32_t(i));
  c.floatConstantIndex.clear();
  for (size_t i = 0; i < c.floatConstants.size(); ++i)
    c.floatConstantIndex.emplace(FloatKey(c.floatConstants[i]), int32_t(i));
  if (c.data.size() > w.dataItems) c.data.resize(w.dataItems);
  if (c.labels.size() > w.labels) c.labels.resize(w.labels);
  c.labelIndex.clear();
  for (size_t i = 0; i < c.labels.size(); ++i) {
    LabelRecord& label = c.labels[i];
    if (i < w.labelReferences.size() && label.references.size() > w.labelReferences[i])
      label.references.resize(w.labelReferences[i]);
    c.labelIndex[LabelKey(label.name, label.function)] = int(i);
  }
  if (c.functions.size() > w.functions) c.functions.resize(w.functions);
  c.userFunctionIndex.clear();
  for (size_t i = 0; i < c.functions.size(); ++i) c.userFunctionIndex[c.functions[i].name] = int(i);
  if (c.arrays.size() > w.arrays) c.arrays.resize(w.arrays);
  if (c.blocks.size() > w.blockDepth) c.blocks.resize(w.blockDepth);
  if (c.code.size() > w.codeWords) {
    c.code.resize(w.codeWords);
    c.lines.resize(w.codeWords);
  }
  c.commandCount = w.commandCount;
  c.lineNumber = w.lineNumber;
}

// The source buffer: the file's bytes, a zero byte and CR LF, so that a last line without a line
// break is closed too. False after message 46.
bool ReadSourceFile(const std::string& name) {
  CompilerContext& c = gCompiler;
  if (c.sourceHeld) return true;
  c.source.clear();
  if (name.empty()) {
    c.source = "\r\n";
  } else {
    if (!AppendSourceFile(name, name, msg::kSourceUnreadable, c.source)) return false;
    c.source += '\0';
    c.source += "\r\n";
  }
  c.sourceHeld = true;
  return true;
}

int CompileLoop() {
  CompilerContext& c = gCompiler;
  c.compileRuns = 0;
  c.resultMessage.clear();
  c.errorText.clear();
  c.errorLine = 0;
  c.failed = false;
  if (c.statements.empty()) LoadCommandTable();
  for (;;) {
    if (!ReadSourceFile(c.sourceName)) {
      c.resultMessage = c.errorText;
      c.errorLine = 0;
      // A stale image must not pass for this source's.
      if (!c.outputName.empty()) win::DeleteFileA(c.outputName.c_str());
      return 0;
    }
    StartCompilePass();
    c.snapshots[0] = TakeCounters();
    ++c.compileRuns;
    if (!CompileProgram(1, 0)) return 0;
    if (!c.growAgain) break;
    // The buffers were doubled: the whole program is compiled again with the larger ones.
    ClearCompileTables();
    c.sourceHeld = false;
  }
  c.snapshots[1] = TakeCounters();
  c.snapshots[2] = c.snapshots[1];
  c.snapshots[3] = c.snapshots[1];
  return 1;
}

}  // namespace
}  // namespace compiler

void ResetCompiler() {
  CompilerContext& c = gCompiler;
  compiler::ClearCompileTables();
  c.source.clear();
  c.sourceHeld = false;
  c.expanded.clear();
  c.includes.clear();
  c.includeFolder.clear();
  c.resultMessage.clear();
  c.errorText.clear();
  c.errorLine = 0;
  c.failed = false;
  c.selectOpen = false;
  c.selectDefault = false;
  c.selectExpression.clear();
  c.arrayFlag = false;
  c.expectedType = 0;
  c.lineNumber = 1;
  c.snapshots = {};
}

void FreeCompilerTables() {
  CompilerContext& c = gCompiler;
  compiler::ClearCompileTables();
  c.code.shrink_to_fit();
  c.lines.shrink_to_fit();
  c.source.clear();
  c.source.shrink_to_fit();
  c.sourceHeld = false;
  c.expanded.clear();
  c.expanded.shrink_to_fit();
}

std::string MessageWithoutLine(const std::string& message, int line) {
  const std::string suffix = compiler::AtLine(line);
  if (message.size() > suffix.size() && message.ends_with(suffix))
    return message.substr(0, message.size() - suffix.size());
  return message;
}

int CompileFile(const std::string& source, const std::string& output) {
  gCompiler.sourceName = source;
  gCompiler.outputName = output;
  gCompiler.sourceHeld = false;
  return compiler::CompileLoop();
}

int CompileFile(const std::string& source) { return CompileFile(source, std::string()); }

int CompileSourceText(const std::string& text, int functionNumber) {
  using namespace compiler;
  CompilerContext& c = gCompiler;
  c.resultMessage.clear();
  c.errorText.clear();
  c.errorLine = 0;
  c.failed = false;
  c.source = text;
  c.source += '\0';
  c.source += "\r\n";
  c.sourceHeld = true;
  InitBlockKeywords();
  CounterWords counters = c.snapshots[3];
  const CounterWords& positions = c.snapshots[1];
  counters.codeWords = positions.codeWords;
  counters.commandCount = positions.commandCount;
  counters.lineNumber = positions.lineNumber;
  counters.labelReferences = positions.labelReferences;
  RestoreTables(counters);
  c.blocks.clear();
  c.selectOpen = false;
  c.skipRegion = false;
  c.growAgain = false;
  c.progressSteps = 0;
  const bool ok = CompileProgram(2, functionNumber);
  c.sourceHeld = false;
  if (!ok) return 0;
  c.snapshots[3] = TakeCounters();
  return 1;
}

}  // namespace vx
