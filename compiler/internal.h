// What the compiler's parts share: operands, messages, code emission, the text helpers of the
// statement and expression compilers, and the steps that the driver runs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/context.h"
#include "compiler/scanner.h"

namespace vx::compiler {

// A compiled value: the operand number of its slot (or a label or jump word) and its type letter
// ('l', 'f', 's', 'z', 'a' label, 'j' jump target, 'x' failed).
struct Operand {
  int32_t number = -1;
  char type = 'x';
  bool dataLabel = false;  // a label operand of "restore"
  int label = -1;          // label index of a label operand
};

// Message keys of the word file's COMPILER section.
namespace msg {
constexpr int kNoIntVariable = 1, kNoFloatVariable = 2, kNoStringVariable = 3, kNoLabel = 4, kNoFunction = 5;
constexpr int kInteger = 6, kFloat = 7, kString = 8;
constexpr int kNoSuchFunction = 9, kNoSuchFunctionEnd = 10;
constexpr int kWrongValues = 11, kExpects = 12, kExpectsNothing = 13;
constexpr int kWrongAssignment = 14, kWrongElementAssignment = 15, kWrongElementRead = 16;
constexpr int kWrongUserArguments = 17;
constexpr int kNoIntConstant = 18, kNoFloatConstant = 19, kLongString = 20, kNoStringConstant = 21;
constexpr int kBadOperand = 22, kParentheses = 23, kBadLabelName = 24, kTooManyArguments = 25;
constexpr int kLabelTwice = 26, kFunctionTwice = 27, kBadParameter = 28, kUnknownStatement = 29;
constexpr int kBadSingleLineIf = 30, kBadFor = 31, kBadDim = 32, kBadLabel = 33, kBlockOutOfPlace = 34;
constexpr int kDataFull = 35, kBadDataItem = 36, kWrongParameters = 37, kBadDeclaration = 38;
constexpr int kBadReturn = 39, kEndfunctionOutside = 40, kLongLineInclude = 41, kTooManyIncludes = 42;
constexpr int kLongLine = 43, kIncludedFailure = 44, kIncludedLine = 45, kSourceUnreadable = 46;
constexpr int kAtLine = 47, kUndefinedLabel = 48, kUndeclaredArray = 49, kOpenBlock = 50;
constexpr int kSelectOutOfPlace = 51, kSecondDefault = 52, kImageUnwritable = 53, kIncludeUnreadable = 54;
constexpr int kCannotOpen = 55, kNotAFile = 56, kTooLarge = 57, kZeroByte = 58, kBlocksTooDeep = 59;
constexpr int kNoEndfunction = 60, kValueLostInCall = 61, kForeignComparison = 62, kCaseWithoutEndcase = 63;
}  // namespace msg

// The text of a message key: the word file's, else the built-in English one.
std::string MessageText(int key);
// Failing: every failure sets the failed flag, whatever its text. Fail replaces the message,
// FailIfSilent keeps one that a deeper step already built. Both return false.
bool Fail(int key);
bool Fail(std::string text);
// The message of the key followed by what it is about: "<message>: <detail>".
bool Fail(int key, std::string_view detail);
bool FailIfSilent(int key);
// Message 22 naming the operand, unless it holds values compiled before (their markers mean
// nothing to the reader) or nothing at all.
bool FailOperand(std::string_view text, std::string_view why = {});
// " at line <n>", n counted in the file that holds the line (an included file's own count).
std::string AtLine(int line);
// "<message>: <name>", and AtLine in a compile of a whole program.
std::string EndCheckMessage(int key, int line, const std::string& name);
// The type names of a row's letters ("integer, float"), or the "no parameters" text.
std::string TypeNames(std::string_view letters);

// Appends a source file's bytes to text, as long as text stays within kMaxSourceBytes; false
// after the message "<messageKey> <shownName>: <why>".
bool AppendSourceFile(const std::string& path, std::string_view shownName, int messageKey, std::string& text);

// Code emission (nothing while scanning).
void EmitWord(uint32_t word);
void EmitCommand(int32_t number, const Operand* operands, size_t count);
inline void EmitCommand(int32_t number, const std::vector<Operand>& operands) {
  EmitCommand(number, operands.data(), operands.size());
}
inline void EmitCommand(int32_t number, std::initializer_list<Operand> operands) {
  EmitCommand(number, operands.begin(), operands.size());
}

// Text helpers. Statements are lower case outside string literals and hold no control bytes
// there, so a marker byte never comes from the user.
constexpr char kMarker = '\x01';  // followed by the decimal digits of a compiled value's operand number
inline bool IsLetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }
inline bool IsNameChar(char c) { return IsLetterOrDigit(c) || c == '_' || c == '#' || c == '$'; }
inline bool IsLabelChar(char c) { return IsLetterOrDigit(c) || c == '_'; }
// A "(" after one of these opens a call or array group.
inline bool OpensGroup(char before) { return IsLetterOrDigit(before) || before == '$' || before == '#'; }
std::string_view Trim(std::string_view text);
std::string_view TrimLeft(std::string_view text);
// The "(" of the first call or array group (one directly after a name character) outside string
// literals; npos when none.
size_t FindCallOpen(std::string_view text);
// Words at blanks outside string literals; ":" is a word of its own.
std::vector<std::string_view> SplitWords(std::string_view text);
void SplitWords(std::string_view text, std::vector<std::string_view>& words);
std::string JoinWords(const std::vector<std::string_view>& words, size_t from, size_t to);
// The text before and after the first ":" outside string literals.
std::string_view BeforeColon(std::string_view text);
std::string_view AfterColon(std::string_view text);
// Items at commas outside string literals and parentheses; -1 after message 25.
int SplitArguments(std::string_view text, std::vector<std::string_view>& items);
// Lower case outside string literals; control bytes there become blanks.
void FoldLine(std::string_view line, std::string& out);

// Shorter code. Operators and conversions that read all their operands before they store their
// result (operand 0) and cannot fail: they may store straight into a variable that one of them
// reads.
bool StoresResultLast(int32_t number);
// Notes a temporary that the command writing it may leave unwritten.
void NoteUnsureTemporary(int32_t operand);
// Notes the temporaries of a statement's operands, unless the statement only reads them.
void NoteStatementTemporaries(int32_t number, const std::vector<Operand>& operands);
// Notes "v = temporary" where the statement's last command has just stored the temporary.
void NoteFoldableAssignment(int32_t number, const std::vector<Operand>& operands);
// At the end of a compile: each noted assignment whose temporary no command may leave unwritten is
// folded into its operation, which stores into the variable; the code closes up behind it.
void FoldAssignments();

// The three value types by index: 0 integer, 1 float, 2 string.
inline int TypeIndex(char type) { return type == 'f' ? 1 : type == 's' ? 2 : 0; }
inline char TypeLetter(int index) { return index == 1 ? 'f' : index == 2 ? 's' : 'l'; }

// Temporaries and conversions.
inline bool IsTemporary(int32_t operand) { return operand >= operands::kIntTemp && operand < operands::kIntVar; }
// Whether a user-function call made in the function (0: the main program) may write the
// temporary: any in a function, which may call itself; in the main program those past its own
// band, where the functions' bands begin.
bool CallMayOverwrite(int32_t temporary, uint16_t function);
// The marker that stands for a compiled value in a working text.
std::string Marker(int32_t number);
void ResetTemporaries();
bool NewTemporary(char type, Operand& out);
bool EmitConversion(Operand& operand);  // integer <-> float into a new temporary

// Values kept across user-function calls. A compile step that holds values while it compiles
// more keeps them in a list of its own: copies of operands, and a working text whose markers
// count as operands. A call compiled meanwhile moves the temporaries of every open list into
// hidden locals and rewrites them in the list, so the step reads its values back from there.
class LiveValues {
 public:
  LiveValues();  // the innermost open list from now on
  ~LiveValues();
  LiveValues(const LiveValues&) = delete;
  LiveValues& operator=(const LiveValues&) = delete;
  void Add(const Operand& operand) { operands_.push_back(operand); }
  const Operand& operator[](size_t i) const { return operands_[i]; }
  std::string& Text() { return text_; }

 private:
  friend void ProtectLiveValues();
  LiveValues* outer_;
  std::vector<Operand> operands_;
  std::string text_;
};
// Moves what the open lists hold in temporaries into hidden locals, before a call.
void ProtectLiveValues();
// The n-th hidden local of type index t in the running function, made on first use.
bool HeldLocal(int t, Operand& out);

// Lookup keys: a variable's, a label's, and a float constant's (its bits, with -0 taken as 0).
std::string VariableKey(std::string_view name, bool isArray, uint16_t function);
std::string LabelKey(std::string_view name, uint16_t function);
uint32_t FloatKey(float value);

// Expressions.
bool CompileExpression(std::string_view text, Operand& out);
bool CompileUserFunctionCall(std::string_view arguments, int function, Operand& out);
bool FindVariable(std::string_view name, Operand& out);
bool IsVariableName(std::string_view name);
char TypeOfName(std::string_view name);
char TypeOfOperand(int32_t number);
int FindUserFunction(std::string_view name);
// Constants of literals: a slot of the constant table of the type (none while scanning).
bool IntConstant(int32_t value, Operand& out);
bool FloatConstant(float value, Operand& out);
bool StringConstant(std::string_view text, Operand& out);
// Literals as the expression compiler reads them.
bool IsIntegerLiteral(std::string_view text);
int32_t IntegerLiteralValue(std::string_view text);
bool IsFloatLiteral(std::string_view text);
float FloatLiteralValue(std::string_view text);
bool IsStringLiteral(std::string_view text);
// True when some row of [first, end) has parameter letters that agree with the types so far
// ("z" agrees with any type; a statement row that takes its text agrees with anything). offset
// skips a value function's result letter.
bool AnyRowAgrees(const std::vector<CommandEntry>& rows, int first, int end, const std::string& types, size_t offset);
// Rows by name: index of the first row, -1 when none.
int FindValueFunctionRow(std::string_view name);
int FindStatementRow(std::string_view name);
// End of the run of rows that share the name of row first.
int StatementGroupEnd(int first);
int ValueFunctionGroupEnd(int first);

// Statements.
bool CompileStatement(std::string_view text);
// A statement of the table: its parameter text is what follows the row's name.
bool CompileRow(int row, std::string params, bool arrayTarget);
// The text after a statement's ":", compiled as a statement of its own (nothing when empty).
bool CompileRest(std::string_view rest);
// The index of word among words[from, to), npos when none; the index of the ":" word, or the count.
size_t FindWord(const std::vector<std::string_view>& words, std::string_view word, size_t from, size_t to);
size_t ColonWord(const std::vector<std::string_view>& words);
// The statements rewritten into simpler ones: words are the statement's, text what follows its
// keyword (the whole statement for select).
bool CompileSingleLineIf(const std::vector<std::string_view>& words, size_t thenAt);
bool CompileFor(std::string_view text);
bool CompileDim(std::string_view text);
bool CompileSelect(const std::vector<std::string_view>& words, std::string_view text);
// The block engine's part of a statement whose command is a block keyword (nothing for others):
// it may add a jump operand, change a next into the fused step, or ask for no code at all.
bool CompileBlockKeyword(int32_t& number, std::vector<Operand>& ops, bool& noCode);
bool IsForCommand(int32_t number);
// "an if block", "a case block": the open block as a message names it.
std::string OpenBlockName(const BlockEntry& block);
// Sets a word of the code emitted so far.
void Patch(uint32_t index, uint32_t value);
// Labels: the label index, -1 after message 4, -2 for a second definition.
int FindLabel(std::string_view name, bool data, bool reference, bool global);
bool ResolveLabels();
bool CheckArrayDeclarations();
bool CheckBlocksClosed();
// False, with the message and errorLine, when the code reads a temporary that a user-function call
// may have written since the value was stored; walked tells whether the walk met only commands it
// knows how to step over (it stops at any other).
bool ValuesOutliveCalls(bool* walked = nullptr);
int AddUserFunction(std::string_view name, std::string_view parameters);
void InitBlockKeywords();

// Driver steps.
bool CompileProgram(int mode, int functionNumber);
bool WriteProgramImage(const std::string& path);
void ReportProgress();
void StartCompilePass();
void ClearCompileTables();

}  // namespace vx::compiler
