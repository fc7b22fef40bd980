// The compiler's state: the one CompilerContext that holds the command tables and every table of
// a compile (variables, constants, labels, user functions, arrays, DATA, blocks, code), with the
// limits the program image and the runtime's variable area impose.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/operand_words.h"

namespace vx {

// Limits of the design; each is checked with its message.
constexpr int kMaxStatementRows = 768;
constexpr int kMaxValueFunctionRows = 512;
constexpr size_t kMaxCommandNameLength = 255;
constexpr size_t kMaxParameterLetters = 32;
constexpr int kMaxVariablesPerType = operands::kPerKind;
constexpr int kMaxConstantsPerType = operands::kPerKind;
constexpr int kMaxLabels = int(operands::kLabelCount);
constexpr int kMaxUserFunctions = 1024;
constexpr int kMaxArrayDeclarations = operands::kPerKind;    // as many as the variables of one type
constexpr int kMaxDataItems = int(operands::kLiteralCount);  // a DATA position is a literal
constexpr int kMaxIncludeFiles = 255;
constexpr int kMaxArguments = 32;
constexpr int kMaxExitsPerLoop = 32;
constexpr int kMaxBlockDepth = 1023;
constexpr size_t kMaxLineLength = 255;                // a line or rewritten text of this many characters is refused
constexpr size_t kMaxSourceBytes = size_t(64) << 20;  // a program's whole text, its included files too
constexpr uint32_t kInitialCodeCapacity = 65536;
constexpr int kTemporariesPerType = operands::kTemporariesPerKind;
constexpr int kTemporaryBandStep = 50;  // function n's temporaries start at 50 n ...
constexpr int kMaxTemporaryBand = 950;  // ... but no higher than this

// One row of a command table.
// Maps by name that can be searched with a string_view, without making a string.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};
template <typename T>
using NameMap = std::unordered_map<std::string, T, NameHash, std::equal_to<>>;

struct CommandEntry {
  std::string name;        // lower case
  int32_t number = 0;      // command number written into the code
  std::string parameters;  // letters; a value function's first letter is its result type
};

struct VariableRecord {
  std::string name;  // as written, with its "#" or "$"
  uint16_t function = 0;
  bool isArray = false;
  int line = 0;  // line of creation
};

struct LabelReference {
  uint32_t codeIndex;  // the operand word to patch
  bool data;           // restore: patched with a DATA position, else with a code address
};

struct LabelRecord {
  std::string name;
  uint16_t function = 0;   // kGlobalLabel for the entries of user functions
  int32_t definedAt = -1;  // code index of the definition, -1 until defined
  int32_t dataPosition = -1;
  int line = 0;  // line of creation
  std::vector<LabelReference> references;
};
constexpr uint16_t kGlobalLabel = 65535;

struct UserFunction {
  std::string name;
  std::string parameters;  // type letters in order
  char returnType = 'l';
  int line = 0;
  std::string returnExpression;  // text after "endfunction", typed once all names are known
  int returnLine = 0;
};

struct ArrayDeclaration {
  std::string name;
  uint16_t function = 0;
};

struct DataItem {
  char type;  // 'l', 'f' or 's'
  uint32_t word;
  std::string text;
};

struct BlockEntry {
  int opener = 0;  // block keyword row
  uint32_t jumpOperand = 0;
  uint32_t start = 0;
  bool hasElse = false;
  uint32_t elseOperand = 0;
  uint32_t afterElse = 0;
  std::vector<uint32_t> exits;
  int expectedCloser = 0;
  bool noCode = false;
  int line = 0;          // where the block was opened
  std::string caseText;  // "case <values>" for the if of a select's case, empty for other blocks
};

struct IncludeRecord {
  std::string path;           // as resolved, for comparing names
  int includeLine = 0;        // line of the #include that named it
  int parent = -1;            // include whose text holds that line, -1 for the main file
  size_t start = 0, end = 0;  // its bytes in the expanded text
  int firstLine = 0, lastLine = -1;
};

// The counts that describe how far a compile got; kept in snapshots so that an extra text can be
// compiled against the state of the last full compile.
struct CounterWords {
  size_t intVars = 0, floatVars = 0, stringVars = 0;
  size_t intConsts = 0, floatConsts = 0, stringConsts = 0;
  size_t dataItems = 0, labels = 0, functions = 0, arrays = 0;
  size_t blockDepth = 0;
  size_t codeWords = 0, commandCount = 0;
  int lineNumber = 1;
  std::vector<size_t> labelReferences;
};

struct CompilerContext {
  // Command tables, loaded from the table resource.
  std::vector<CommandEntry> statements;
  std::vector<uint8_t> blockKeywordRow;  // per statement row: 1 when its number is a block keyword's
  std::vector<CommandEntry> valueFunctions;
  int arrayGroupStart = -1;                // first value function named "@...", -1 when none
  NameMap<int> statementIndex;             // name -> first row
  NameMap<int> functionIndex;              // name -> first row
  NameMap<size_t> statementWords;          // first word -> most words of a name starting with it
  std::array<int32_t, 12> blockNumbers{};  // command number of each block keyword, 0 when missing

  int compileMode = 1;  // 1: a file; 2: an extra text
  bool scanOnly = false;
  uint32_t capacity = kInitialCodeCapacity;  // code and line buffers, words
  bool growAgain = false;                    // the buffers were doubled: compile again from the start
  int compileRuns = 0;                       // runs of the last CompileFile

  // Settings of the caller, kept across resets.
  // Given the whole text after the includes are added, for a numbered listing; none when null.
  void (*listingWriter)(const char* text, size_t length) = nullptr;

  // Shorter code for the same results: an operation stores straight into the variable that a
  // statement assigns it to, and a next steps its for's counter itself. Off only to compare.
  bool fuseCommands = true;

  std::string outputName;     // no image is written when empty
  std::string includeFolder;  // relative #include names are found here; the source's folder when empty
  std::string sourceName;
  std::string source;  // the file's bytes, a 0 byte, CR, LF
  bool sourceHeld = false;
  std::string expanded;  // source, "end" line, included files
  std::vector<IncludeRecord> includes;
  int mainLineCount = 0;  // M: the first line after the added "end" line
  int totalLines = 0;     // T
  int progressSteps = 0;

  // Tables of the compile.
  std::array<std::vector<VariableRecord>, 3> variables;  // integer, float, string
  NameMap<int32_t> variableIndex;                        // name, array flag and function -> operand number
  std::vector<int32_t> intConstants;
  std::vector<float> floatConstants;
  std::vector<std::string> stringConstants;
  std::unordered_map<int32_t, int32_t> intConstantIndex;
  std::unordered_map<uint32_t, int32_t> floatConstantIndex;  // by bits
  std::vector<DataItem> data;
  std::vector<LabelRecord> labels;
  NameMap<int> labelIndex;
  std::vector<UserFunction> functions;
  NameMap<int> userFunctionIndex;
  std::vector<ArrayDeclaration> arrays;
  std::vector<BlockEntry> blocks;
  // Hidden locals that keep values across user-function calls, per function and type.
  std::unordered_map<uint32_t, std::vector<int32_t>> heldLocals;

  // Code.
  std::vector<uint32_t> code;
  std::vector<uint32_t> lines;
  size_t commandCount = 0;
  uint32_t lastCommandAt = 0;  // code index of the last command word written
  // Assignments of an operation's temporary ({operation, assignment} code indices) that the end of
  // the compile folds into the operation, and the temporaries that some command may leave
  // unwritten (whose old value a later statement may then read), for which it must not.
  std::vector<std::pair<uint32_t, uint32_t>> foldableAssignments;
  std::vector<uint8_t> unsureTemporaries;  // by operand number less kIntTemp
  int lineNumber = 1;

  // Statement state.
  uint16_t currentFunction = 0;
  bool functionBody = false;
  bool skipRegion = false;
  bool arrayFlag = false;
  char expectedType = 0;
  bool selectOpen = false;
  bool selectDefault = false;
  std::string selectExpression;
  size_t selectDepth = 0;                  // blocks open when the select began; its cases go on top of them
  std::array<int32_t, 3> nextTemporary{};  // operand numbers
  std::array<int32_t, 3> temporaryLimit{};
  std::array<size_t, 3> heldInUse{};
  uint32_t statementStart = 0;  // code index before the statement's parameter code

  // Messages.
  std::string errorText;      // the message of the failing routine
  bool failed = false;        // a statement, check or step failed (whatever its message)
  std::string resultMessage;  // the message of the whole compile, empty on success
  int errorLine = 0;

  std::array<CounterWords, 4> snapshots;
};

extern CompilerContext gCompiler;  // the one instance (compiler/driver.cpp)
inline CompilerContext& Compiler() { return gCompiler; }

}  // namespace vx
