// Runs a generated program's tree by the language's rules: integers wrap at 32 bits, division
// cuts toward zero, a function's variables are its own for each call, the main program's
// subroutines share its variables, select tests every case and runs its default when no case
// ran (a flag of the running function or main program, as the compiler keeps it), and a goto
// leaves blocks to a label after them.
#include <cmath>
#include <stdexcept>

#include "tests/support/program_syntax.h"

namespace vx::test::generated {

namespace {

struct Value {
  Type type = Type::kInt;
  int32_t i = 0;
  float f = 0;
  std::string s;
};

// The variables of the main program, or of one call of a function.
struct Activation {
  const Function* function = nullptr;  // null for the main program and its subroutines
  std::map<std::string, Value> variables;
};

// How a statement ended: on to the next one, or leaving by exit, goto, exitfunction or return.
struct Flow {
  enum Kind { kNext, kExit, kGoto, kExitFunction, kReturn } kind = kNext;
  std::string label;
  Value value;
};

// The select flag's name: no variable of the program has it.
const char* const kSelectFlag = "select flag";
constexpr int kMaxDepth = 256;
constexpr size_t kMaxText = 200;
constexpr size_t kTraceKept = 64;

int32_t Wrap(int64_t value) { return int32_t(uint32_t(uint64_t(value))); }

int32_t Truncate(float value) {
  if (!std::isfinite(value) || value <= -2147483648.0f || value >= 2147483648.0f) throw Unfit{};
  return int32_t(value);
}

Value Convert(const Value& v, Type to) {
  if (to == Type::kNone || v.type == to) return v;
  Value out;
  out.type = to;
  if (to == Type::kString || v.type == Type::kString) throw std::logic_error("a text and a number mixed");
  if (to == Type::kInt) out.i = Truncate(v.f);
  if (to == Type::kFloat) out.f = float(v.i);
  return out;
}

Value Int(int32_t i) {
  Value v;
  v.i = i;
  return v;
}

Value Text() {
  Value v;
  v.type = Type::kString;
  return v;
}

class Oracle {
 public:
  Oracle(const Program& program, int64_t budget) : program_(program), budget_(budget) {}

  OracleResult Run() {
    Activation main;
    const Flow flow = RunBody(program_.main, main);
    if (flow.kind != Flow::kNext) throw std::logic_error("the main program left by a jump");
    OracleResult result;
    for (const auto& [name, value] : main.variables) {
      if (name == kSelectFlag) continue;
      result.mainVariables[name] = value.type == Type::kString ? value.s : std::to_string(value.i);
    }
    result.trace = trace_;
    return result;
  }

 private:
  Flow RunBody(const std::vector<Stmt>& body, Activation& act) {
    for (size_t i = 0; i < body.size(); ++i) {
      Flow flow = Exec(body[i], act);
      if (flow.kind == Flow::kGoto) {
        size_t j = i + 1;
        while (j < body.size() && !(body[j].kind == Stmt::kLabel && body[j].name == flow.label)) ++j;
        if (j == body.size()) return flow;
        i = j;
        continue;
      }
      if (flow.kind != Flow::kNext) return flow;
    }
    return {};
  }

  // Runs a loop's body once: true when the loop goes on; a flow that leaves the loop's own
  // statement lands in out.
  bool LoopPass(const Stmt& s, Activation& act, Flow& out) {
    const Flow flow = RunBody(s.body, act);
    if (flow.kind == Flow::kNext) return true;
    if (flow.kind != Flow::kExit) out = flow;
    return false;
  }

  Flow Exec(const Stmt& s, Activation& act) {
    if (++steps_ > budget_) throw Unfit{};
    Flow out;
    switch (s.kind) {
      case Stmt::kAssign: Set(act, s.name, Eval(s.exprs[0], act)); break;
      case Stmt::kStore: Store(s, act); break;
      case Stmt::kEvent: {
        std::vector<Value>& h = arrays_.at("h");
        h[0].i = Wrap(int64_t(h[0].i) * 31 + s.number);
        h[1].i = Wrap(int64_t(h[1].i) + 1);
        if (trace_.size() < kTraceKept) trace_.push_back(s.number);
        break;
      }
      case Stmt::kIf:
      case Stmt::kLineIf: return RunBody(Eval(s.exprs[0], act).i ? s.body : s.other, act);
      case Stmt::kFor: {
        const int32_t end = Eval(s.exprs[1], act).i;
        for (int32_t v = Eval(s.exprs[0], act).i;; v += s.number) {
          Set(act, s.name, Int(v));
          if (s.number > 0 ? v > end : v < end) break;
          if (!LoopPass(s, act, out)) break;
        }
        break;
      }
      case Stmt::kWhile:
        while (Eval(s.exprs[0], act).i && LoopPass(s, act, out)) {
        }
        break;
      case Stmt::kRepeat:
        while (LoopPass(s, act, out) && !Eval(s.exprs[0], act).i) {
        }
        break;
      case Stmt::kDo:
        while (LoopPass(s, act, out)) {
        }
        break;
      case Stmt::kSelect: return Select(s, act);
      case Stmt::kGosub: return Gosub(s.name, act);
      case Stmt::kCall: Eval(s.exprs[0], act); break;
      case Stmt::kExit: out.kind = Flow::kExit; break;
      case Stmt::kGoto:
        out.kind = Flow::kGoto;
        out.label = s.name;
        break;
      case Stmt::kLabel: break;
      case Stmt::kExitFunction:
        out.kind = Flow::kExitFunction;
        if (!s.exprs.empty()) out.value = Eval(s.exprs[0], act);
        break;
      case Stmt::kReturn: out.kind = Flow::kReturn; break;
    }
    return out;
  }

  void Set(Activation& act, const std::string& name, const Value& value) {
    act.variables[name] = Convert(value, TypeOfName(name));
  }

  // The element of an array of the program (dim h(1), a(7) and w$(3)) that index names.
  Value& Element(const std::string& array, const Expr& index, Activation& act) {
    std::vector<Value>& elements = arrays_.at(array);
    const int32_t i = Eval(index, act).i;
    if (i < 0 || size_t(i) >= elements.size()) throw Unfit{};
    return elements[size_t(i)];
  }

  void Store(const Stmt& s, Activation& act) {
    Value& element = Element(s.name, s.exprs[0], act);
    const Value value = Eval(s.exprs[1], act);
    element = Convert(value, element.type);
  }

  Flow Select(const Stmt& s, Activation& act) {
    act.variables[kSelectFlag] = Int(0);
    for (const auto& [values, body] : s.cases) {
      const int32_t v = Variable(s.name, act).i;
      bool match = false;
      for (const int32_t value : values) match = match || value == v;
      if (!match) continue;
      act.variables[kSelectFlag] = Int(1);
      const Flow flow = RunBody(body, act);
      if (flow.kind != Flow::kNext) return flow;
    }
    if (s.hasDefault && act.variables[kSelectFlag].i == 0) return RunBody(s.other, act);
    return {};
  }

  Flow Gosub(const std::string& label, Activation& act) {
    const std::vector<Subroutine>& subs = act.function ? act.function->subroutines : program_.subroutines;
    for (const Subroutine& sub : subs) {
      if (sub.label != label) continue;
      if (++depth_ > kMaxDepth) throw Unfit{};
      const Flow flow = RunBody(sub.body, act);
      --depth_;
      if (flow.kind != Flow::kNext && flow.kind != Flow::kReturn) throw std::logic_error("left a subroutine");
      return {};
    }
    throw std::logic_error("no subroutine " + label);
  }

  Value Call(const Expr& e, Activation& caller) {
    const Function& f = program_.functions[size_t(e.number)];
    Activation act;
    act.function = &f;
    // Every argument is worked out before the call starts.
    std::vector<Value> arguments;
    for (const Expr& argument : e.operands) arguments.push_back(Eval(argument, caller));
    for (size_t i = 0; i < f.parameters.size(); ++i) Set(act, f.parameters[i], arguments[i]);
    if (++depth_ > kMaxDepth) throw Unfit{};
    const Flow flow = RunBody(f.body, act);
    --depth_;
    if (flow.kind != Flow::kNext && flow.kind != Flow::kExitFunction) throw std::logic_error("left a function");
    if (f.result == Type::kNone) return Int(0);
    return Convert(flow.kind == Flow::kExitFunction ? flow.value : Eval(f.endValue, act), f.result);
  }

  Value Variable(const std::string& name, const Activation& act) {
    const auto found = act.variables.find(name);
    if (found != act.variables.end()) return found->second;
    // A main program's variable starts as 0 or ""; a function's must be given a value first.
    if (act.function) throw std::logic_error("a variable read before it was set: " + name);
    Value v;
    v.type = TypeOfName(name);
    return v;
  }

  Value Binary(const Expr& e, Activation& act) {
    const Value l = Eval(e.operands[0], act);
    const Value r = Eval(e.operands[1], act);
    Value out;
    if (l.type == Type::kString) {
      out.type = Type::kString;
      out.s = l.s + r.s;
      if (out.s.size() > kMaxText) throw Unfit{};
      return out;
    }
    if (l.type == Type::kFloat || r.type == Type::kFloat) {
      const float x = Convert(l, Type::kFloat).f, y = Convert(r, Type::kFloat).f;
      out.type = Type::kFloat;
      if (e.op == '+') out.f = x + y;
      if (e.op == '-') out.f = x - y;
      if (e.op == '*') out.f = x * y;
      return out;
    }
    const int64_t x = l.i, y = r.i;
    switch (e.op) {
      case '+': return Int(Wrap(x + y));
      case '-': return Int(Wrap(x - y));
      case '*': return Int(Wrap(int64_t(uint64_t(x) * uint64_t(y))));
      case '/': return Int(Wrap(x / y));
      case '<': return Int(x < y);
      case '>': return Int(x > y);
      case '=': return Int(x == y);
      case '!': return Int(x != y);
      case 'l': return Int(x <= y);
      case 'g': return Int(x >= y);
      case 'a': return Int(x && y);
      case 'o': return Int(x || y);
    }
    throw std::logic_error("an unknown operator");
  }

  Value Eval(const Expr& e, Activation& act) {
    Value v;
    v.type = e.type;
    switch (e.kind) {
      case Expr::kInt: v.i = e.number; return v;
      case Expr::kFloat: v.f = e.real; return v;
      case Expr::kText: v.s = e.text; return v;
      case Expr::kVar: return Variable(e.text, act);
      case Expr::kBinary: return Binary(e, act);
      case Expr::kCall: return Call(e, act);
      case Expr::kElement: return Element(e.text, e.operands[0], act);
      case Expr::kLen: return Int(int32_t(Eval(e.operands[0], act).s.size()));
      case Expr::kStr: v.s = std::to_string(Eval(e.operands[0], act).i); return v;
      case Expr::kTrunc: return Int(Truncate(Eval(e.operands[0], act).f));
    }
    return v;
  }

  const Program& program_;
  const int64_t budget_;
  int64_t steps_ = 0;
  int depth_ = 0;
  std::map<std::string, std::vector<Value>> arrays_ = {
      {"h", std::vector<Value>(2)}, {"a", std::vector<Value>(8)}, {"w$", std::vector<Value>(4, Text())}};
  std::vector<int32_t> trace_;
};

}  // namespace

OracleResult RunOracle(const Program& program, int64_t stepBudget) {
  Oracle oracle(program, stepBudget);
  return oracle.Run();
}

}  // namespace vx::test::generated
