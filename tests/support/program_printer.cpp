// Prints a generated program's tree as BASIC source. An operation stands in parentheses where the
// generator put them: always where the language's levels would read the text otherwise, and now
// and then where they would not.
#include <cstdio>

#include "tests/support/program_syntax.h"

namespace vx::test::generated {

namespace {

std::string FloatText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", double(value));
  return text;
}

std::string OperatorText(char op) {
  switch (op) {
    case 'l': return "<=";
    case 'g': return ">=";
    case 'a': return "and";
    case 'o': return "or";
    default: return std::string(1, op);
  }
}

std::string ExprText(const Expr& e) {
  switch (e.kind) {
    case Expr::kInt: return std::to_string(e.number);
    case Expr::kFloat: return FloatText(e.real);
    case Expr::kText: return "\"" + e.text + "\"";
    case Expr::kVar: return e.text;
    case Expr::kBinary: {
      const bool word = e.op == 'a' || e.op == 'o';
      const std::string blank = e.tight && !word ? "" : " ";
      const std::string text = ExprText(e.operands[0]) + blank + OperatorText(e.op) + blank + ExprText(e.operands[1]);
      return e.grouped ? "(" + text + ")" : text;
    }
    case Expr::kCall:
    case Expr::kFunc: {
      std::string text = e.kind == Expr::kCall ? "f" + std::to_string(e.number + 1) + "(" : e.text + "(";
      for (size_t i = 0; i < e.operands.size(); ++i) text += (i ? ", " : "") + ExprText(e.operands[i]);
      return text + ")";
    }
    case Expr::kElement: return e.text + "(" + ExprText(e.operands[0]) + ")";
  }
  return "";
}

void Line(std::string& out, int indent, const std::string& text) {
  out += std::string(size_t(indent) * 2, ' ') + text + "\n";
}

// A statement that fits on one line (the part after then of a one-line if).
std::string SimpleText(const Stmt& s) {
  switch (s.kind) {
    case Stmt::kAssign: return s.name + " = " + ExprText(s.exprs[0]);
    case Stmt::kStore: return s.name + "(" + ExprText(s.exprs[0]) + ") = " + ExprText(s.exprs[1]);
    case Stmt::kEvent: return "h(0) = ((h(0) * 31) + " + std::to_string(s.number) + ") : h(1) = (h(1) + 1)";
    case Stmt::kGosub: return "gosub " + s.name;
    case Stmt::kCall: return ExprText(s.exprs[0]);
    case Stmt::kExit: return "exit";
    case Stmt::kGoto: return "goto " + s.name;
    case Stmt::kExitFunction: return s.exprs.empty() ? "exitfunction" : "exitfunction " + ExprText(s.exprs[0]);
    case Stmt::kReturn: return "return";
    default: return "";
  }
}

void PrintBody(const std::vector<Stmt>& body, int indent, std::string& out);

void PrintSelect(const Stmt& s, int indent, std::string& out) {
  Line(out, indent, "select " + s.name);
  for (const auto& [values, body] : s.cases) {
    std::string list;
    for (size_t i = 0; i < values.size(); ++i) list += (i ? ", " : "") + std::to_string(values[i]);
    Line(out, indent + 1, "case " + list);
    PrintBody(body, indent + 2, out);
    Line(out, indent + 1, "endcase");
  }
  if (s.hasDefault) {
    Line(out, indent + 1, "case default");
    PrintBody(s.other, indent + 2, out);
    Line(out, indent + 1, "endcase");
  }
  Line(out, indent, "endselect");
}

void PrintStmt(const Stmt& s, int indent, std::string& out) {
  switch (s.kind) {
    case Stmt::kIf:
      Line(out, indent, "if " + ExprText(s.exprs[0]));
      PrintBody(s.body, indent + 1, out);
      if (!s.other.empty()) {
        Line(out, indent, "else");
        PrintBody(s.other, indent + 1, out);
      }
      Line(out, indent, "endif");
      return;
    case Stmt::kLineIf: {
      std::string text = "if " + ExprText(s.exprs[0]) + " then ";
      for (size_t i = 0; i < s.body.size(); ++i) text += (i ? " : " : "") + SimpleText(s.body[i]);
      if (!s.other.empty()) text += " else " + SimpleText(s.other[0]);
      Line(out, indent, text);
      return;
    }
    case Stmt::kFor:
      Line(out, indent,
           "for " + s.name + " = " + ExprText(s.exprs[0]) + " to " + ExprText(s.exprs[1]) +
               (s.number == 1 ? "" : " step " + std::to_string(s.number)));
      PrintBody(s.body, indent + 1, out);
      Line(out, indent, "next " + s.name);
      return;
    case Stmt::kWhile:
      Line(out, indent, "while " + ExprText(s.exprs[0]));
      PrintBody(s.body, indent + 1, out);
      Line(out, indent, "endwhile");
      return;
    case Stmt::kRepeat:
      Line(out, indent, "repeat");
      PrintBody(s.body, indent + 1, out);
      Line(out, indent, "until " + ExprText(s.exprs[0]));
      return;
    case Stmt::kDo:
      Line(out, indent, "do");
      PrintBody(s.body, indent + 1, out);
      Line(out, indent, "loop");
      return;
    case Stmt::kSelect: PrintSelect(s, indent, out); return;
    case Stmt::kLabel: Line(out, 0, s.name + ":"); return;
    default: Line(out, indent, SimpleText(s)); return;
  }
}

void PrintBody(const std::vector<Stmt>& body, int indent, std::string& out) {
  for (const Stmt& s : body) PrintStmt(s, indent, out);
}

void PrintSubroutines(const std::vector<Subroutine>& subroutines, int indent, std::string& out) {
  for (const Subroutine& sub : subroutines) {
    Line(out, 0, sub.label + ":");
    PrintBody(sub.body, indent, out);
    Line(out, indent, "return");
  }
}

}  // namespace

std::string PrintExpr(const Expr& e) { return ExprText(e); }

int LevelOf(char op) {
  static const std::string kLevels = "^/*+-gl><=!&|";
  if (op == 'a') return LevelOf('&');
  if (op == 'o') return LevelOf('|');
  return int(kLevels.find(op));
}

Type TypeOfName(const std::string& name) {
  if (name.back() == '#') return Type::kFloat;
  if (name.back() == '$') return Type::kString;
  return Type::kInt;
}

std::string PrintProgram(const Program& program) {
  std::string out = "dim h(1)\ndim a(7)\ndim w$(3)\n";
  PrintBody(program.main, 0, out);
  out += "end\n";
  PrintSubroutines(program.subroutines, 1, out);
  for (const Function& f : program.functions) {
    std::string head = "function " + f.name + "(";
    for (size_t i = 0; i < f.parameters.size(); ++i) head += (i ? ", " : "") + f.parameters[i];
    Line(out, 0, head + ")");
    PrintBody(f.body, 1, out);
    PrintSubroutines(f.subroutines, 1, out);
    Line(out, 0, f.result == Type::kNone ? "endfunction" : "endfunction " + ExprText(f.endValue));
  }
  return out;
}

}  // namespace vx::test::generated
