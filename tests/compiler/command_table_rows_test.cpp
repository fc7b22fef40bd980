// Every row of the command table can be written in a program: each statement by its words with
// values of its parameter types, each value function inside an expression, and the compiled
// code carries the row's own command number, so no row is hidden behind another of its name.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "tests/compiler/compile_support.h"

namespace vx {
namespace {

// Statements whose form is not "name values": blocks, assignments, arrays, function bodies.
const std::set<std::string> kSpecialForms = {"if",  "else",  "endif", "do",     "exit",   "loop",  "for",
                                             "next", "while", "endwhile", "repeat", "until", "=",   "@=",
                                             "dim", "undim", "endfunction", "exitfunction"};
const std::set<std::string> kOperators = {"^", "/", "*", "+", "-", ">=", "<=", ">", "<", "==", "!", "&", "|"};

// A variable for each parameter letter: floats, strings, else integers (also for "any type").
std::string Values(const std::string& letters) {
  std::string out;
  for (char letter : letters)
    out += std::string(out.empty() ? "" : ", ") + (letter == 'f' ? "b#" : letter == 's' ? "c$" : "a");
  return out;
}

class CommandTableRowsTest : public test::CompileTest {
 protected:
  void ExpectRow(const std::string& line, int32_t number) {
    SCOPED_TRACE(line);
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
    ASSERT_TRUE(Compile(line + "\r\n")) << Message();
    const std::vector<uint32_t> code = Code();
    EXPECT_NE(std::find(code.begin(), code.end(), uint32_t(number)), code.end())
        << "compiled to another row than " << number;
  }
};

TEST_F(CommandTableRowsTest, EveryStatementCompilesToItsOwnRow) {
  const std::vector<CommandEntry> rows = gCompiler.statements;
  int tried = 0;
  for (const CommandEntry& row : rows) {
    if (kSpecialForms.count(row.name) || row.parameters == "e" || row.parameters.find('a') != std::string::npos)
      continue;
    ExpectRow(row.name + (row.parameters == "0" ? "" : " " + Values(row.parameters)), row.number);
    ++tried;
  }
  EXPECT_GT(tried, 20);
}

TEST_F(CommandTableRowsTest, EveryValueFunctionCompilesInsideAnExpression) {
  const std::vector<CommandEntry> rows = gCompiler.valueFunctions;
  int tried = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const CommandEntry& row = rows[i];
    if (kOperators.count(row.name) || row.name.front() == '@') continue;
    const char result = row.parameters[0];
    const std::string call = row.name + "(" + Values(row.parameters.substr(1)) + ")";
    // A row that an earlier row of its name takes the same values as is reached where its
    // result type is expected: as the argument of a function that asks for that type.
    const bool shadowed = std::any_of(rows.begin(), rows.begin() + long(i), [&](const CommandEntry& other) {
      return other.name == row.name && other.parameters.substr(1) == row.parameters.substr(1);
    });
    const std::string wrap = result == 's' ? "r = len(" : result == 'f' ? "r$ = str$(" : "r$ = chr$(";
    const std::string target = result == 'f' ? "r#" : result == 's' ? "r$" : "r";
    ExpectRow(shadowed ? wrap + call + ")" : target + " = " + call, row.number);
    ++tried;
  }
  EXPECT_GT(tried, 40);
}

}  // namespace
}  // namespace vx
