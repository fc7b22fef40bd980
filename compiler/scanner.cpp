// Searches, splits and bracket matches over the quote-and-bracket scanner.
#include "compiler/scanner.h"

namespace vx::compiler {

namespace {

bool Placed(const QuoteScanner& s, Outside where) { return where == Outside::kLiterals ? !s.InLiteral() : s.AtTop(); }

}  // namespace

bool QuoteScanner::SkipGroup() {
  const int level = level_;
  for (Next(); !Done(); Next())
    if (!literal_ && Char() == ')' && level_ == level) return true;
  return false;
}

size_t FindOutside(std::string_view text, char c, Outside where, size_t from) {
  for (QuoteScanner s(text, from); !s.Done(); s.NextOf(c))
    if (s.Char() == c && Placed(s, where)) return s.Position();
  return std::string_view::npos;
}

size_t FindOutside(std::string_view text, std::string_view word, Outside where, size_t from) {
  if (word.empty()) return std::string_view::npos;
  for (QuoteScanner s(text, from); !s.Done(); s.Next())
    if (s.Char() == word[0] && Placed(s, where) && text.substr(s.Position(), word.size()) == word) return s.Position();
  return std::string_view::npos;
}

size_t FindLastOutside(std::string_view text, char c, Outside where) {
  size_t last = std::string_view::npos;
  for (QuoteScanner s(text); !s.Done(); s.NextOf(c))
    if (s.Char() == c && Placed(s, where)) last = s.Position();
  return last;
}

size_t MatchingBracket(std::string_view text, size_t open) {
  QuoteScanner s(text, open);
  if (s.Done() || s.Char() != '(' || s.InLiteral()) return std::string_view::npos;
  return s.SkipGroup() ? s.Position() : std::string_view::npos;
}

void SplitOutside(std::string_view text, char separator, std::vector<std::string_view>& pieces) {
  pieces.clear();
  pieces.reserve(8);
  size_t start = 0;
  for (QuoteScanner s(text); !s.Done(); s.NextOf(separator)) {
    if (s.Char() != separator || !s.AtTop()) continue;
    pieces.push_back(text.substr(start, s.Position() - start));
    start = s.Position() + 1;
  }
  pieces.push_back(text.substr(start));
}

bool BracketsBalance(std::string_view text) {
  QuoteScanner s(text);
  while (!s.Done()) s.Next();
  return s.StrayClosers() == 0 && s.OpenGroups() == 0;
}

}  // namespace vx::compiler
