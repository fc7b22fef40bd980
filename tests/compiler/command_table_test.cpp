// The command table compiled into the executable, checked against the dispatcher and against what
// the compiler needs of it: every row names a command the runtime has, every command has a row,
// and the rows that the compiler looks up by name have the shape it relies on.
//
// The table is read here by a parser of its own, written from the line format, so that a fault in
// the compiler's loader cannot hide a fault in the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/compiler.h"
#include "platform/win/resources.h"
#include "runtime/dispatcher.h"

namespace vx {
namespace {

struct Row {
  std::string name;
  int number = 0;
  std::string letters;  // value functions: the result letter first
  int line = 0;         // line of the table text, for the messages
};

struct Tables {
  std::vector<Row> statements;
  std::vector<Row> functions;
};

// The table's line format: lines beginning with ";" and blank lines are skipped; a row is the
// name, "%", the number (blanks ignored), "%", the letters; a name ending with "[" is a value
// function. Lines end at LF, CR LF or CR.
Tables ParseTable(std::string_view text) {
  Tables tables;
  int lineNumber = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    ++lineNumber;
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;

    while (!line.empty() && static_cast<unsigned char>(line.front()) < 32) line.remove_prefix(1);
    if (line.empty() || line.front() == ';') continue;
    Row row;
    row.line = lineNumber;
    const size_t nameEnd = line.find('%');
    const size_t numberEnd = nameEnd == std::string_view::npos ? nameEnd : line.find('%', nameEnd + 1);
    if (numberEnd == std::string_view::npos) {
      ADD_FAILURE() << "table line " << lineNumber << " has not two '%': " << line;
      continue;
    }
    for (char c : line.substr(0, nameEnd)) row.name += char(std::tolower(static_cast<unsigned char>(c)));
    std::string number;
    for (char c : line.substr(nameEnd + 1, numberEnd - nameEnd - 1))
      if (c != ' ') number += c;
    if (number.empty() || number.find_first_not_of("-0123456789") != std::string::npos) {
      ADD_FAILURE() << "table line " << lineNumber << " has no number: " << line;
      continue;
    }
    row.number = std::stoi(number);
    for (char c : line.substr(numberEnd + 1))
      if (static_cast<unsigned char>(c) >= 33) row.letters += char(std::tolower(static_cast<unsigned char>(c)));
    if (!row.name.empty() && row.name.back() == '[') {
      row.name.pop_back();
      tables.functions.push_back(row);
    } else {
      tables.statements.push_back(row);
    }
  }
  return tables;
}

const std::set<std::string> kBlockKeywords = {"if",    "else", "endif",    "do",     "exit",  "loop",
                                              "for",   "next", "while",    "endwhile", "repeat", "until"};
// Block keywords for which the compiler emits no command.
const std::set<std::string> kNoCodeKeywords = {"endif", "do", "repeat"};

// Numbers the compiler writes by itself: a user function call, a function declaration's head and
// the two conversions between integer and float.
const std::set<int> kCompilerOwnNumbers = {21, 26, 154, 155};

// Rows of commands whose runtime is not built yet; each leaves this list with the issue that
// builds it.
const std::set<int> kNotBuiltYet = {
    213,                                // end (ending the program, with the screen commands)
    301, 302, 303, 304, 305, 306, 307,  // print and printc (they need the screen's text output)
    351, 352, 355,                      // input (line input on the screen)
};

class CommandTableTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterAllCommands();
    const win::ResourceBlob* blob = win::FindResourceBlob("23", 214);
    ASSERT_NE(blob, nullptr);
    tables_ = ParseTable(std::string_view(reinterpret_cast<const char*>(blob->data), blob->size));
  }
  static const Tables& tables() { return tables_; }
  static std::vector<const Row*> AllRows() {
    std::vector<const Row*> rows;
    for (const Row& row : tables_.statements) rows.push_back(&row);
    for (const Row& row : tables_.functions) rows.push_back(&row);
    return rows;
  }
  static const Row* LastStatement(const std::string& name) {
    const Row* found = nullptr;
    for (const Row& row : tables_.statements)
      if (row.name == name) found = &row;
    return found;
  }
  // The parameter letters of a row: a value function's letters after its result letter.
  static std::string Parameters(const Row& row, bool function) {
    return function ? row.letters.substr(std::min<size_t>(1, row.letters.size())) : row.letters;
  }

 private:
  static inline Tables tables_;
};

TEST_F(CommandTableTest, ParserFollowsTheLineFormat) {
  const Tables t = ParseTable(
      "; a comment\r\n\r\nSome Name%1 2%LF\n\tabs[%368%ff\rlast%7%0");
  ASSERT_EQ(t.statements.size(), 2u);
  EXPECT_EQ(t.statements[0].name, "some name");
  EXPECT_EQ(t.statements[0].number, 12);
  EXPECT_EQ(t.statements[0].letters, "lf");
  EXPECT_EQ(t.statements[1].name, "last");
  EXPECT_EQ(t.statements[1].letters, "0");
  ASSERT_EQ(t.functions.size(), 1u);
  EXPECT_EQ(t.functions[0].name, "abs");
  EXPECT_EQ(t.functions[0].letters, "ff");
}

// The compiler's own loader reads the same rows in the same order.
TEST_F(CommandTableTest, CompilersLoaderAgrees) {
  ResetCompiler();
  ASSERT_EQ(LoadCommandTable(), 1);
  ASSERT_EQ(gCompiler.statements.size(), tables().statements.size());
  ASSERT_EQ(gCompiler.valueFunctions.size(), tables().functions.size());
  for (size_t i = 0; i < tables().statements.size(); ++i) {
    EXPECT_EQ(gCompiler.statements[i].name, tables().statements[i].name);
    EXPECT_EQ(gCompiler.statements[i].number, tables().statements[i].number);
    EXPECT_EQ(gCompiler.statements[i].parameters, tables().statements[i].letters);
  }
  for (size_t i = 0; i < tables().functions.size(); ++i) {
    EXPECT_EQ(gCompiler.valueFunctions[i].name, tables().functions[i].name);
    EXPECT_EQ(gCompiler.valueFunctions[i].number, tables().functions[i].number);
    EXPECT_EQ(gCompiler.valueFunctions[i].parameters, tables().functions[i].letters);
  }
  FreeCompilerTables();
}

TEST_F(CommandTableTest, TableFitsTheCompilersLimits) {
  EXPECT_GT(tables().statements.size(), 0u);
  EXPECT_LE(tables().statements.size(), 768u);
  EXPECT_GT(tables().functions.size(), 0u);
  EXPECT_LE(tables().functions.size(), 512u);
  for (const Row* row : AllRows()) {
    EXPECT_FALSE(row->name.empty()) << "line " << row->line;
    EXPECT_LT(row->name.size(), 256u) << row->name;
    EXPECT_LE(row->letters.size(), 32u) << row->name;
    EXPECT_GT(row->number, 0) << row->name;
    EXPECT_LT(row->number, kCommandLimit) << row->name;
  }
}

TEST_F(CommandTableTest, LettersAreTheKnownTypesInTheirPlaces) {
  for (const Row& row : tables().statements) {
    const std::string& p = row.letters;
    ASSERT_FALSE(p.empty()) << row.name << ": a statement without parameters is written with the letter 0";
    EXPECT_EQ(p.find_first_not_of("lfsza0e"), std::string::npos) << row.name << " " << p;
    // "0" and "e" speak for the whole row, so they stand alone and first.
    for (char whole : {'0', 'e'}) {
      const size_t at = p.find(whole);
      if (at != std::string::npos) {
        EXPECT_TRUE(at == 0 && p.size() == 1) << row.name << " " << p;
      }
    }
    // A label reference is recorded at its command's first operand word.
    const size_t label = p.find('a');
    if (label != std::string::npos) {
      EXPECT_EQ(label, 0u) << row.name << " " << p;
    }
    EXPECT_EQ(std::count(p.begin(), p.end(), 'a'), label == std::string::npos ? 0 : 1) << row.name;
  }
  for (const Row& row : tables().functions) {
    ASSERT_FALSE(row.letters.empty()) << row.name << ": a value function needs its result letter";
    EXPECT_NE(std::string("lfsz").find(row.letters[0]), std::string::npos) << row.name << " " << row.letters;
    // Value functions take values only: no labels, and no row that takes its text as it stands.
    EXPECT_EQ(Parameters(row, true).find_first_not_of("lfsz"), std::string::npos) << row.name << " " << row.letters;
  }
}

TEST_F(CommandTableTest, EveryRowNamesACommandTheRuntimeHas) {
  for (const Row* row : AllRows()) {
    // Rows that emit no command need no handler: text taken as it stands, and the block
    // keywords without code.
    if (row->letters == "e") continue;
    if (kNoCodeKeywords.count(row->name) && row == LastStatement(row->name)) continue;
    if (kNotBuiltYet.count(row->number)) continue;
    EXPECT_NE(HandlerOf(row->number), nullptr)
        << "\"" << row->name << "\" (table line " << row->line << ") names command " << row->number
        << ", which the dispatcher does not have";
  }
}

TEST_F(CommandTableTest, NotBuiltYetListHoldsOnlyCommandsWithoutAHandler) {
  // Once a command is built its row is checked like any other.
  for (int number : kNotBuiltYet) EXPECT_EQ(HandlerOf(number), nullptr) << number << " is built now";
}

TEST_F(CommandTableTest, EveryCommandOfTheRuntimeHasARow) {
  std::set<int> named;
  for (const Row* row : AllRows()) named.insert(row->number);
  for (int number = 1; number < kCommandLimit; ++number) {
    if (HandlerOf(number) == nullptr || kCompilerOwnNumbers.count(number)) continue;
    EXPECT_TRUE(named.count(number)) << "command " << number << " has a handler but no row in the table";
  }
}

TEST_F(CommandTableTest, RowsOfOneNameStandTogether) {
  for (const auto* table : {&tables().statements, &tables().functions}) {
    std::map<std::string, int> closedAt;  // name -> line of the row after its group
    for (size_t i = 0; i < table->size(); ++i) {
      const Row& row = (*table)[i];
      auto closed = closedAt.find(row.name);
      EXPECT_TRUE(closed == closedAt.end())
          << "\"" << row.name << "\" at table line " << row.line << " stands apart from its rows before line "
          << (closed == closedAt.end() ? 0 : closed->second);
      if (i + 1 == table->size() || (*table)[i + 1].name != row.name) closedAt[row.name] = row.line + 1;
    }
  }
}

TEST_F(CommandTableTest, CompilerFindsEveryRowItRequires) {
  std::set<std::string> statementNames, functionNames;
  for (const Row& row : tables().statements) statementNames.insert(row.name);
  for (const Row& row : tables().functions) functionNames.insert(row.name);
  for (const char* name : {"if", "else", "endif", "do", "exit", "loop", "for", "next", "while", "endwhile", "repeat",
                           "until", "=", "@=", "dim", "undim", "data", "restore", "print", "printc", "read", "input",
                           "end", "#include", "endfunction"})
    EXPECT_TRUE(statementNames.count(name)) << "no statement row \"" << name << "\"";
  for (const char* name : {"@", "^", "/", "*", "+", "-", ">=", "<=", ">", "<", "==", "!", "&", "|"})
    EXPECT_TRUE(functionNames.count(name)) << "no value function row \"" << name << "\"";
  // Rows whose text the statement compiler takes as it stands.
  for (const char* name : {"#include", "data"}) {
    const Row* row = LastStatement(name);
    if (row) {
      EXPECT_EQ(row->letters, "e") << name;
    }
  }
}

TEST_F(CommandTableTest, BlockKeywordsHaveTheirOwnNumbersAndOperandCounts) {
  // The engine counts a fixed number of code words for each keyword's command, so its parameter
  // count is fixed too; "0" stands for none.
  const std::map<std::string, std::string> parameterCount = {
      {"if", "1"},   {"else", "0"}, {"endif", "0"}, {"do", "0"},       {"exit", "0"},   {"loop", "0"},
      {"for", "3"},  {"next", "1"}, {"while", "1"}, {"endwhile", "0"}, {"repeat", "0"}, {"until", "1"}};
  std::map<int, std::string> keywordOfNumber;
  for (const std::string& keyword : kBlockKeywords) {
    const Row* row = LastStatement(keyword);
    if (!row) continue;  // reported by CompilerFindsEveryRowItRequires
    auto [it, fresh] = keywordOfNumber.emplace(row->number, keyword);
    EXPECT_TRUE(fresh) << keyword << " and " << it->second << " share command " << row->number;
    const std::string& p = row->letters;
    const std::string count = p == "0" ? "0" : std::to_string(p.size());
    EXPECT_EQ(count, parameterCount.at(keyword)) << keyword << " " << p;
  }
  // Any statement row with a keyword's number is taken for that keyword.
  for (const Row& row : tables().statements) {
    auto keyword = keywordOfNumber.find(row.number);
    if (keyword != keywordOfNumber.end()) {
      EXPECT_EQ(row.name, keyword->second) << "table line " << row.line << " carries the number of a block keyword";
    }
  }
}

TEST_F(CommandTableTest, ArrayElementRowsFormOneGroup) {
  const auto& functions = tables().functions;
  auto first = std::find_if(functions.begin(), functions.end(), [](const Row& r) { return r.name.front() == '@'; });
  ASSERT_NE(first, functions.end());
  auto last = std::find_if(first, functions.end(), [](const Row& r) { return r.name != "@"; });
  EXPECT_EQ(std::find_if(last, functions.end(), [](const Row& r) { return r.name.front() == '@'; }), functions.end())
      << "a row beginning with @ stands apart from the group that starts at table line " << first->line;
}

// A value function is found in an expression by the name before its "(", which must end in a
// letter, digit, "$" or "#"; a statement by its words. Neither may hold what the compilers cut at.
TEST_F(CommandTableTest, NamesCompileWhereTheyAreUsed) {
  const std::set<std::string> symbolNames = {"^", "/", "*", "+", "-", ">=", "<=", ">", "<", "==", "!", "&", "|",
                                             "@", "=", "@=", "#include"};
  auto plain = [](const std::string& name, bool function) {
    if (!std::islower(static_cast<unsigned char>(name.front()))) return false;
    if (name.find("  ") != std::string::npos || name.back() == ' ') return false;
    const char last = name.back();
    if (function && !(std::isalnum(static_cast<unsigned char>(last)) || last == '$' || last == '#')) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
      return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) ||
             c == ' ' || c == '_' || c == '$' || c == '#';
    });
  };
  for (const Row& row : tables().statements) {
    if (!symbolNames.count(row.name)) {
      EXPECT_TRUE(plain(row.name, false)) << "\"" << row.name << "\"";
    }
  }
  for (const Row& row : tables().functions) {
    if (!symbolNames.count(row.name)) {
      EXPECT_TRUE(plain(row.name, true)) << "\"" << row.name << "\"";
    }
  }
}

}  // namespace
}  // namespace vx
