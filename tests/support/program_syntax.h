// The program generator's parts (tests/support/program_generator.cpp): the tree of a generated
// program, its printer into BASIC source, and the oracle that runs the tree by the language's
// rules to know what the compiled program must leave.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vx::test::generated {

enum class Type { kInt, kFloat, kString, kNone };

// The type a variable's name gives it.
Type TypeOfName(const std::string& name);

struct Expr {
  enum Kind { kInt, kFloat, kText, kVar, kBinary, kCall, kElement, kFunc } kind = kInt;
  Type type = Type::kInt;      // as the generator meant it; the oracle works out the real one
  int32_t number = 0;          // an integer literal, or the called function
  float real = 0;              // a float literal
  std::string text;            // a text literal, a variable's or an array's name, a value function's name
  char op = 0;                 // + - * / ^ < > = ! & | and l (<=), g (>=); a and o (and, or) in conditions
  bool grouped = false;        // an operation written in parentheses
  bool tight = false;          // an operation written without blanks around its operator
  std::vector<Expr> operands;  // of an operator, the arguments of a call or value function, the index of an element
};

// An operator's level: the compiler takes the levels in this order, each from left to right.
int LevelOf(char op);

struct Stmt {
  enum Kind {
    kAssign,        // name = exprs[0]
    kStore,         // name(exprs[0]) = exprs[1]
    kEvent,         // the block numbered number ran: h(0) and h(1) take it in
    kIf,            // exprs[0]: body, else other (a block over several lines)
    kLineIf,        // the same on one line; other holds at most one statement
    kFor,           // for name = exprs[0] to exprs[1] step number
    kWhile,         // while exprs[0]
    kRepeat,        // until exprs[0]
    kDo,            // do ... loop
    kSelect,        // select name, cases, then case default: other when hasDefault
    kGosub,         // gosub name
    kCall,          // exprs[0], a call whose value is dropped
    kExit,          // leaves the innermost loop
    kGoto,          // goto name
    kLabel,         // name:
    kExitFunction,  // exitfunction exprs[0] (none for a function without value)
    kReturn,        // return from a subroutine
  } kind = kAssign;
  std::string name;
  int32_t number = 0;
  std::vector<Expr> exprs;
  std::vector<Stmt> body, other;
  std::vector<std::pair<std::vector<int32_t>, std::vector<Stmt>>> cases;
  bool hasDefault = false;
};

struct Subroutine {
  std::string label;
  std::vector<Stmt> body;  // a return follows
};

struct Function {
  std::string name;
  Type result = Type::kNone;
  std::vector<std::string> parameters;  // names; their suffixes give their types
  std::vector<Stmt> body;               // ends with an exitfunction when there are subroutines
  std::vector<Subroutine> subroutines;  // its own, after its body
  Expr endValue;                        // after endfunction, unless the result is kNone
};

struct Program {
  std::vector<Stmt> main;
  std::vector<Subroutine> subroutines;
  std::vector<Function> functions;
};

std::string PrintProgram(const Program& program);
std::string PrintExpr(const Expr& e);

// Runs the program by the language's rules. Throws Unfit when it leaves well-defined behaviour
// (a text too long, a number out of range, calls too deep), would not compile (values of types
// that no row takes) or runs more than stepBudget statements.
struct Unfit {};
struct OracleResult {
  std::map<std::string, std::string> mainVariables;
  std::vector<int32_t> trace;
};
OracleResult RunOracle(const Program& program, int64_t stepBudget);

}  // namespace vx::test::generated
