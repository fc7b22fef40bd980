// The quote-and-bracket scanner that every search, split and bracket match of the compiler uses:
// a literal hides parentheses, separators and quotes' partners; a literal left open runs to the
// end; a stray ")" closes nothing and hides nothing after it.
#include <gtest/gtest.h>

#include "compiler/scanner.h"

namespace vx::compiler {
namespace {

constexpr size_t npos = std::string_view::npos;

TEST(ScannerTest, LiteralsHideParenthesesAndSeparators) {
  EXPECT_EQ(FindOutside(R"~(a$ = ":" : b = 1)~", ':'), 9u);
  EXPECT_EQ(FindOutside(R"~(f(a, ")"), b)~", ',', Outside::kLiteralsAndGroups), 9u);
  EXPECT_EQ(FindOutside(R"~(x = " and " and y)~", " and ", Outside::kLiterals), 11u);
  EXPECT_EQ(FindLastOutside(R"~(f(")") + 1)~", ')'), 5u);
  EXPECT_EQ(MatchingBracket(R"~(len(")") * 2)~", 3), 7u);
  EXPECT_EQ(MatchingBracket(R"~(a(b(")"), 1) = 5)~", 1), 11u);
  EXPECT_EQ(MatchingBracket("f((1)", 1), npos);
  std::vector<std::string_view> pieces;
  SplitOutside(R"~(1, "a,b", f(2, 3), "(")~", ',', pieces);
  EXPECT_EQ(pieces, (std::vector<std::string_view>{"1", R"~( "a,b")~", " f(2, 3)", R"~( "(")~"}));
  SplitOutside("", ',', pieces);
  EXPECT_EQ(pieces, (std::vector<std::string_view>{""}));
}

TEST(ScannerTest, OpenLiteralsAndStrayClosersAreReported) {
  EXPECT_TRUE(BracketsBalance(R"~(f(")(") + (1))~"));
  EXPECT_FALSE(BracketsBalance("(1"));
  EXPECT_FALSE(BracketsBalance("1)"));
  EXPECT_TRUE(BracketsBalance(R"~(a = "(())~"));  // the literal is open to the end
  EXPECT_EQ(FindOutside(R"~(a = "open : b = 1)~", ':'), npos);
  // A stray ")" leaves the depth at 0, so what follows still stands outside groups.
  EXPECT_EQ(FindOutside("a), b", ',', Outside::kLiteralsAndGroups), 2u);
}

TEST(ScannerTest, AGroupsOwnParenthesesStandOutsideIt) {
  const std::string_view text = R"~(f(x, "(") + g)~";
  std::string depths, literal;
  for (QuoteScanner s(text); !s.Done(); s.Next()) {
    depths += char('0' + s.Depth());
    literal += s.InLiteral() ? 'L' : '.';
  }
  EXPECT_EQ(depths, "0011111100000");
  EXPECT_EQ(literal, ".....LLL.....");
}

}  // namespace
}  // namespace vx::compiler
