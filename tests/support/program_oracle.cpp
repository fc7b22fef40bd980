// Runs a generated program's tree by the language's rules: integers wrap at 32 bits, division
// cuts toward zero, float and mixed arithmetic runs in double precision and keeps single
// precision, a function's variables are its own for each call, the main program's subroutines
// share its variables, select tests every case and runs its default when no case ran (a flag of
// the running function or main program, as the compiler keeps it), a goto leaves blocks to a
// label after them, and a for steps its counter in 64 bits. Values are worked out in the order
// the language gives the text: the innermost parentheses first (of one depth from the left), in
// each the operators level by level and from the left, an operand as its operator takes it. A value
// function's row is the one its place expects (nothing is expected after an argument of a value
// function is done), and its arguments become the types its rows take. Before it runs anything,
// the oracle types every expression of the program, so that a program the compiler would refuse
// is no program.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <unordered_map>

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

int32_t Truncate(double value) {
  if (!std::isfinite(value) || value <= -2147483649.0 || value >= 2147483648.0) throw Unfit{};
  return int32_t(value);
}

float Single(double value) {
  if (!std::isfinite(value) || std::fabs(value) > 1e30) throw Unfit{};
  return float(value);
}

char Letter(Type type) { return type == Type::kFloat ? 'f' : type == Type::kString ? 's' : 'l'; }
Type TypeOf(char letter) { return letter == 'f' ? Type::kFloat : letter == 's' ? Type::kString : Type::kInt; }

Value Convert(const Value& v, Type to) {
  if (to == Type::kNone || v.type == to) return v;
  Value out;
  out.type = to;
  if (to == Type::kString || v.type == Type::kString) throw Unfit{};  // the compiler would refuse it
  if (to == Type::kInt) out.i = Truncate(v.f);
  if (to == Type::kFloat) out.f = float(v.i);
  return out;
}

double Number(const Value& v) { return v.type == Type::kFloat ? double(v.f) : double(v.i); }

Value Int(int32_t i) {
  Value v;
  v.i = i;
  return v;
}

Value Float(double f) {
  Value v;
  v.type = Type::kFloat;
  v.f = Single(f);
  return v;
}

Value Text(std::string s = {}) {
  if (s.size() > kMaxText) throw Unfit{};
  Value v;
  v.type = Type::kString;
  v.s = std::move(s);
  return v;
}

// The rows of the value functions the generator writes: name, result, parameters, in the order
// the language lists them.
struct Row {
  const char* name;
  char result;
  const char* parameters;
};
constexpr Row kRows[] = {
    {"len", 'l', "s"}, {"left$", 's', "sl"}, {"right$", 's', "sl"}, {"str$", 's', "f"}, {"str$", 's', "l"},
    {"int", 'l', "f"}, {"abs", 'f', "f"},    {"abs", 'l', "f"},     {"sqrt", 'f', "f"}, {"sqrt", 'f', "l"},
};
// An element read takes the array and its index as the first row of the array group does.
constexpr Row kElementRow = {"@", 'l', "ll"};

std::vector<const Row*> RowsOf(const std::string& name) {
  std::vector<const Row*> rows;
  for (const Row& row : kRows)
    if (name == row.name) rows.push_back(&row);
  if (rows.empty()) throw std::logic_error("no value function " + name);
  return rows;
}

// Results of operators by operand types; kNone where no row takes them.
Type OperatorResult(char op, Type l, Type r) {
  const bool numbers = l != Type::kString && r != Type::kString;
  const bool texts = l == Type::kString && r == Type::kString;
  switch (op) {
    case '+':
      if (texts) return Type::kString;
      [[fallthrough]];
    case '-':
    case '*':
    case '/':
    case '^': return numbers ? (l == Type::kInt && r == Type::kInt ? Type::kInt : Type::kFloat) : Type::kNone;
    case '<':
    case '>':
    case '=':
    case '!': return numbers || texts ? Type::kInt : Type::kNone;
    case 'l':
    case 'g': return numbers ? Type::kInt : Type::kNone;
    default: return l == Type::kInt && r == Type::kInt ? Type::kInt : Type::kNone;  // & | and or
  }
}

template <typename Number>
Value Compare(char op, Number x, Number y) {
  switch (op) {
    case '<': return Int(x < y);
    case '>': return Int(x > y);
    case '=': return Int(x == y);
    case '!': return Int(x != y);
    case 'l': return Int(x <= y);
    case 'g': return Int(x >= y);
  }
  throw std::logic_error("an unknown comparison");
}

Value Operate(char op, const Value& l, const Value& r) {
  const Type result = OperatorResult(op, l.type, r.type);
  if (result == Type::kNone) throw Unfit{};
  if (l.type == Type::kString) {
    if (op == '+') return Text(l.s + r.s);
    const int c = l.s.compare(r.s);
    return Int(op == '<' ? c < 0 : op == '>' ? c > 0 : op == '=' ? c == 0 : c != 0);
  }
  if (l.type == Type::kFloat || r.type == Type::kFloat) {
    const double x = Number(l), y = Number(r);
    switch (op) {
      case '+': return Float(x + y);
      case '-': return Float(x - y);
      case '*': return Float(x * y);
      case '/':
        if (y == 0) throw Unfit{};
        return Float(x / y);
      case '^': return Float(std::pow(x, y));
      default: return Compare(op, x, y);
    }
  }
  const int64_t x = l.i, y = r.i;
  switch (op) {
    case '+': return Int(Wrap(x + y));
    case '-': return Int(Wrap(x - y));
    case '*': return Int(Wrap(int64_t(uint64_t(x) * uint64_t(y))));
    case '/':
      if (y == 0) throw Unfit{};
      return Int(Wrap(x / y));
    case '^': return Int(Truncate(std::pow(double(x), double(y))));
    case '<':
    case '>':
    case '=':
    case '!':
    case 'l':
    case 'g': return Compare(op, x, y);
    case '&':
    case 'a': return Int(int32_t(x & y));
    case '|':
    case 'o': return Int(int32_t(x | y));
  }
  throw std::logic_error("an unknown operator");
}

Value Apply(const std::string& name, char result, const std::vector<Value>& args) {
  if (name == "len") return Int(int32_t(args[0].s.size()));
  if (name == "left$" || name == "right$") {
    const size_t keep = args[1].i < 1 ? 0 : std::min(size_t(args[1].i), args[0].s.size());
    return Text(name == "left$" ? args[0].s.substr(0, keep) : args[0].s.substr(args[0].s.size() - keep));
  }
  if (name == "str$") {
    char text[64];
    if (args[0].type == Type::kFloat)
      std::snprintf(text, sizeof text, "%g", double(args[0].f));
    else
      std::snprintf(text, sizeof text, "%d", int(args[0].i));
    return Text(text);
  }
  if (name == "int") return Int(Truncate(double(args[0].f)));
  if (name == "abs")
    return result == 'l' ? Int(Truncate(std::fabs(double(args[0].f)))) : Float(std::fabs(double(args[0].f)));
  if (name == "sqrt") {
    if (Number(args[0]) < 0) throw Unfit{};
    return Float(std::sqrt(Number(args[0])));
  }
  throw std::logic_error("no value function " + name);
}

// The steps that work out an expression, in the order of its code: an operand as the operator
// that takes it (or the whole text, when it is one operand), then the operator itself.
void Region(const Expr& node, std::vector<const Expr*>& steps) {
  if (node.kind != Expr::kBinary) {
    steps.push_back(&node);
    return;
  }
  // The operators of this parenthesis level, by level and then from the left.
  std::vector<const Expr*> operators;
  auto collect = [&](auto& self, const Expr& e) -> void {
    if (e.kind != Expr::kBinary) return;
    if (&e != &node && e.grouped) return;
    self(self, e.operands[0]);
    operators.push_back(&e);
    self(self, e.operands[1]);
  };
  collect(collect, node);
  std::stable_sort(operators.begin(), operators.end(),
                   [](const Expr* a, const Expr* b) { return LevelOf(a->op) < LevelOf(b->op); });
  for (const Expr* op : operators) {
    for (const Expr& operand : op->operands)
      if (operand.kind != Expr::kBinary) steps.push_back(&operand);
    steps.push_back(op);
  }
}

std::vector<const Expr*> Steps(const Expr& root) {
  // Parenthesised operations, deepest first and of one depth from the left; then the rest.
  std::vector<std::pair<int, const Expr*>> groups;
  auto collect = [&](auto& self, const Expr& e, int depth) -> void {
    if (e.kind != Expr::kBinary) return;
    if (e.grouped) groups.emplace_back(++depth, &e);
    self(self, e.operands[0], depth);
    self(self, e.operands[1], depth);
  };
  collect(collect, root, 0);
  std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<const Expr*> steps;
  for (const auto& group : groups) Region(*group.second, steps);
  if (!root.grouped) Region(root, steps);
  return steps;
}

class Oracle {
 public:
  Oracle(const Program& program, int64_t budget) : program_(program), budget_(budget) {}

  OracleResult Run() {
    TypeProgram();
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
  // ---- expressions: one walk types them (act is null) or works them out

  // The type a statement's value must have, or any numeric type converted to it.
  void Expect(const Expr& e, Type type) {
    const Type got = Evaluate(e, nullptr).type;
    if (got == type) return;
    if (got == Type::kString || type == Type::kString) throw Unfit{};
  }

  Value Evaluate(const Expr& e, Activation* act) {
    std::unordered_map<const Expr*, Value> values;
    for (const Expr* step : Steps(e)) {
      if (step->kind == Expr::kBinary) {
        values[step] = Operate(step->op, values.at(&step->operands[0]), values.at(&step->operands[1]));
        if (!act) values[step] = Typed(values[step].type);
      } else {
        values[step] = Operand(*step, act);
      }
    }
    return values.at(&e);
  }

  // A value of the type that typing gives; its number is no number.
  static Value Typed(Type type) {
    Value v;
    v.type = type;
    if (type == Type::kFloat) v.f = 1;
    v.i = 1;
    return v;
  }

  Value Operand(const Expr& e, Activation* act) {
    switch (e.kind) {
      case Expr::kInt: return Int(e.number);
      case Expr::kFloat: return Float(e.real);
      case Expr::kText: return Text(e.text);
      case Expr::kVar: return act ? Variable(e.text, *act) : Typed(TypeOfName(e.text));
      case Expr::kCall: return Call(e, act);
      case Expr::kElement: return Element(e, act);
      case Expr::kFunc: return ValueFunction(e, act);
      case Expr::kBinary: break;
    }
    throw std::logic_error("an operator as an operand");
  }

  // The row its place expects, each argument expecting its parameter's type and converted where
  // no row from that one on takes it, then the row that takes what the arguments became.
  Value ValueFunction(const Expr& e, Activation* act) {
    const std::vector<const Row*> rows = RowsOf(e.text);
    size_t lookup = rows.size() - 1;
    if (expected_ == 0) lookup = 0;
    for (size_t r = 0; r < rows.size() && expected_; ++r)
      if (rows[r]->result == expected_) {
        lookup = r;
        break;
      }
    std::vector<Value> args;
    std::string types;
    for (size_t i = 0; i < e.operands.size(); ++i) {
      expected_ = rows[lookup]->parameters[i];
      Value arg = Evaluate(e.operands[i], act);
      expected_ = 0;
      if (arg.type != Type::kString && !AnyRowTakes(rows, lookup, types + Letter(arg.type)))
        arg = act ? Convert(arg, arg.type == Type::kInt ? Type::kFloat : Type::kInt)
                  : Typed(arg.type == Type::kInt ? Type::kFloat : Type::kInt);
      types += Letter(arg.type);
      args.push_back(std::move(arg));
    }
    expected_ = 0;
    for (size_t r = lookup; r < rows.size(); ++r)
      if (types == rows[r]->parameters)
        return act ? Apply(e.text, rows[r]->result, args) : Typed(TypeOf(rows[r]->result));
    throw Unfit{};
  }

  static bool AnyRowTakes(const std::vector<const Row*>& rows, size_t from, const std::string& types) {
    for (size_t r = from; r < rows.size(); ++r)
      if (std::string(rows[r]->parameters).compare(0, types.size(), types) == 0) return true;
    return false;
  }

  // The element of an array of the program (dim h(1), a(7) and w$(3)) that its index names.
  Value Element(const Expr& e, Activation* act) {
    expected_ = kElementRow.parameters[0];  // the array
    expected_ = kElementRow.parameters[1];
    Value index = Evaluate(e.operands[0], act);
    expected_ = 0;
    if (index.type == Type::kString) throw Unfit{};
    if (!act) return Typed(TypeOfName(e.text));
    return ElementOf(e.text, Convert(index, Type::kInt).i);
  }

  Value& ElementOf(const std::string& array, int32_t i) {
    std::vector<Value>& elements = arrays_.at(array);
    if (i < 0 || size_t(i) >= elements.size()) throw Unfit{};
    return elements[size_t(i)];
  }

  Value Call(const Expr& e, Activation* caller) {
    const Function& f = program_.functions[size_t(e.number)];
    if (e.operands.size() != f.parameters.size()) throw std::logic_error("a call with the wrong count");
    // Every argument is worked out before the call starts; its types are the parameters' own.
    std::vector<Value> arguments;
    for (size_t i = 0; i < e.operands.size(); ++i) {
      arguments.push_back(Evaluate(e.operands[i], caller));
      if (arguments.back().type != TypeOfName(f.parameters[i])) throw Unfit{};
    }
    const Type result = f.result == Type::kNone ? Type::kInt : f.result;
    if (!caller) return Typed(result);
    Activation act;
    act.function = &f;
    for (size_t i = 0; i < f.parameters.size(); ++i) Set(act, f.parameters[i], arguments[i]);
    if (++depth_ > kMaxDepth) throw Unfit{};
    // The callee's lines were compiled apart: what the caller's text expects is not theirs.
    const char expected = expected_;
    expected_ = 0;
    const Flow flow = RunBody(f.body, act);
    Value value;
    if (f.result == Type::kNone)
      value = Int(0);
    else
      value = Convert(flow.kind == Flow::kExitFunction ? flow.value : Evaluate(f.endValue, &act), f.result);
    expected_ = expected;
    --depth_;
    if (flow.kind != Flow::kNext && flow.kind != Flow::kExitFunction) throw std::logic_error("left a function");
    return value;
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

  void Set(Activation& act, const std::string& name, const Value& value) {
    act.variables[name] = Convert(value, TypeOfName(name));
  }

  // ---- typing: what the compiler would refuse is no program

  void TypeProgram() {
    for (const Function& f : program_.functions) {
      TypeBody(f.body, &f);
      for (const Subroutine& sub : f.subroutines) TypeBody(sub.body, &f);
      if (f.result != Type::kNone && Evaluate(f.endValue, nullptr).type != f.result) throw Unfit{};
    }
    TypeBody(program_.main, nullptr);
    for (const Subroutine& sub : program_.subroutines) TypeBody(sub.body, nullptr);
  }

  void TypeBody(const std::vector<Stmt>& body, const Function* f) {
    for (const Stmt& s : body) {
      switch (s.kind) {
        case Stmt::kAssign: Expect(s.exprs[0], TypeOfName(s.name)); break;
        case Stmt::kStore:
          Expect(s.exprs[0], Type::kInt);
          Expect(s.exprs[1], TypeOfName(s.name));
          break;
        case Stmt::kIf:
        case Stmt::kLineIf:
        case Stmt::kWhile:
        case Stmt::kRepeat: Expect(s.exprs[0], Type::kInt); break;
        case Stmt::kFor:
          Expect(s.exprs[0], Type::kInt);
          Expect(s.exprs[1], Type::kInt);
          break;
        case Stmt::kCall: Evaluate(s.exprs[0], nullptr); break;
        case Stmt::kExitFunction:
          if (!s.exprs.empty()) Expect(s.exprs[0], f ? f->result : Type::kInt);
          break;
        default: break;
      }
      TypeBody(s.body, f);
      TypeBody(s.other, f);
      for (const auto& c : s.cases) TypeBody(c.second, f);
    }
  }

  // ---- statements

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

  bool Condition(const Expr& e, Activation& act) { return Convert(Evaluate(e, &act), Type::kInt).i != 0; }

  // The counter starts at the start; each pass works out the end again, then steps the counter
  // (the sum in 64 bits, stored wrapped) and ends once it passes the end.
  void For(const Stmt& s, Activation& act, Flow& out) {
    const int32_t start = Convert(Evaluate(s.exprs[0], &act), Type::kInt).i;
    const int32_t step = s.number;
    int32_t counter = start;
    for (bool first = true;; first = false) {
      const int32_t end = Convert(Evaluate(s.exprs[1], &act), Type::kInt).i;
      const int64_t next = first ? int64_t(start) : int64_t(counter) + step;
      counter = Wrap(next);
      Set(act, s.name, Int(counter));
      if (step > 0 ? next > end : next < end) break;
      if (++steps_ > budget_) throw Unfit{};
      if (!LoopPass(s, act, out)) break;
    }
  }

  Flow Exec(const Stmt& s, Activation& act) {
    if (++steps_ > budget_) throw Unfit{};
    Flow out;
    switch (s.kind) {
      case Stmt::kAssign: Set(act, s.name, Evaluate(s.exprs[0], &act)); break;
      case Stmt::kStore: {
        const int32_t i = Convert(Evaluate(s.exprs[0], &act), Type::kInt).i;
        const Value value = Evaluate(s.exprs[1], &act);
        Value& element = ElementOf(s.name, i);
        element = Convert(value, element.type);
        break;
      }
      case Stmt::kEvent: {
        std::vector<Value>& h = arrays_.at("h");
        h[0].i = Wrap(int64_t(h[0].i) * 31 + s.number);
        h[1].i = Wrap(int64_t(h[1].i) + 1);
        if (trace_.size() < kTraceKept) trace_.push_back(s.number);
        break;
      }
      case Stmt::kIf:
      case Stmt::kLineIf: return RunBody(Condition(s.exprs[0], act) ? s.body : s.other, act);
      case Stmt::kFor: For(s, act, out); break;
      case Stmt::kWhile:
        while (Condition(s.exprs[0], act) && LoopPass(s, act, out)) {
        }
        break;
      case Stmt::kRepeat:
        while (LoopPass(s, act, out) && !Condition(s.exprs[0], act)) {
        }
        break;
      case Stmt::kDo:
        while (LoopPass(s, act, out)) {
        }
        break;
      case Stmt::kSelect: return Select(s, act);
      case Stmt::kGosub: return Gosub(s.name, act);
      case Stmt::kCall: Evaluate(s.exprs[0], &act); break;
      case Stmt::kExit: out.kind = Flow::kExit; break;
      case Stmt::kGoto:
        out.kind = Flow::kGoto;
        out.label = s.name;
        break;
      case Stmt::kLabel: break;
      case Stmt::kExitFunction:
        out.kind = Flow::kExitFunction;
        if (!s.exprs.empty()) out.value = Evaluate(s.exprs[0], &act);
        break;
      case Stmt::kReturn: out.kind = Flow::kReturn; break;
    }
    return out;
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

  const Program& program_;
  const int64_t budget_;
  int64_t steps_ = 0;
  int depth_ = 0;
  char expected_ = 0;  // the type the value function being compiled is expected to give
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
