// A check of the compiled code: a user-function call may run code that writes the same
// temporaries as its caller (the function itself, or any function when the call stands in a
// function), so no such temporary may be read after a call with a value written before it. The
// compiler moves such values into hidden locals first; this walk over the code words, command by
// command, finds any it missed, so that a program fails to compile instead of giving a wrong value.
#include <span>
#include <unordered_map>

#include "compiler/internal.h"
#include "generated/command_numbers.h"

namespace vx::compiler {

namespace {

// How the walk steps over a command: its operand count and which operand receives its result.
struct Layout {
  int operands = 0;
  int result = -1;  // -1: every operand is read
};

constexpr int kUnknown = -1;

// Layouts from the loaded tables: a value function writes its first operand; a block keyword
// takes its jump target after its parameters. A number with two different layouts is not known.
std::unordered_map<int32_t, Layout> Layouts() {
  const CompilerContext& c = gCompiler;
  std::unordered_map<int32_t, Layout> layouts;
  auto add = [&](int32_t number, Layout layout) {
    auto [it, added] = layouts.emplace(number, layout);
    if (!added && (it->second.operands != layout.operands || it->second.result != layout.result))
      it->second.operands = kUnknown;
  };
  for (size_t r = 0; r < c.statements.size(); ++r) {
    const std::string& letters = c.statements[r].parameters;
    if (!letters.empty() && letters[0] == 'e') continue;  // emits nothing
    int count = letters == "0" ? 0 : int(letters.size());
    if (c.blockKeywordRow[r]) ++count;
    add(c.statements[r].number, {count, -1});
  }
  for (const CommandEntry& row : c.valueFunctions) add(row.number, {int(row.parameters.size()), 0});
  add(kCmdFloatToInt, {2, 0});
  add(kCmdIntToFloat, {2, 0});
  add(kCmdForStart, {3, -1});
  add(kCmdNextStep, {2, -1});
  return layouts;
}

bool EndsFunctionBody(uint32_t number) {
  return number >= uint32_t(kCmdEndFunction) && number <= uint32_t(kCmdEndFunctionString);
}

}  // namespace

bool ValuesOutliveCalls(bool* walked) {
  const CompilerContext& c = gCompiler;
  const std::unordered_map<int32_t, Layout> layouts = Layouts();
  constexpr size_t kTemporaries = size_t(operands::kIntVar - operands::kIntTemp);
  std::vector<int64_t> written(kTemporaries, -1);  // command index of each temporary's last write
  int64_t lastCall = -1;
  uint16_t function = 0;
  const std::vector<uint32_t>& code = c.code;
  size_t p = 0;
  for (int64_t command = 0; p < code.size(); ++command) {
    const uint32_t number = code[p];
    if (number == 0) break;  // the terminator
    std::span<const uint32_t> reads, writes;
    size_t next = 0;
    bool call = false;
    if (number == uint32_t(kCmdCallFunction)) {
      // Entry, result, argument count (an integer constant), then the arguments.
      if (p + 3 >= code.size()) break;
      const uint32_t countWord = code[p + 3];
      const size_t constant = countWord - uint32_t(operands::kIntConst);
      if (countWord < uint32_t(operands::kIntConst) || constant >= c.intConstants.size()) break;
      const int32_t count = c.intConstants[constant];
      if (count < 0 || p + 4 + size_t(count) > code.size()) break;
      reads = {code.data() + p + 4, size_t(count)};
      writes = {code.data() + p + 2, 1};
      call = true;
      next = p + 4 + size_t(count);
    } else if (number == uint32_t(kCmdFunctionHead)) {
      // The parameters' operands, then the function's number.
      size_t k = p + 1;
      while (k < code.size() && code[k] >= uint32_t(operands::kIntTemp)) ++k;
      if (k >= code.size()) break;
      function = uint16_t(code[k]);
      next = k + 1;
    } else {
      const auto found = layouts.find(int32_t(number));
      if (found == layouts.end() || found->second.operands == kUnknown) break;
      const Layout& layout = found->second;
      if (p + 1 + size_t(layout.operands) > code.size()) break;
      next = p + 1 + size_t(layout.operands);
      const uint32_t* first = code.data() + p + 1;
      if (layout.result == 0) {
        writes = {first, 1};
        reads = {first + 1, size_t(layout.operands - 1)};
      } else {
        reads = {first, size_t(layout.operands)};
      }
    }
    for (uint32_t word : reads) {
      if (!IsTemporary(int32_t(word)) || !CallMayOverwrite(int32_t(word), function)) continue;
      const int64_t at = written[word - uint32_t(operands::kIntTemp)];
      if (at >= 0 && at < lastCall) {
        gCompiler.errorLine = int(c.lines[p]);
        if (walked) *walked = true;
        return Fail(msg::kValueLostInCall);
      }
    }
    if (call) lastCall = command;
    for (uint32_t word : writes)
      if (IsTemporary(int32_t(word))) written[word - uint32_t(operands::kIntTemp)] = command;
    if (EndsFunctionBody(number)) function = 0;
    p = next;
  }
  if (walked) *walked = p == code.size() || code[p] == 0;
  return true;
}

}  // namespace vx::compiler
