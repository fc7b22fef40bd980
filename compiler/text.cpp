// Text helpers of the compiler: trimming, searching outside string literals, cutting statements
// into words and arguments, and folding a source line to the form the compiler reads.
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

size_t FindOutside(std::string_view text, char c, bool outsideParentheses) {
  bool inString = false;
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (ch == '"') {
      inString = !inString;
      continue;
    }
    if (inString) continue;
    if (ch == c && (!outsideParentheses || depth == 0)) return i;
    if (ch == '(') ++depth;
    if (ch == ')' && depth > 0) --depth;
  }
  return std::string_view::npos;
}

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    if (text[i] == ':') {
      words.push_back(text.substr(i, 1));
      ++i;
      continue;
    }
    const size_t start = i;
    bool inString = false;
    while (i < text.size()) {
      const char ch = text[i];
      if (ch == '"') inString = !inString;
      if (!inString && (ch == ' ' || ch == ':')) break;
      ++i;
    }
    words.push_back(text.substr(start, i - start));
  }
  return words;
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
  bool inString = false;
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char ch = i < text.size() ? text[i] : ',';
    if (ch == '"') inString = !inString;
    if (inString && i < text.size()) continue;
    if (ch == '(') ++depth;
    if (ch == ')' && depth > 0) --depth;
    if (ch == ',' && (depth == 0 || i == text.size())) {
      if (int(items.size()) >= kMaxArguments) {
        Fail(msg::kTooManyArguments);
        return -1;
      }
      items.push_back(Trim(text.substr(start, i - start)));
      start = i + 1;
    }
  }
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
  bool inString = false;
  size_t n = 0;
  for (; n < line.size(); ++n) {
    const char ch = line[n];
    if (ch == '\0') break;  // the text of a line ends at a zero byte
    if (ch == '"') inString = !inString;
    to[n] = inString ? ch : kFold.map[static_cast<unsigned char>(ch)];
  }
  out.resize(n);
}

}  // namespace vx::compiler
