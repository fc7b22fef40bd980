// Runtime errors: raising them (the runtime's side of RaiseRuntimeError and RaiseRuntimeWarning of
// common/runtime_hooks.h), the number-to-text map, the error box text, the log file and the
// detailed report of a failing command. The error texts themselves are the language's
// (gErrorWordTable, ide/language.h).
#pragma once
#include <cstdint>
#include <string>

#include "common/runtime_hooks.h"
#include "common/value_slot.h"
#include "runtime/runtime_state.h"

namespace vx {

constexpr int32_t kFirstSystemError = 10000;  // error numbers from here on are system errors

// What RaiseRuntimeError and RaiseRuntimeWarning do once the runtime's hooks are installed.
void RaiseError(int32_t n);
void RaiseWarning(int32_t n);
bool IsSoftError(int32_t n);

// Called in a catch block: raises the error that the exception stands for, out of memory for an
// allocation that failed and the severe exception (its words as the engine message) for any other.
void RaiseErrorOfCaughtException();
// Runs the step; an exception it lets out ends the run with its error, as one inside a command does.
template <class Step>
void RunCatchingExceptions(Step&& step) {
  try {
    step();
  } catch (...) {
    RaiseErrorOfCaughtException();
  }
}

// Keeps the name of the file the running command asks for: a file error that the same command
// raises names it when it does not exist.
void NoteRequestedFile(const std::string& name);

// Entry of gErrorWordTable for an error number, or -1 when the number has none.
int ErrorTableEntry(int32_t n);
// The text of an error number.
std::string ErrorNumberText(int32_t n);
// The error box text for gErrorCode.
std::string FormatErrorMessage();

// Log file entries (only in debug mode, except that the engine message is always kept).
std::string LogFilePath();
void LogRuntimeError(const std::string& text);
// What EngineErrorLog does once the runtime's hooks are installed.
void LogEngineError(const std::string& message);
// What EngineNote does: a log file entry in debug mode and, outside a standalone game, a line on
// standard error at the running command's place.
void LogEngineNote(const std::string& message);
void LogStringOutput(const std::string& text);

// Name and parameter letters of a command for the report; by default the compiler's loaded table
// answers. Tests put another lookup in; null returns to the compiler's.
struct CommandInfo {
  std::string name;
  std::string parameters;
};
using CommandInfoLookup = bool (*)(int32_t number, CommandInfo* out);
void SetCommandInfoLookup(CommandInfoLookup lookup);

// Builds the report of the command whose command word is given and puts it on the clipboard.
void CopyErrorReportToClipboard(const OperandWord* commandWord);
// Writes VX.VXA in the program folder: the source with numbered lines.
void WriteDebugOutputScript(const char* source, size_t length);

}  // namespace vx
