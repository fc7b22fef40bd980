// The block engine: if/else/endif, do/exit/loop, for/next, while/endwhile and repeat/until. An
// opener goes on the block stack with the jump operands that its closer (or an else or exit)
// patches once the target is known.
#include <algorithm>
#include <cassert>

#include "compiler/internal.h"
#include "generated/command_numbers.h"

namespace vx::compiler {

namespace {

enum BlockKeyword { kIf, kElse, kEndif, kDo, kExit, kLoop, kFor, kNext, kWhile, kEndwhile, kRepeat, kUntil };
constexpr const char* kBlockNames[12] = {"if",  "else", "endif", "do",       "exit",   "loop",
                                         "for", "next", "while", "endwhile", "repeat", "until"};
// Code words that the engine counts for each keyword's command.
constexpr uint32_t kBlockSize[12] = {3, 2, 0, 0, 2, 2, 0, 3, 0, 2, 0, 3};

int BlockKeywordOf(int32_t number) {
  if (number == 0) return -1;
  for (int k = 0; k < 12; ++k)
    if (gCompiler.blockNumbers[size_t(k)] == number) return k;
  return -1;
}

int CloserOf(int opener) {
  switch (opener) {
    case kIf: return kEndif;
    case kDo: return kLoop;
    case kFor: return kNext;
    case kWhile: return kEndwhile;
    default: return kUntil;
  }
}

// A next whose for statement is its step command alone (nothing to work out before it) steps the
// counter itself and goes on after the for, instead of jumping back to the for.
bool FusesNext(const BlockEntry& top) {
  const CompilerContext& c = gCompiler;
  return c.fuseCommands && !c.scanOnly && top.opener == kFor && top.start < c.code.size() &&
         top.jumpOperand == top.start + 4 && c.code[top.start] == uint32_t(c.blockNumbers[kFor]);
}

// The misplaced keyword, and the block that is open when there is one.
bool FailOutOfPlace(int keyword) {
  const auto& blocks = gCompiler.blocks;
  std::string detail = kBlockNames[keyword];
  if (blocks.empty()) return Fail(msg::kBlockOutOfPlace, detail);
  return Fail(msg::kBlockOutOfPlace, detail + " (" + OpenBlockName(blocks.back()) + " is open)");
}

}  // namespace

std::string OpenBlockName(const BlockEntry& block) {
  if (!block.caseText.empty()) return "a case block";
  return std::string(block.opener == kIf ? "an " : "a ") + kBlockNames[block.opener] + " block";
}

void Patch(uint32_t index, uint32_t value) {
  assert(index < gCompiler.code.size());
  if (index < gCompiler.code.size()) gCompiler.code[index] = value;
}

bool IsForCommand(int32_t number) { return BlockKeywordOf(number) == kFor; }

bool CompileBlockKeyword(int32_t& number, std::vector<Operand>& ops, bool& noCode) {
  CompilerContext& c = gCompiler;
  const int k = BlockKeywordOf(number);
  noCode = false;
  if (k < 0) return true;
  noCode = k == kEndif || k == kDo || k == kRepeat;
  const auto here = uint32_t(c.code.size());
  const uint32_t jumpOperand = here + 1 + uint32_t(ops.size());
  const uint32_t after = here + kBlockSize[k];
  switch (k) {
    case kIf:
    case kDo:
    case kFor:
    case kWhile:
    case kRepeat: {
      if (int(c.blocks.size()) >= kMaxBlockDepth) return Fail(msg::kBlocksTooDeep);
      BlockEntry e;
      e.opener = k;
      e.jumpOperand = jumpOperand;
      e.start = (k == kFor || k == kWhile) ? c.statementStart : after;
      e.expectedCloser = CloserOf(k);
      e.noCode = noCode;
      e.line = c.lineNumber;
      c.blocks.push_back(std::move(e));
      if (!noCode) ops.push_back({0, 'j'});
      return true;
    }
    case kElse: {
      if (c.blocks.empty() || c.blocks.back().opener != kIf || c.blocks.back().hasElse) return FailOutOfPlace(k);
      BlockEntry& top = c.blocks.back();
      top.hasElse = true;
      top.elseOperand = jumpOperand;
      top.afterElse = after;
      ops.push_back({0, 'j'});
      return true;
    }
    case kExit: {
      auto loop = std::find_if(c.blocks.rbegin(), c.blocks.rend(), [](const BlockEntry& e) { return e.opener != kIf; });
      if (loop == c.blocks.rend()) return FailOutOfPlace(k);
      if (int(loop->exits.size()) >= kMaxExitsPerLoop) return Fail(msg::kBlockOutOfPlace);
      loop->exits.push_back(jumpOperand);
      ops.push_back({0, 'j'});
      return true;
    }
    default: {  // the closers
      if (c.blocks.empty() || c.blocks.back().expectedCloser != k) return FailOutOfPlace(k);
      const BlockEntry& top = c.blocks.back();
      const uint32_t target = operands::kCodeAddress + after;
      if (top.opener == kIf) {
        if (top.hasElse) {
          Patch(top.jumpOperand, operands::kCodeAddress + top.afterElse);
          Patch(top.elseOperand, target);
        } else {
          Patch(top.jumpOperand, target);
        }
      } else {
        if (!top.noCode) Patch(top.jumpOperand, target);
        for (uint32_t exit : top.exits) Patch(exit, target);
        if (k == kNext && ops.size() == 1 && FusesNext(top)) {
          number = kCmdNextStep;
          ops.push_back({int32_t(operands::kCodeAddress + top.start + 1), 'j'});
        } else {
          ops.push_back({int32_t(operands::kCodeAddress + top.start), 'j'});
        }
      }
      c.blocks.pop_back();
      return true;
    }
  }
}

void InitBlockKeywords() {
  CompilerContext& c = gCompiler;
  for (int k = 0; k < 12; ++k) {
    c.blockNumbers[size_t(k)] = 0;
    for (const CommandEntry& row : c.statements)
      if (row.name == kBlockNames[k]) c.blockNumbers[size_t(k)] = row.number;
  }
  c.blockKeywordRow.assign(c.statements.size(), 0);
  for (size_t r = 0; r < c.statements.size(); ++r)
    c.blockKeywordRow[r] = BlockKeywordOf(c.statements[r].number) >= 0 ? 1 : 0;
}

bool CheckBlocksClosed() {
  CompilerContext& c = gCompiler;
  if (c.blocks.empty()) return false;
  // The innermost open block is the one whose closer is missing first.
  const BlockEntry& open = c.blocks.back();
  c.errorLine = open.line;
  if (!open.caseText.empty())
    Fail(EndCheckMessage(msg::kCaseWithoutEndcase, c.errorLine, open.caseText));
  else
    Fail(EndCheckMessage(msg::kOpenBlock, c.errorLine, kBlockNames[open.opener]));
  return true;
}

}  // namespace vx::compiler
