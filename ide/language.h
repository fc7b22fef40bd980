// Language word files: error texts and compiler messages read from LANG/<language>/WORDS.TXT in
// the program folder, and the editor's screen state.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vx {

constexpr int kCompilerMessageCount = 64;

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

bool LoadLanguageSettings();
// The same from the word file at path.
bool LoadLanguageSettingsFrom(const std::string& path);
// Path of the chosen language's word file.
std::string LanguageWordFilePath();
// Its name inside the program folder, "LANG\<language>\WORDS.TXT": the name under which a built
// game carries it.
std::string LanguageWordFileEntry();

}  // namespace vx
