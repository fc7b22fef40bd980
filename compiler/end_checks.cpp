// The checks at the end of a compile: every label used is defined (and its references get its
// address), every array used has its dim.
#include <algorithm>

#include "compiler/compiler.h"
#include "compiler/internal.h"

namespace vx::compiler {

std::string AtLine(int line) {
  return " " + MessageText(msg::kAtLine) + " " + std::to_string(LocateSourceLine(line).line);
}

std::string EndCheckMessage(int key, int line, const std::string& name) {
  std::string text = MessageText(key) + ": " + name;
  if (gCompiler.compileMode == 1) text += AtLine(line);
  return text;
}

bool ResolveLabels() {
  CompilerContext& c = gCompiler;
  for (const LabelRecord& label : c.labels) {
    if (label.definedAt < 0) {
      c.errorLine = label.line;
      Fail(EndCheckMessage(msg::kUndefinedLabel, label.line, label.name));
      return true;
    }
    for (const LabelReference& ref : label.references) {
      const uint32_t value = ref.data ? operands::kLiteral + uint32_t(label.dataPosition)
                                      : operands::kCodeAddress + uint32_t(label.definedAt);
      Patch(ref.codeIndex, value);
    }
  }
  return false;
}

bool CheckArrayDeclarations() {
  CompilerContext& c = gCompiler;
  for (const auto& table : c.variables) {
    for (const VariableRecord& v : table) {
      if (!v.isArray) continue;
      const bool declared = std::any_of(c.arrays.begin(), c.arrays.end(), [&](const ArrayDeclaration& a) {
        return a.name == v.name && a.function == v.function;
      });
      if (declared) continue;
      c.errorLine = v.line;
      Fail(EndCheckMessage(msg::kUndeclaredArray, v.line, v.name));
      return true;
    }
  }
  return false;
}

}  // namespace vx::compiler
