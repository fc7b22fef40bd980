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

namespace {
struct FunctionPlan;
}  // namespace

// A caller's parameters and locals, each kept with the slot it came from, so that restoring does
// not depend on which variables are arrays by then. Frames are kept per depth and reused.
struct SavedFrame {
  struct Entry {
    ValueSlot* slot;
    ValueSlot value;      // the word, or a heap copy of the text
    int32_t arrayHandle;  // the ArrayHandleTable entry that makes the slot an array, or -1
    bool isString;
  };
  std::vector<Entry> entries;
  bool holdsTexts = false;  // some entry holds a heap copy
  // A function of numbers only, none of whose variables was an array: the words of its plan's
  // frame slots, in their order, instead of the entries.
  const FunctionPlan* plain = nullptr;
  std::vector<int32_t> words;
  void Clear() {
    if (holdsTexts)
      for (auto& e : entries)
        if (e.isString) FreeRuntimeString(e.value.s);
    entries.clear();
    holdsTexts = false;
    plain = nullptr;
  }
  ~SavedFrame() { Clear(); }
};

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

// True when words [from, from + count) lie inside the code.
bool InCode(const OperandWord* from, intptr_t count) {
  return from >= Runtime().gCodeBase && count >= 0 && from + count <= Runtime().gCodeBase + Runtime().gCodeWordCount;
}

// The entry is filled in place: a copy of one built on the stack stalls on its byte-sized field.
inline void SaveValue(SavedFrame& frame, ValueSlot* slot, int32_t arrayHandle, bool isString) {
  SavedFrame::Entry& e = frame.entries.emplace_back();  // zeroed: a failed copy leaves nothing to free
  e.slot = slot;
  e.arrayHandle = arrayHandle;
  if (isString) {
    frame.holdsTexts = true;
    e.value.s = NewRuntimeString(StringText(slot->s));
  } else {
    e.value = *slot;
  }
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
  if (gOwnedVariablesImage != Runtime().gImageLoads || gOwnedVariables.empty()) {
    gOwnedVariables.assign(1, {});
    auto add = [](const std::vector<uint32_t>& owners, int base, bool isString) {
      for (size_t i = 0; i < owners.size() && Interpreter().gVariableArea; ++i) {
        if (owners[i] > 0xFFFF) continue;  // no function has such a number
        if (owners[i] >= gOwnedVariables.size()) gOwnedVariables.resize(size_t(owners[i]) + 1);
        gOwnedVariables[owners[i]].push_back(
            {&Interpreter().gVariableArea[base + int(i)], base - slots::kIntVar + int32_t(i), isString});
      }
    };
    add(Runtime().gIntVarOwners, slots::kIntVar, false);
    add(Runtime().gFloatVarOwners, slots::kFloatVar, false);
    add(Runtime().gStringVarOwners, slots::kStringVar, true);
    gOwnedVariablesImage = Runtime().gImageLoads;
  }
  static const std::vector<OwnedVariable> kNone;
  return function < gOwnedVariables.size() ? gOwnedVariables[function] : kNone;
}

std::vector<std::unique_ptr<SavedFrame>> gFramePool;  // a frame for each depth that has saved one

// What a call needs to know of each parameter of a function, worked out at its first call.
struct FunctionPlan {
  const OperandWord* entry = nullptr;
  int32_t count = -1;
  struct Parameter {
    SlotKind kind;
    int32_t arrayHandle;
    bool textSlot;  // a string slot of any group: the argument is taken as text
  };
  std::vector<Parameter> parameters;
  bool takesText = false;  // some parameter takes its argument as text
  // What a call made while the function runs saves of it, when it has only numbers: the slots of
  // its number parameters, then of its own variables, as the general frame takes them.
  uint16_t function = 0;
  bool numbersOnly = false;
  std::vector<ValueSlot*> frameSlots;
  std::vector<int32_t> frameHandles;
};
// By function number, for one image: one plan for each entry that claims the number (a program
// the compiler wrote has one).
std::vector<std::vector<std::unique_ptr<FunctionPlan>>> gPlans;
uint32_t gPlansImage = 0;
const FunctionPlan* gLastPlan = nullptr;  // a recursive call asks for the same plan again and again

// The plan of the function whose parameter list starts at entry (n words, then its number), made
// when it is first asked for.
[[gnu::noinline]] const FunctionPlan& FindPlan(const OperandWord* entry, int32_t n) {
  if (gPlansImage != Runtime().gImageLoads) {
    gPlans.clear();
    gLastPlan = nullptr;
    gPlansImage = Runtime().gImageLoads;
  }
  const size_t function = size_t(entry[n].word & 0xFFFF);
  if (gPlans.size() <= function) gPlans.resize(function + 1);
  auto& plans = gPlans[function];
  auto found =
      std::find_if(plans.begin(), plans.end(), [&](const auto& p) { return p->entry == entry && p->count == n; });
  if (found == plans.end()) {
    auto plan = std::make_unique<FunctionPlan>();
    plan->entry = entry;
    plan->count = n;
    plan->function = uint16_t(function);
    plan->numbersOnly = true;
    const std::vector<OwnedVariable>& owned = OwnedVariables(uint16_t(function));
    for (int32_t i = 0; i < n; ++i) {
      const FunctionPlan::Parameter p{KindOf(entry[i].slot), ArrayHandleOfSlot(entry[i].slot),
                                      IsStringSlot(entry[i].slot)};
      plan->parameters.push_back(p);
      plan->takesText = plan->takesText || p.textSlot;
      if (p.kind == SlotKind::kStringVar) plan->numbersOnly = false;
      if (p.kind != SlotKind::kIntVar && p.kind != SlotKind::kFloatVar) continue;
      // A parameter the function owns is saved again with its variables, which restore it last.
      if (std::any_of(owned.begin(), owned.end(), [&](const OwnedVariable& v) { return v.slot == entry[i].slot; }))
        continue;
      plan->frameSlots.push_back(entry[i].slot);
      plan->frameHandles.push_back(p.arrayHandle);
    }
    for (const OwnedVariable& v : owned) {
      if (v.isString) plan->numbersOnly = false;
      plan->frameSlots.push_back(v.slot);
      plan->frameHandles.push_back(v.arrayHandle);
    }
    plans.push_back(std::move(plan));
    found = plans.end() - 1;
  }
  gLastPlan = found->get();
  return *gLastPlan;
}

inline const FunctionPlan& PlanOf(const OperandWord* entry, int32_t n) {
  if (gLastPlan && gLastPlan->entry == entry && gLastPlan->count == n && gPlansImage == Runtime().gImageLoads)
    return *gLastPlan;
  return FindPlan(entry, n);
}

// The depth of the call that started the running function: the nearest function call below
// depth, past any gosubs made since; -1 when the main program runs.
int32_t RunningFunctionCall(int32_t depth) {
  if (Dispatcher().gCurrentFunction == 0) return -1;
  for (int32_t k = depth - 1; k >= 0; --k)
    if (Dispatcher().gCallKind[k] == CallKind::kFunction) return k;
  return -1;
}

// Saves the running function's parameters (of the call that started it) and its own variables.
SavedFrame* SaveRunningFrame(int32_t depth) {
  const int32_t caller = RunningFunctionCall(depth);
  if (caller < 0) return nullptr;  // the main program's variables are never saved
  if (gFramePool.size() <= size_t(depth)) gFramePool.resize(size_t(depth) + 1);
  auto& pooled = gFramePool[size_t(depth)];
  if (!pooled) pooled = std::make_unique<SavedFrame>();
  SavedFrame& frame = *pooled;
  frame.Clear();
  const int32_t m = Dispatcher().gCallArgCount[caller];
  OperandWord* params = Dispatcher().gCallEntry[caller];
  const FunctionPlan& plan = PlanOf(params, m);
  if (plan.numbersOnly && plan.function == uint16_t(Dispatcher().gCurrentFunction)) {
    const size_t count = plan.frameSlots.size();
    bool anyArray = false;
    for (size_t i = 0; i < count; ++i) anyArray = anyArray || Runtime().gArrayHandles[size_t(plan.frameHandles[i])];
    if (!anyArray) {
      if (count == 0) return nullptr;
      frame.plain = &plan;
      if (frame.words.size() != count) frame.words.resize(count);
      for (size_t i = 0; i < count; ++i) frame.words[i] = plan.frameSlots[i]->i;
      return &frame;
    }
  }
  for (int32_t i = 0; i < m; ++i) {
    const FunctionPlan::Parameter& p = plan.parameters[size_t(i)];
    if (p.kind == SlotKind::kIntVar || p.kind == SlotKind::kFloatVar)
      SaveValue(frame, params[i].slot, p.arrayHandle, false);
    else if (p.kind == SlotKind::kStringVar)
      SaveValue(frame, params[i].slot, p.arrayHandle, true);
  }
  for (const OwnedVariable& v : OwnedVariables(uint16_t(Dispatcher().gCurrentFunction))) {
    if (Runtime().gArrayHandles[size_t(v.arrayHandle)] || (v.isString && !v.slot->s)) continue;
    SaveValue(frame, v.slot, v.arrayHandle, v.isString);
  }
  return frame.entries.empty() ? nullptr : &frame;
}

// Writes a returned value (or nothing) into the call's result slot.
void StoreCallResult(ValueSlot* result, const ValueSlot* word, const std::string* text) {
  const int32_t op = OperandNumberOf(result);
  const char type = operands::ValueTypeOf(op);
  if (type == 's')
    StoreString(result, text ? text->c_str() : "");
  else if (type && op < operands::kIntConst)  // an integer or float temporary or variable
    result->i = word ? word->i : 0;
}

// Common part of the function returns; value is the returned word or text (none for 22 and 27).
void ReturnFromFunction(const ValueSlot* word, const std::string* text, bool hasValue) {
  if (Dispatcher().gCallDepth == 0) {
    if (hasValue) {  // a value return outside any function ends the program quietly
      win::PostQuitMessage(0);
      Interpreter().gYieldFlag = 1;
    }
    return;
  }
  const int32_t d = Dispatcher().gCallDepth - 1;
  if (Dispatcher().gCallKind[d] != CallKind::kFunction) {
    RaiseRuntimeError(kErrReturnMismatch);
    return;
  }
  Dispatcher().gCallDepth = d;
  OperandWord* call = Dispatcher().gReturnStack[d];
  Dispatcher().gCurrentFunction = int16_t(Dispatcher().gSavedFunction[d]);
  StoreCallResult(call[1].slot, word, text);
  Interpreter().gProgramCounter = call + 3 + Dispatcher().gCallArgCount[d];
  RestoreCallerFrame();
}

void CmdJumpIfFalse() { Interpreter().gProgramCounter = fast::JumpIfFalse(Interpreter().gProgramCounter); }
void CmdJump() { Interpreter().gProgramCounter = fast::Jump(Interpreter().gProgramCounter); }
void CmdJumpToSecond() { Interpreter().gProgramCounter = fast::JumpToSecond(Interpreter().gProgramCounter); }
// Counters whose start wrapped, with the call depth of their for: a loop in a function that the
// for's end calls, recursively too, takes only its own.
struct WrappedStart {
  const ValueSlot* counter;
  int32_t depth;
};
std::vector<WrappedStart> gWrappedStarts;

// for's start: counter, start, step. The counter starts one step before the start, so that the
// for's first step reaches it; where that passes the integer limits, the first step is told.
void CmdForStart() {
  ValueSlot* counter = SlotOperand(0);
  const int32_t start = SlotOperand(1)->i, step = SlotOperand(2)->i;
  const int64_t before = int64_t(start) - step;
  counter->i = WrapSub(start, step);
  if (before != counter->i) gWrappedStarts.push_back({counter, Dispatcher().gCallDepth});
  SkipOperands(3);
}

void CmdForStep() { Interpreter().gProgramCounter = fast::ForStep(Interpreter().gProgramCounter); }
void CmdNextStep() { Interpreter().gProgramCounter = fast::NextStep(Interpreter().gProgramCounter); }

void CmdGosub() {
  const int32_t d = Dispatcher().gCallDepth;
  if (d + 1 >= kCallStackSize) {
    RaiseRuntimeError(kErrCallStackFull);
    SkipOperands(1);
    return;
  }
  Dispatcher().gReturnStack[d] = Interpreter().gProgramCounter + 1;
  Dispatcher().gCallKind[d] = CallKind::kGosub;
  Dispatcher().gSavedFrames[d] = nullptr;
  Dispatcher().gCallDepth = d + 1;
  gDeepestCall = std::max(gDeepestCall, d + 1);
  Interpreter().gProgramCounter = TargetOperand(0);
}

void CmdReturnGosub() {
  if (Dispatcher().gCallDepth == 0) return;
  const int32_t d = Dispatcher().gCallDepth - 1;
  if (Dispatcher().gCallKind[d] != CallKind::kGosub) {
    RaiseRuntimeError(kErrReturnMismatch);
    return;
  }
  Dispatcher().gCallDepth = d;
  Interpreter().gProgramCounter = Dispatcher().gReturnStack[d];
}

constexpr int32_t kInlineArguments = 8;

// The last step of a call: the callee's number becomes the running function's and its body runs.
void EnterFunction(OperandWord* entry, int32_t n, int32_t d) {
  Dispatcher().gSavedFunction[d] = uint16_t(Dispatcher().gCurrentFunction);
  Dispatcher().gCurrentFunction = int16_t(uint16_t(entry[n].word & 0xFFFF));
  Interpreter().gProgramCounter = entry + n + 1;
  Dispatcher().gCallDepth = d + 1;
  gDeepestCall = std::max(gDeepestCall, d + 1);
}

void CmdCallFunction() {
  OperandWord* call = Interpreter().gProgramCounter;
  const int32_t d = Dispatcher().gCallDepth;
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

  Dispatcher().gReturnStack[d] = call;
  Dispatcher().gCallKind[d] = CallKind::kFunction;
  Dispatcher().gCallArgCount[d] = n;
  Dispatcher().gCallEntry[d] = entry;
  Dispatcher().gSavedFrames[d] = d > 0 ? SaveRunningFrame(d) : nullptr;

  // Every argument is read before any parameter changes, so f(b, a) and f(s$) with s$ its own
  // parameter see the caller's values. The buffers are kept from call to call.
  // The plan is taken after the frame is saved, which may work out the running function's plan.
  const FunctionPlan& plan = PlanOf(entry, n);
  const std::vector<FunctionPlan::Parameter>& parameters = plan.parameters;
  if (!plan.takesText && n <= kInlineArguments) {  // numbers only: the words fit on the stack
    int32_t numbers[kInlineArguments];
    for (int32_t i = 0; i < n; ++i) numbers[i] = call[3 + i].slot->i;
    for (int32_t i = 0; i < n; ++i) {
      const SlotKind k = parameters[size_t(i)].kind;
      if (k == SlotKind::kIntVar || k == SlotKind::kFloatVar) entry[i].slot->i = numbers[i];
    }
    EnterFunction(entry, n, d);
    return;
  }
  static std::vector<ValueSlot> words;
  static std::vector<std::string> texts;
  if (words.size() < size_t(n)) words.resize(size_t(n));
  if (plan.takesText && texts.size() < size_t(n)) texts.resize(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    if (parameters[size_t(i)].textSlot)
      texts[size_t(i)] = StringText(call[3 + i].slot->s);
    else
      words[size_t(i)] = *call[3 + i].slot;
  }
  for (int32_t i = 0; i < n; ++i) {
    ValueSlot* p = entry[i].slot;
    const SlotKind k = parameters[size_t(i)].kind;
    if (k == SlotKind::kIntVar || k == SlotKind::kFloatVar)
      p->i = words[size_t(i)].i;
    else if (k == SlotKind::kStringVar)
      StoreString(p, texts[size_t(i)].c_str(), texts[size_t(i)].size());
  }
  EnterFunction(entry, n, d);
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
  Interpreter().gYieldFlag = 1;
  Dispatcher().gEndFlag = 1;
}

void CmdFunctionGuard() {
  win::PostQuitMessage(0);
  Interpreter().gYieldFlag = 1;
  Dispatcher().gEndFlag = 1;
  RaiseRuntimeError(kErrRanIntoFunction);
}

void CmdRestoreData() {
  const auto index = uintptr_t(LiteralOperand(0));
  Dispatcher().gDataReadIndex = index < Runtime().gDataTypeCount ? uint32_t(index) : Runtime().gDataTypeCount;
  SkipOperands(1);
}

void CmdRestoreDataStart() { Dispatcher().gDataReadIndex = 0; }

// Reads DATA item i into target; type is 'l', 'f' or 's'.
void ReadData(char type) {
  ValueSlot* target = SlotOperand(0);
  SkipOperands(1);
  const uint32_t i = Dispatcher().gDataReadIndex;
  const bool match = i < Runtime().gDataTypeCount && Runtime().gDataTypes[i] == type;
  if (i < Runtime().gDataTypeCount) Dispatcher().gDataReadIndex = i + 1;

  const SlotKind kind = KindOf(target);
  const SlotKind variable = type == 'l' ? SlotKind::kIntVar : type == 'f' ? SlotKind::kFloatVar : SlotKind::kStringVar;
  const SlotKind temporary = type == 'l'   ? SlotKind::kIntTemp
                             : type == 'f' ? SlotKind::kFloatTemp
                                           : SlotKind::kStringTemp;
  const ValueSlot* item = match ? &Interpreter().gVariableArea[slots::kData + int(i)] : nullptr;

  ValueSlot* destination = target;
  if (match && kind == temporary) {
    // Written back to the variable or element the temporary was loaded from.
    destination = Runtime().gReferenceTable[size_t(OperandNumberOf(target) - slots::kOperandBase)];
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
  const int32_t d = Dispatcher().gCallDepth;
  if (d == 0 || !Dispatcher().gSavedFrames[d]) return;
  SavedFrame* frame = Dispatcher().gSavedFrames[d];
  Dispatcher().gSavedFrames[d] = nullptr;
  if (const FunctionPlan* plan = frame->plain) {
    for (size_t i = 0; i < frame->words.size(); ++i)
      if (!Runtime().gArrayHandles[size_t(plan->frameHandles[i])]) plan->frameSlots[i]->i = frame->words[i];
  }
  for (auto& e : frame->entries) {
    if (e.arrayHandle >= 0 && Runtime().gArrayHandles[size_t(e.arrayHandle)]) continue;
    if (e.isString) {
      if (e.slot->s) StoreString(e.slot, StringText(e.value.s));
    } else {
      e.slot->i = e.value.i;
    }
  }
  frame->Clear();
}

bool TakeWrappedStart(const ValueSlot* counter) {
  const int32_t depth = Dispatcher().gCallDepth;
  while (!gWrappedStarts.empty() && gWrappedStarts.back().depth > depth) gWrappedStarts.pop_back();
  if (gWrappedStarts.empty() || gWrappedStarts.back().counter != counter || gWrappedStarts.back().depth != depth)
    return false;
  gWrappedStarts.pop_back();
  return true;
}

void ResetCallStack() {
  gWrappedStarts.clear();
  for (int32_t d = 0; d < gDeepestCall; ++d) {
    if (Dispatcher().gSavedFrames[d]) Dispatcher().gSavedFrames[d]->Clear();
    Dispatcher().gSavedFrames[d] = nullptr;
    Dispatcher().gReturnStack[d] = nullptr;
    Dispatcher().gCallArgCount[d] = 0;
    Dispatcher().gCallEntry[d] = nullptr;
    Dispatcher().gCallKind[d] = CallKind::kNone;
  }
  Dispatcher().gCallDepth = 0;
  gDeepestCall = 0;
  Dispatcher().gCurrentFunction = 0;
}

void UnwindFunctionFrames() {
  while (Dispatcher().gCallDepth >= 1) {
    --Dispatcher().gCallDepth;
    Dispatcher().gCurrentFunction = int16_t(Dispatcher().gSavedFunction[Dispatcher().gCallDepth]);
    RestoreCallerFrame();
  }
}

}  // namespace vx

#include "generated/commands/flow.inc"
