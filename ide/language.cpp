// Reading the language word file into the error and compiler message tables.
#include "ide/language.h"

#include "common/host_state.h"
#include "platform/win/files.h"
#include "platform/win/profile.h"

namespace vx {

LanguageState gLanguageState;

void ResetErrorWordTable() {
  for (size_t i = 0; i < Language().gErrorWordTable.size(); ++i)
    Language().gErrorWordTable[i] = "ERROR " + std::to_string(i);
}

std::string LanguageWordFilePath() { return Host().gProgramFolder + "LANG/" + Language().gTextLanguage + "/WORDS.TXT"; }

std::string LanguageWordFileEntry() { return "LANG\\" + Language().gTextLanguage + "\\WORDS.TXT"; }

bool LoadLanguageSettings() { return LoadLanguageSettingsFrom(LanguageWordFilePath()); }

bool LoadLanguageSettingsFrom(const std::string& path) {
  if (!win::CanOpenForReading(path)) return false;
  // A marker that no word file holds tells a missing key from an empty text.
  const std::string missing = "\x01missing\x01";
  for (int i = 0; i < 256; ++i) {
    std::string text = win::ReadProfileString("ERRORS", std::to_string(i), missing, path);
    if (text != missing) Language().gErrorWordTable[size_t(i)] = text;
  }
  for (int i = 0; i < kCompilerMessageCount; ++i) {
    std::string text = win::ReadProfileString("COMPILER", std::to_string(i), missing, path);
    if (text != missing) Language().gCompilerMessages[size_t(i)] = text;
  }
  return true;
}

}  // namespace vx
