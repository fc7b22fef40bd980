// The English word file that ships beside the executable: every error number that the runtime can
// show reaches a text of its own, every compiler message has one, and the language loader reads
// them all.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "ide/language.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

const std::string kWordFile = std::string(VX_SOURCE_DIR) + "/resources/lang/english/WORDS.TXT";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class EnglishWordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string text = ReadFile(kWordFile);
    ASSERT_FALSE(text.empty()) << kWordFile;
    dir.Write("LANG/english/WORDS.TXT", text);
    Host().gProgramFolder = dir.path();
    Language().gTextLanguage = "english";
    ResetErrorWordTable();
    Language().gCompilerMessages.fill(std::nullopt);
    ASSERT_TRUE(LoadLanguageSettings());
  }
  void TearDown() override {
    Host().gProgramFolder.clear();
    ResetErrorWordTable();
    Language().gCompilerMessages.fill(std::nullopt);
  }
  test::TempFolder dir;
};

TEST_F(EnglishWordsTest, EveryErrorNumberReachesATextOfItsOwn) {
  int reached = 0;
  for (int32_t n = 0; n < 11000; ++n) {
    const int entry = ErrorTableEntry(n);
    if (entry < 0) continue;
    ++reached;
    const std::string& text = Language().gErrorWordTable[size_t(entry)];
    EXPECT_FALSE(text.empty()) << "error " << n;
    EXPECT_NE(text, "ERROR " + std::to_string(entry)) << "error " << n << " keeps the default text";
  }
  EXPECT_GT(reached, 200);
}

TEST_F(EnglishWordsTest, ErrorBoxReadsAsASentence) {
  Interpreter().gErrorWarningFlag = 0;
  Interpreter().gErrorCode = kErrArrayIndexOutOfRange;
  EXPECT_EQ(FormatErrorMessage(), "Runtime Error : Array index out of range.");
  Interpreter().gErrorCode = kErrDivisionByZero;
  Interpreter().gErrorWarningFlag = 1;
  EXPECT_EQ(FormatErrorMessage(), "Runtime Warning : Division by zero.");
  Interpreter().gErrorCode = kErrWindowNotCreated;
  Interpreter().gErrorWarningFlag = 0;
  EXPECT_EQ(FormatErrorMessage(), "System Error : Could not create the window.");
  Interpreter().gErrorCode = 0;
}

TEST_F(EnglishWordsTest, EveryCompilerMessageHasAText) {
  // Whether a compile failed is read from whether a message was built, so an empty text for a
  // key the compiler uses would pass a failed compile as a success.
  for (int key = 1; key < kCompilerMessageCount; ++key) {
    ASSERT_TRUE(Language().gCompilerMessages[size_t(key)].has_value()) << "key " << key;
    EXPECT_FALSE(Language().gCompilerMessages[size_t(key)]->empty()) << "key " << key;
  }
  EXPECT_EQ(*Language().gCompilerMessages[6], "integer");
  EXPECT_EQ(*Language().gCompilerMessages[7], "float");
  EXPECT_EQ(*Language().gCompilerMessages[8], "string");
}

// Keys outside the sections' ranges would never be read, and a key given twice shows only its first text.
TEST_F(EnglishWordsTest, KeysAreNumbersInRangeAndUnique) {
  std::istringstream lines(ReadFile(kWordFile));
  std::string line, section;
  std::set<std::string> seen;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line;
      continue;
    }
    const size_t equals = line.find('=');
    ASSERT_NE(equals, std::string::npos) << line;
    const std::string key = line.substr(0, equals);
    ASSERT_EQ(key.find_first_not_of("0123456789"), std::string::npos) << line;
    const int number = std::stoi(key);
    if (section == "[ERRORS]") {
      EXPECT_LE(number, 255) << line;
    } else {
      ASSERT_EQ(section, "[COMPILER]") << line;
      EXPECT_LT(number, kCompilerMessageCount) << line;
    }
    EXPECT_TRUE(seen.insert(section + key).second) << "given twice: " << line;
  }
}

}  // namespace
}  // namespace vx
