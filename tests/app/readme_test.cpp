// What README.md says the system does not do, held against the command table and the dispatcher:
// the numbers its list gives have neither a row nor a handler, and a thousand-block of numbers
// without a single row is in the list. A handler added for a listed number fails here until the
// list is brought up to date.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "common/commands.h"
#include "runtime/dispatcher.h"

namespace vx {
namespace {

// The sub-items of "What it does not do": the command numbers they give, ranges opened up.
std::set<int> NumbersWithoutHandlerInReadme() {
  std::ifstream in(std::string(VX_SOURCE_DIR) + "/README.md");
  std::stringstream text;
  text << in.rdbuf();
  const std::string readme = text.str();
  const size_t section = readme.find("## What it does not do");
  std::set<int> numbers;
  if (section == std::string::npos) return numbers;
  std::istringstream lines(readme.substr(section));
  std::string line, item;
  // A sub-item begins with "  - " and goes on in lines indented further.
  auto take = [&] {
    const std::string afterLabel = item.substr(item.rfind(':') + 1);
    static const std::regex kRange(R"((\d+)(?:-(\d+))?)");
    for (std::sregex_iterator it(afterLabel.begin(), afterLabel.end(), kRange), end; it != end; ++it) {
      const int first = std::stoi((*it)[1]);
      const int last = (*it)[2].matched ? std::stoi((*it)[2]) : first;
      for (int n = first; n <= last; ++n) numbers.insert(n);
    }
    item.clear();
  };
  while (std::getline(lines, line)) {
    if (line.starts_with("  - ")) {
      take();
      item = line;
    } else if (line.starts_with("    ") && !item.empty()) {
      item += line;
    } else if (!item.empty()) {
      take();
    }
  }
  if (!item.empty()) take();
  return numbers;
}

TEST(ReadmeTest, TheCommandsItSaysAreMissingHaveNoRowAndNoHandler) {
  RegisterAllCommands();
  const std::set<int> listed = NumbersWithoutHandlerInReadme();
  ASSERT_GT(listed.size(), 100u) << "README.md lists no command numbers";
  for (const int number : listed) {
    EXPECT_EQ(FindCommandRow(number), nullptr) << "README.md lists " << number << ", which has a row";
    EXPECT_EQ(HandlerOf(number), nullptr) << "README.md lists " << number << ", which has a handler";
  }
}

TEST(ReadmeTest, EveryThousandBlockWithoutCommandsIsListed) {
  const std::set<int> listed = NumbersWithoutHandlerInReadme();
  std::set<int> blocksWithRows, blocksListed;
  for (size_t i = 0; i < kCommandRowCount; ++i) blocksWithRows.insert(kCommandRows[i].number / 1000);
  for (const int number : listed) blocksListed.insert(number / 1000);
  for (int block = 1; block < 10; ++block)
    EXPECT_TRUE(blocksWithRows.count(block) || blocksListed.count(block))
        << "no command numbers " << block * 1000 << " to " << block * 1000 + 999 << ", and README.md does not say so";
}

}  // namespace
}  // namespace vx
