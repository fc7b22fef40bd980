// Source reading: the "end" line and the #include files appended once each after the main text
// (regular files only, the whole text within a size limit, no zero bytes in its lines), the
// function pre-scan that learns every user function before anything is compiled, the line loop
// that feeds the statement compiler, and which file a line of the line table stands in. Lines end
// at CR LF, a lone LF or a lone CR.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "compiler/compiler.h"
#include "compiler/internal.h"
#include "platform/win/files.h"

namespace vx::compiler {

namespace {

// Walks the lines of a text that may grow while it is walked.
class LineWalker {
 public:
  explicit LineWalker(const std::string& text, size_t from = 0) : text_(text), pos_(from) {}
  // The next line's bytes (without its line break); false at the end of the text.
  bool Next(size_t& start, size_t& end) {
    if (pos_ >= text_.size()) return false;
    start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
    end = pos_;
    if (pos_ < text_.size()) {
      if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
      ++pos_;
    }
    return true;
  }

 private:
  const std::string& text_;
  size_t pos_;
};

// The characters of a line that the compiler reads: up to a zero byte.
size_t LineLength(const std::string& text, size_t start, size_t end) {
  const void* zero = std::memchr(text.data() + start, 0, end - start);
  return zero ? size_t(static_cast<const char*>(zero) - (text.data() + start)) : end - start;
}

std::string LowerAscii(std::string text) {
  for (char& ch : text)
    if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
  return text;
}

// The path an include name stands for: relative names from the include folder (the source's own
// folder unless set), spelt as the file system spells it, lower case for comparing.
std::string IncludePath(const std::string& name) {
  const CompilerContext& c = gCompiler;
  std::string path = name;
  for (char& ch : path)
    if (ch == '\\') ch = '/';
  if (path.empty() || path[0] != '/') {
    std::string folder = c.includeFolder;
    if (folder.empty()) {
      const size_t slash = c.sourceName.find_last_of("/\\");
      folder = slash == std::string::npos ? std::string() : c.sourceName.substr(0, slash + 1);
    }
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    path = folder + path;
  }
  return std::filesystem::path(win::ResolvePath(path)).lexically_normal().string();
}

int IncludeOfLine(int line) {
  const auto& includes = gCompiler.includes;
  for (size_t i = 0; i < includes.size(); ++i)
    if (line >= includes[i].firstLine && line <= includes[i].lastLine) return int(i);
  return -1;
}

int IncludeOfPosition(size_t position) {
  const auto& includes = gCompiler.includes;
  for (size_t i = 0; i < includes.size(); ++i)
    if (position >= includes[i].start && position < includes[i].end) return int(i);
  return -1;
}

// A failure is reported at its own line; the file that holds the line tells where it stands
// (LocateSourceLine), an included file too.
void ReportAt(int line) { gCompiler.errorLine = line; }

// Appends the file's bytes, ending them with a line break when they have none; false after
// message 54 naming the file as the #include wrote it.
bool AppendIncludeFile(const std::string& path, std::string_view written) {
  CompilerContext& c = gCompiler;
  const size_t before = c.expanded.size();
  if (!AppendSourceFile(path, written, msg::kIncludeUnreadable, c.expanded)) return false;
  if (c.expanded.size() > before && c.expanded.back() != '\r' && c.expanded.back() != '\n') c.expanded += "\r\n";
  return true;
}

// The position of the zero byte that closes the main text (see ReadSourceFile), npos when none.
size_t ClosingZeroByte() {
  const std::string& source = gCompiler.source;
  return source.size() >= 3 && source.compare(source.size() - 3, 3, std::string_view("\0\r\n", 3)) == 0
             ? source.size() - 3
             : std::string::npos;
}

// Line ranges of the included texts, from the first lines met by the walk.
void FinishIncludeRanges(int lastLine) {
  auto& includes = gCompiler.includes;
  int nextFirst = lastLine + 1;
  for (size_t i = includes.size(); i-- > 0;) {
    IncludeRecord& r = includes[i];
    if (r.end == r.start || r.firstLine == 0) {
      r.firstLine = 0;
      r.lastLine = -1;
      continue;
    }
    r.lastLine = nextFirst - 1;
    nextFirst = r.firstLine;
  }
}

// Builds the expanded text; returns M, or a negative number after a failure (message 42 for too
// many includes, 41 for a long line, 54 for an include that cannot be read, 58 for a zero byte).
// The line of a failure is left in the context's line number.
int ExpandIncludes() {
  CompilerContext& c = gCompiler;
  c.expanded = c.source;
  c.expanded += "end\r\n";
  c.includes.clear();
  c.mainLineCount = 1 << 30;  // until the walk leaves the main text
  const size_t mainEnd = c.expanded.size();
  std::vector<std::string> names;
  if (!c.sourceName.empty()) names.push_back(LowerAscii(IncludePath(c.sourceName)));
  LineWalker walker(c.expanded);
  size_t start = 0, end = 0;
  int line = 0;
  std::string folded;
  size_t nextInclude = 0;  // the next include whose first line is still to be met
  const size_t closingZero = ClosingZeroByte();
  int result = 0;
  while (walker.Next(start, end)) {
    ++line;
    if (start >= mainEnd && c.mainLineCount > line) c.mainLineCount = line;
    for (; nextInclude < c.includes.size() && c.includes[nextInclude].start <= start; ++nextInclude)
      if (c.includes[nextInclude].end > c.includes[nextInclude].start) c.includes[nextInclude].firstLine = line;
    const std::string_view raw = std::string_view(c.expanded).substr(start, end - start);
    const size_t length = LineLength(c.expanded, start, end);
    // A zero byte would silently end the line (and could hide an #include): the text is no source.
    if (length < raw.size() && start + length != closingZero) {
      FoldLine(raw, folded);
      Fail(msg::kZeroByte);
      result = -4;
      break;
    }
    if (length >= kMaxLineLength) {
      FoldLine(raw, folded);
      Fail(msg::kLongLineInclude);
      result = -2;
      break;
    }
    if (raw.find('#') == std::string_view::npos) continue;  // no #include on this line
    FoldLine(raw, folded);
    const std::string_view text = TrimLeft(folded);
    if (text.substr(0, 9) != "#include ") continue;
    // The first blank-delimited word, without blanks and quotes at its ends.
    std::string_view word = TrimLeft(text.substr(9));
    word = word.substr(0, std::min(word.size(), word.find(' ')));
    while (!word.empty() && word.front() == '"') word.remove_prefix(1);
    while (!word.empty() && word.back() == '"') word.remove_suffix(1);
    if (word.empty()) continue;
    // The name as written: inside quotes it keeps its case, and the file layer matches either.
    const size_t nameAt = size_t(word.data() - folded.data());
    const std::string path = IncludePath(c.expanded.substr(start + nameAt, word.size()));
    const std::string key = LowerAscii(path);
    if (std::find(names.begin(), names.end(), key) != names.end()) continue;
    if (int(c.includes.size()) >= kMaxIncludeFiles) {
      Fail(msg::kTooManyIncludes);
      result = -1;
      break;
    }
    names.push_back(key);
    IncludeRecord record;
    record.path = path;
    record.includeLine = line;
    record.parent = start < mainEnd ? -1 : IncludeOfPosition(start);
    record.start = c.expanded.size();
    if (!AppendIncludeFile(path, c.expanded.substr(start + nameAt, word.size()))) {
      result = -3;
      break;
    }
    record.end = c.expanded.size();
    c.includes.push_back(record);
  }
  FinishIncludeRanges(line);
  c.totalLines = line;
  c.lineNumber = line;
  if (result < 0) return result;
  if (c.mainLineCount > line) c.mainLineCount = line + 1;
  return c.mainLineCount;
}

// Return types, again until none changes: a return may call a function declared later, whose
// type a later pass may still change. The functions whose values still fail in the last pass, in
// their order.
std::vector<UserFunction*> TypeReturnValues() {
  CompilerContext& c = gCompiler;
  std::vector<UserFunction*> failed;
  for (size_t pass = 0; pass <= c.functions.size(); ++pass) {
    bool changed = false;
    failed.clear();
    for (size_t i = 0; i < c.functions.size(); ++i) {
      UserFunction& f = c.functions[i];
      if (f.returnExpression.empty()) continue;
      c.lineNumber = f.returnLine;
      c.currentFunction = uint16_t(i + 1);
      Operand value;
      const bool ok = CompileExpression(f.returnExpression, value);
      c.currentFunction = 0;
      if (!ok) {
        failed.push_back(&f);
        c.failed = false;
        c.errorText.clear();
        continue;
      }
      const char type = value.type == 'z' ? 'l' : value.type;
      if (type != f.returnType) {
        f.returnType = type;
        changed = true;
      }
    }
    if (!changed) break;
  }
  return failed;
}

// A value that calls its own function fails while that function is taken to give an integer (and
// so may the values that call that function): a failing function may give a float or a string,
// when its value then gives that type. The functions that still fail, in their order.
std::vector<UserFunction*> TypeSelfCallingReturnValues() {
  constexpr int kMostTries = 64;  // types tried at most, so that a program of many faults fails soon
  std::vector<UserFunction*> failed = TypeReturnValues();
  for (int tries = 0; !failed.empty() && tries < kMostTries;) {
    bool typed = false;
    for (UserFunction* f : std::vector<UserFunction*>(failed)) {
      for (const char type : {'f', 's'}) {
        ++tries;
        f->returnType = type;
        std::vector<UserFunction*> again = TypeReturnValues();
        if (f->returnType == type && std::find(again.begin(), again.end(), f) == again.end()) {
          failed = std::move(again);
          typed = true;
          break;
        }
        f->returnType = 'l';
      }
      if (typed) break;
    }
    if (!typed) break;
  }
  return TypeReturnValues();
}

// The pre-scan: every function's name and parameters, then the types of their return values
// once every name is known. Lines of included files outside functions become comments. On a
// failure the context's line number is the line.
bool PrescanFunctions(int mainLineCount) {
  CompilerContext& c = gCompiler;
  LineWalker walker(c.expanded);
  size_t start = 0, end = 0;
  int line = 0;
  bool inDeclaration = false;
  int current = -1;
  int declarationLine = 0;
  std::string folded;
  while (walker.Next(start, end)) {
    ++line;
    c.lineNumber = line;
    bool partOfFunction = inDeclaration;
    // Only lines that begin with "function" or "endfunction" matter here.
    const std::string_view raw = TrimLeft(std::string_view(c.expanded).substr(start, end - start));
    const char first = raw.empty() ? 0 : char(raw[0] | 0x20);
    if (first != 'f' && first != 'e') {
      if (c.compileMode == 1 && line >= mainLineCount && !partOfFunction && end > start) c.expanded[start] = '`';
      continue;
    }
    FoldLine(raw, folded);
    const std::string_view text = folded;
    if (text.substr(0, 9) == "function ") {
      partOfFunction = true;
      inDeclaration = true;
      const std::string_view declaration = Trim(BeforeColon(text.substr(9)));
      if (declaration.empty()) return Fail(msg::kBadDeclaration);
      const size_t open = FindOutside(declaration, '(');
      const size_t close = FindLastOutside(declaration, ')');
      const std::string_view name = Trim(declaration.substr(0, open));
      if (!IsVariableName(name)) return Fail(msg::kBadDeclaration);
      std::string letters;
      if (open != std::string_view::npos) {
        if (close == std::string_view::npos || close < open || !Trim(declaration.substr(close + 1)).empty())
          return Fail(msg::kBadDeclaration);
        std::vector<std::string_view> items;
        if (SplitArguments(declaration.substr(open + 1, close - open - 1), items) < 0) return false;
        bool bad = false;
        for (std::string_view item : items) {
          if (!IsVariableName(item)) bad = true;  // every parameter is tried first
          letters += TypeOfName(item);
        }
        if (bad) return Fail(msg::kBadDeclaration);
      }
      const bool known = FindUserFunction(name) >= 0;
      current = AddUserFunction(name, letters);
      if (current < 0) return false;
      if (!known) c.functions[size_t(current)].line = line;
      declarationLine = line;
    } else if (text.substr(0, 11) == "endfunction" && (text.size() == 11 || text[11] == ' ')) {
      if (!inDeclaration) return Fail(msg::kEndfunctionOutside);
      partOfFunction = true;
      inDeclaration = false;
      UserFunction& f = c.functions[size_t(current)];
      if (f.returnLine == 0) {  // a second declaration of the name keeps the first one's type
        f.returnExpression = std::string(Trim(BeforeColon(text.substr(11))));
        f.returnLine = line;
      }
    }
    if (c.compileMode == 1 && line >= mainLineCount && !partOfFunction && end > start) c.expanded[start] = '`';
  }
  c.totalLines = line;
  if (inDeclaration) {  // the file ends inside a function
    c.lineNumber = declarationLine;
    return Fail(msg::kNoEndfunction, c.functions[size_t(current)].name);
  }

  const std::vector<UserFunction*> failed = TypeSelfCallingReturnValues();
  if (!failed.empty()) {
    c.lineNumber = failed.front()->returnLine;
    return Fail(msg::kBadReturn);
  }
  return true;
}

// The expanded text without its zero bytes, for the numbered listing.
std::string ListingText() {
  std::string text;
  text.reserve(gCompiler.expanded.size());
  for (char ch : gCompiler.expanded)
    if (ch != '\0') text += ch;
  return text;
}

// The last steps of a compile: end checks, the code terminator, the image, the result.
bool FinishCompile() {
  CompilerContext& c = gCompiler;
  c.expanded.clear();
  if (c.growAgain && !c.failed) return true;  // compiled again with larger buffers: nothing to check yet
  if (!c.failed) {
    // Each check runs; a later one's message replaces an earlier one's.
    ResolveLabels();
    CheckArrayDeclarations();
    CheckBlocksClosed();
    if (!c.failed && c.compileMode == 1) ValuesOutliveCalls();
    if (!c.failed && c.compileMode == 1) FoldAssignments();
  }
  if (c.failed) c.resultMessage = c.errorText.empty() ? MessageText(msg::kUnknownStatement) : c.errorText;
  const uint32_t savedLine = uint32_t(c.lineNumber);
  c.lineNumber = 0;
  EmitWord(0);
  c.lineNumber = int(savedLine);
  // An extra text (mode 2) only adds to the context; the image on disk is the file compile's.
  if (!c.outputName.empty() && c.compileMode == 1) {
    if (c.failed) {
      win::DeleteFileA(c.outputName.c_str());  // a stale image must not pass for this program's
    } else if (!WriteProgramImage(c.outputName)) {
      Fail(msg::kImageUnwritable);
      c.resultMessage = c.errorText;
      c.errorLine = 0;
    }
  }
  return !c.failed;
}

}  // namespace

bool AppendSourceFile(const std::string& path, std::string_view shownName, int messageKey, std::string& text) {
  win::ReadFailure why = win::ReadFailure::kNone;
  const size_t room = text.size() < kMaxSourceBytes ? kMaxSourceBytes - text.size() : 0;
  const auto bytes = win::ReadWholeFile(path, room, &why);
  if (!bytes) {
    const int reason = why == win::ReadFailure::kNotAFile   ? msg::kNotAFile
                       : why == win::ReadFailure::kTooLarge ? msg::kTooLarge
                                                            : msg::kCannotOpen;
    return Fail(MessageText(messageKey) + " " + std::string(shownName) + ": " + MessageText(reason));
  }
  text.append(bytes->begin(), bytes->end());
  return true;
}

bool CompileProgram(int mode, int functionNumber) {
  CompilerContext& c = gCompiler;
  c.compileMode = mode;
  c.failed = false;
  c.errorText.clear();
  const int m = ExpandIncludes();
  if (m < 0) {
    ReportAt(c.lineNumber);
    return FinishCompile();
  }
  c.scanOnly = true;
  const bool scanned = PrescanFunctions(m);
  c.scanOnly = false;
  if (!scanned) {
    ReportAt(c.lineNumber);
    return FinishCompile();
  }
  if (c.listingWriter) {
    const std::string listing = ListingText();
    c.listingWriter(listing.data(), listing.size());
  }
  c.functionBody = false;
  c.currentFunction = uint16_t(functionNumber);
  c.resultMessage.clear();
  c.errorText.clear();
  c.lineNumber = 1;

  LineWalker walker(c.expanded);
  size_t start = 0, end = 0;
  std::string folded;
  while (walker.Next(start, end)) {
    FoldLine(std::string_view(c.expanded).substr(start, end - start), folded);
    if (LineLength(c.expanded, start, end) >= kMaxLineLength) {
      Fail(msg::kLongLine);
      ReportAt(c.lineNumber);
      break;
    }
    if (!CompileStatement(folded)) {
      if (!c.failed) Fail(msg::kUnknownStatement);
      ReportAt(c.lineNumber);
      break;
    }
    ++c.lineNumber;
    ReportProgress();
    // Within 4096 bytes of the buffers' end: double them and compile again from the start.
    if (c.compileMode == 1 && c.code.size() * 4 > size_t(c.capacity) * 4 - 4096) {
      c.capacity *= 2;
      c.growAgain = true;
      break;
    }
  }
  return FinishCompile();
}

}  // namespace vx::compiler

namespace vx {

SourceLine LocateSourceLine(int line) {
  const CompilerContext& c = gCompiler;
  const int include = compiler::IncludeOfLine(line);
  if (include < 0) return {c.sourceName, line};
  const IncludeRecord& r = c.includes[size_t(include)];
  return {r.path, line - r.firstLine + 1};
}

SourceLine CompileErrorPlace() {
  if (gCompiler.errorLine <= 0) return {gCompiler.sourceName, 0};
  return LocateSourceLine(gCompiler.errorLine);
}

}  // namespace vx
