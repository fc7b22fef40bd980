// Makes a program tree at random from a seed, prints it and runs it through the oracle. Calls are
// ordered so that every program ends: a function calls only functions after it and itself (with a
// first parameter that counts down, from one place of its lines), a subroutine gosubs only
// subroutines after it. Calls and array elements stand at any place of an expression, several of
// them in one, as operands of any operator, in parentheses or taken by the operators' levels, in
// conditions, loop bounds, array indexes and returned values; some expressions need more
// temporaries than a function's share, some loops start or end at the integer limits, and value
// functions of several rows stand in the arguments of others. A program that leaves
// well-defined behaviour, would not compile or runs too long is made again from the next stream
// of the seed.
#include "tests/support/program_generator.h"

#include <algorithm>
#include <random>
#include <sstream>

#include "tests/support/program_syntax.h"

namespace vx::test {

namespace generated {
namespace {

constexpr int32_t kMin = -2147483647 - 1;
constexpr int32_t kMax = 2147483647;

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

// An operation; its operands go in parentheses where the levels would read the text otherwise
// (an operand of a later level, or on the right one of the same level).
Expr Binary(char op, Expr left, Expr right) {
  Expr e;
  e.kind = Expr::kBinary;
  e.op = op;
  const bool comparison = std::string("<>=!lgao&|").find(op) != std::string::npos;
  e.type = comparison ? Type::kInt : left.type == Type::kInt ? right.type : left.type;
  if (left.kind == Expr::kBinary && LevelOf(left.op) > LevelOf(op)) left.grouped = true;
  if (right.kind == Expr::kBinary && LevelOf(right.op) >= LevelOf(op)) right.grouped = true;
  e.operands = {std::move(left), std::move(right)};
  return e;
}

Expr ValueFunction(const std::string& name, Type type, std::vector<Expr> arguments) {
  Expr e;
  e.kind = Expr::kFunc;
  e.type = type;
  e.text = name;
  e.operands = std::move(arguments);
  return e;
}

Expr ElementOf(const std::string& array, Expr index) {
  Expr e;
  e.kind = Expr::kElement;
  e.type = TypeOfName(array);
  e.text = array;
  e.operands = {std::move(index)};
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
  Expr product = Binary('*', Var(total), Literal(7));
  product.grouped = true;
  sum.body.push_back(Simple(Stmt::kAssign, total, {Binary('+', std::move(product), std::move(term))}));
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

  // An operation, now and then in parentheses it does not need, or without blanks.
  Expr Op(char op, Expr left, Expr right) {
    Expr e = Binary(op, std::move(left), std::move(right));
    e.grouped = Chance(30);
    e.tight = op != 'a' && op != 'o' && Chance(20);
    return e;
  }

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
  Expr Call(const Context& c, int callee, int depth, int& room) {
    Expr e;
    e.kind = Expr::kCall;
    e.number = callee;
    const Function& f = program_.functions[size_t(callee)];
    e.type = f.result == Type::kNone ? Type::kInt : f.result;
    for (size_t i = 0; i < f.parameters.size(); ++i) {
      if (i == 0 && recursive_[size_t(callee)])
        e.operands.push_back(Chance(8) ? Literal(Pick(20, 60)) : Small(c, 0, 5));  // now and then deep
      else
        e.operands.push_back(Typed(c, TypeOfName(f.parameters[i]), depth - 1, room));
    }
    return e;
  }

  // Something that is worked out for its own sake (a call, an element) and then given no weight:
  // "x * 0 + small", a small index or bound whatever x is.
  Expr Weightless(Expr x, Expr small) { return Op('+', Op('*', std::move(x), Literal(0)), std::move(small)); }

  // An index of an array: small, and now and then after a call or an element read.
  Expr Index(const Context& c, int32_t last, int& room) {
    Expr small = Small(c, 0, last);
    if (room <= 0 || !Chance(25)) return small;
    --room;
    const std::vector<int> callees = Callees(c, Type::kInt);
    if (!callees.empty() && Chance(70)) return Weightless(Call(c, OneOf(callees), 1, room), std::move(small));
    return Weightless(ElementOf("a", Small(c, 0, 7)), std::move(small));
  }

  Expr Element(const Context& c, const std::string& array, int& room) {
    return ElementOf(array, Index(c, array == "a" ? 7 : 3, room));
  }

  Expr Typed(const Context& c, Type type, int depth, int& room) {
    if (type == Type::kFloat) return FloatExpr(c, depth, room);
    if (type == Type::kString) return TextExpr(c, depth, room);
    return IntExpr(c, depth, room);
  }

  // A number for the argument of a value function, of either type: it is converted to what the
  // function's row takes. Multi-row functions (abs, sqrt) pick their row by the type their place
  // expects, which a call before them in the argument has cleared. It is never below 0.
  Expr Number(const Context& c, int depth, int& room) {
    const int r = Pick(0, 99);
    if (depth > 0 && r < 40) return Op(Chance(60) ? '*' : '+', Number(c, depth - 1, room), Number(c, depth - 1, room));
    if (depth > 0 && r < 52) return ValueFunction("abs", Type::kFloat, {Number(c, depth - 1, room)});
    if (depth > 0 && r < 62) return ValueFunction("sqrt", Type::kFloat, {Number(c, depth - 1, room)});
    if (depth > 0 && r < 72) return ValueFunction("len", Type::kInt, {TextExpr(c, depth - 1, room)});
    const std::vector<int> callees = Callees(c, Type::kInt);
    if (r < 78 && room > 0 && !callees.empty()) {
      --room;
      return ValueFunction("abs", Type::kFloat, {Call(c, OneOf(callees), depth, room)});
    }
    if (r < 88) return FloatLiteral(float(Pick(0, 40)) * 0.25f);
    return Small(c, 0, 40);
  }

  Expr IntLeaf(const Context& c, int depth, int& room) {
    const int r = Pick(0, 99);
    std::vector<std::string> names = c.ints;
    for (const auto& counter : c.counters) names.push_back(counter.name);
    if (r < 32 || (names.empty() && r < 55)) return IntLiteral();
    if (r < 55) return Var(OneOf(names));
    if (r < 65 && room > 0) {
      --room;
      return Element(c, "a", room);
    }
    const std::vector<int> callees = Callees(c, Type::kInt);
    if (r < 80 && room > 0 && depth > 0 && !callees.empty()) {
      --room;
      return Call(c, OneOf(callees), depth, room);
    }
    if (r < 84 && depth > 0) return ValueFunction("len", Type::kInt, {TextExpr(c, depth - 1, room)});
    if (r < 87) {
      Expr cut = ValueFunction("left$", Type::kString, {TextLiteral("abcdefghijklmnop"), Count(c, room)});
      return ValueFunction("len", Type::kInt, {std::move(cut)});
    }
    if (depth > 0)
      return ValueFunction("int", Type::kInt, {Chance(50) ? FloatExpr(c, depth - 1, room) : Number(c, 2, room)});
    return IntLiteral();
  }

  Expr IntExpr(const Context& c, int depth, int& room) {
    if (depth <= 0 || Chance(35)) return IntLeaf(c, depth, room);
    static const char kOperators[] = "+-*/<>=!lg&|^";
    const char op = kOperators[Pick(0, 12)];
    if (op == '/') return Op(op, IntExpr(c, depth - 1, room), Literal(Pick(1, 7)));
    if (op == '^') return Op(op, Small(c, -4, 6), Literal(Pick(0, 3)));
    Expr left = IntExpr(c, depth - 1, room);
    return Op(op, std::move(left), IntExpr(c, depth - 1, room));
  }

  Expr FloatExpr(const Context& c, int depth, int& room) {
    const int r = Pick(0, 99);
    if (depth > 0 && r < 35) {
      const char op = "+-*"[Pick(0, 2)];
      Expr left = FloatExpr(c, depth - 1, room);
      return Op(op, std::move(left), FloatExpr(c, depth - 1, room));
    }
    const std::vector<int> callees = Callees(c, Type::kFloat);
    if (r < 48 && room > 0 && depth > 0 && !callees.empty()) {
      --room;
      return Call(c, OneOf(callees), depth, room);
    }
    if (r < 56 && depth > 0) return ValueFunction("sqrt", Type::kFloat, {Number(c, 2, room)});
    if (r < 70 && !c.floats.empty()) return Var(OneOf(c.floats));
    if (r < 85) return Op('*', Small(c, 0, 40), FloatLiteral(0.5f));
    return FloatLiteral(float(Pick(0, 40)) * 0.25f);
  }

  Expr TextExpr(const Context& c, int depth, int& room) {
    const int r = Pick(0, 99);
    if (depth > 0 && r < 25) {
      Expr left = TextExpr(c, depth - 1, room);
      return Op('+', std::move(left), TextExpr(c, depth - 1, room));
    }
    const std::vector<int> callees = Callees(c, Type::kString);
    if (r < 38 && room > 0 && depth > 0 && !callees.empty()) {
      --room;
      return Call(c, OneOf(callees), depth, room);
    }
    if (r < 45 && room > 0) {
      --room;
      return Element(c, "w$", room);
    }
    if (r < 58 && !c.texts.empty()) return Var(OneOf(c.texts));
    if (r < 66 && depth > 0) return ValueFunction("str$", Type::kString, {IntExpr(c, depth - 1, room)});
    if (r < 72 && depth > 0) return ValueFunction("str$", Type::kString, {Number(c, 2, room)});
    if (r < 80 && depth > 0) {
      Expr text = Chance(50) ? TextLiteral("abcdefghijklmnop") : TextExpr(c, depth - 1, room);
      Expr count = Chance(60) ? Count(c, room) : Number(c, 2, room);
      return ValueFunction(Chance(50) ? "left$" : "right$", Type::kString, {std::move(text), std::move(count)});
    }
    static const char* const kWords[] = {"", "a", "bc", "def", "Vx", "q r"};
    return TextLiteral(kWords[Pick(0, 5)]);
  }

  static Expr TextLiteral(const std::string& text) {
    Expr e;
    e.kind = Expr::kText;
    e.type = Type::kString;
    e.text = text;
    return e;
  }

  // A count of letters in an integer place, made of a value function of one row and one of several
  // (which picks the integer row when nothing was compiled before it in the place, the first row
  // after): len and sqrt, len and abs, either way round.
  Expr Count(const Context& c, int& room) {
    Expr text = Chance(50) ? TextLiteral(std::string("abcdefgh").substr(0, size_t(Pick(2, 8)))) : TextExpr(c, 1, room);
    Expr single = ValueFunction("len", Type::kInt, {std::move(text)});
    Expr several = ValueFunction(Chance(50) ? "sqrt" : "abs", Type::kFloat, {FloatLiteral(float(Pick(1, 39)) * 0.25f)});
    const char op = Chance(70) ? '*' : '+';
    return Chance(70) ? Op(op, std::move(single), std::move(several)) : Op(op, std::move(several), std::move(single));
  }

  Expr Condition(const Context& c, bool words, int& room) {
    static const char kComparisons[] = "<>=!lg";
    auto comparison = [&] {
      Expr left = IntExpr(c, 1, room);
      return Op(kComparisons[Pick(0, 5)], std::move(left), IntExpr(c, 1, room));
    };
    if (words && Chance(25)) {
      Expr left = comparison();
      return Op(Chance(50) ? 'a' : 'o', std::move(left), comparison());
    }
    if (Chance(10)) return IntExpr(c, 1, room);
    return comparison();
  }

  Expr Condition(const Context& c, bool words) {
    int room = Pick(0, 2);
    return Condition(c, words, room);
  }

  // A sum of many small products, written without parentheses: it needs more temporaries than a
  // function's share, all of them held while the calls among its terms run.
  Expr Chain(const Context& c, int& room) {
    std::vector<std::string> names;
    for (const std::string& name : c.ints)
      if (name.size() == 1) names.push_back(name);
    auto leaf = [&] { return !names.empty() && Chance(30) ? Var(OneOf(names)) : Literal(Pick(0, 9)); };
    const int terms = Pick(20, 28);
    Expr sum;
    for (int t = 0; t < terms; ++t) {
      Expr term;
      const std::vector<int> callees = Callees(c, Type::kInt);
      if (room > 0 && !callees.empty() && Chance(12)) {
        --room;
        term = Call(c, OneOf(callees), 1, room);
      } else {
        term = Binary('*', leaf(), leaf());
        term.tight = true;
      }
      if (t == 0) {
        sum = std::move(term);
        continue;
      }
      sum = Binary(Chance(80) ? '+' : '-', std::move(sum), std::move(term));
      sum.tight = true;
    }
    return sum;
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
    int room = Pick(0, 3);
    if (TypeOfName(name) == Type::kInt && Chance(6)) return Simple(Stmt::kAssign, name, {Chain(c, room)});
    return Simple(Stmt::kAssign, name, {Typed(c, TypeOfName(name), 2, room)});
  }

  Stmt Store(const Context& c) {
    const std::string array = Chance(70) ? "a" : "w$";
    int room = Pick(0, 3);
    Expr index = Index(c, array == "a" ? 7 : 3, room);
    Expr value = Typed(c, TypeOfName(array), 2, room);
    return Simple(Stmt::kStore, array, {std::move(index), std::move(value)});
  }

  Stmt Event() {
    Stmt s = Simple(Stmt::kEvent);
    s.number = nextId_++;
    return s;
  }

  Stmt CallStatement(const Context& c) {
    int room = Pick(0, 2);
    return Simple(Stmt::kCall, {}, {Call(c, OneOf(Callees(c, Type::kNone)), 2, room)});
  }

  Stmt Gosub(const Context& c) {
    return Simple(Stmt::kGosub, c.subroutinePrefix + std::to_string(Pick(c.firstSubroutine, c.subroutines - 1)));
  }

  Stmt ExitFunction(const Context& c) {
    const Function& f = program_.functions[size_t(c.function)];
    if (f.result == Type::kNone) return Simple(Stmt::kExitFunction);
    int room = Pick(0, 2);
    return Simple(Stmt::kExitFunction, {}, {Typed(c, f.result, 2, room)});
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

  // A bound of a for: the value, now and then after a call (worked out once for the start, before
  // each pass for the end).
  Expr Bound(const Context& c, int32_t value) {
    int room = 1;
    const std::vector<int> callees = Callees(c, Type::kInt);
    if (Chance(20) && !callees.empty()) return Weightless(Call(c, OneOf(callees), 1, room), Literal(value));
    return Literal(value);
  }

  // A for of a few passes from beside the integer limits: towards a limit, where the counter would
  // pass it, or away from it, where the value before the start lies past it.
  void LimitLoop(Context& c, Stmt& s) {
    const bool high = Chance(50);
    const bool towards = Chance(50);
    const int32_t limit = high ? kMax : kMin;
    const int32_t inwards = high ? -1 : 1;
    s.number = (towards == high ? 1 : -1) * Pick(1, 2);
    const int32_t start = limit + inwards * Pick(0, towards ? 3 : 1);
    const int32_t end = towards ? limit + inwards * Pick(0, 2) : start + s.number * Pick(0, 2);
    s.exprs = {Literal(start), Literal(end)};
    s.body = LoopBody(c, {s.name, std::min(start, end), std::max(start, end)});
  }

  // A for of up to four passes, or none; now and then it counts up to the counter of a loop
  // around it.
  void ForLoop(Context& c, std::vector<Stmt>& out) {
    Stmt s = Simple(Stmt::kFor, Name("i"));
    s.number = OneOf(std::vector<int>{1, 1, 1, 2, -1});
    const int32_t first = s.number > 0 ? Pick(0, 3) : Pick(3, 7);
    if (Chance(10)) {
      LimitLoop(c, s);
    } else if (s.number == 1 && !c.counters.empty() && Chance(30)) {
      const Context::Counter& outer = OneOf(c.counters);
      s.exprs = {Bound(c, first), Var(outer.name)};
      s.body = LoopBody(c, {s.name, first, std::max(first, outer.high)});
    } else {
      const int passes = Chance(10) ? 0 : Pick(1, 4);
      const int32_t last = first + (passes - 1) * s.number;
      s.exprs = {Bound(c, first), Bound(c, last)};
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
    // A call in the test runs before each pass; its value counts for nothing.
    const std::vector<int> callees = Callees(c, Type::kInt);
    if (kind != Stmt::kDo && !callees.empty() && Chance(25)) {
      int room = 1;
      Expr& bound = s.exprs[0].operands[1];
      bound = Weightless(Call(c, OneOf(callees), 1, room), std::move(bound));
      bound.grouped = true;
    }
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
    int room = 1;
    out.push_back(Simple(Stmt::kAssign, chosen, {Chance(60) ? Small(c, 0, 5) : IntExpr(c, 1, room)}));
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

  // An integer expression that holds the call at a place of its own: an operand of an operator
  // on either side, in parentheses or not, an argument of a value function, an array index.
  Expr Around(const Context& c, Expr call, int depth) {
    if (call.type == Type::kFloat) call = ValueFunction("int", Type::kInt, {std::move(call)});
    if (call.type == Type::kString) call = ValueFunction("len", Type::kInt, {std::move(call)});
    for (int level = Pick(0, depth); level > 0; --level) {
      int room = Pick(0, 1);
      const int r = Pick(0, 99);
      if (r < 10) {
        call = ElementOf("a", Weightless(std::move(call), Small(c, 0, 7)));
        continue;
      }
      if (r < 18) {
        call = ValueFunction("len", Type::kInt, {ValueFunction("str$", Type::kString, {std::move(call)})});
        continue;
      }
      static const char kOperators[] = "+-*<>=!lg&|";
      const char op = kOperators[Pick(0, 10)];
      // Worked out before the call when it binds more tightly or stands in parentheses.
      Expr other = IntExpr(c, Pick(1, 2), room);
      call = Chance(60) ? Op(op, std::move(call), std::move(other)) : Op(op, std::move(other), std::move(call));
    }
    return call;
  }

  // The call a recursive function makes of itself, with its first parameter one less, at one place
  // of its lines that runs at most once a call: a statement (in the body or a subroutine), the
  // condition of an if, the start of a for, an array index, the value of an exitfunction or the
  // value after endfunction.
  void PlaceRecursion(const Context& c, int function, int afterGuard) {
    Function& f = program_.functions[size_t(function)];
    int room = 0;
    Expr self = Call(c, function, 2, room);
    self.operands[0] = Binary('-', Var("k"), Literal(1));
    Expr around = Around(c, std::move(self), 3);
    const int site = Pick(0, 6);
    Stmt s;
    if (site == 0 && !f.subroutines.empty()) {
      std::vector<Stmt>& where = f.subroutines[0].body;
      where.insert(where.begin() + Pick(1, int(where.size())), Simple(Stmt::kAssign, "g3", {std::move(around)}));
      return;
    }
    if (site == 1) {
      s = LineIf(Op('>', std::move(around), Literal(Pick(-3, 3))), Event());
    } else if (site == 2) {
      s = Simple(Stmt::kFor, Name("i"), {Weightless(std::move(around), Literal(1)), Literal(2)});
      s.number = 1;
      s.body.push_back(Event());
    } else if (site == 3) {
      s = Simple(Stmt::kStore, "a", {Weightless(std::move(around), Small(c, 0, 7)), Literal(Pick(0, 9))});
    } else if (site == 4 && f.result != Type::kNone) {
      if (f.result == Type::kString) around = ValueFunction("str$", Type::kString, {std::move(around)});
      s = LineIf(Condition(c, false), Simple(Stmt::kExitFunction, {}, {std::move(around)}));
    } else if (site == 5 && f.result != Type::kNone) {
      // The function's type comes from this value, which calls the function itself.
      if (f.result == Type::kFloat) around = Op('+', std::move(around), FloatLiteral(0.5f));
      if (f.result == Type::kString) around = ValueFunction("str$", Type::kString, {std::move(around)});
      f.endValue = std::move(around);
      return;
    } else {
      s = Simple(Stmt::kAssign, "g3", {std::move(around)});
    }
    f.body.insert(f.body.begin() + Pick(afterGuard, int(f.body.size())), std::move(s));
  }

  // Its own variables get a value, from its parameters, before anything reads them.
  void GiveLocalsValues(const Context& c, Function& f) {
    Context parameters = c;
    parameters.ints = parameters.floats = parameters.texts = {};
    for (const std::string& p : f.parameters) PoolOf(parameters, p).push_back(p);
    for (const std::vector<std::string>* pool : {&c.ints, &c.floats, &c.texts})
      for (const std::string& name : *pool) {
        if (std::find(f.parameters.begin(), f.parameters.end(), name) != f.parameters.end()) continue;
        int room = 0;
        f.body.push_back(Simple(Stmt::kAssign, name, {Typed(parameters, TypeOfName(name), 1, room)}));
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
    // The value after endfunction may call the functions after this one; calls of itself are
    // placed below.
    int room = Pick(0, 2);
    if (f.result != Type::kNone) f.endValue = Typed(c, f.result, 2, room);
    if (f.result == Type::kInt && Chance(8)) f.endValue = Chain(c, room);
    if (recursive_[size_t(i)]) PlaceRecursion(c, i, afterGuard);
    if (!f.subroutines.empty()) f.body.push_back(ExitFunction(c));
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
    m.push_back(Summing(3, "lengths", ValueFunction("len", Type::kInt, {ElementOf("w$", Var("q"))})));
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
