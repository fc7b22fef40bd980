// The BASIC compiler: turns a source file and its #include files into a program image that the
// runtime loads. Callers reset the context, load the command table, compile, read the result and
// free the tables; the command table stays loaded for the runtime's error report.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "compiler/context.h"

namespace vx {

// Empties every table of the context and clears the last compile's message and line.
void ResetCompiler();
// Frees what a compile holds (constants, DATA, labels, code, source); the command table, the
// last result and where its lines come from stay.
void FreeCompilerTables();

// Loads the command table from the executable's table resource (type 23, id 214). 1 when the
// resource was found, else 0.
int LoadCommandTable();
// The same from a text in the table's line format (lines end at CR LF, LF or CR).
int LoadCommandTableFromText(std::string_view text);

// Compiles the source file and writes the image under output (nothing is written when output is
// empty or the compile fails). 1 on success, 0 on failure with gCompiler.resultMessage and
// gCompiler.errorLine telling why.
int CompileFile(const std::string& source, const std::string& output);
// Compiles without writing an image.
int CompileFile(const std::string& source);
// Compiles an extra text against the state left by the last full compile, as part of the given
// user function (0: the main program).
int CompileSourceText(const std::string& text, int functionNumber);

// The message without a closing "at line N" of its own line (a line of the last compile), for
// callers that show the line beside it (the end checks name their line in the message).
std::string MessageWithoutLine(const std::string& message, int line);

// Where a line of the last compile's line table stands: in the source as it was named, or in an
// included file as it was found (its lines counted from 1).
struct SourceLine {
  std::string file;
  int line = 0;
};
SourceLine LocateSourceLine(int line);
// Where the last compile failed, in the file that holds the failing line (line 0 when the failure
// has no line).
SourceLine CompileErrorPlace();

// The row index of the first statement row with that command number, copying its name to out;
// -1, with out unchanged, when the number is 0, out is null or no row has it.
int FindCommandName(int32_t number, std::string* out);
// The parameter letter of a statement row at a position, 0 when there is none.
char CommandParameterLetter(int row, int position);
// Name and parameter letters of a command number in the loaded table, statement rows first, then
// value functions (whose letters begin with the result); false when no row has it. The runtime's
// error report names the failing command by it.
bool LookUpCommandInfo(int32_t number, std::string* name, std::string* letters);

}  // namespace vx
