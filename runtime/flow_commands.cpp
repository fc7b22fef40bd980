// Program flow commands: jumps, the counting-loop step, gosub and return, user-function calls
// with parameters, saved frames for recursion and returned values, and reading the DATA list.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/messages.h"
#include "runtime/arrays.h"
#include "runtime/dispatcher.h"
#include "runtime/errors.h"
#include "runtime/fast_commands.h"
#include "runtime/flow.h"
#include "runtime/program_image.h"

namespace vx {

// A caller's parameters and locals, each kept with the slot it came from, so that restoring does
// not depend on which variables are arrays by then. Frames are kept per depth and reused.
struct SavedFrame {
  struct Entry {
    ValueSlot* slot;
    ValueSlot value;  // the word, or a heap copy of the text
    bool isString;
  };
  std::vector<Entry> entries;
  void Clear() {
    for (auto& e : entries)
      if (e.isString) FreeRuntimeString(e.value.s);
    entries.clear();
  }
  ~SavedFrame() { Clear(); }
};

int32_t gCallDepth = 0;
OperandWord* gReturnStack[kCallStackSize] = {};
CallKind gCallKind[kCallStackSize] = {};
int32_t gCallArgCount[kCallStackSize] = {};
OperandWord* gCallEntry[kCallStackSize] = {};
SavedFrame* gSavedFrames[kCallStackSize] = {};
uint16_t gSavedFunction[kCallStackSize] = {};
int16_t gCurrentFunction = 0;
uint32_t gDataReadIndex = 0;

namespace {

int32_t gDeepestCall = kCallStackSize;  // entries above this have not been used since the last reset


enum class SlotKind { kOther, kIntTemp, kFloatTemp, kStringTemp, kIntVar, kFloatVar, kStringVar };

SlotKind KindOf(const ValueSlot* slot) {
  const int32_t op = OperandNumberOf(slot);
  const char type = operands::ValueTypeOf(op);
  if (!type || op >= operands::kIntConst) return SlotKind::kOther;
  const bool temporary = op < operands::kIntVar;
  switch (type) {
    case 'l': return temporary ? SlotKind::kIntTemp : SlotKind::kIntVar;
    case 'f': return temporary ? SlotKind::kFloatTemp : SlotKind::kFloatVar;
    default: return temporary ? SlotKind::kStringTemp : SlotKind::kStringVar;
  }
}

// String temporaries, variables and constants hold text pointers.
bool IsStringSlot(const ValueSlot* slot) { return operands::ValueTypeOf(OperandNumberOf(slot)) == 's'; }

bool IsArray(const ValueSlot* slot) {
  int h = ArrayHandleOfSlot(slot);
  return h >= 0 && gArrayHandles[size_t(h)] != nullptr;
}

// True when words [from, from + count) lie inside the code.
bool InCode(const OperandWord* from, intptr_t count) {
  return from >= gCodeBase && count >= 0 && from + count <= gCodeBase + gCodeWordCount;
}

// The entry is filled in place: a copy of one built on the stack stalls on its byte-sized field.
void SaveValue(SavedFrame& frame, ValueSlot* slot, bool isString) {
  SavedFrame::Entry& e = frame.entries.emplace_back();  // zeroed: a failed copy leaves nothing to free
  e.slot = slot;
  if (isString)
    e.value.s = NewRuntimeString(StringText(slot->s));
  else
    e.value = *slot;
  e.isString = isString;
}

// The variables a function owns, in the order a saved frame keeps them: its integers, floats and
// strings, each in slot order. Built from the owner tables once per loaded image.
struct OwnedVariable {
  ValueSlot* slot;
  int32_t arrayHandle;  // the ArrayHandleTable entry that makes it an array
  bool isString;
};
std::vector<std::vector<OwnedVariable>> gOwnedVariables;  // by function number
uint32_t gOwnedVariablesImage = 0;                        // gImageLoads when they were built

const std::vector<OwnedVariable>& OwnedVariables(uint16_t function) {
  if (gOwnedVariablesImage != gImageLoads || gOwnedVariables.empty()) {
    gOwnedVariables.assign(1, {});
    auto add = [](const std::vector<uint32_t>& owners, int base, bool isString) {
      for (size_t i = 0; i < owners.size() && gVariableArea; ++i) {
        if (owners[i] > 0xFFFF) continue;  // no function has such a number
        if (owners[i] >= gOwnedVariables.size()) gOwnedVariables.resize(size_t(owners[i]) + 1);
        gOwnedVariables[owners[i]].push_back(
            {&gVariableArea[base + int(i)], base - slots::kIntVar + int32_t(i), isString});
      }
    };
    add(gIntVarOwners, slots::kIntVar, false);
    add(gFloatVarOwners, slots::kFloatVar, false);
    add(gStringVarOwners, slots::kStringVar, true);
    gOwnedVariablesImage = gImageLoads;
  }
  static const std::vector<OwnedVariable> kNone;
  return function < gOwnedVariables.size() ? gOwnedVariables[function] : kNone;
}

std::vector<std::unique_ptr<SavedFrame>> gFramePool;  // a frame for each depth that has saved one

// Saves the running function's parameters (of the call made at depth - 1) and its own variables.
SavedFrame* SaveRunningFrame(int32_t depth) {
  if (gFramePool.size() <= size_t(depth)) gFramePool.resize(size_t(depth) + 1);
  auto& pooled = gFramePool[size_t(depth)];
  if (!pooled) pooled = std::make_unique<SavedFrame>();
  SavedFrame& frame = *pooled;
  frame.Clear();
  const int32_t m = gCallArgCount[depth - 1];
  OperandWord* params = gCallEntry[depth - 1];
  for (int32_t i = 0; i < m; ++i) {
    ValueSlot* p = params[i].slot;
    SlotKind k = KindOf(p);
    if (k == SlotKind::kIntVar || k == SlotKind::kFloatVar)
      SaveValue(frame, p, false);
    else if (k == SlotKind::kStringVar)
      SaveValue(frame, p, true);
  }
  for (const OwnedVariable& v : OwnedVariables(uint16_t(gCurrentFunction))) {
    if (gArrayHandles[size_t(v.arrayHandle)] || (v.isString && !v.slot->s)) continue;
    SaveValue(frame, v.slot, v.isString);
  }
  return frame.entries.empty() ? nullptr : &frame;
}

// Writes a returned value (or nothing) into the call's result slot.
void StoreCallResult(ValueSlot* result, const ValueSlot* word, const std::string* text) {
  if (IsStringSlot(result))
    StoreString(result, text ? text->c_str() : "");
  else if (KindOf(result) != SlotKind::kOther)
    result->i = word ? word->i : 0;
}

// Common part of the function returns; value is the returned word or text (none for 22 and 27).
void ReturnFromFunction(const ValueSlot* word, const std::string* text, bool hasValue) {
  if (gCallDepth == 0) {
    if (hasValue) {  // a value return outside any function ends the program quietly
      win::PostQuitMessage(0);
      gYieldFlag = 1;
    }
    return;
  }
  const int32_t d = gCallDepth - 1;
  if (gCallKind[d] != CallKind::kFunction) {
    RaiseRuntimeError(kErrReturnMismatch);
    return;
  }
  gCallDepth = d;
  OperandWord* call = gReturnStack[d];
  gCurrentFunction = int16_t(gSavedFunction[d]);
  StoreCallResult(call[1].slot, word, text);
  gProgramCounter = call + 3 + gCallArgCount[d];
  RestoreCallerFrame();
}

void CmdJumpIfFalse() { gProgramCounter = fast::JumpIfFalse(gProgramCounter); }
void CmdJump() { gProgramCounter = fast::Jump(gProgramCounter); }
void CmdJumpToSecond() { gProgramCounter = fast::JumpToSecond(gProgramCounter); }
void CmdForStep() { gProgramCounter = fast::ForStep(gProgramCounter); }
void CmdNextStep() { gProgramCounter = fast::NextStep(gProgramCounter); }

void CmdGosub() {
  const int32_t d = gCallDepth;
  if (d + 1 >= kCallStackSize) {
    RaiseRuntimeError(kErrCallStackFull);
    SkipOperands(1);
    return;
  }
  gReturnStack[d] = gProgramCounter + 1;
  gCallKind[d] = CallKind::kGosub;
  gSavedFrames[d] = nullptr;
  gCallDepth = d + 1;
  gDeepestCall = std::max(gDeepestCall, d + 1);
  gProgramCounter = TargetOperand(0);
}

void CmdReturnGosub() {
  if (gCallDepth == 0) return;
  const int32_t d = gCallDepth - 1;
  if (gCallKind[d] != CallKind::kGosub) {
    RaiseRuntimeError(kErrReturnMismatch);
    return;
  }
  gCallDepth = d;
  gProgramCounter = gReturnStack[d];
}

void CmdCallFunction() {
  OperandWord* call = gProgramCounter;
  const int32_t d = gCallDepth;
  const int32_t n = call[2].slot->i;
  OperandWord* entry = call[0].target;
  if (!InCode(call, 3 + intptr_t(n)) || !InCode(entry, intptr_t(n) + 1)) {
    RaiseRuntimeError(kErrSevereException);
    return;
  }
  if (d + 1 >= kCallStackSize) {
    RaiseRuntimeError(kErrCallStackFull);
    SkipOperands(3 + n);
    return;
  }

  // Every argument is read before any parameter changes, so f(b, a) and f(s$) with s$ its own
  // parameter see the caller's values. The buffers are kept from call to call.
  static std::vector<ValueSlot> words;
  static std::vector<std::string> texts;
  words.resize(size_t(n));
  if (texts.size() < size_t(n)) texts.resize(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    if (IsStringSlot(entry[i].slot))
      texts[size_t(i)] = StringText(call[3 + i].slot->s);
    else
      words[size_t(i)] = *call[3 + i].slot;
  }

  gReturnStack[d] = call;
  gCallKind[d] = CallKind::kFunction;
  gCallArgCount[d] = n;
  gCallEntry[d] = entry;
  gSavedFrames[d] = d > 0 ? SaveRunningFrame(d) : nullptr;

  for (int32_t i = 0; i < n; ++i) {
    ValueSlot* p = entry[i].slot;
    SlotKind k = KindOf(p);
    if (k == SlotKind::kIntVar || k == SlotKind::kFloatVar)
      p->i = words[size_t(i)].i;
    else if (k == SlotKind::kStringVar)
      StoreString(p, texts[size_t(i)].c_str(), texts[size_t(i)].size());
  }
  gSavedFunction[d] = uint16_t(gCurrentFunction);
  gCurrentFunction = int16_t(uint16_t(entry[n].word & 0xFFFF));
  gProgramCounter = entry + n + 1;
  gCallDepth = d + 1;
  gDeepestCall = std::max(gDeepestCall, d + 1);
}

void CmdReturnNone() { ReturnFromFunction(nullptr, nullptr, false); }

void CmdReturnWord() {
  const ValueSlot value = *SlotOperand(0);
  SkipOperands(1);
  ReturnFromFunction(&value, nullptr, true);
}

void CmdReturnString() {
  const std::string text = TextOperand(0);
  SkipOperands(1);
  ReturnFromFunction(nullptr, &text, true);
}

void CmdEnd() {
  win::PostQuitMessage(0);
  gYieldFlag = 1;
  gEndFlag = 1;
}

void CmdFunctionGuard() {
  win::PostQuitMessage(0);
  gYieldFlag = 1;
  gEndFlag = 1;
  RaiseRuntimeError(kErrRanIntoFunction);
}

void CmdRestoreData() {
  const auto index = uintptr_t(LiteralOperand(0));
  gDataReadIndex = index < gDataTypeCount ? uint32_t(index) : gDataTypeCount;
  SkipOperands(1);
}

void CmdRestoreDataStart() { gDataReadIndex = 0; }

// Reads DATA item i into target; type is 'l', 'f' or 's'.
void ReadData(char type) {
  ValueSlot* target = SlotOperand(0);
  SkipOperands(1);
  const uint32_t i = gDataReadIndex;
  const bool match = i < gDataTypeCount && gDataTypes[i] == type;
  if (i < gDataTypeCount) gDataReadIndex = i + 1;

  const SlotKind kind = KindOf(target);
  const SlotKind variable = type == 'l' ? SlotKind::kIntVar : type == 'f' ? SlotKind::kFloatVar : SlotKind::kStringVar;
  const SlotKind temporary = type == 'l' ? SlotKind::kIntTemp : type == 'f' ? SlotKind::kFloatTemp : SlotKind::kStringTemp;
  const ValueSlot* item = match ? &gVariableArea[slots::kData + int(i)] : nullptr;

  ValueSlot* destination = target;
  if (match && kind == temporary) {
    // Written back to the variable or element the temporary was loaded from.
    destination = gReferenceTable[size_t(OperandNumberOf(target) - slots::kOperandBase)];
    if (!destination) return;
  } else if (match && kind != variable) {
    item = nullptr;
  }
  // A slot of the other kind (text against number) is never written: its word would be taken
  // for a pointer, or its pointer lost.
  if (destination == target && (type == 's') != IsStringSlot(target)) return;
  if (type == 's')
    StoreString(destination, item ? StringText(item->s) : "");
  else
    destination->i = item ? item->i : 0;
}

void CmdReadDataInt() { ReadData('l'); }
void CmdReadDataFloat() { ReadData('f'); }
void CmdReadDataString() { ReadData('s'); }

}  // namespace

void RestoreCallerFrame() {
  const int32_t d = gCallDepth;
  if (d == 0 || !gSavedFrames[d]) return;
  SavedFrame* frame = gSavedFrames[d];
  gSavedFrames[d] = nullptr;
  for (auto& e : frame->entries) {
    if (IsArray(e.slot)) continue;
    if (e.isString) {
      if (e.slot->s) StoreString(e.slot, StringText(e.value.s));
    } else {
      e.slot->i = e.value.i;
    }
  }
  frame->Clear();
}

void ResetCallStack() {
  for (int32_t d = 0; d < gDeepestCall; ++d) {
    if (gSavedFrames[d]) gSavedFrames[d]->Clear();
    gSavedFrames[d] = nullptr;
    gReturnStack[d] = nullptr;
    gCallArgCount[d] = 0;
    gCallEntry[d] = nullptr;
    gCallKind[d] = CallKind::kNone;
  }
  gCallDepth = 0;
  gDeepestCall = 0;
  gCurrentFunction = 0;
}

void UnwindFunctionFrames() {
  while (gCallDepth >= 1) {
    --gCallDepth;
    gCurrentFunction = int16_t(gSavedFunction[gCallDepth]);
    RestoreCallerFrame();
  }
}

}  // namespace vx

#include "generated/commands/flow.inc"
