// Profile files: reading with Windows matching rules, and writes that change only what they must.
#include "platform/win/profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <tuple>

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
            "Lone=\"\r\n"
            "NoEquals\r\n"
            "[ Other ]\n"
            "debug=2\n");
  const struct {
    const char *section, *key, *expected;
  } cases[] = {
      {"SETTINGS", "debug", "1"},       {"settings", "TITLE", "  My Game  "},  // blanks inside the quotes stay
      {"Settings", "Lone", "\""},                                              // one quote alone is not a pair
      {"Settings", "NoEquals", "none"}, {"Settings", "; a comment", "none"},
      {"Settings", "orphan", "none"},   {"other", "DEBUG", "2"},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.section, c.key), c.expected) << c.section << "/" << c.key;
  // The file name itself follows the file rules.
  EXPECT_EQ(ReadProfileString("settings", "debug", "", dir.path() + "\\setup.ini"), "1");
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

TEST_F(ProfileTest, RefusesNamesThatWouldBreakTheFile) {
  for (const auto& [section, key, value] :
       {std::tuple{"A", "k", "two\nlines"}, {"A]", "k", "v"}, {"A", "k=v", "v"}, {"A", "  ", "v"}}) {
    EXPECT_FALSE(WriteProfileString(section, key, value, file)) << section << "/" << key;
  }
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", file.c_str()));
  EXPECT_EQ(dir.Read("SETUP.INI"), "");
}

TEST_F(ProfileTest, TheUserProfileLivesUnderTheConfigFolderAndIsMadeWhenWritten) {
  const auto saved = [](const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  };
  const std::optional<std::string> config = saved("XDG_CONFIG_HOME"), home = saved("HOME");
  setenv("XDG_CONFIG_HOME", (dir.path() + "config").c_str(), 1);
  setenv("HOME", (dir.path() + "home").c_str(), 1);
  EXPECT_EQ(UserProfilePath(), dir.path() + "config/vorlix/WIN.INI");
  EXPECT_EQ(ReadUserProfileString("VorlixStateData", "BEST3DCARD", "none "), "none");
  ASSERT_TRUE(WriteUserProfileString("VorlixStateData", "BEST3DCARD", "**ask**"));
  EXPECT_EQ(dir.Read("config/vorlix/WIN.INI"), "[VorlixStateData]\r\nBEST3DCARD=**ask**\r\n");
  EXPECT_EQ(ReadUserProfileString("vorlixstatedata", "best3dcard", ""), "**ask**");
  // A relative config folder is not one; the home folder's is taken.
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(UserProfilePath(), dir.path() + "home/.config/vorlix/WIN.INI");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("HOME");
  EXPECT_EQ(UserProfilePath(), "");
  EXPECT_FALSE(WriteUserProfileString("VorlixStateData", "BEST3DCARD", "x"));
  EXPECT_EQ(ReadUserProfileString("VorlixStateData", "BEST3DCARD", "16"), "16");
  for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", config}, std::pair{"HOME", home}}) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
}

}  // namespace
}  // namespace vx::win
