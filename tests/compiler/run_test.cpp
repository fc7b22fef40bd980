// Compiled programs run end to end: each .vxa text is compiled, its image loaded by the runtime's
// loader and run; the variables it leaves or the error it raises show that the code means what
// the source says.
#include "runtime/dispatcher_state.h"
#include "tests/compiler/compile_support.h"

namespace vx::test {
namespace {

struct Value {
  const char* variable;  // a variable of the main program; its suffix gives its type
  std::string value;     // integer and float values as decimal text
};

struct Program {
  const char* name;
  const char* source;
  std::vector<Value> values;
  int32_t error = 0;
};
void PrintTo(const Program& program, std::ostream* out) { *out << program.name; }

const Program kPrograms[] = {
    // f(n) = 10n + f(n-1)*2 - f(n-1) computed as the language's levels say: (10n + 2 f) - f.
    {"ValuesHeldAcrossRecursiveCalls",
     R"(
r = f(5)
end
function f(n)
  if n = 0 then exitfunction 1
endfunction n * 10 + f(n - 1) * 2 - f(n - 1)
)",
     {{"r", "151"}}},
    {"LocalsAreTheirFunctionsOwn",
     R"(
a = 1 : b = f(5)
end
function f(x)
  a = x * 3
endfunction a
)",
     {{"a", "1"}, {"b", "15"}}},
    {"OperatorLevels",
     R"(
a = 10 - 2 + 3 : b = 2 * 3 / 4 : c = 7 : d = c + 1 - 2 * 3 : e = 2 + 3 * 4 : f = 8 / 2 * 2
g = 2 ^ 3 ^ 2 : h = -5 * 2 : i = 1 < 2 & 3 > 2 | 0
)",
     {{"a", "5"}, {"b", "0"}, {"d", "2"}, {"e", "14"}, {"f", "8"}, {"g", "64"}, {"h", "-10"}, {"i", "1"}}},
    {"LoopsWithExits",
     R"(
n = 0 : w = 0 : r = 0 : m = 0
do
  n = n + 1
  if n = 5 then exit
loop
while w < 100
  w = w + 7
endwhile
repeat
  r = r + 3
until r > 10
for k = 1 to 100
  for l = 1 to 100
    if l = 3 then exit
    m = m + 1
  next l
  if k = 4 then exit
next k
)",
     {{"n", "5"}, {"w", "105"}, {"r", "12"}, {"m", "8"}, {"k", "4"}}},
    {"NestedIfElse",
     R"(
for i = 1 to 4
  if i = 1
    a = 10
  else
    if i = 2 then b = 20 else c = c + 1
  endif
next i
if a = 10 and b = 20 or 0 then d = 1
if a <> 10 then e = 1 else e = 2
)",
     {{"a", "10"}, {"b", "20"}, {"c", "2"}, {"d", "1"}, {"e", "2"}}},
    {"Strings",
     R"(
a$ = "hello" + " " + "world"
b$ = a$ - "lo"
c = a$ = "hello world"
d = "abc" < "abd"
e$ = "x:y" : f = 1
)",
     {{"a$", "hello world"}, {"b$", "hel world"}, {"c", "1"}, {"d", "1"}, {"e$", "x:y"}, {"f", "1"}}},
    {"DataAndRestore",
     R"(
data 1, 2.5, "three"
later:
data -4, "five"
read a, b#, c$ : read d, e$
restore later : read f
restore : read g : read h$
)",
     {{"a", "1"}, {"b#", "2.5"}, {"c$", "three"}, {"d", "-4"}, {"e$", "five"}, {"f", "-4"}, {"g", "1"}, {"h$", ""}}},
    // A text of a multiple of four characters still has its terminator in the image.
    {"DataTextsOfFourAndEightCharacters",
     "data \"xyzw\", \"abcdefgh\", 5\nread a$, b$, c",
     {{"a$", "xyzw"}, {"b$", "abcdefgh"}, {"c", "5"}}},
    {"ReadIntoArrayElements",
     R"(
dim v(2)
data 7, 8, 9
for i = 0 to 2
  read v(i)
next i
s = v(0) * 100 + v(1) * 10 + v(2)
)",
     {{"s", "789"}}},
    {"SelectAndCase",
     R"(
for i = 1 to 4
  select i
    case 1, 2
      a = a + 1
    endcase
    case 2
      b = b + 1
    endcase
    case default
      c = c + 1
    endcase
  endselect
next i
)",
     {{"a", "2"}, {"b", "1"}, {"c", "2"}}},
    // Blocks inside a case, and a select inside blocks, close as they open.
    {"BlocksInsideCases",
     R"(
for i = 1 to 3
  select i
    case 1
      if i = 1 then a = a + 1
      do
        b = b + 1
        if b >= 2 then exit
      loop
    endcase
    case default
      while c < i
        c = c + 1
      endwhile
    endcase
  endselect
next i
)",
     {{"a", "1"}, {"b", "2"}, {"c", "3"}}},
    {"GotoAndGosub",
     R"(
n = 0
top:
n = n + 1
if n < 3 then goto top
gosub twice : gosub twice
end
twice:
n = n * 2
return
)",
     {{"n", "12"}}},
    {"Conversions",
     "a = 2.9 : b = -2.9 : c# = 7 / 2 : d# = 7.0 / 2 : e# = 1 : f = 3 * 1.5",
     {{"a", "2"}, {"b", "-2"}, {"c#", "3"}, {"d#", "3.5"}, {"e#", "1"}, {"f", "4"}}},
    // first() returns what second() returns, a float, though second is declared later; a return
    // of another number type is converted.
    {"ReturnTypesAreKnownBeforeAnyIsNeeded",
     R"(
a# = first() : b# = third()
end
function first()
endfunction second()
function second()
endfunction 1.5
function third()
  exitfunction 2
endfunction 0.5
)",
     {{"a#", "1.5"}, {"b#", "2"}}},
    // Parentheses, separators and operator words inside literals belong to the literals, also
    // inside calls, element targets and conditions.
    {"LiteralsInsideCallsAndConditions",
     R"~(
dim t(3, 3)
a = 1 + len(")") * 2
t(len(")"), 1) = 5 : b = t(1, len("("))
c$ = "(:;," + mid$(")(", 2) : d = 4
if c$ = "(:;,(" and len(" and ") = 5 then e = 1
f = len("<>") * 2 ^ len(")")
)~",
     {{"a", "3"}, {"b", "5"}, {"c$", "(:;,("}, {"d", "4"}, {"e", "1"}, {"f", "4"}}},
    {"MainRunsIntoAFunction", "a = 1\nfunction f()\nendfunction", {{"a", "1"}}, 21},
    // Operations that store into the variable they read, of both types and through conversions.
    {"OperationsIntoTheirOwnVariables",
     R"(
a = 7 : a = a * a - a : b# = 1.5 : b# = b# * b# + a : c = b# : c = c > 40
d# = a : d# = d# / 4 : e = 3 : e = e ^ 2 : f = 6 : f = f / 4 : g$ = "x" : g$ = g$ + g$
)",
     {{"a", "42"}, {"b#", "44.25"}, {"c", "1"}, {"d#", "10.5"}, {"e", "9"}, {"f", "1"}, {"g$", "xx"}}},
    // Loops whose next steps the counter itself, and loops whose for works out its end each time.
    {"CountedLoopsOfEveryKind",
     R"(
s = 0 : for i = 1 to 10 : s = s + i : next i
t = 0 : for j = 10 to 1 step -3 : t = t * 10 + j : next j
n = 3 : u = 0 : for k = 1 to n : u = u + 1 : n = 5 : next k
v = 0 : for l = 1 to n * 2 : v = v + 1 : next l
w = 0 : st = 1 : for m = 1 to 9 step st : w = w + m : st = 2 : next m
x = 0 : for o = 1 to 3 : for q = o to 3 : x = x + 1 : next q : next o
z = 0 : for p = 1 to 5 step 0 : z = z + 1 : if z = 4 then exit
next p
y = 0 : for r = 2147483640 to 2147483647 : y = y + 1 : next r
)",
     {{"s", "55"}, {"t", "10741"}, {"u", "5"}, {"v", "10"}, {"w", "25"}, {"x", "6"}, {"z", "4"}, {"y", "8"}}},
    {"LoopsInRecursiveFunctions",
     R"(
r = f(4)
end
function f(n)
  t = 0
  for i = 1 to n
    t = t + i
    if n > 1 then t = t + f(n - 1)
  next i
endfunction t
)",
     {{"r", "94"}}},
    // Each level keeps its own texts; an array is shared by all levels, also one that a deeper
    // level makes after the caller's locals were saved.
    {"RecursionKeepsTextsAndSharesArrays",
     R"(
r$ = g$(3) : t = h(3) : u = k(2)
end
function g$(n)
  s$ = str$(n)
  if n > 0 then s$ = s$ + g$(n - 1) + s$
endfunction s$
function h(n)
  if n = 3 then dim a(5)
  a(n) = n * 10 : v = n
  if n > 0 then v = v + h(n - 1)
endfunction v + a(n)
function k(n)
  if n = 0
    dim b(3) : b(0) = 5
  else
    w = k(n - 1)
  endif
endfunction b(0) + n
)",
     {{"r$", "3210123"}, {"t", "66"}, {"u", "7"}}},
    // Calls made inside subroutines, of the main program and of a recursive function, each of
    // which must see its own values again when the inner call returns.
    {"FunctionsCalledFromSubroutines",
     R"(
r = 0 : w = 0
gosub s
gosub t
end
s:
r = f(3) + g()
t$ = name$("x")
return
t:
for i = 1 to 3
  w = w + walk(i)
next i
return
function f(a)
  b = a * 2
endfunction b + 1
function g()
endfunction 10
function name$(p$)
  q$ = p$ + "y"
endfunction q$
function walk(n)
  m = n * 10 : k = 0
  if n > 0 then gosub deeper
  exitfunction m + k
deeper:
  k = walk(n - 1)
  return
endfunction 0
)",
     {{"r", "17"}, {"t$", "xy"}, {"w", "100"}}},
    // A value after endfunction may call a function declared later, of any type.
    {"ReturnValuesCallFunctionsDeclaredLater",
     R"(
a$ = f1() : b = g1()
end
function f1()
endfunction f2() + "a"
function f2()
endfunction "b"
function g1()
endfunction g2() * 2
function g2()
endfunction 21
)",
     {{"a$", "ba"}, {"b", "42"}}},
    // Integer division by -1 negates; a minus after a blank or an operator is a sign.
    {"DivisionByMinusOneAndSigns",
     R"(
a = 10 / -1 : b = -7 / -1 : c = 7 /-1
x = 0 : y = x > -1 : z = x < -1 : v = 3 - -2
)",
     {{"a", "-10"}, {"b", "7"}, {"c", "-7"}, {"y", "1"}, {"z", "0"}, {"v", "5"}}},
    // Subtraction takes out the first match; upper$ and lower$ reach every letter and only letters.
    {"StringSubtractionAndCase",
     R"(
a$ = "abc" - "abc" : b$ = "xabcabcx" - "abc" : c$ = "abc" - "" : d$ = "ab" - "abc" : e$ = "abc" - "d"
u$ = upper$("abcdefghijklmnopqrstuvwxyz@[`{09") : l$ = lower$("ABCDEFGHIJKLMNOPQRSTUVWXYZ@[`{09")
)",
     {{"a$", ""},
      {"b$", "xabcx"},
      {"c$", "abc"},
      {"d$", "ab"},
      {"e$", "abc"},
      {"u$", "ABCDEFGHIJKLMNOPQRSTUVWXYZ@[`{09"},
      {"l$", "abcdefghijklmnopqrstuvwxyz@[`{09"}}},
    // The sum in parentheses ends in the 56th integer temporary, past the main program's own; the
    // function's temporaries start there, so the sum must be kept elsewhere across the call.
    {"TemporariesPastTheMainBandOutliveACall",
     R"(
b = 1
r = (b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b+b) * 3 + f(2)
end
function f(x)
endfunction x*1+x*1+x*1+x*1+x*1+x*1+x*1+x*1
)",
     {{"r", "184"}}},
    // A value worked out before a call, at a higher level or in parentheses, outlives the call
    // that the text holds to its left; also in a statement whose temporaries pass its band.
    {"ValuesWorkedOutBeforeACallOutliveIt",
     R"(
s = sumsq(3) : p = fa(1) : q = fc(1) : t = g(3) : v = 1
r = f(0) + (v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+(v+v)))))))))))))))))))))))))))))))))))))))))))))))))))
end
function f(x)
endfunction x + x * 2
function sumsq(n)
  if n <= 0 then exitfunction 0
endfunction sumsq(n - 1) + n * n
function fa(d)
  if d <= 0 then exitfunction 1
endfunction fa(d - 1) | 2 ^ 3
function fc(d)
  if d <= 0 then exitfunction 1
  r = fc(d - 1) + d * 2
endfunction r
function g(n)
  if n <= 0 then exitfunction 1
endfunction g(n - 1) * (n + 2) - (n * n)
)",
     {{"s", "14"}, {"p", "9"}, {"q", "3"}, {"t", "11"}, {"r", "52"}}},
    // Loops whose counter would start one step past the integer limits, with ends known at once
    // and worked out each time (here by a call that runs the same loop deeper).
    {"ForLoopsThatStartAtTheIntegerLimits",
     R"(
for i = -2147483648 to -2147483646 : a = a + 1 : next i
for i = 2147483647 to 2147483645 step -1 : b = b + 1 : next i
for i = -2147483647 to -2147483646 step 2 : c = c + 1 : next i
for i = 2147483646 to 2147483647 : d = d + 1 : next i
z = 0
for i = -2147483648 to -2147483646 + z : e = e + 1 : next i
for i = 2147483647 to -2147483647 : f = f + 1 : next i
g = w(3)
end
function w(n)
  if n = 0 then exitfunction 0
  t = 0
  for i = -2147483648 to w(n - 1) - 2147483647
    t = t + 1
  next i
endfunction t
)",
     {{"a", "3"}, {"b", "3"}, {"c", "1"}, {"d", "2"}, {"e", "3"}, {"f", "0"}, {"g", "6"}}},
    // A value function's row is picked by the type its place expects; once a call inside an
    // argument has been compiled, nothing is expected for the rest of it: after len, sqrt takes its
    // first, float row (2 * 1.70294 gives 3 letters) and random its first, integer one; before
    // any call, sqrt takes the integer row that the integer place asks for (2 * sqrt(2)).
    {"NothingIsExpectedAfterACallInsideAnArgument",
     R"(
a$ = left$("abcdefghijklmnopqrstuvwxyz", len("ab") * sqrt(2.9))
c$ = str$(1 | len("ab") | random(5))
n = len(c$) : m = (val(c$) = 3) | (val(c$) = 7)
b$ = left$("abcdefghijklmnopqrstuvwxyz", sqrt(2.9) * len("ab"))
)",
     {{"a$", "abc"}, {"n", "1"}, {"m", "1"}, {"b$", "ab"}}},
    // A value after endfunction that calls its own function gives the function its type: a text
    // or a float, as the value works out when the call gives that type; a function declared
    // before it that calls it waits for that type.
    {"ValuesAfterEndfunctionThatCallTheirOwnFunction",
     R"(
r$ = word(3) : x# = half(3) : n = count(4)
end
function count(k)
  if k <= 0 then exitfunction 0
endfunction count(k - 1) + len(word(k))
function word(k)
  if k <= 0 then exitfunction "x"
endfunction word(k - 1) + "a"
function half(k)
  if k <= 0 then exitfunction 8.0
endfunction half(k - 1) / 4.0
)",
     {{"r$", "xaaa"}, {"x#", "0.125"}, {"n", "14"}}},
};

class RunTest : public CompileTest, public ::testing::WithParamInterface<Program> {};

TEST_P(RunTest, LeavesItsValues) {
  const Program& p = GetParam();
  const RunResult r = Run(p.source);
  EXPECT_EQ(r.errorCode, p.error) << r.errorText;
  for (const Value& v : p.values) {
    const std::string name = v.variable;
    ASSERT_GE(Operand(name), 0) << name;
    if (name.back() == '$')
      EXPECT_EQ(TextAt(Operand(name)), v.value) << name;
    else if (name.back() == '#')
      EXPECT_FLOAT_EQ(FloatAt(Operand(name)), std::stof(v.value)) << name;
    else
      EXPECT_EQ(Int(name), std::stoi(v.value)) << name;
  }
}

// The fused code (an operation straight into its variable, a next that steps its for) leaves the
// same values in every variable, and the same error, as the plain code.
TEST_P(RunTest, FusedCodeLeavesWhatPlainCodeLeaves) {
  const Program& p = GetParam();
  struct Outcome {
    int32_t error;
    size_t words;
    std::vector<std::string> values;
  };
  auto run = [&](bool fused) {
    gCompiler.fuseCommands = fused;
    const RunResult r = Run(p.source);
    gCompiler.fuseCommands = true;
    Outcome o{r.errorCode, gCompiler.code.size(), {}};
    for (int type = 0; type < 3; ++type)
      for (size_t i = 0; i < gCompiler.variables[size_t(type)].size(); ++i) {
        if (gCompiler.variables[size_t(type)][i].isArray) continue;  // its slot holds the array
        const int operand = operands::kIntVar + operands::kPerKind * type + int(i);
        o.values.push_back(type == 2 ? TextAt(operand) : std::to_string(IntAt(operand)));
      }
    FreeProgramImage();
    return o;
  };
  const Outcome plain = run(false);
  const Outcome fused = run(true);
  EXPECT_EQ(fused.error, plain.error);
  EXPECT_EQ(fused.values, plain.values);
  EXPECT_LE(fused.words, plain.words);
}

INSTANTIATE_TEST_SUITE_P(Programs, RunTest, ::testing::ValuesIn(kPrograms), CaseName());

TEST_F(CompileTest, ProgramOfMoreThan65536WordsCompilesInTwoRunsAndRuns) {
  // The label is defined after the point where the first run stops: that run must not end
  // with a message about it.
  std::string source = "s = 0\ngoto start\nstart:\nif s > 0 then goto finish\n";
  for (int i = 0; i < 7000; ++i) source += "s = s + 1 : t = s : u = t\n";  // 10 words a line
  source += "finish:\ndone = 1\n";
  const RunResult r = Run(source);
  EXPECT_EQ(gCompiler.compileRuns, 2);
  EXPECT_EQ(gCompiler.capacity, 131072u);
  EXPECT_GT(gCompiler.code.size(), 65536u);
  EXPECT_EQ(r.errorCode, 0);
  EXPECT_EQ(Int("s"), 7000);
  EXPECT_EQ(Int("done"), 1);
}

}  // namespace
}  // namespace vx::test
