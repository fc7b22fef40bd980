// Program image loader: checks every position and count of the file before it fills the
// variable area, then relocates the code words into slot addresses, literals and code addresses.
#include "runtime/program_image.h"

#include <cstdlib>
#include <cstring>

#include "common/le_words.h"
#include "platform/win/files.h"
#include "platform/win/modules.h"
#include "runtime/arrays.h"
#include "runtime/dispatcher_state.h"
#include "system/system_state.h"

namespace vx {

namespace {

// Words of command 0 after the code: running off its end meets an unknown command and stops.
constexpr uint32_t kEndWords = 16;

constexpr uint32_t kHeaderWords = 12;
constexpr uint32_t kMaxPerVariableGroup = operands::kPerKind;
constexpr uint32_t kMaxConstantsPerGroup = operands::kPerKind;
constexpr uint32_t kMaxDataItems = slots::kDataCapacity;

struct Header {
  uint32_t intConsts, floatConsts, stringArea, stringCount, dataList, dataCount, code;
  uint32_t intVars, floatVars, stringVars, ownerWords;
};

// Everything the loader builds, kept aside until the whole file has been checked.
struct Loaded {
  Header h{};
  uint32_t totalWords = 0;
  ValueSlot* area = nullptr;
  std::vector<RuntimeString*> strings;  // made so far, freed if the load fails
  std::vector<uint8_t> dataTypes;
  std::vector<ValueSlot> dataValues;
  std::vector<uint32_t> intOwners, floatOwners, stringOwners;
  OperandWord* code = nullptr;
  uint32_t codeWords = 0;
  ~Loaded() {
    for (auto* s : strings) FreeRuntimeString(s);
    std::free(area);
    std::free(code);
  }
};

// Length of the NUL-terminated text at byte offset pos that must end before limit; -1 when it does not.
long TextLength(const uint8_t* bytes, size_t pos, size_t limit) {
  for (size_t i = pos; i < limit; ++i)
    if (bytes[i] == 0) return long(i - pos);
  return -1;
}

bool ReadOwnerTable(const uint8_t* bytes, uint32_t& word, uint32_t end, std::vector<uint32_t>& out) {
  if (word >= end) return false;
  uint32_t count = ReadLE32(bytes + size_t(word) * 4);
  ++word;
  if (count > kMaxPerVariableGroup || count > end - word) return false;
  out.resize(count);
  for (uint32_t i = 0; i < count; ++i) out[i] = ReadLE32(bytes + size_t(word + i) * 4);
  word += count;
  return true;
}

// The header's positions and counts: areas in order, without overlap, inside the file; counts
// within their groups.
bool ReadHeader(const uint8_t* bytes, uint32_t total, Header& h) {
  uint32_t* fields[] = {&h.intConsts, &h.floatConsts, &h.stringArea, &h.stringCount, &h.dataList,  &h.dataCount,
                        &h.code,      &h.intVars,     &h.floatVars,  &h.stringVars,  &h.ownerWords};
  for (uint32_t i = 0; i < 11; ++i) *fields[i] = ReadLE32(bytes + (i + 1) * 4);
  if (h.intConsts < kHeaderWords || h.floatConsts < h.intConsts || h.stringArea < h.floatConsts ||
      h.dataList < h.stringArea || h.code > total || h.ownerWords > h.code || h.dataList >= h.code - h.ownerWords)
    return false;
  return h.floatConsts - h.intConsts <= kMaxConstantsPerGroup &&
         h.stringArea - h.floatConsts <= kMaxConstantsPerGroup && h.stringCount <= kMaxConstantsPerGroup &&
         h.dataCount <= kMaxDataItems && h.stringVars <= kMaxPerVariableGroup;
}

void ReadNumberConstants(const uint8_t* bytes, const Header& h, ValueSlot* area) {
  for (uint32_t i = 0; i < h.floatConsts - h.intConsts; ++i)
    area[slots::kIntConst + i].i = int32_t(ReadLE32(bytes + size_t(h.intConsts + i) * 4));
  for (uint32_t i = 0; i < h.stringArea - h.floatConsts; ++i) {
    uint32_t bits = ReadLE32(bytes + size_t(h.floatConsts + i) * 4);
    std::memcpy(&area[slots::kFloatConst + i].f, &bits, 4);
  }
}

// String constants: each must end with its NUL inside the string area.
bool ReadStringConstants(const uint8_t* bytes, Loaded& loaded) {
  const Header& h = loaded.h;
  size_t pos = size_t(h.stringArea) * 4;
  const size_t stringEnd = size_t(h.dataList) * 4;
  for (uint32_t i = 0; i < h.stringCount; ++i) {
    long len = TextLength(bytes, pos, stringEnd);
    if (len < 0) return false;
    loaded.strings.push_back(NewRuntimeString(reinterpret_cast<const char*>(bytes + pos), size_t(len)));
    pos += size_t(len) + 1;
  }
  return true;
}

// DATA list: type bytes, then the items from the next whole word; all before the owner tables.
bool ReadDataList(const uint8_t* bytes, Loaded& loaded) {
  const Header& h = loaded.h;
  const size_t dataStart = size_t(h.dataList) * 4;
  const size_t dataEnd = size_t(h.code - h.ownerWords) * 4;
  const uint32_t n = h.dataCount;
  if (dataStart + (n / 4) * 4 + 4 > dataEnd) return false;
  std::vector<uint8_t>& types = loaded.dataTypes;
  types.assign(bytes + dataStart, bytes + dataStart + n);
  std::vector<ValueSlot>& dataValues = loaded.dataValues;
  dataValues.resize(n);
  size_t pos = dataStart + (n / 4) * 4 + 4;
  for (uint32_t i = 0; i < n; ++i) {
    if (types[i] == 'l' || types[i] == 'f') {
      if (pos + 4 > dataEnd) return false;
      dataValues[i].i = int32_t(ReadLE32(bytes + pos));
      pos += 4;
    } else if (types[i] == 's') {
      long len = TextLength(bytes, pos, dataEnd);
      if (len < 0) return false;
      dataValues[i].s = NewRuntimeString(reinterpret_cast<const char*>(bytes + pos), size_t(len));
      loaded.strings.push_back(dataValues[i].s);
      pos += ((size_t(len) + 1) / 4) * 4 + 4;
      if (pos > dataEnd) return false;
    }
  }
  return true;
}

// Owner tables: three counted tables that fill the words just before the code.
bool ReadOwnerTables(const uint8_t* bytes, Loaded& loaded) {
  const Header& h = loaded.h;
  uint32_t word = h.code - h.ownerWords;
  if (h.ownerWords == 0) return true;
  return ReadOwnerTable(bytes, word, h.code, loaded.intOwners) &&
         ReadOwnerTable(bytes, word, h.code, loaded.floatOwners) &&
         ReadOwnerTable(bytes, word, h.code, loaded.stringOwners);
}

// Code and line table: whole words only. Operands become slot addresses, literals and code
// addresses.
bool RelocateCode(const uint8_t* bytes, Loaded& loaded) {
  const Header& h = loaded.h;
  const uint32_t codeWords = (loaded.totalWords - h.code) / 2;
  auto* code = static_cast<OperandWord*>(std::calloc(size_t(codeWords) + kEndWords, sizeof(OperandWord)));
  if (!code) return false;
  loaded.code = code;
  loaded.codeWords = codeWords;
  for (uint32_t i = 0; i < codeWords; ++i) {
    auto w = int32_t(ReadLE32(bytes + size_t(h.code + i) * 4));
    OperandWord& out = code[i];
    if (w >= operands::kIntTemp && w < operands::kEnd) {
      out.slot = loaded.area + (w - slots::kOperandBase);
    } else if (w >= int32_t(operands::kLiteral) && w < int32_t(operands::kLiteralEnd)) {
      out.word = w - int32_t(operands::kLiteral);
    } else if (w >= int32_t(operands::kCodeAddress)) {
      uint32_t target = uint32_t(w) - operands::kCodeAddress;
      if (target > codeWords) return false;  // may name the end of the code, never beyond it
      out.target = code + target;
    } else {
      out.word = w;
    }
  }
  return true;
}

// The file checks out: everything goes to the interpreter and the runtime.
void HandOver(const uint8_t* bytes, Loaded& loaded) {
  const Header& h = loaded.h;
  const uint32_t codeWords = loaded.codeWords;
  ValueSlot* area = loaded.area;
  Runtime().gLineTable.resize(codeWords);
  for (uint32_t i = 0; i < codeWords; ++i)
    Runtime().gLineTable[i] = ReadLE32(bytes + size_t(h.code + codeWords + i) * 4);
  for (uint32_t i = 0; i < h.stringCount; ++i) area[slots::kStringConst + i].s = loaded.strings[i];
  for (uint32_t i = 0; i < h.dataCount; ++i) area[slots::kData + i] = loaded.dataValues[i];
  loaded.strings.clear();
  for (uint32_t i = 0; i < h.stringVars; ++i) area[slots::kStringVar + i].s = NewRuntimeString("", 0);

  Interpreter().gVariableArea = area;
  loaded.area = nullptr;
  Interpreter().gVariableAreaSize = size_t(slots::kCount) * sizeof(ValueSlot);
  Runtime().gStringConstantCount = h.stringCount;
  Runtime().gDataTypes = std::move(loaded.dataTypes);
  Runtime().gDataTypeCount = h.dataCount;
  Runtime().gIntVarOwners = std::move(loaded.intOwners);
  Runtime().gFloatVarOwners = std::move(loaded.floatOwners);
  Runtime().gStringVarOwners = std::move(loaded.stringOwners);
  Runtime().gCodeBase = loaded.code;
  loaded.code = nullptr;
  ++Runtime().gImageLoads;
  Runtime().gCodeWordCount = codeWords;
  Runtime().gCodeSize = codeWords * 4;
}

}  // namespace

int32_t OperandNumberOf(const void* slot) {
  if (!Interpreter().gVariableArea) return -1;
  auto base = reinterpret_cast<uintptr_t>(Interpreter().gVariableArea);
  auto at = reinterpret_cast<uintptr_t>(slot);
  if (at < base || at >= base + Interpreter().gVariableAreaSize || (at - base) % sizeof(ValueSlot) != 0) return -1;
  return int32_t((at - base) / sizeof(ValueSlot)) + slots::kOperandBase;
}

bool LoadProgramImage(const std::string& path) {
  auto file = win::ReadWholeFile(path);
  if (!file) return false;
  return LoadProgramImageFromBytes(file->data(), file->size());
}

bool LoadProgramImageFromBytes(const uint8_t* bytes, size_t size) {
  FreeProgramImage();
  const size_t totalWords = size / 4;
  if (totalWords < 1) return false;
  if (ReadLE32(bytes) != 1) return true;  // nothing loaded: the run stops at its first command
  if (totalWords < kHeaderWords || totalWords > 0x3FFFFFFF) return false;
  Loaded loaded;
  loaded.totalWords = uint32_t(totalWords);
  if (!ReadHeader(bytes, loaded.totalWords, loaded.h)) return false;
  loaded.area = static_cast<ValueSlot*>(std::calloc(slots::kCount, sizeof(ValueSlot)));
  if (!loaded.area) return false;
  ReadNumberConstants(bytes, loaded.h, loaded.area);
  if (!ReadStringConstants(bytes, loaded) || !ReadDataList(bytes, loaded) || !ReadOwnerTables(bytes, loaded) ||
      !RelocateCode(bytes, loaded))
    return false;
  HandOver(bytes, loaded);
  return true;
}

void FreeProgramImage() {
  for (auto& module : System().gDllHandles) {
    if (module) win::FreeLibrary(module);
    module = nullptr;
  }
  if (Interpreter().gVariableArea) {
    ValueSlot* area = Interpreter().gVariableArea;
    for (int i = slots::kStringTemp; i < slots::kIntVar; ++i) ClearString(&area[i]);
    for (uint32_t i = 0; i < Runtime().gStringConstantCount; ++i) ClearString(&area[slots::kStringConst + i]);
    for (uint32_t i = 0; i < Runtime().gDataTypeCount; ++i)
      if (Runtime().gDataTypes[i] == 's') ClearString(&area[slots::kData + i]);
    FreeAllArrays();
    for (int i = slots::kStringVar; i < slots::kIntConst; ++i) ClearString(&area[i]);
    std::free(area);
  }
  Interpreter().gVariableArea = nullptr;
  Interpreter().gVariableAreaSize = 0;
  ++Runtime().gImageLoads;
  Runtime().gStringConstantCount = 0;
  Runtime().gIntVarOwners.clear();
  Runtime().gFloatVarOwners.clear();
  Runtime().gStringVarOwners.clear();
  Runtime().gLineTable.clear();
  Runtime().gDataTypes.clear();
  Runtime().gDataTypeCount = 0;
  std::free(Runtime().gCodeBase);
  Runtime().gCodeBase = nullptr;
  Runtime().gCodeSize = 0;
  Runtime().gCodeWordCount = 0;
  Interpreter().gProgramCounter = nullptr;
}

}  // namespace vx
