// Text helpers of the compiler: trimming, cutting statements into words and arguments, and
// folding a source line to the form the compiler reads.
#include "compiler/internal.h"

namespace vx::compiler {

namespace {

// Blanks and control bytes, but not the compiler's own marker.
bool IsSpace(char c) { return static_cast<unsigned char>(c) <= 32 && c != kMarker; }

}  // namespace

std::string_view TrimLeft(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  return text.substr(i);
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  size_t n = text.size();
  while (n > 0 && IsSpace(text[n - 1])) --n;
  return text.substr(0, n);
}

size_t FindCallOpen(std::string_view text) {
  for (QuoteScanner s(text); !s.Done(); s.NextOf('('))
    if (s.Char() == '(' && !s.InLiteral() && s.Position() > 0 && OpensGroup(text[s.Position() - 1]))
      return s.Position();
  return std::string_view::npos;
}

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  SplitWords(text, words);
  return words;
}

void SplitWords(std::string_view text, std::vector<std::string_view>& words) {
  words.clear();
  size_t start = std::string_view::npos;
  for (QuoteScanner s(text); !s.Done(); s.Next()) {
    const char ch = s.Char();
    if (s.InLiteral() || (ch != ' ' && ch != ':')) {
      if (start == std::string_view::npos) start = s.Position();
      continue;
    }
    if (start != std::string_view::npos) words.push_back(text.substr(start, s.Position() - start));
    start = std::string_view::npos;
    if (ch == ':') words.push_back(text.substr(s.Position(), 1));
  }
  if (start != std::string_view::npos) words.push_back(text.substr(start));
}

std::string JoinWords(const std::vector<std::string_view>& words, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to && i < words.size(); ++i) {
    if (i > from) out += ' ';
    out.append(words[i]);
  }
  return out;
}

std::string_view BeforeColon(std::string_view text) {
  const size_t colon = FindOutside(text, ':');
  return colon == std::string_view::npos ? text : text.substr(0, colon);
}

std::string_view AfterColon(std::string_view text) {
  const size_t colon = FindOutside(text, ':');
  return colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
}

int SplitArguments(std::string_view text, std::vector<std::string_view>& items) {
  items.clear();
  text = Trim(text);
  if (text.empty()) return 0;
  SplitOutside(text, ',', items);
  if (int(items.size()) > kMaxArguments) {
    items.clear();
    Fail(msg::kTooManyArguments);
    return -1;
  }
  for (std::string_view& item : items) item = Trim(item);
  return int(items.size());
}

namespace {

// Outside string literals: A to Z become lower case and control bytes blanks.
struct FoldTable {
  char map[256];
  constexpr FoldTable() : map() {
    for (int i = 0; i < 256; ++i) map[i] = char(i);
    for (int i = 1; i < 32; ++i) map[i] = ' ';
    for (int i = 'A'; i <= 'Z'; ++i) map[i] = char(i - 'A' + 'a');
  }
};
constexpr FoldTable kFold;

}  // namespace

void FoldLine(std::string_view line, std::string& out) {
  out.resize(line.size());
  char* to = out.data();
  size_t n = 0;
  for (QuoteScanner s(line); !s.Done(); s.Next(), ++n) {
    const char ch = s.Char();
    if (ch == '\0') break;  // the text of a line ends at a zero byte
    to[n] = s.InLiteral() ? ch : kFold.map[static_cast<unsigned char>(ch)];
  }
  out.resize(n);
}

}  // namespace vx::compiler
