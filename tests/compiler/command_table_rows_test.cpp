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
const std::set<std::string> kSpecialForms = {"if",     "else",  "endif",    "do",     "exit",  "loop",
                                             "for",    "next",  "while",    "endwhile", "repeat", "until",
                                             "=",      "@=",    "dim",      "undim",  "endfunction",
                                             "exitfunction"};
const std::set<std::string> kOperators = {"^", "/", "*", "+", "-", ">=", "<=", ">", "<", "==", "!", "&", "|"};

std::string ValueOf(char letter) {
  switch (letter) {
    case 'f': return "b#";
    case 's': return "c$";
    default: return "a";  // integers, and "any type"
  }
}

std::string Values(const std::string& letters) {
  std::string out;
  for (char letter : letters) out += (out.empty() ? "" : ", ") + ValueOf(letter);
  return out;
}

std::string TargetFor(char result) { return result == 'f' ? "r#" : result == 's' ? "r$" : "r"; }

// A statement that passes the call to a value function whose parameter asks for the result type.
std::string AsArgument(char result, const std::string& call) {
  switch (result) {
    case 's': return "r = len(" + call + ")";
    case 'f': return "r$ = str$(" + call + ")";
    default: return "r$ = chr$(" + call + ")";
  }
}

class CommandTableRowsTest : public test::CompileTest {
 protected:
  bool CodeHolds(int32_t number) const {
    const std::vector<uint32_t> code = Code();
    return std::find(code.begin(), code.end(), uint32_t(number)) != code.end();
  }
};

TEST_F(CommandTableRowsTest, EveryStatementCompilesToItsOwnRow) {
  const std::vector<CommandEntry> rows = gCompiler.statements;
  int tried = 0;
  for (const CommandEntry& row : rows) {
    if (kSpecialForms.count(row.name) || row.parameters == "e" || row.parameters.find('a') != std::string::npos)
      continue;
    const std::string line = row.name + (row.parameters == "0" ? "" : " " + Values(row.parameters));
    SCOPED_TRACE(line);
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
    ASSERT_TRUE(Compile(line + "\r\n")) << Message();
    EXPECT_TRUE(CodeHolds(row.number)) << "compiled to another row than " << row.number;
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
    const std::string line = shadowed ? AsArgument(result, call) : TargetFor(result) + " = " + call;
    SCOPED_TRACE(line);
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
    ASSERT_TRUE(Compile(line + "\r\n")) << Message();
    EXPECT_TRUE(CodeHolds(row.number)) << "compiled to another row than " << row.number;
    ++tried;
  }
  EXPECT_GT(tried, 40);
}

}  // namespace
}  // namespace vx
