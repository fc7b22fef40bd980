// Error raising, error texts, the error box text, VX.LOG entries and the run-time test report.
#include "runtime/errors.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/win/clipboard.h"
#include "platform/win/files.h"
#include "platform/win/heap.h"
#include "platform/win/messages.h"
#include "platform/win/profile.h"
#include "platform/win/time.h"
#include "runtime/interpreter.h"
#include "runtime/program_image.h"
#include "system/system_state.h"

namespace vx {

std::array<std::string, 256> gErrorWordTable;
char gLastEngineError[256] = "";
std::string gErrorReport;
uint32_t gErrorLine = 0;

namespace {

// The line of the running command: the word before the program counter is its command word or,
// once the handler has stepped over them, one of its operands, all of the same line.
uint32_t RunningCommandLine() {
  if (!gCodeBase || !gProgramCounter || gProgramCounter <= gCodeBase) return 0;
  const size_t index = size_t(gProgramCounter - 1 - gCodeBase);
  return index < gCodeWordCount && index < gLineTable.size() ? gLineTable[index] : 0;
}

CommandInfoLookup gCommandInfoLookup = nullptr;

constexpr int32_t kSoftErrors[] = {1503, 2002, 2007, 2008, 2009, 2010, 3002, 3004, 3201,
                                   3502, 3504, 3507, 4001, 4002, 4101, 7901, 8002, 9011};

// Runs of consecutive error numbers and the entry of their first number.
struct ErrorRun {
  int32_t first, last, entry;
};
constexpr ErrorRun kErrorRuns[] = {
    {0, 3, 1},           {21, 21, 5},         {101, 115, 6},       {300, 304, 21},      {310, 312, 26},
    {500, 505, 29},      {1000, 1013, 35},    {1014, 1014, 173},   {1500, 1504, 49},    {2000, 2010, 54},
    {3000, 3007, 65},    {3008, 3008, 177},   {3021, 3023, 73},    {3201, 3201, 76},    {3500, 3507, 77},
    {4001, 4002, 85},    {4101, 4104, 87},    {5101, 5109, 194},   {7000, 7008, 91},    {7009, 7009, 108},
    {7010, 7010, 107},   {7011, 7017, 109},   {7018, 7018, 119},   {7019, 7019, 122},   {7020, 7020, 129},
    {7021, 7027, 100},   {7028, 7028, 133},   {7031, 7031, 130},   {7101, 7102, 120},   {7301, 7305, 168},
    {7601, 7606, 123},   {7901, 7901, 116},   {7911, 7912, 117},   {7931, 7932, 131},   {8001, 8003, 134},
    {8021, 8025, 137},   {8101, 8103, 142},   {8201, 8204, 145},   {8211, 8213, 149},   {8301, 8305, 184},
    {8501, 8518, 204},   {9001, 9005, 156},   {9011, 9014, 152},   {9701, 9705, 189},   {10001, 10007, 161},
};

std::string LogTimeKey(const char* kind) {
  win::SYSTEMTIME t{};
  win::GetSystemTime(&t);
  char key[96];
  std::snprintf(key, sizeof key, "%s ON %d/%d/%d AT %d:%d", kind, t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute);
  return key;
}

}  // namespace

bool IsSoftError(int32_t n) {
  return std::find(std::begin(kSoftErrors), std::end(kSoftErrors), n) != std::end(kSoftErrors);
}

void RaiseRuntimeError(int32_t n) {
  if (gRuntimeTestMode && gProgramCounter) CopyErrorReportToClipboard(gProgramCounter - 1);
  if (IsSoftError(n)) {
    RaiseRuntimeWarning(n);
    return;
  }
  gYieldFlag = 1;
  gErrorCode = n;
  gErrorLine = RunningCommandLine();
  gErrorWarningFlag = 0;
  win::PostQuitMessage(0);
}

void RaiseRuntimeWarning(int32_t n) {
  if (gStandaloneFlag) return;
  gYieldFlag = 1;
  gErrorCode = n;
  gErrorLine = RunningCommandLine();
  gErrorWarningFlag = 1;
  win::PostQuitMessage(0);
}

int ErrorTableEntry(int32_t n) {
  for (const auto& run : kErrorRuns)
    if (n >= run.first && n <= run.last) return run.entry + (n - run.first);
  return -1;
}

std::string ErrorNumberText(int32_t n) {
  if (n == 10008) return "Language not found";
  if (n == 10010) return "Severe Exception!";
  int entry = ErrorTableEntry(n);
  return entry >= 0 ? gErrorWordTable[size_t(entry)] : std::string();
}

std::string FormatErrorMessage() {
  const char* kind = gErrorWarningFlag == 1 ? "Warning" : "Error";
  std::string out = gErrorCode < 10000 ? "Runtime " : "System ";
  out += kind;
  out += " : ";
  out += ErrorNumberText(gErrorCode);
  out += ". ";
  out += gLastEngineError;
  return out;
}

void ResetErrorWordTable() {
  for (size_t i = 0; i < gErrorWordTable.size(); ++i) gErrorWordTable[i] = "ERROR " + std::to_string(i);
}

std::string LogFilePath() { return gProgramFolder + "VX.LOG"; }

void LogRuntimeError(const std::string& text) {
  if (!gDebugMode) return;
  win::WriteProfileString("ERRORLOG", LogTimeKey("RUNTIMEERROR"), text, LogFilePath());
}

void EngineErrorLog(const std::string& message) {
  std::snprintf(gLastEngineError, sizeof gLastEngineError, "%s", message.c_str());
  if (!gDebugMode) return;
  win::WriteProfileString("ERRORLOG", LogTimeKey("ENGINEERROR"), message, LogFilePath());
}

void LogStringOutput(const std::string& text) {
  if (!gDebugMode) return;
  win::WriteProfileString("ERRORLOG", "STRINGOUTPUT", text, LogFilePath());
}

void SetCommandInfoLookup(CommandInfoLookup lookup) { gCommandInfoLookup = lookup; }

void CopyErrorReportToClipboard(const OperandWord* commandWord) {
  if (!gCodeBase || commandWord < gCodeBase || commandWord >= gCodeBase + gCodeWordCount) return;
  const auto number = int32_t(commandWord->word);
  if (number < 1 || !win::OpenClipboard(nullptr)) return;
  win::EmptyClipboard();

  const size_t index = size_t(commandWord - gCodeBase);
  char line[300];
  std::string report;
  std::snprintf(line, sizeof line, "Line Number:%d\n", int(gLineTable[index]));
  report += line;

  // The nine words after the command word, as far as the code goes.
  const size_t available = std::min<size_t>(9, gCodeWordCount - index - 1);
  auto appendValue = [&](size_t position, char type, const ValueSlot* slot) {
    switch (type) {
      case 'f': std::snprintf(line, sizeof line, "P%d:%g\n", int(position), double(slot->f)); break;
      case 'l': std::snprintf(line, sizeof line, "P%d:%d\n", int(position), slot->i); break;
      case 's': std::snprintf(line, sizeof line, "P%d:%s\n", int(position), StringText(slot->s)); break;
      default: return;
    }
    report += line;
  };

  CommandInfo info;
  if (gCommandInfoLookup && gCommandInfoLookup(number, &info)) {
    std::snprintf(line, sizeof line, "Command Number:%d\nName:%.255s\n", number, info.name.c_str());
    report += line;
    for (size_t k = 1; k <= available; ++k) {
      const OperandWord& w = commandWord[k];
      int32_t operand = OperandNumberOf(w.slot);
      if (w.word == 0 || operand < 0 || operand >= operands::kData) continue;
      char type = k - 1 < info.parameters.size() ? info.parameters[k - 1] : '\0';
      appendValue(k, type, w.slot);
    }
  } else {
    std::snprintf(line, sizeof line, "Command Number:%d\nInternal Error Code:%d\n", number, int(gInternalErrorCode));
    report += line;
    for (size_t k = 1; k <= available; ++k) {
      const OperandWord& w = commandWord[k];
      int32_t operand = OperandNumberOf(w.slot);
      if (w.word == 0 || operand < 0) continue;
      const char type = operands::ValueTypeOf(operand);
      appendValue(k, type, w.slot);
    }
  }
  gErrorReport.clear();
  if (gRuntimeTestMode && report.size() < 10230) gErrorReport = report;

  win::HGLOBAL block = win::GlobalAlloc(win::GMEM_MOVEABLE | win::GMEM_ZEROINIT | win::GMEM_SHARE, report.size() + 1);
  if (block) {
    std::memcpy(win::GlobalLock(block), report.c_str(), report.size() + 1);
    win::GlobalUnlock(block);
    win::SetClipboardData(win::CF_TEXT, block);
  }
  win::CloseClipboard();
}

void WriteDebugOutputScript(const char* source, size_t length) {
  std::string out = "Debug Output Script\n\n";
  size_t pos = 0;
  int number = 1;
  char prefix[32];
  while (pos < length) {
    size_t end = pos;
    while (end < length && source[end] != '\r' && source[end] != '\n' && source[end] != '\0') ++end;
    std::snprintf(prefix, sizeof prefix, "%6d : ", number++);
    out += prefix;
    out.append(source + pos, end - pos);
    out += "\r\n";
    pos = end;
    if (pos < length && source[pos] == '\r') ++pos;
    if (pos < length && source[pos] == '\n') ++pos;
    if (pos < length && source[pos] == '\0') ++pos;
  }
  win::WriteWholeFile(gProgramFolder + "VX.VXA", out.data(), out.size());
}

}  // namespace vx
