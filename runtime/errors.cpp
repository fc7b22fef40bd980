// Error raising, error texts, the error box text, VX.LOG entries and the run-time test report.
#include "runtime/errors.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>

#include "compiler/compiler.h"
#include "ide/language.h"
#include "platform/win/clipboard.h"
#include "platform/win/files.h"
#include "platform/win/heap.h"
#include "platform/win/messages.h"
#include "platform/win/profile.h"
#include "platform/win/time.h"
#include "runtime/attached_files.h"
#include "runtime/dispatcher_state.h"
#include "runtime/program_image.h"
#include "system/system_state.h"

namespace vx {

namespace {

// The compiler's table, when it is loaded.
bool CompilerCommandInfo(int32_t number, CommandInfo* out) {
  return LookUpCommandInfo(number, &out->name, &out->parameters);
}
// The line of the running command: the word before the program counter is its command word or,
// once the handler has stepped over them, one of its operands, all of the same line.
uint32_t RunningCommandLine() {
  if (!Runtime().gCodeBase || !Interpreter().gProgramCounter || Interpreter().gProgramCounter <= Runtime().gCodeBase)
    return 0;
  const size_t index = size_t(Interpreter().gProgramCounter - 1 - Runtime().gCodeBase);
  return index < Runtime().gCodeWordCount && index < Runtime().gLineTable.size() ? Runtime().gLineTable[index] : 0;
}

CommandInfoLookup gCommandInfoLookup = CompilerCommandInfo;

// Every error number the system knows: its text's entry or fixed text, and whether it only warns.
struct ErrorRow {
  int32_t number;
  int entry;         // entry of gErrorWordTable, -1 none
  const char* text;  // fixed text, null none
  bool soft;
};
#include "generated/error_table.inc"

const ErrorRow* FindErrorRow(int32_t n) {
  const auto* row = std::lower_bound(std::begin(kErrorRows), std::end(kErrorRows), n,
                                     [](const ErrorRow& r, int32_t number) { return r.number < number; });
  return row != std::end(kErrorRows) && row->number == n ? row : nullptr;
}

std::string LogTimeKey(const char* kind) {
  win::SYSTEMTIME t{};
  win::GetSystemTime(&t);
  char key[96];
  std::snprintf(key, sizeof key, "%s ON %d/%d/%d AT %d:%d", kind, t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute);
  return key;
}

// The errors of a file that could not be read: they name the file when it is missing.
bool IsFileError(int32_t n) {
  return n == kErrFileNotFound || n == kErrAnimationNotLoaded || n == kErrAnimationFileNotLoaded;
}

// The file the failing command asked for, when it is missing; under `vorlix run` also the folder
// where it was looked for.
std::string MissingFileOf(int32_t n) {
  const RuntimeState& r = Runtime();
  if (!IsFileError(n) || r.gRequestedFile.empty() || r.gRequestedFileAt != Interpreter().gProgramCounter) return {};
  const bool attached = r.gAttachedFiles && r.gAttachedFiles->FindEntry(r.gRequestedFile);
  if (attached || win::CanOpenForReading(r.gRequestedFile)) return {};
  const std::string detail = '"' + r.gRequestedFile + '"';
  if (Interpreter().gStandaloneFlag) return detail;
  std::error_code ignored;
  const std::filesystem::path folder =
      std::filesystem::absolute(win::ResolvePath(r.gRequestedFile), ignored).lexically_normal().parent_path();
  return detail + " (looked for in " + folder.string() + ")";
}

}  // namespace

void NoteRequestedFile(const std::string& name) {
  Runtime().gRequestedFile = name;
  Runtime().gRequestedFileAt = Interpreter().gProgramCounter;
}

bool IsSoftError(int32_t n) {
  const ErrorRow* row = FindErrorRow(n);
  return row && row->soft;
}

void RaiseError(int32_t n) {
  if (Dispatcher().gRuntimeTestMode && Interpreter().gProgramCounter)
    CopyErrorReportToClipboard(Interpreter().gProgramCounter - 1);
  if (IsSoftError(n)) {
    RaiseWarning(n);
    return;
  }
  Interpreter().gYieldFlag = 1;
  Interpreter().gErrorCode = n;
  Runtime().gErrorLine = RunningCommandLine();
  Runtime().gErrorFile = MissingFileOf(n);
  Interpreter().gErrorWarningFlag = 0;
  win::PostQuitMessage(0);
}

void RaiseErrorOfCaughtException() {
  int32_t error = kErrSevereException;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    error = kErrOutOfMemory;
  } catch (const std::exception& e) {
    EngineErrorLog(e.what());
  } catch (...) {
  }
  RaiseRuntimeError(error);
}

void RaiseWarning(int32_t n) {
  if (Interpreter().gStandaloneFlag) return;
  Interpreter().gYieldFlag = 1;
  Interpreter().gErrorCode = n;
  Runtime().gErrorLine = RunningCommandLine();
  Runtime().gErrorFile = MissingFileOf(n);
  Interpreter().gErrorWarningFlag = 1;
  win::PostQuitMessage(0);
}

int ErrorTableEntry(int32_t n) {
  const ErrorRow* row = FindErrorRow(n);
  return row ? row->entry : -1;
}

std::string ErrorNumberText(int32_t n) {
  const ErrorRow* row = FindErrorRow(n);
  if (row && row->text) return row->text;
  return row && row->entry >= 0 ? Language().gErrorWordTable[size_t(row->entry)] : std::string();
}

std::string FormatErrorMessage() {
  const char* kind = Interpreter().gErrorWarningFlag == 1 ? "Warning" : "Error";
  std::string out = Interpreter().gErrorCode < kFirstSystemError ? "Runtime " : "System ";
  out += kind;
  out += " : ";
  out += ErrorNumberText(Interpreter().gErrorCode);
  out += '.';
  if (!Runtime().gErrorFile.empty()) (out += ' ') += Runtime().gErrorFile;
  if (Runtime().gLastEngineError[0] != '\0') (out += ' ') += Runtime().gLastEngineError;
  return out;
}

std::string LogFilePath() { return Host().gProgramFolder + "VX.LOG"; }

void LogRuntimeError(const std::string& text) {
  if (!Dispatcher().gDebugMode) return;
  win::WriteProfileString("ERRORLOG", LogTimeKey("RUNTIMEERROR"), text, LogFilePath());
}

void LogEngineError(const std::string& message) {
  std::snprintf(Runtime().gLastEngineError, sizeof Runtime().gLastEngineError, "%s", message.c_str());
  if (!Dispatcher().gDebugMode) return;
  win::WriteProfileString("ERRORLOG", LogTimeKey("ENGINEERROR"), message, LogFilePath());
}

void LogEngineNote(const std::string& message) {
  if (Dispatcher().gDebugMode) win::WriteProfileString("ERRORLOG", LogTimeKey("ENGINENOTE"), message, LogFilePath());
  if (Interpreter().gStandaloneFlag) return;
  const uint32_t line = RunningCommandLine();
  const SourceLine where = LocateSourceLine(int(line));
  if (line > 0 && !where.file.empty())
    std::fprintf(stderr, "%s:%d: %s\n", where.file.c_str(), where.line, message.c_str());
  else
    std::fprintf(stderr, "%s\n", message.c_str());
}

void LogStringOutput(const std::string& text) {
  if (!Dispatcher().gDebugMode) return;
  win::WriteProfileString("ERRORLOG", "STRINGOUTPUT", text, LogFilePath());
}

void SetCommandInfoLookup(CommandInfoLookup lookup) { gCommandInfoLookup = lookup ? lookup : CompilerCommandInfo; }

void CopyErrorReportToClipboard(const OperandWord* commandWord) {
  if (!Runtime().gCodeBase || commandWord < Runtime().gCodeBase ||
      commandWord >= Runtime().gCodeBase + Runtime().gCodeWordCount)
    return;
  const auto number = int32_t(commandWord->word);
  if (number < 1 || !win::OpenClipboard(nullptr)) return;
  win::EmptyClipboard();

  const size_t index = size_t(commandWord - Runtime().gCodeBase);
  char line[300];
  std::string report;
  std::snprintf(line, sizeof line, "Line Number:%d\n", int(Runtime().gLineTable[index]));
  report += line;

  // The nine words after the command word, as far as the code goes.
  const size_t available = std::min<size_t>(9, Runtime().gCodeWordCount - index - 1);
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
  if (gCommandInfoLookup(number, &info)) {
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
    std::snprintf(line, sizeof line, "Command Number:%d\nInternal Error Code:%d\n", number,
                  int(System().gInternalErrorCode));
    report += line;
    for (size_t k = 1; k <= available; ++k) {
      const OperandWord& w = commandWord[k];
      int32_t operand = OperandNumberOf(w.slot);
      if (w.word == 0 || operand < 0) continue;
      const char type = operands::ValueTypeOf(operand);
      appendValue(k, type, w.slot);
    }
  }
  Runtime().gErrorReport.clear();
  if (Dispatcher().gRuntimeTestMode && report.size() < 10230) Runtime().gErrorReport = report;

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
  win::WriteWholeFile(Host().gProgramFolder + "VX.VXA", out.data(), out.size());
}

}  // namespace vx
