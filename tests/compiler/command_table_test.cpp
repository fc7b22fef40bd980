// The command table against the dispatcher, both ways: every row names a command the runtime has
// and every command has a row. Every row can be written in a program and compiles to its own
// number, so no row is hidden behind another of its name. And the loader's reading of the line
// format, its limits and the name lookups of the error report.
#include <algorithm>
#include <set>
#include <string>

#include "runtime/dispatcher.h"
#include "tests/compiler/compile_support.h"

namespace vx::test {
namespace {

// Numbers the compiler writes by itself: the internal rows of the table.
std::set<int> InternalNumbers() {
  std::set<int> numbers;
  for (size_t i = 0; i < kCommandRowCount; ++i)
    if (kCommandRows[i].kind == CommandKind::kInternal) numbers.insert(kCommandRows[i].number);
  return numbers;
}
// Block keywords for which the compiler emits no command.
const std::set<std::string> kNoCodeKeywords = {"endif", "do", "repeat"};
// Statements whose form is not "name values": blocks, assignments, arrays, function bodies.
const std::set<std::string> kSpecialForms = {"if",  "else", "endif", "do",       "exit",        "loop",
                                             "for", "next", "while", "endwhile", "repeat",      "until",
                                             "=",   "@=",   "dim",   "undim",    "endfunction", "exitfunction"};
const std::set<std::string> kOperators = {"^", "/", "*", "+", "-", ">=", "<=", ">", "<", "==", "!", "&", "|"};

TEST_F(CompileTest, EveryRowNamesACommandTheRuntimeHas) {
  RegisterAllCommands();
  const std::vector<CommandEntry>& statements = gCompiler.statements;
  for (size_t i = 0; i < statements.size(); ++i) {
    const CommandEntry& row = statements[i];
    // Rows that emit no command need no handler: text taken as it stands, and the block
    // keywords without code (their last row).
    const bool lastOfName = std::none_of(statements.begin() + long(i) + 1, statements.end(),
                                         [&](const CommandEntry& other) { return other.name == row.name; });
    if (row.parameters == "e" || (kNoCodeKeywords.count(row.name) && lastOfName)) continue;
    EXPECT_NE(HandlerOf(row.number), nullptr) << "\"" << row.name << "\" names command " << row.number;
  }
  for (const CommandEntry& row : gCompiler.valueFunctions)
    EXPECT_NE(HandlerOf(row.number), nullptr) << "\"" << row.name << "[\" names command " << row.number;
}

TEST_F(CompileTest, EveryCommandOfTheRuntimeHasARow) {
  RegisterAllCommands();
  std::set<int> nameable;
  for (const auto* table : {&gCompiler.statements, &gCompiler.valueFunctions})
    for (const CommandEntry& row : *table) nameable.insert(row.number);
  // Besides the compiler's own, the internal rows are the numbers older program images hold for
  // commands a program names: they reach the same handlers.
  std::set<int> named = InternalNumbers();
  std::erase_if(named, [&](int number) {
    return std::any_of(nameable.begin(), nameable.end(),
                       [&](int other) { return HandlerOf(other) == HandlerOf(number); });
  });
  EXPECT_EQ(named, (std::set<int>{kCmdCallFunction, kCmdFunctionHead, kCmdFloatToInt, kCmdIntToFloat, kCmdNextStep,
                                  kCmdForStart}));
  named = InternalNumbers();
  named.insert(nameable.begin(), nameable.end());
  for (int number = 1; number < kCommandLimit; ++number)
    EXPECT_TRUE(HandlerOf(number) == nullptr || named.count(number))
        << "command " << number << " has a handler but no row in the table";
}

// A variable for each parameter letter: floats, strings, else integers (also for "any type").
std::string Values(const std::string& letters) {
  std::string out;
  for (char letter : letters)
    out += std::string(out.empty() ? "" : ", ") + (letter == 'f' ? "b#" : letter == 's' ? "c$" : "a");
  return out;
}

class CommandTableRowsTest : public CompileTest {
 protected:
  void ExpectRow(const std::string& line, int32_t number) {
    SCOPED_TRACE(line);
    ResetCompiler();
    ASSERT_EQ(LoadCommandTable(), 1);
    ASSERT_TRUE(Compile(line + "\r\n")) << Message();
    const std::vector<uint32_t> code = gCompiler.code;
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

TEST_F(CompileTest, LoaderLeavesOutRowsBeyondTheTables) {
  std::string text;
  for (int i = 0; i < 770; ++i) text += "s" + std::to_string(i) + "%" + std::to_string(1000 + i) + "%0\n";
  for (int i = 0; i < 514; ++i) text += "f" + std::to_string(i) + "[%" + std::to_string(3000 + i) + "%l\n";
  ASSERT_EQ(LoadCommandTableFromText(text), 1);
  EXPECT_EQ(gCompiler.statements.size(), 768u);
  EXPECT_EQ(gCompiler.statements.back().name, "s767");
  EXPECT_EQ(gCompiler.valueFunctions.size(), 512u);
  EXPECT_EQ(gCompiler.valueFunctions.back().name, "f511");
}

TEST_F(CompileTest, NameLookupsOfTheErrorReportStayInTheirTable) {
  ASSERT_EQ(LoadCommandTableFromText("a%5%0\nprint%301%l\nprint%302%f\nval[%322%ls\n"), 1);
  std::string name = "unchanged";
  EXPECT_EQ(FindCommandName(322, &name), -1) << "value functions are not statements";
  EXPECT_EQ(FindCommandName(0, &name), -1);
  EXPECT_EQ(FindCommandName(301, nullptr), -1);
  EXPECT_EQ(name, "unchanged");
  EXPECT_EQ(FindCommandName(302, &name), 2);
  EXPECT_EQ(name, "print");
  EXPECT_EQ(CommandParameterLetter(2, 0), 'f');
  EXPECT_EQ(CommandParameterLetter(2, 1), 0);
  EXPECT_EQ(CommandParameterLetter(9, 0), 0);
  EXPECT_EQ(FindCommandName(5, &name), 0);
  EXPECT_EQ(name, "a");
}

}  // namespace
}  // namespace vx::test
