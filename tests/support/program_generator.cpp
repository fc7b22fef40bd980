// Makes a program tree at random from a seed, prints it and runs it through the oracle. Calls are
// ordered so that every program ends: a function calls only functions after it and itself (with a
// first parameter that counts down), a subroutine gosubs only subroutines after it. An
// expression holds at most one call or array element, so the order in which the compiler works
// out its operands never shows. A program that leaves well-defined behaviour or runs too long
// is made again from the next stream of the seed.
#include "tests/support/program_generator.h"

#include <algorithm>
#include <random>
#include <sstream>

#include "tests/support/program_syntax.h"

namespace vx::test {

namespace generated {
namespace {

// What the code being written may use at this point.
struct Context {
  int function = -1;        // the function being written; -1 for the main program
  bool subroutine = false;  // a subroutine's code, which a return may end
  bool select = false;      // inside a select, where no select may start
  int loops = 0;
  int nesting = 0;
  std::vector<std::string> ints, floats, texts;  // variables that hold a value
  struct Counter {
    std::string name;
    int32_t low, high;  // the values it takes inside its loop
  };
  std::vector<Counter> counters;
  std::vector<std::string> escapes;  // labels just after the blocks around this point
  int firstCallee = 0;               // functions from this one on may be called
  int firstSubroutine = 0;           // subroutines of this body from this one on may be gosubbed
  int subroutines = 0;
  std::string subroutinePrefix;
};

Expr Literal(int32_t n) {
  Expr e;
  e.number = n;
  return e;
}

Expr FloatLiteral(float value) {
  Expr e;
  e.kind = Expr::kFloat;
  e.type = Type::kFloat;
  e.real = value;
  return e;
}

Expr Var(const std::string& name) {
  Expr e;
  e.kind = Expr::kVar;
  e.type = TypeOfName(name);
  e.text = name;
  return e;
}

Expr Binary(char op, Expr left, Expr right) {
  Expr e;
  e.kind = Expr::kBinary;
  e.op = op;
  const bool comparison = std::string("<>=!lgao").find(op) != std::string::npos;
  e.type = comparison ? Type::kInt : left.type == Type::kInt ? right.type : left.type;
  e.operands = {std::move(left), std::move(right)};
  return e;
}

Expr Unary(Expr::Kind kind, Type type, Expr operand) {
  Expr e;
  e.kind = kind;
  e.type = type;
  e.operands = {std::move(operand)};
  return e;
}

Expr ElementOf(const std::string& array, Expr index) {
  Expr e = Unary(Expr::kElement, TypeOfName(array), std::move(index));
  e.text = array;
  return e;
}

Stmt Simple(Stmt::Kind kind, std::string name = {}, std::vector<Expr> exprs = {}) {
  Stmt s;
  s.kind = kind;
  s.name = std::move(name);
  s.exprs = std::move(exprs);
  return s;
}

Stmt LineIf(Expr condition, Stmt then) {
  Stmt s = Simple(Stmt::kLineIf, {}, {std::move(condition)});
  s.body.push_back(std::move(then));
  return s;
}

std::vector<std::string>& PoolOf(Context& c, const std::string& name) {
  const Type type = TypeOfName(name);
  return type == Type::kInt ? c.ints : type == Type::kFloat ? c.floats : c.texts;
}

// for q = 0 to last: total = (total * 7) + what q names
Stmt Summing(int32_t last, const std::string& total, Expr term) {
  Stmt sum = Simple(Stmt::kFor, "q", {Literal(0), Literal(last)});
  sum.number = 1;
  sum.body.push_back(Simple(Stmt::kAssign, total, {Binary('+', Binary('*', Var(total), Literal(7)), std::move(term))}));
  return sum;
}

class Generator {
 public:
  Generator(uint32_t seed, const GeneratorLimits& limits) : rng_(seed), limits_(limits) {}

  Program Make() {
    PlanFunctions();
    for (size_t i = 0; i < program_.functions.size(); ++i) WriteFunction(int(i));
    WriteMain();
    return std::move(program_);
  }

 private:
  int Pick(int low, int high) { return low + int(rng_() % uint32_t(high - low + 1)); }
  bool Chance(int percent) { return Pick(0, 99) < percent; }
  template <typename T>
  const T& OneOf(const std::vector<T>& items) {
    return items[size_t(Pick(0, int(items.size()) - 1))];
  }
  std::string Name(const char* prefix) { return prefix + std::to_string(nextId_++); }

  // ---- signatures

  void PlanFunctions() {
    const int count = Pick(1, limits_.functions);
    for (int i = 0; i < count; ++i) {
      Function f;
      f.name = "f" + std::to_string(i + 1);
      const int r = Pick(0, 99);
      f.result = r < 45 ? Type::kInt : r < 60 ? Type::kFloat : r < 75 ? Type::kString : Type::kNone;
      const bool recursive = Chance(40);
      recursive_.push_back(recursive);
      if (recursive) f.parameters.push_back("k");
      std::vector<std::string> ints = {"g1", "n", "g2"}, floats = {"x#", "y#"}, texts = {"s$", "u$"};
      for (int p = Pick(0, recursive ? 2 : 3); p > 0; --p) {
        const int kind = Pick(0, 9);
        std::vector<std::string>& pool = kind < 6 ? ints : kind < 8 ? floats : texts;
        if (pool.empty()) continue;
        f.parameters.push_back(pool.front());
        pool.erase(pool.begin());
      }
      subroutineCounts_.push_back(Chance(50) ? Pick(1, 2) : 0);
      program_.functions.push_back(std::move(f));
    }
  }

  // ---- expressions

  // A small integer: a literal or the counter of a loop around here whose values lie in range.
  Expr Small(const Context& c, int32_t low, int32_t high) {
    std::vector<std::string> fitting;
    for (const auto& counter : c.counters)
      if (counter.low >= low && counter.high <= high) fitting.push_back(counter.name);
    if (!fitting.empty() && Chance(60)) return Var(OneOf(fitting));
    return Literal(Pick(low, high));
  }

  Expr IntLiteral() {
    const int r = Pick(0, 99);
    if (r < 55) return Literal(Pick(0, 20));
    if (r < 70) return Literal(-Pick(1, 9));
    if (r < 95) return Literal(Pick(21, 100000));
    return Literal(Pick(1000000000, 2000000000));
  }

  // Functions that may be called here and give the type (kNone: any function).
  std::vector<int> Callees(const Context& c, Type result) {
    std::vector<int> callees;
    for (int i = c.firstCallee; i < int(program_.functions.size()); ++i)
      if (result == Type::kNone || program_.functions[size_t(i)].result == result) callees.push_back(i);
    return callees;
  }

  // Its arguments are simpler than the expression around the call, so that calls do not nest deep.
  Expr Call(const Context& c, int callee, int depth = 1) {
    Expr e;
    e.kind = Expr::kCall;
    e.number = callee;
    const Function& f = program_.functions[size_t(callee)];
    e.type = f.result == Type::kNone ? Type::kInt : f.result;
    bool impure = true;  // one argument may call or read an element
    for (size_t i = 0; i < f.parameters.size(); ++i) {
      if (i == 0 && recursive_[size_t(callee)])
        e.operands.push_back(Chance(8) ? Literal(Pick(20, 60)) : Small(c, 0, 5));  // now and then deep
      else
        e.operands.push_back(Typed(c, TypeOfName(f.parameters[i]), depth - 1, impure));
    }
    return e;
  }

  Expr Element(const Context& c, const std::string& array) {
    return ElementOf(array, Small(c, 0, array == "a" ? 7 : 3));
  }

  Expr Typed(const Context& c, Type type, int depth, bool& impure) {
    if (type == Type::kFloat) return FloatExpr(c, depth, impure);
    if (type == Type::kString) return TextExpr(c, depth, impure);
    return IntExpr(c, depth, impure);
  }

  Expr IntLeaf(const Context& c, int depth, bool& impure) {
    const int r = Pick(0, 99);
    std::vector<std::string> names = c.ints;
    for (const auto& counter : c.counters) names.push_back(counter.name);
    if (r < 35 || (names.empty() && r < 60)) return IntLiteral();
    if (r < 60) return Var(OneOf(names));
    if (r < 70 && impure) {
      impure = false;
      return Element(c, "a");
    }
    const std::vector<int> callees = Callees(c, Type::kInt);
    if (r < 82 && impure && depth > 0 && !callees.empty()) {
      impure = false;
      return Call(c, OneOf(callees), depth);
    }
    if (r < 90 && depth > 0) return Unary(Expr::kLen, Type::kInt, TextExpr(c, depth - 1, impure));
    if (depth > 0) return Unary(Expr::kTrunc, Type::kInt, FloatExpr(c, depth - 1, impure));
    return IntLiteral();
  }

  Expr IntExpr(const Context& c, int depth, bool& impure) {
    if (depth <= 0 || Chance(35)) return IntLeaf(c, depth, impure);
    static const char kOperators[] = "+-*/<>=!lg";
    const char op = kOperators[Pick(0, 9)];
    Expr left = IntExpr(c, depth - 1, impure);
    if (op == '/') return Binary(op, std::move(left), Literal(Pick(1, 7)));
    return Binary(op, std::move(left), IntExpr(c, depth - 1, impure));
  }

  Expr FloatExpr(const Context& c, int depth, bool& impure) {
    const int r = Pick(0, 99);
    if (depth > 0 && r < 35) {
      const char op = "+-*"[Pick(0, 2)];
      return Binary(op, FloatExpr(c, depth - 1, impure), FloatExpr(c, depth - 1, impure));
    }
    const std::vector<int> callees = Callees(c, Type::kFloat);
    if (r < 50 && impure && depth > 0 && !callees.empty()) {
      impure = false;
      return Call(c, OneOf(callees), depth);
    }
    if (r < 70 && !c.floats.empty()) return Var(OneOf(c.floats));
    if (r < 85) return Binary('*', Small(c, 0, 40), FloatLiteral(0.5f));
    return FloatLiteral(float(Pick(0, 40)) * 0.25f);
  }

  Expr TextExpr(const Context& c, int depth, bool& impure) {
    const int r = Pick(0, 99);
    if (depth > 0 && r < 30) return Binary('+', TextExpr(c, depth - 1, impure), TextExpr(c, depth - 1, impure));
    const std::vector<int> callees = Callees(c, Type::kString);
    if (r < 45 && impure && depth > 0 && !callees.empty()) {
      impure = false;
      return Call(c, OneOf(callees), depth);
    }
    if (r < 52 && impure) {
      impure = false;
      return Element(c, "w$");
    }
    if (r < 70 && !c.texts.empty()) return Var(OneOf(c.texts));
    if (r < 82 && depth > 0) return Unary(Expr::kStr, Type::kString, IntExpr(c, depth - 1, impure));
    Expr e;
    e.kind = Expr::kText;
    e.type = Type::kString;
    static const char* const kWords[] = {"", "a", "bc", "def", "Vx", "q r"};
    e.text = kWords[Pick(0, 5)];
    return e;
  }

  Expr Condition(const Context& c, bool words) {
    bool impure = true;
    static const char kComparisons[] = "<>=!lg";
    auto comparison = [&] {
      Expr left = IntExpr(c, 1, impure);
      return Binary(kComparisons[Pick(0, 5)], std::move(left), IntExpr(c, 1, impure));
    };
    if (words && Chance(25)) {
      Expr left = comparison();
      return Binary(Chance(50) ? 'a' : 'o', std::move(left), comparison());
    }
    if (Chance(10)) return IntExpr(c, 1, impure);
    return comparison();
  }

  // ---- statements

  std::vector<Stmt> Body(Context& c, int count) {
    std::vector<Stmt> body;
    for (int i = 0; i < count; ++i) Statement(c, body);
    return body;
  }

  Stmt Assignment(const Context& c) {
    std::vector<std::string> names;
    for (const std::string& name : c.ints)
      if (name != "k") names.push_back(name);  // a recursive function's count stays as called
    for (const std::string& name : c.texts) names.push_back(name);
    for (const std::string& name : c.floats) names.push_back(name);
    const std::string name = OneOf(names);
    bool impure = true;
    return Simple(Stmt::kAssign, name, {Typed(c, TypeOfName(name), 2, impure)});
  }

  Stmt Store(const Context& c) {
    const std::string array = Chance(70) ? "a" : "w$";
    bool impure = true;
    Expr value = Typed(c, TypeOfName(array), 2, impure);
    return Simple(Stmt::kStore, array, {Element(c, array).operands[0], std::move(value)});
  }

  Stmt Event() {
    Stmt s = Simple(Stmt::kEvent);
    s.number = nextId_++;
    return s;
  }

  Stmt CallStatement(const Context& c) { return Simple(Stmt::kCall, {}, {Call(c, OneOf(Callees(c, Type::kNone)), 2)}); }

  Stmt Gosub(const Context& c) {
    return Simple(Stmt::kGosub, c.subroutinePrefix + std::to_string(Pick(c.firstSubroutine, c.subroutines - 1)));
  }

  Stmt ExitFunction(const Context& c) {
    const Function& f = program_.functions[size_t(c.function)];
    if (f.result == Type::kNone) return Simple(Stmt::kExitFunction);
    bool impure = true;
    return Simple(Stmt::kExitFunction, {}, {Typed(c, f.result, 2, impure)});
  }

  // A statement for the part after then of a one-line if.
  Stmt SimpleStatement(Context& c) {
    const int r = Pick(0, 99);
    if (r < 35) return Assignment(c);
    if (r < 55) return Event();
    if (r < 70) return Store(c);
    if (r < 85 && !Callees(c, Type::kNone).empty()) return CallStatement(c);
    if (c.firstSubroutine < c.subroutines) return Gosub(c);
    return Assignment(c);
  }

  void OneLineIf(Context& c, std::vector<Stmt>& out) {
    Stmt s = Simple(Stmt::kLineIf, {}, {Condition(c, true)});
    for (int i = Pick(1, 2); i > 0; --i) s.body.push_back(SimpleStatement(c));
    if (Chance(30)) {
      Stmt other = SimpleStatement(c);
      if (other.kind != Stmt::kEvent) s.other.push_back(std::move(other));
    }
    out.push_back(std::move(s));
  }

  // A block of lines written one level deeper, with an escape label after it now and then.
  template <typename Write>
  void Block(Context& c, std::vector<Stmt>& out, Write write) {
    std::string escape;
    if (Chance(25)) {
      escape = Name("l");
      c.escapes.push_back(escape);
    }
    ++c.nesting;
    write();
    --c.nesting;
    if (!escape.empty()) {
      c.escapes.pop_back();
      out.push_back(Simple(Stmt::kLabel, escape));
    }
  }

  std::vector<Stmt> LoopBody(Context& c, Context::Counter counter) {
    ++c.loops;
    c.counters.push_back(std::move(counter));
    std::vector<Stmt> body = Body(c, Pick(1, 4));
    c.counters.pop_back();
    --c.loops;
    return body;
  }

  // A for of up to four passes, or none; now and then it counts up to the counter of a loop
  // around it.
  void ForLoop(Context& c, std::vector<Stmt>& out) {
    Stmt s = Simple(Stmt::kFor, Name("i"));
    s.number = OneOf(std::vector<int>{1, 1, 1, 2, -1});
    const int32_t first = s.number > 0 ? Pick(0, 3) : Pick(3, 7);
    if (s.number == 1 && !c.counters.empty() && Chance(30)) {
      const Context::Counter& outer = OneOf(c.counters);
      s.exprs = {Literal(first), Var(outer.name)};
      s.body = LoopBody(c, {s.name, first, std::max(first, outer.high)});
    } else {
      const int passes = Chance(10) ? 0 : Pick(1, 4);
      const int32_t last = first + (passes - 1) * s.number;
      s.exprs = {Literal(first), Literal(last)};
      s.body = LoopBody(c, {s.name, std::min(first, last), std::max(first, last)});
    }
    out.push_back(std::move(s));
  }

  // while, repeat and do count their passes in a variable of their own.
  void CountedLoop(Context& c, std::vector<Stmt>& out, Stmt::Kind kind) {
    const std::string counter = Name("c");
    const int passes = Pick(1, 3);
    out.push_back(Simple(Stmt::kAssign, counter, {Literal(0)}));
    Stmt s = Simple(kind);
    std::vector<Stmt> body = {Simple(Stmt::kAssign, counter, {Binary('+', Var(counter), Literal(1))})};
    if (kind == Stmt::kWhile) s.exprs = {Binary('<', Var(counter), Literal(passes))};
    if (kind == Stmt::kRepeat) s.exprs = {Binary('g', Var(counter), Literal(passes))};
    if (kind == Stmt::kDo) body.push_back(LineIf(Binary('>', Var(counter), Literal(passes)), Simple(Stmt::kExit)));
    for (Stmt& inner : LoopBody(c, {counter, 1, passes})) body.push_back(std::move(inner));
    s.body = std::move(body);
    out.push_back(std::move(s));
  }

  void IfBlock(Context& c, std::vector<Stmt>& out) {
    Stmt s = Simple(Stmt::kIf, {}, {Condition(c, true)});
    s.body = Body(c, Pick(1, 3));
    if (Chance(50)) s.other = Body(c, Pick(1, 3));
    out.push_back(std::move(s));
  }

  void SelectBlock(Context& c, std::vector<Stmt>& out) {
    const std::string chosen = Name("v");
    bool impure = true;
    out.push_back(Simple(Stmt::kAssign, chosen, {Chance(60) ? Small(c, 0, 5) : IntExpr(c, 1, impure)}));
    Stmt s = Simple(Stmt::kSelect, chosen);
    c.select = true;
    for (int i = Pick(1, 3); i > 0; --i) {
      std::vector<int32_t> values = {Pick(0, 5)};
      if (Chance(40)) values.push_back(Pick(0, 5));
      s.cases.emplace_back(values, Body(c, Pick(1, 3)));
    }
    s.hasDefault = Chance(60);
    if (s.hasDefault) s.other = Body(c, Pick(1, 2));
    c.select = false;
    out.push_back(std::move(s));
  }

  // Leaves by exit, goto, exitfunction or return, when a condition holds.
  void Leave(Context& c, std::vector<Stmt>& out) {
    std::vector<Stmt> ways;
    if (c.loops > 0) ways.push_back(Simple(Stmt::kExit));
    if (!c.escapes.empty()) ways.push_back(Simple(Stmt::kGoto, OneOf(c.escapes)));
    if (c.function >= 0 && !c.subroutine) ways.push_back(ExitFunction(c));
    if (c.subroutine) ways.push_back(Simple(Stmt::kReturn));
    if (ways.empty()) return;
    out.push_back(LineIf(Condition(c, true), OneOf(ways)));
  }

  void LoopStatement(Context& c, std::vector<Stmt>& out) {
    static const Stmt::Kind kKinds[] = {Stmt::kFor, Stmt::kFor, Stmt::kWhile, Stmt::kRepeat, Stmt::kDo};
    const Stmt::Kind kind = kKinds[Pick(0, 4)];
    Block(c, out, [&] {
      if (kind == Stmt::kFor)
        ForLoop(c, out);
      else
        CountedLoop(c, out, kind);
    });
  }

  void Statement(Context& c, std::vector<Stmt>& out) {
    const bool blocks = c.nesting < limits_.nesting;
    const int r = Pick(0, 99);
    if (r < 18) {
      out.push_back(Assignment(c));
    } else if (r < 25) {
      out.push_back(Store(c));
    } else if (r < 38) {
      out.push_back(Event());
    } else if (r < 46) {
      OneLineIf(c, out);
    } else if (r < 54 && c.firstSubroutine < c.subroutines) {
      out.push_back(Gosub(c));
    } else if (r < 62 && !Callees(c, Type::kNone).empty()) {
      out.push_back(CallStatement(c));
    } else if (r < 70) {
      Leave(c, out);
    } else if (!blocks) {
      out.push_back(Event());
    } else if (r < 78) {
      Block(c, out, [&] { IfBlock(c, out); });
    } else if (r < 93) {
      LoopStatement(c, out);
    } else if (!c.select) {
      Block(c, out, [&] { SelectBlock(c, out); });
    } else {
      out.push_back(Event());
    }
  }

  // ---- functions and the main program

  std::vector<Subroutine> Subroutines(const Context& body, int count, const std::string& prefix) {
    std::vector<Subroutine> subs;
    for (int j = 0; j < count; ++j) {
      Context c = body;
      c.subroutine = true;
      c.firstSubroutine = j + 1;
      c.escapes.clear();
      c.counters.clear();
      c.loops = c.nesting = 0;
      subs.push_back({prefix + std::to_string(j), {}});
      subs.back().body.push_back(Event());
      for (Stmt& s : Body(c, Pick(1, limits_.statements / 2))) subs.back().body.push_back(std::move(s));
    }
    return subs;
  }

  // The call a recursive function makes of itself, with its first parameter one less.
  Stmt RecursiveCall(const Context& c, int function) {
    Expr call = Call(c, function, 2);
    call.operands[0] = Binary('-', Var("k"), Literal(1));
    if (program_.functions[size_t(function)].result != Type::kInt) return Simple(Stmt::kCall, {}, {std::move(call)});
    return Simple(Stmt::kAssign, "g3", {Binary('+', Var("g3"), std::move(call))});
  }

  // Its own variables get a value, from its parameters, before anything reads them.
  void GiveLocalsValues(const Context& c, Function& f) {
    Context parameters = c;
    parameters.ints = parameters.floats = parameters.texts = {};
    for (const std::string& p : f.parameters) PoolOf(parameters, p).push_back(p);
    for (const std::vector<std::string>* pool : {&c.ints, &c.floats, &c.texts})
      for (const std::string& name : *pool) {
        if (std::find(f.parameters.begin(), f.parameters.end(), name) != f.parameters.end()) continue;
        bool impure = false;
        f.body.push_back(Simple(Stmt::kAssign, name, {Typed(parameters, TypeOfName(name), 1, impure)}));
      }
  }

  void WriteFunction(int i) {
    Function& f = program_.functions[size_t(i)];
    Context c;
    c.function = i;
    c.firstCallee = i + 1;
    c.subroutines = subroutineCounts_[size_t(i)];
    c.subroutinePrefix = f.name + "s";
    // Half of the functions hold numbers only, which calls save in a shorter form.
    c.ints = {"g1", "g2", "g3"};
    if (Chance(50)) c.floats = {"z#"};
    if (Chance(50)) c.texts = {"t$"};
    for (const std::string& p : f.parameters) {
      std::vector<std::string>& pool = PoolOf(c, p);
      if (std::find(pool.begin(), pool.end(), p) == pool.end()) pool.push_back(p);
    }
    GiveLocalsValues(c, f);
    if (recursive_[size_t(i)]) f.body.push_back(LineIf(Binary('l', Var("k"), Literal(0)), ExitFunction(c)));
    const int afterGuard = int(f.body.size());
    f.body.push_back(Event());
    for (Stmt& s : Body(c, Pick(1, limits_.statements))) f.body.push_back(std::move(s));
    f.subroutines = Subroutines(c, c.subroutines, c.subroutinePrefix);
    if (recursive_[size_t(i)]) {
      const bool inSubroutine = !f.subroutines.empty() && Chance(40);
      std::vector<Stmt>& where = inSubroutine ? f.subroutines[0].body : f.body;
      where.insert(where.begin() + Pick(inSubroutine ? 1 : afterGuard, int(where.size())), RecursiveCall(c, i));
    }
    if (!f.subroutines.empty()) f.body.push_back(ExitFunction(c));
    // No call after endfunction: the compiler works out the function's type from it before it
    // knows the types of the functions declared later.
    bool impure = false;
    if (f.result != Type::kNone) f.endValue = Typed(c, f.result, 2, impure);
  }

  void WriteMain() {
    Context c;
    c.ints = {"m1", "m2", "m3"};
    c.texts = {"m$", "n$"};
    c.subroutines = Pick(0, limits_.subroutines);
    c.subroutinePrefix = "s";
    program_.main = Body(c, Pick(3, limits_.statements + 2));
    program_.subroutines = Subroutines(c, c.subroutines, c.subroutinePrefix);
    // What the arrays hold at the end goes into variables that the test reads.
    std::vector<Stmt>& m = program_.main;
    m.push_back(Simple(Stmt::kAssign, "hash", {ElementOf("h", Literal(0))}));
    m.push_back(Simple(Stmt::kAssign, "steps", {ElementOf("h", Literal(1))}));
    m.push_back(Summing(7, "check", ElementOf("a", Var("q"))));
    m.push_back(Summing(3, "lengths", Unary(Expr::kLen, Type::kInt, ElementOf("w$", Var("q")))));
    m.push_back(Simple(Stmt::kAssign, "last$", {ElementOf("w$", Literal(3))}));
  }

  std::mt19937 rng_;
  GeneratorLimits limits_;
  Program program_;
  std::vector<bool> recursive_;
  std::vector<int> subroutineCounts_;
  int nextId_ = 1;
};

bool LinesFit(const std::string& source) {
  std::istringstream lines(source);
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 240) return false;
  return true;
}

}  // namespace
}  // namespace generated

GeneratedProgram GenerateProgram(uint32_t seed, const GeneratorLimits& limits) {
  for (uint32_t stream = 0;; ++stream) {
    generated::Generator generator(seed * 7919u + stream * 104729u + 1u, limits);
    const generated::Program program = generator.Make();
    GeneratedProgram out;
    out.seed = seed;
    out.source = generated::PrintProgram(program);
    if (!generated::LinesFit(out.source)) continue;
    try {
      generated::OracleResult result = generated::RunOracle(program, limits.stepBudget);
      out.expected = std::move(result.mainVariables);
      out.trace = std::move(result.trace);
      return out;
    } catch (const generated::Unfit&) {
    }
  }
}

}  // namespace vx::test
