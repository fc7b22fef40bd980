// Profile files: reading with Windows matching rules, and writes that change only what they must.
#include "platform/win/profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "platform/win/files.h"
#include "tests/support/temp_folder.h"

namespace vx::win {
namespace {

class ProfileTest : public ::testing::Test {
 protected:
  std::string Read(const char* section, const char* key, const char* fallback = "none") {
    char buffer[256];
    const DWORD count = GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(count, std::strlen(buffer));
    return buffer;
  }

  test::TempFolder dir;
  const std::string file = dir.path() + "SETUP.INI";
};

TEST_F(ProfileTest, ReadsWithWindowsMatchingRules) {
  dir.Write("SETUP.INI",
               "orphan=outside any section\n"
               "; a comment=not a key\r\n"
               "[Settings]\r\n"
               "Debug=1\r\n"
               "  Title =  \"  My Game  \"  \n"
               "Path=C:\\Games\\x\r\n"
               "Empty=\r\n"
               "Lone=\"\r\n"
               "NoEquals\r\n"
               "[ Other ]\n"
               "debug=2\n");
  const struct { const char *section, *key, *expected; } cases[] = {
      {"SETTINGS", "debug", "1"},
      {"settings", "TITLE", "  My Game  "},  // blanks inside the quotes stay
      {"Settings", "Path", "C:\\Games\\x"},
      {"Settings", "Empty", ""},
      {"Settings", "Lone", "\""},  // one quote alone is not a pair
      {"Settings", "NoEquals", "none"},
      {"Settings", "; a comment", "none"},
      {"Settings", "orphan", "none"},
      {"other", "DEBUG", "2"},
      {"Missing", "Debug", "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.section, c.key), c.expected) << c.section << "/" << c.key;
  // The file name itself follows the file rules.
  EXPECT_EQ(ReadProfileString("settings", "debug", "", dir.path() + "\\setup.ini"), "1");
}

TEST_F(ProfileTest, MissingFileGivesTheDefault) {
  EXPECT_EQ(Read("Settings", "Debug", "fallback  "), "fallback");  // trailing blanks dropped
  EXPECT_EQ(Read("Settings", "Debug", nullptr), "");
  EXPECT_EQ(ReadProfileString("Settings", "Debug", "0", file), "0");
}

TEST_F(ProfileTest, CutsToTheBufferSize) {
  dir.Write("SETUP.INI", "[A]\r\nkey=abcdef\r\n");
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("A", "key", "", buffer, 4, file.c_str()), 3u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], '#');

  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileStringA("A", "key", "", buffer, 0, file.c_str()), 0u);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(GetPrivateProfileStringA("A", "key", "", buffer, 1, file.c_str()), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(GetPrivateProfileStringA("A", "missing", "defaultvalue", buffer, 5, file.c_str()), 4u);
  EXPECT_STREQ(buffer, "defa");
}

TEST_F(ProfileTest, WritesCreateTheFileAndSection) {
  ASSERT_TRUE(WritePrivateProfileStringA("ERRORLOG", "RUNTIMEERROR ON 1/2/2024 AT 3:4", "Bad value", file.c_str()));
  ASSERT_TRUE(WriteProfileString("ERRORLOG", "Second", "two", file));
  ASSERT_TRUE(WriteProfileString("Loop", "PC1", "7", file));
  EXPECT_EQ(dir.Read("SETUP.INI"),
            "[ERRORLOG]\r\nRUNTIMEERROR ON 1/2/2024 AT 3:4=Bad value\r\nSecond=two\r\n\r\n[Loop]\r\nPC1=7\r\n");
  EXPECT_EQ(Read("errorlog", "runtimeerror on 1/2/2024 at 3:4"), "Bad value");
}

TEST_F(ProfileTest, ReplacesInPlaceAndKeepsEverythingElse) {
  dir.Write("SETUP.INI",
               "; settings of the game\n"
               "[Settings]\n"
               "Debug = 0 ; old\n"
               "; keep me\n"
               "Window=1\n"
               "\n"
               "[Other]\n"
               "x=1\n");
  ASSERT_TRUE(WriteProfileString("SETTINGS", "DEBUG", "1", file));
  ASSERT_TRUE(WriteProfileString("settings", "Added", "new", file));
  EXPECT_EQ(dir.Read("SETUP.INI"),
            "; settings of the game\r\n"
            "[Settings]\r\n"
            "Debug=1\r\n"
            "; keep me\r\n"
            "Window=1\r\n"
            "Added=new\r\n"
            "\r\n"
            "[Other]\r\n"
            "x=1\r\n");
}

TEST_F(ProfileTest, NullValueDeletesKeyAndNullKeyDeletesSection) {
  dir.Write("SETUP.INI", "[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=3\r\n[a]\r\nK=4\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("a", "K", nullptr, file.c_str()));
  EXPECT_EQ(dir.Read("SETUP.INI"), "[A]\r\nj=2\r\n[B]\r\nk=3\r\n[a]\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("A", nullptr, nullptr, file.c_str()));
  EXPECT_EQ(dir.Read("SETUP.INI"), "[B]\r\nk=3\r\n");
  EXPECT_EQ(Read("B", "k"), "3");

  // Deleting from a file that does not exist does not create it.
  const std::string absent = dir.path() + "absent.ini";
  EXPECT_TRUE(WritePrivateProfileStringA("A", "k", nullptr, absent.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("A", nullptr, nullptr, absent.c_str()));
  EXPECT_FALSE(ReadWholeFile(absent).has_value());
}

TEST_F(ProfileTest, RefusesNamesThatWouldBreakTheFile) {
  for (const auto& [section, key, value] : {std::tuple{"A", "k", "two\nlines"}, {"A]", "k", "v"}, {"A", "k=v", "v"},
                                            {"A", "  ", "v"}}) {
    EXPECT_FALSE(WriteProfileString(section, key, value, file)) << section << "/" << key;
  }
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", file.c_str()));
  EXPECT_EQ(dir.Read("SETUP.INI"), "");
}

}  // namespace
}  // namespace vx::win
