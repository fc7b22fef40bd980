// The temporaries of a statement, conversions between integer and float, and the values that
// must survive a user-function call: they are moved into hidden locals of the function first,
// since a call may run code that uses the same temporaries.
#include <algorithm>
#include <cassert>
#include <charconv>

#include "compiler/internal.h"
#include "generated/command_numbers.h"

namespace vx::compiler {

namespace {

LiveValues* gInnermostLive = nullptr;

constexpr int32_t kTempBase[3] = {operands::kIntTemp, operands::kFloatTemp, operands::kStringTemp};

bool NeedsHolding(int32_t number) { return IsTemporary(number) && CallMayOverwrite(number, gCompiler.currentFunction); }

int AssignRow(char type) {
  const int first = FindStatementRow("=");
  if (first < 0) return -1;
  const char letters[3] = {type, type, 0};
  for (int r = first; r < StatementGroupEnd(first); ++r)
    if (gCompiler.statements[size_t(r)].parameters == letters) return r;
  return -1;
}

}  // namespace

std::string Marker(int32_t number) {
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
  (void)ec;
  std::string marker(1, kMarker);
  marker.append(digits, end);
  return marker;
}

LiveValues::LiveValues() : outer_(gInnermostLive) { gInnermostLive = this; }
LiveValues::~LiveValues() {
  assert(gInnermostLive == this);
  gInnermostLive = outer_;
}

namespace {

// Rewrites each marker of a temporary that hold moves, outside string literals.
template <typename Hold>
void HoldMarkers(std::string& text, Hold& hold) {
  std::vector<size_t> markers;
  for (QuoteScanner s(text); !s.Done(); s.NextOf(kMarker))
    if (s.Char() == kMarker && !s.InLiteral()) markers.push_back(s.Position());
  // From the last: a rewritten marker may change length.
  for (auto m = markers.rbegin(); m != markers.rend(); ++m) {
    const char* digits = text.data() + *m + 1;
    int32_t number = 0;
    auto [end, ec] = std::from_chars(digits, text.data() + text.size(), number);
    if (ec != std::errc() || !NeedsHolding(number)) continue;
    text.replace(*m, size_t(end - digits) + 1, Marker(hold(number)));
  }
}

}  // namespace

void ProtectLiveValues() {
  CompilerContext& c = gCompiler;
  if (c.scanOnly) return;
  std::vector<std::pair<int32_t, int32_t>> moved;  // temporary -> hidden local
  auto hold = [&](int32_t temporary) -> int32_t {
    for (const auto& m : moved)
      if (m.first == temporary) return m.second;
    const char type = TypeOfOperand(temporary);
    Operand local;
    const int row = AssignRow(type);
    if (row < 0) {
      Fail(msg::kWrongAssignment);
      return temporary;
    }
    if (!HeldLocal(TypeIndex(type), local)) return temporary;
    EmitCommand(c.statements[size_t(row)].number, {local, {temporary, type}});
    moved.emplace_back(temporary, local.number);
    return local.number;
  };
  // Outermost list first: the hidden locals are taken in the order the values became live.
  std::vector<LiveValues*> lists;
  for (LiveValues* list = gInnermostLive; list; list = list->outer_) lists.push_back(list);
  for (auto l = lists.rbegin(); l != lists.rend(); ++l) {
    HoldMarkers((*l)->text_, hold);
    for (Operand& op : (*l)->operands_)
      if (NeedsHolding(op.number)) op.number = hold(op.number);
  }
}

bool CallMayOverwrite(int32_t temporary, uint16_t function) {
  return function > 0 || (temporary - operands::kIntTemp) % kTemporariesPerType >= kTemporaryBandStep;
}

void ResetTemporaries() {
  CompilerContext& c = gCompiler;
  const int band = std::min(kTemporaryBandStep * int(c.currentFunction), kMaxTemporaryBand);
  for (int t = 0; t < 3; ++t) {
    c.nextTemporary[size_t(t)] = kTempBase[t] + band;
    c.temporaryLimit[size_t(t)] = kTempBase[t] + kTemporariesPerType;
  }
  c.heldInUse = {0, 0, 0};
}

bool NewTemporary(char type, Operand& out) {
  CompilerContext& c = gCompiler;
  const int t = TypeIndex(type);
  out.type = type;
  if (c.scanOnly) {
    out.number = kTempBase[t];
    return true;
  }
  // A statement that needs more temporaries than its band holds is refused as too long.
  if (c.nextTemporary[size_t(t)] >= c.temporaryLimit[size_t(t)]) return Fail(msg::kLongLine);
  out.number = c.nextTemporary[size_t(t)]++;
  return true;
}

bool EmitConversion(Operand& operand) {
  const bool toFloat = operand.type == 'l';
  Operand target;
  if (!NewTemporary(toFloat ? 'f' : 'l', target)) return false;
  EmitCommand(toFloat ? kCmdIntToFloat : kCmdFloatToInt, {target, operand});
  operand = target;
  return true;
}

char TypeOfOperand(int32_t number) { return operands::ValueTypeOf(number); }

}  // namespace vx::compiler
