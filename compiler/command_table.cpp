// The command table: statements, value functions and operators with their command numbers and
// parameter letters, read from the table resource, and the name lookup that the runtime's error
// report uses once a table is loaded.
#include <cstdlib>

#include "compiler/compiler.h"
#include "compiler/internal.h"
#include "platform/win/resources.h"

namespace vx {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

void AddRow(std::string name, int32_t number, std::string letters) {
  CompilerContext& c = gCompiler;
  const bool function = !name.empty() && name.back() == '[';
  if (function) name.pop_back();
  if (name.empty()) return;
  if (function) {
    if (int(c.valueFunctions.size()) >= kMaxValueFunctionRows) return;
    if (c.arrayGroupStart < 0 && name[0] == '@') c.arrayGroupStart = int(c.valueFunctions.size());
    c.functionIndex.emplace(name, int(c.valueFunctions.size()));
    c.valueFunctions.push_back({std::move(name), number, std::move(letters)});
  } else {
    if (int(c.statements.size()) >= kMaxStatementRows) return;
    size_t words = 1;
    for (char ch : name) words += ch == ' ';
    size_t& most = c.statementWords[name.substr(0, name.find(' '))];
    if (words > most) most = words;
    c.statementIndex.emplace(name, int(c.statements.size()));
    c.statements.push_back({std::move(name), number, std::move(letters)});
  }
}

// One line of the table: name%number%letters. Lines without both fields are left out.
void ParseRow(std::string_view line) {
  const size_t nameEnd = line.find('%');
  if (nameEnd == std::string_view::npos) return;
  const size_t numberEnd = line.find('%', nameEnd + 1);
  if (numberEnd == std::string_view::npos) return;
  std::string name;
  for (char ch : compiler::Trim(line.substr(0, nameEnd))) name += LowerAscii(ch);
  if (name.size() > kMaxCommandNameLength + 1) return;
  std::string number;
  for (char ch : line.substr(nameEnd + 1, numberEnd - nameEnd - 1))
    if (ch != ' ' && ch != '\t') number += ch;
  if (number.empty()) return;
  char* end = nullptr;
  const long value = std::strtol(number.c_str(), &end, 10);
  if (*end != '\0') return;
  std::string letters;
  for (char ch : line.substr(numberEnd + 1))
    if (static_cast<unsigned char>(ch) >= 33) letters += LowerAscii(ch);
  if (letters.size() > kMaxParameterLetters) letters.resize(kMaxParameterLetters);
  AddRow(std::move(name), int32_t(value), std::move(letters));
}

}  // namespace

int LoadCommandTableFromText(std::string_view text) {
  CompilerContext& c = gCompiler;
  c.statements.clear();
  c.valueFunctions.clear();
  c.statementIndex.clear();
  c.functionIndex.clear();
  c.blockKeywordRow.clear();
  c.statementWords.clear();
  c.arrayGroupStart = -1;
  c.arrayFlag = false;
  c.expectedType = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
    line = compiler::TrimLeft(line);
    if (line.empty() || line[0] == ';') continue;
    ParseRow(line);
  }
  compiler::InitBlockKeywords();
  return 1;
}

int LoadCommandTable() {
  const win::ResourceBlob* blob = win::FindResourceBlob("23", 214);
  if (!blob || blob->size == 0) {
    LoadCommandTableFromText({});
    return 0;
  }
  return LoadCommandTableFromText(std::string_view(reinterpret_cast<const char*>(blob->data), blob->size));
}

int FindCommandName(int32_t number, std::string* out) {
  if (number == 0 || !out) return -1;
  const auto& rows = gCompiler.statements;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].number != number) continue;
    *out = rows[i].name;
    return int(i);
  }
  return -1;
}

bool LookUpCommandInfo(int32_t number, std::string* name, std::string* letters) {
  for (const auto* table : {&gCompiler.statements, &gCompiler.valueFunctions}) {
    for (const CommandEntry& row : *table) {
      if (row.number != number) continue;
      *name = row.name;
      *letters = row.parameters;
      return true;
    }
  }
  return false;
}

char CommandParameterLetter(int row, int position) {
  const auto& rows = gCompiler.statements;
  if (row < 0 || size_t(row) >= rows.size() || position < 0) return 0;
  const std::string& letters = rows[size_t(row)].parameters;
  return size_t(position) < letters.size() ? letters[size_t(position)] : 0;
}

namespace compiler {

int FindValueFunctionRow(std::string_view name) {
  auto it = gCompiler.functionIndex.find(name);
  return it == gCompiler.functionIndex.end() ? -1 : it->second;
}

int FindStatementRow(std::string_view name) {
  auto it = gCompiler.statementIndex.find(name);
  return it == gCompiler.statementIndex.end() ? -1 : it->second;
}

int StatementGroupEnd(int first) {
  const auto& rows = gCompiler.statements;
  size_t end = size_t(first) + 1;
  while (end < rows.size() && rows[end].name == rows[size_t(first)].name) ++end;
  return int(end);
}

int ValueFunctionGroupEnd(int first) {
  const auto& rows = gCompiler.valueFunctions;
  size_t end = size_t(first) + 1;
  while (end < rows.size() && rows[end].name == rows[size_t(first)].name) ++end;
  return int(end);
}

}  // namespace compiler
}  // namespace vx
