// Runtime errors: raising them, the number-to-text table, the error box text, the log file and
// the detailed report of a failing command.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "common/value_slot.h"
#include "runtime/host.h"

namespace vx {

extern std::array<std::string, 256> gErrorWordTable;  // error texts by entry
extern char gLastEngineError[256];                     // last engine error message
extern std::string gErrorReport;                       // report shown by the run-time test box
extern uint32_t gErrorLine;  // source line (line table) of the command that set gErrorCode, 0 when none ran

// Ends the run with error n (soft numbers take the warning path).
void RaiseRuntimeError(int32_t n);
// Ends the run with warning n, except in a standalone game, where it is ignored.
void RaiseRuntimeWarning(int32_t n);
bool IsSoftError(int32_t n);

// Entry of gErrorWordTable for an error number, or -1 when the number has none.
int ErrorTableEntry(int32_t n);
// The text of an error number.
std::string ErrorNumberText(int32_t n);
// The error box text for gErrorCode.
std::string FormatErrorMessage();
// Fills the table with the default texts "ERROR <entry>".
void ResetErrorWordTable();

// Log file entries (only in debug mode, except that the engine message is always kept).
std::string LogFilePath();
void LogRuntimeError(const std::string& text);
void EngineErrorLog(const std::string& message);
void LogStringOutput(const std::string& text);

// Name and parameter letters of a command, when the compiler's command table is loaded.
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
