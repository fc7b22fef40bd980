// Calls of user functions, from an expression or as a statement: the entry label, the result
// temporary, the argument count and the arguments, whose types must be the declared ones.
#include "compiler/internal.h"
#include "generated/command_numbers.h"

namespace vx::compiler {

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

}  // namespace vx::compiler
