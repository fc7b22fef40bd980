// The command table compiled into the executable, checked against the dispatcher and against what
// the compiler needs of it: every row names a command the runtime has, every command has a row,
// and the rows that the compiler looks up by name have the shape it relies on.
//
// The table is read here by a parser of its own, written from the line format, so that a fault in
// the compiler's loader cannot hide a fault in the table.
#include <gtest/gtest.h>

#include <algorithm>
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
  std::string letters;    // value functions: the result letter first
  int line = 0;           // line of the table text, for the messages
  bool function = false;  // a value function, else a statement
};

std::string Lowered(std::string_view text, unsigned char lowest) {
  std::string out;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= lowest) out += c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
  return out;
}

// The table's line format: lines beginning with ";" and blank lines are skipped; a row is the
// name, "%", the number (blanks ignored), "%", the letters; a name ending with "[" is a value
// function. Lines end at LF, CR LF or CR.
std::vector<Row> ParseTable(std::string_view text) {
  std::vector<Row> rows;
  int lineNumber = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    std::string_view line = text.substr(pos, end - pos);
    ++lineNumber;
    pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    while (!line.empty() && static_cast<unsigned char>(line.front()) < 32) line.remove_prefix(1);
    if (line.empty() || line.front() == ';') continue;
    const size_t nameEnd = line.find('%');
    const size_t numberEnd = nameEnd == std::string_view::npos ? nameEnd : line.find('%', nameEnd + 1);
    if (numberEnd == std::string_view::npos) {
      ADD_FAILURE() << "table line " << lineNumber << " has not two '%': " << line;
      continue;
    }
    std::string number(line.substr(nameEnd + 1, numberEnd - nameEnd - 1));
    std::erase(number, ' ');
    if (number.empty() || number.find_first_not_of("-0123456789") != std::string::npos) {
      ADD_FAILURE() << "table line " << lineNumber << " has no number: " << line;
      continue;
    }
    Row row{Lowered(line.substr(0, nameEnd), 0), std::stoi(number), Lowered(line.substr(numberEnd + 1), 33),
            lineNumber};
    row.function = !row.name.empty() && row.name.back() == '[';
    if (row.function) row.name.pop_back();
    rows.push_back(row);
  }
  return rows;
}

const std::set<std::string> kBlockKeywords = {"if",  "else",  "endif",    "do",     "exit", "loop",
                                              "for", "next", "while", "endwhile", "repeat", "until"};
// Block keywords for which the compiler emits no command.
const std::set<std::string> kNoCodeKeywords = {"endif", "do", "repeat"};
const std::set<std::string> kOperators = {"^", "/", "*", "+", "-", ">=", "<=", ">", "<", "==", "!", "&", "|"};

// Numbers the compiler writes by itself: a user function call, a function declaration's head and
// the two conversions between integer and float.
const std::set<int> kCompilerOwnNumbers = {21, 26, 154, 155};

// Rows of commands whose runtime is not built yet. Each leaves this list with the issue that
// builds it.
const std::set<int> kNotBuiltYet = {};

class CommandTableTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterAllCommands();
    const win::ResourceBlob* blob = win::FindResourceBlob("23", 214);
    ASSERT_NE(blob, nullptr);
    rows_ = ParseTable(std::string_view(reinterpret_cast<const char*>(blob->data), blob->size));
  }
  static std::vector<Row> Rows(bool functions) {
    std::vector<Row> rows;
    for (const Row& row : rows_)
      if (row.function == functions) rows.push_back(row);
    return rows;
  }
  static const Row* LastStatement(const std::string& name) {
    const Row* found = nullptr;
    for (const Row& row : rows_)
      if (!row.function && row.name == name) found = &row;
    return found;
  }
  static inline std::vector<Row> rows_;  // statements and value functions in table order
};

// The compiler's own loader reads the same rows in the same order.
TEST_F(CommandTableTest, CompilersLoaderAgrees) {
  ResetCompiler();
  ASSERT_EQ(LoadCommandTable(), 1);
  const auto agree = [](const std::vector<CommandEntry>& loaded, const std::vector<Row>& parsed) {
    ASSERT_EQ(loaded.size(), parsed.size());
    for (size_t i = 0; i < parsed.size(); ++i) {
      EXPECT_EQ(loaded[i].name, parsed[i].name) << "table line " << parsed[i].line;
      EXPECT_EQ(loaded[i].number, parsed[i].number) << "table line " << parsed[i].line;
      EXPECT_EQ(loaded[i].parameters, parsed[i].letters) << "table line " << parsed[i].line;
    }
  };
  agree(gCompiler.statements, Rows(false));
  agree(gCompiler.valueFunctions, Rows(true));
  FreeCompilerTables();
}

TEST_F(CommandTableTest, TableFitsTheCompilersLimits) {
  EXPECT_GT(Rows(false).size(), 0u);
  EXPECT_LE(Rows(false).size(), 768u);
  EXPECT_GT(Rows(true).size(), 0u);
  EXPECT_LE(Rows(true).size(), 512u);
  for (const Row& row : rows_) {
    EXPECT_FALSE(row.name.empty()) << "line " << row.line;
    EXPECT_LT(row.name.size(), 256u) << row.name;
    EXPECT_LE(row.letters.size(), 32u) << row.name;
    EXPECT_GT(row.number, 0) << row.name;
    EXPECT_LT(row.number, kCommandLimit) << row.name;
  }
}

TEST_F(CommandTableTest, LettersAreTheKnownTypesInTheirPlaces) {
  for (const Row& row : Rows(false)) {
    const std::string& p = row.letters;
    ASSERT_FALSE(p.empty()) << row.name << ": a statement without parameters is written with the letter 0";
    EXPECT_EQ(p.find_first_not_of("lfsza0e"), std::string::npos) << row.name << " " << p;
    // "0" and "e" speak for the whole row, so they stand alone and first.
    for (char whole : {'0', 'e'})
      EXPECT_TRUE(p.find(whole) == std::string::npos || p.size() == 1) << row.name << " " << p;
    // A label reference is recorded at its command's first operand word.
    const size_t label = p.find('a');
    EXPECT_TRUE(label == std::string::npos || (label == 0 && p.find('a', 1) == std::string::npos))
        << row.name << " " << p;
  }
  for (const Row& row : Rows(true)) {
    ASSERT_FALSE(row.letters.empty()) << row.name << ": a value function needs its result letter";
    // Value functions take values only: no labels, and no row that takes its text as it stands.
    EXPECT_EQ(row.letters.find_first_not_of("lfsz"), std::string::npos) << row.name << " " << row.letters;
  }
}

TEST_F(CommandTableTest, EveryRowNamesACommandTheRuntimeHas) {
  for (const Row& row : rows_) {
    // Rows that emit no command need no handler: text taken as it stands, and the block
    // keywords without code.
    if (row.letters == "e" || kNotBuiltYet.count(row.number)) continue;
    if (kNoCodeKeywords.count(row.name) && &row == LastStatement(row.name)) continue;
    EXPECT_NE(HandlerOf(row.number), nullptr)
        << "\"" << row.name << "\" (table line " << row.line << ") names command " << row.number
        << ", which the dispatcher does not have";
  }
  // Once a command is built its row is checked like any other.
  for (int number : kNotBuiltYet) EXPECT_EQ(HandlerOf(number), nullptr) << number << " is built now";
}

TEST_F(CommandTableTest, EveryCommandOfTheRuntimeHasARow) {
  std::set<int> named;
  for (const Row& row : rows_) named.insert(row.number);
  for (int number = 1; number < kCommandLimit; ++number)
    EXPECT_TRUE(HandlerOf(number) == nullptr || kCompilerOwnNumbers.count(number) || named.count(number))
        << "command " << number << " has a handler but no row in the table";
}

TEST_F(CommandTableTest, RowsOfOneNameStandTogether) {
  for (const bool functions : {false, true}) {
    const std::vector<Row> table = Rows(functions);
    std::map<std::string, int> closedAt;  // name -> line of the row after its group
    for (size_t i = 0; i < table.size(); ++i) {
      const Row& row = table[i];
      const auto closed = closedAt.find(row.name);
      EXPECT_TRUE(closed == closedAt.end()) << "\"" << row.name << "\" at table line " << row.line
                                            << " stands apart from its rows before line " << closed->second;
      if (i + 1 == table.size() || table[i + 1].name != row.name) closedAt[row.name] = row.line + 1;
    }
  }
}

TEST_F(CommandTableTest, CompilerFindsEveryRowItRequires) {
  std::set<std::string> functionNames;
  for (const Row& row : Rows(true)) functionNames.insert(row.name);
  for (const char* name : {"if", "else", "endif", "do", "exit", "loop", "for", "next", "while", "endwhile", "repeat",
                           "until", "=", "@=", "dim", "undim", "data", "restore", "print", "printc", "read", "input",
                           "end", "#include", "function", "endfunction", "goto", "gosub", "return"})
    EXPECT_NE(LastStatement(name), nullptr) << "no statement row \"" << name << "\"";
  for (const std::string& name : kOperators) EXPECT_TRUE(functionNames.count(name)) << "no row \"" << name << "\"";
  EXPECT_TRUE(functionNames.count("@")) << "no array element row";
  // Rows whose text the statement compiler takes as it stands.
  for (const char* name : {"#include", "data"})
    EXPECT_EQ(LastStatement(name) ? LastStatement(name)->letters : "e", "e") << name;
}

TEST_F(CommandTableTest, BlockKeywordsHaveTheirOwnNumbersAndOperandCounts) {
  // The engine counts a fixed number of code words for each keyword's command, so its parameter
  // count is fixed too; "0" stands for none.
  const std::map<std::string, size_t> parameterCount = {
      {"if", 1},  {"else", 0}, {"endif", 0}, {"do", 0},       {"exit", 0},   {"loop", 0},
      {"for", 3}, {"next", 1}, {"while", 1}, {"endwhile", 0}, {"repeat", 0}, {"until", 1}};
  std::map<int, std::string> keywordOfNumber;
  for (const std::string& keyword : kBlockKeywords) {
    const Row* row = LastStatement(keyword);
    if (!row) continue;  // reported by CompilerFindsEveryRowItRequires
    const auto [it, fresh] = keywordOfNumber.emplace(row->number, keyword);
    EXPECT_TRUE(fresh) << keyword << " and " << it->second << " share command " << row->number;
    EXPECT_EQ(row->letters == "0" ? 0 : row->letters.size(), parameterCount.at(keyword))
        << keyword << " " << row->letters;
  }
  // Any statement row with a keyword's number is taken for that keyword.
  for (const Row& row : Rows(false)) {
    const auto keyword = keywordOfNumber.find(row.number);
    EXPECT_EQ(row.name, keyword == keywordOfNumber.end() ? row.name : keyword->second)
        << "table line " << row.line << " carries the number of a block keyword";
  }
}

TEST_F(CommandTableTest, ArrayElementRowsFormOneGroup) {
  const std::vector<Row> functions = Rows(true);
  const auto isElement = [](const Row& r) { return r.name.front() == '@'; };
  const auto first = std::find_if(functions.begin(), functions.end(), isElement);
  ASSERT_NE(first, functions.end());
  const auto last = std::find_if(first, functions.end(), [](const Row& r) { return r.name != "@"; });
  EXPECT_EQ(std::find_if(last, functions.end(), isElement), functions.end())
      << "a row beginning with @ stands apart from the group that starts at table line " << first->line;
}

// A value function is found in an expression by the name before its "(", which must end in a
// letter, digit, "$" or "#"; a statement by its words. Neither may hold what the compilers cut at.
TEST_F(CommandTableTest, NamesCompileWhereTheyAreUsed) {
  const auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const auto plain = [&](const std::string& name, bool function) {
    if (!lower(name.front()) || name.find("  ") != std::string::npos || name.back() == ' ') return false;
    const char last = name.back();
    if (function && !(lower(last) || digit(last) || last == '$' || last == '#')) return false;
    return std::all_of(name.begin(), name.end(), [&](char c) {
      return lower(c) || digit(c) || c == ' ' || c == '_' || c == '$' || c == '#';
    });
  };
  const std::set<std::string> symbols = {"@", "=", "@=", "#include"};
  for (const Row& row : rows_)
    EXPECT_TRUE(symbols.count(row.name) || kOperators.count(row.name) || plain(row.name, row.function))
        << "\"" << row.name << "\"";
}

}  // namespace
}  // namespace vx
