// The one way the compiler reads a text around string literals and parentheses. A double quote
// opens a string literal that the next one closes (a literal left open runs to the end of the
// text); outside literals, parentheses nest. Every search, split and bracket match of the source
// reader, the statement compiler and the expression compiler goes through this scanner, so they
// all agree on what stands inside what.
//
// Depends on nothing but the standard library.
#pragma once
#include <cstddef>
#include <string_view>
#include <vector>

namespace vx::compiler {

// Walks a text one character at a time. A scan may start part-way into a text only at a
// character that stands outside literals and parentheses.
class QuoteScanner {
 public:
  explicit QuoteScanner(std::string_view text, size_t from = 0) : text_(text), pos_(from) { Classify(); }

  bool Done() const { return pos_ >= text_.size(); }
  size_t Position() const { return pos_; }
  char Char() const { return text_[pos_]; }
  // The character belongs to a string literal, its quotes included.
  bool InLiteral() const { return literal_; }
  // How many parentheses enclose the character; a group's own parentheses stand outside it.
  int Depth() const { return level_; }
  // Outside literals and parentheses.
  bool AtTop() const { return !literal_ && level_ == 0; }
  // Closing parentheses so far that closed nothing (they leave the depth at 0).
  int StrayClosers() const { return stray_; }
  // Parentheses opened so far and not yet closed.
  int OpenGroups() const { return depth_; }

  void Next() {
    Apply();
    ++pos_;
    Classify();
  }
  // On to the next c, or the next character that may change the state (a quote or a
  // parenthesis): the characters between change nothing, so they are passed over at once.
  void NextOf(char c) {
    Apply();
    for (++pos_; pos_ < text_.size(); ++pos_) {
      const char ch = text_[pos_];
      if (ch == c || ch == '"' || ch == '(' || ch == ')') break;
    }
    Classify();
  }
  // From a "(" outside literals, on to the ")" that closes it; false when the text ends first.
  bool SkipGroup();

 private:
  void Classify() {
    if (Done()) return;
    const char c = text_[pos_];
    literal_ = quote_ || c == '"';
    level_ = (!literal_ && c == ')' && depth_ > 0) ? depth_ - 1 : depth_;
  }
  void Apply() {
    const char c = text_[pos_];
    if (literal_) {
      if (c == '"') quote_ = !quote_;
    } else if (c == '(') {
      ++depth_;
    } else if (c == ')') {
      if (depth_ > 0)
        --depth_;
      else
        ++stray_;
    }
  }

  std::string_view text_;
  size_t pos_;
  bool quote_ = false;  // a literal is open before the current character
  int depth_ = 0;       // parentheses open before the current character
  bool literal_ = false;
  int level_ = 0;
  int stray_ = 0;
};

// Where a search looks: outside string literals only, or outside parentheses too.
enum class Outside { kLiterals, kLiteralsAndGroups };

// Position of the first c (or the first character of word) at or after from that stands where
// asked; npos when none.
size_t FindOutside(std::string_view text, char c, Outside where = Outside::kLiterals, size_t from = 0);
size_t FindOutside(std::string_view text, std::string_view word, Outside where, size_t from = 0);
// Position of the last such c; npos when none.
size_t FindLastOutside(std::string_view text, char c, Outside where = Outside::kLiterals);
// The ")" that closes the "(" at open; npos when the text ends first.
size_t MatchingBracket(std::string_view text, size_t open);
// The pieces between separators that stand outside literals and parentheses: n separators give
// n + 1 pieces, an empty text one empty piece.
void SplitOutside(std::string_view text, char separator, std::vector<std::string_view>& pieces);
// Every "(" outside literals has its ")" and every ")" its "(".
bool BracketsBalance(std::string_view text);

}  // namespace vx::compiler
