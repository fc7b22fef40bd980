// Language word files: error texts and compiler messages read from LANG/<language>/WORDS.TXT in
// the program folder, and the editor's screen state.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vx {

constexpr int kCompilerMessageCount = 60;

// Fills the error table with the default texts "ERROR <entry>".
void ResetErrorWordTable();

struct LanguageState {
  std::array<std::string, 256> gErrorWordTable{};  // error texts by entry (runtime/errors.h maps numbers to them)
  std::array<std::optional<std::string>, kCompilerMessageCount> gCompilerMessages{};  // by key, none when missing
  int32_t gEditorScreenState = 0;         // 0 while a program runs; 2 or 3 while the editor's screens show
  std::string gTextLanguage = "english";  // folder name under LANG
};
extern LanguageState gLanguageState;  // the one instance (ide/language.cpp)
inline LanguageState& Language() { return gLanguageState; }

// The fields under their old names, until every use reads them through Language().
inline auto& gErrorWordTable = gLanguageState.gErrorWordTable;
inline auto& gCompilerMessages = gLanguageState.gCompilerMessages;
inline auto& gEditorScreenState = gLanguageState.gEditorScreenState;
inline auto& gTextLanguage = gLanguageState.gTextLanguage;

// Reads the chosen language's word file: ERRORS keys 0-255 replace the error texts, COMPILER keys
// 0-59 fill the compiler's messages. A missing file or key keeps what was there. Returns false
// when the word file is missing.
bool LoadLanguageSettings();
// The same from the word file at path.
bool LoadLanguageSettingsFrom(const std::string& path);
// Path of the chosen language's word file.
std::string LanguageWordFilePath();
// Its name inside the program folder, "LANG\<language>\WORDS.TXT": the name under which a built
// game carries it.
std::string LanguageWordFileEntry();

}  // namespace vx
