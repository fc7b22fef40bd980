// The compiler's reading of the command table: the line format, the two tables and their limits,
// the array-element group, the block keywords, and the name lookups the error report uses.
#include <gtest/gtest.h>

#include <string>

#include "compiler/compiler.h"

namespace vx {
namespace {

class TableLoaderTest : public ::testing::Test {
 protected:
  void TearDown() override { LoadCommandTable(); }
};

TEST_F(TableLoaderTest, ReadsTheLineFormat) {
  ASSERT_EQ(LoadCommandTableFromText("; a comment\r\n\r\nSome Name%1 2%L F\n\tABS[%368%FF\rlast%7%0\nno fields here\n"
                                     "one%5\n"),
            1);
  const auto& s = gCompiler.statements;
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].name, "some name");
  EXPECT_EQ(s[0].number, 12);
  EXPECT_EQ(s[0].parameters, "lf");
  EXPECT_EQ(s[1].name, "last");
  EXPECT_EQ(s[1].parameters, "0");
  ASSERT_EQ(gCompiler.valueFunctions.size(), 1u);
  EXPECT_EQ(gCompiler.valueFunctions[0].name, "abs");
  EXPECT_EQ(gCompiler.valueFunctions[0].number, 368);
  EXPECT_EQ(gCompiler.valueFunctions[0].parameters, "ff");
  EXPECT_EQ(gCompiler.arrayGroupStart, -1);
}

TEST_F(TableLoaderTest, RowsBeyondTheTablesAreLeftOut) {
  std::string text;
  for (int i = 0; i < 770; ++i) text += "s" + std::to_string(i) + "%" + std::to_string(1000 + i) + "%0\n";
  for (int i = 0; i < 514; ++i) text += "f" + std::to_string(i) + "[%" + std::to_string(3000 + i) + "%l\n";
  ASSERT_EQ(LoadCommandTableFromText(text), 1);
  EXPECT_EQ(gCompiler.statements.size(), 768u);
  EXPECT_EQ(gCompiler.statements.back().name, "s767");
  EXPECT_EQ(gCompiler.valueFunctions.size(), 512u);
  EXPECT_EQ(gCompiler.valueFunctions.back().name, "f511");
}

TEST_F(TableLoaderTest, ArrayGroupAndBlockKeywords) {
  // The first "@" row starts the array group.
  ASSERT_EQ(LoadCommandTableFromText("len[%234%ls\n@[%661%lll\n@[%662%llll\n@x[%9%l\n"), 1);
  EXPECT_EQ(gCompiler.arrayGroupStart, 1);
  // A block keyword takes the number of its last row, and every row with a keyword's number is
  // taken for a block keyword.
  ASSERT_EQ(LoadCommandTableFromText("if%90%l\nif%1%l\nendif%3%0\nother%1%0\nfoo%2%0\n"), 1);
  EXPECT_EQ(gCompiler.blockNumbers[0], 1);
  EXPECT_EQ(gCompiler.blockNumbers[2], 3);
  EXPECT_EQ(gCompiler.blockNumbers[1], 0);  // no else row
  EXPECT_EQ(gCompiler.blockKeywordRow, (std::vector<uint8_t>{0, 1, 1, 1, 0}));
  // The embedded table has them all.
  ASSERT_EQ(LoadCommandTable(), 1);
  EXPECT_GE(gCompiler.arrayGroupStart, 0);
  for (int k = 0; k < 12; ++k) EXPECT_EQ(gCompiler.blockNumbers[size_t(k)], k + 1) << k;
  // The row whose any-type results follow its first parameter takes no values.
  ASSERT_GT(gCompiler.statements.size(), 31u);
  EXPECT_EQ(gCompiler.statements[31].parameters, "e");
}

TEST_F(TableLoaderTest, NamesOfCommandsForTheErrorReport) {
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
}  // namespace vx
