// The compiler's registry of names: the variables of each function (with the hidden locals that
// keep values across calls), the user functions and the labels.
#include "compiler/internal.h"

namespace vx::compiler {

namespace {

constexpr int32_t kVarBase[3] = {operands::kIntVar, operands::kFloatVar, operands::kStringVar};

// Creates a variable of the current function.
bool CreateVariable(std::string_view name, char type, bool isArray, Operand& out) {
  CompilerContext& c = gCompiler;
  const int t = TypeIndex(type);
  auto& table = c.variables[size_t(t)];
  if (int(table.size()) >= kMaxVariablesPerType)
    return Fail(t == 0 ? msg::kNoIntVariable : t == 1 ? msg::kNoFloatVariable : msg::kNoStringVariable);
  const int32_t number = kVarBase[t] + int32_t(table.size());
  table.push_back({std::string(name), c.currentFunction, isArray, c.lineNumber});
  c.variableIndex.emplace(VariableKey(name, isArray, c.currentFunction), number);
  out.number = number;
  out.type = TypeLetter(t);
  return true;
}

}  // namespace

// The n-th hidden local of a type in the running function, made on first use.
bool HeldLocal(int t, Operand& out) {
  CompilerContext& c = gCompiler;
  auto& list = c.heldLocals[uint32_t(c.currentFunction) * 4 + uint32_t(t)];
  const size_t n = c.heldInUse[size_t(t)]++;
  if (n < list.size()) {
    out.number = list[n];
    out.type = TypeLetter(t);
    return true;
  }
  // A name no source can spell.
  std::string name = "%held" + std::to_string(n) + (t == 1 ? "#" : t == 2 ? "$" : "");
  if (!CreateVariable(name, TypeLetter(t), false, out)) return false;
  list.push_back(out.number);
  return true;
}

std::string VariableKey(std::string_view name, bool isArray, uint16_t function) {
  std::string key(name);
  key += char(isArray ? 1 : 0);
  key += char(function & 0xFF);
  key += char(function >> 8);
  return key;
}

bool IsVariableName(std::string_view name) {
  if (name.empty()) return false;
  for (char ch : name)
    if (!IsNameChar(ch)) return false;
  return true;
}

char TypeOfName(std::string_view name) {
  if (name.find('#') != std::string_view::npos) return 'f';
  if (name.find('$') != std::string_view::npos) return 's';
  return 'l';
}

bool FindVariable(std::string_view name, Operand& out) {
  CompilerContext& c = gCompiler;
  const bool isArray = c.arrayFlag;
  c.arrayFlag = false;
  if (!IsVariableName(name)) return FailOperand(name);
  const char type = TypeOfName(name);
  const int t = TypeIndex(type);
  out.type = type;
  if (c.scanOnly) {
    out.number = kVarBase[t];
    return true;
  }
  auto it = c.variableIndex.find(VariableKey(name, isArray, c.currentFunction));
  // Arrays of the main program are seen inside functions; plain variables are local.
  if (it == c.variableIndex.end() && isArray && c.currentFunction != 0)
    it = c.variableIndex.find(VariableKey(name, true, 0));
  if (it != c.variableIndex.end()) {
    out.number = it->second;
    return true;
  }
  return CreateVariable(name, type, isArray, out);
}

int FindUserFunction(std::string_view name) {
  auto it = gCompiler.userFunctionIndex.find(name);
  return it == gCompiler.userFunctionIndex.end() ? -1 : it->second;
}

int AddUserFunction(std::string_view name, std::string_view parameters) {
  CompilerContext& c = gCompiler;
  const int known = FindUserFunction(name);
  if (known >= 0) return known;
  if (int(c.functions.size()) >= kMaxUserFunctions) {
    Fail(msg::kNoFunction);
    return -1;
  }
  UserFunction f;
  f.name = std::string(name);
  f.parameters = std::string(parameters);
  f.line = c.lineNumber;
  c.userFunctionIndex.emplace(f.name, int(c.functions.size()));
  c.functions.push_back(std::move(f));
  return int(c.functions.size()) - 1;
}

std::string LabelKey(std::string_view name, uint16_t function) {
  std::string key(name);
  key += char(function & 0xFF);
  key += char(function >> 8);
  return key;
}

int FindLabel(std::string_view name, bool data, bool reference, bool global) {
  CompilerContext& c = gCompiler;
  (void)data;  // the kind goes with each reference, where the operand is emitted
  const uint16_t function = global ? kGlobalLabel : c.currentFunction;
  const std::string key = LabelKey(name, function);
  auto it = c.labelIndex.find(key);
  int index;
  if (it == c.labelIndex.end()) {
    if (int(c.labels.size()) >= kMaxLabels) {
      Fail(msg::kNoLabel);
      return -1;
    }
    LabelRecord label;
    label.name = std::string(name);
    label.function = function;
    label.line = c.lineNumber;
    index = int(c.labels.size());
    c.labels.push_back(std::move(label));
    c.labelIndex.emplace(key, index);
  } else {
    index = it->second;
  }
  if (!reference) {
    LabelRecord& label = c.labels[size_t(index)];
    if (label.definedAt >= 0) return -2;
    label.definedAt = int32_t(c.code.size());
    label.dataPosition = int32_t(c.data.size());
  }
  return index;
}

}  // namespace vx::compiler
