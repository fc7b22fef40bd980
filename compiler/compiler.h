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
// Frees what a compile holds (constants, DATA, labels, code, source); the command table and the
// last result stay.
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

// The row index of the first statement row with that command number, copying its name to out;
// -1, with out unchanged, when the number is 0, out is null or no row has it.
int FindCommandName(int32_t number, std::string* out);
// The parameter letter of a statement row at a position, 0 when there is none.
char CommandParameterLetter(int row, int position);
// Name and parameter letters of a command number in the loaded table, statement rows first, then
// value functions (whose letters begin with the result); false when no row has it. The runtime's
// error report names the failing command by it.
bool LookUpCommandInfo(int32_t number, std::string* name, std::string* letters);

// Where a compile hands the source after the include expansion, so that the lines of a run-time
// error report can be found in it (the runtime sets its debug output script writer in run-time test
// mode); null: nowhere.
extern void (*gSourceListingWriter)(const char* text, size_t length);

}  // namespace vx
