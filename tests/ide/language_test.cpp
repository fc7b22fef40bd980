// Language word files fill the error texts and the compiler messages; what is missing keeps its default.
#include <gtest/gtest.h>

#include "compiler/compiler.h"
#include "ide/language.h"
#include "runtime/dispatcher_state.h"
#include "runtime/errors.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Host().gProgramFolder = dir.path();
    ResetErrorWordTable();
    Language().gCompilerMessages.fill(std::nullopt);
  }
  void TearDown() override {
    Host().gProgramFolder.clear();
    Language().gTextLanguage = "english";
    ResetErrorWordTable();
    Language().gCompilerMessages.fill(std::nullopt);
  }
  test::TempFolder dir;
};

TEST_F(LanguageTest, WordFileReplacesTheTextsItHas) {
  dir.Write("LANG/english/WORDS.TXT",
            "[GENERAL]\r\n0=ignored\r\n[ERRORS]\r\n10=Array index out of range\r\n255=Last entry\r\n"
            "[COMPILER]\r\n0=Unknown command\r\n59=Last message\r\n");
  ASSERT_TRUE(LoadLanguageSettings());
  EXPECT_EQ(Language().gErrorWordTable[10], "Array index out of range");
  EXPECT_EQ(Language().gErrorWordTable[255], "Last entry");
  EXPECT_EQ(Language().gErrorWordTable[11], "ERROR 11");
  ASSERT_TRUE(Language().gCompilerMessages[0].has_value());
  EXPECT_EQ(*Language().gCompilerMessages[0], "Unknown command");
  EXPECT_EQ(*Language().gCompilerMessages[59], "Last message");
  EXPECT_FALSE(Language().gCompilerMessages[1].has_value());
}

TEST_F(LanguageTest, LanguageFolderIsFoundWithoutRegardToCaseAndMissingKeepsTheDefaults) {
  EXPECT_FALSE(LoadLanguageSettings());
  EXPECT_EQ(Language().gErrorWordTable[10], "ERROR 10");
  EXPECT_FALSE(Language().gCompilerMessages[0].has_value());

  dir.Write("lang/Deutsch/words.txt", "[ERRORS]\n1=Fehler\n");
  Language().gTextLanguage = "DEUTSCH";
  ASSERT_TRUE(LoadLanguageSettings());
  EXPECT_EQ(Language().gErrorWordTable[1], "Fehler");
}

// An empty text in the word file keeps the built-in one: a message never loses the words that
// say what is wrong.
TEST_F(LanguageTest, AnEmptyTextKeepsTheBuiltInMessage) {
  dir.Write("LANG/english/WORDS.TXT", "[COMPILER]\r\n29=\r\n");
  ASSERT_TRUE(LoadLanguageSettings());
  const std::string source = dir.Write("m.vxa", "a = 1\nprnt a\n");
  ResetCompiler();
  ASSERT_EQ(LoadCommandTable(), 1);
  EXPECT_NE(CompileFile(source, dir.path() + "m.dat"), 1);
  EXPECT_EQ(gCompiler.resultMessage, "Unknown command: prnt a");
  EXPECT_EQ(gCompiler.errorLine, 2);
  FreeCompilerTables();
}

}  // namespace
}  // namespace vx
