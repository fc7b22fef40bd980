// Text that is no program, made from the language's own pieces at random (with a fixed seed):
// every compile either fails with a message or writes an image that the runtime's loader takes.
#include <random>

#include "tests/compiler/compile_support.h"

namespace vx::test {
namespace {

TEST_F(CompileTest, ArbitraryTextFailsWithAMessageOrCompilesToALoadableImage) {
  const char* const kPieces[] = {"a",
                                 "b#",
                                 "c$",
                                 "1",
                                 "2.5",
                                 "\"x\"",
                                 "\"a b\"",
                                 "+",
                                 "-",
                                 "*",
                                 "/",
                                 "^",
                                 "=",
                                 "<",
                                 ">",
                                 "<=",
                                 ">=",
                                 "<>",
                                 "!",
                                 "&",
                                 "|",
                                 "(",
                                 ")",
                                 ",",
                                 ";",
                                 ":",
                                 " ",
                                 " ",
                                 " ",
                                 "if",
                                 "then",
                                 "else",
                                 "endif",
                                 "do",
                                 "loop",
                                 "exit",
                                 "for",
                                 "to",
                                 "step",
                                 "next",
                                 "while",
                                 "endwhile",
                                 "repeat",
                                 "until",
                                 "select",
                                 "case",
                                 "default",
                                 "endcase",
                                 "endselect",
                                 "dim",
                                 "undim",
                                 "data",
                                 "read",
                                 "restore",
                                 "print",
                                 "input",
                                 "goto",
                                 "gosub",
                                 "return",
                                 "function",
                                 "endfunction",
                                 "exitfunction",
                                 "f(",
                                 "g(",
                                 "rem",
                                 "`",
                                 "remstart",
                                 "remend",
                                 "#include",
                                 "x:",
                                 "end",
                                 "and",
                                 "or",
                                 "@",
                                 "?10000",
                                 "\t",
                                 "-1",
                                 "99999999999",
                                 ".",
                                 "a(",
                                 "b#(",
                                 "c$(",
                                 "\x01",
                                 "\"\x01"
                                 "10000\""};
  std::mt19937 random(12345);
  int compiled = 0;
  for (int round = 0; round < 600; ++round) {
    std::string source;
    if (random() % 3 == 0) source += "function f(p)\nendfunction p\nfunction g(q#, r$)\nendfunction r$\n";
    const int lines = 1 + int(random() % 8);
    for (int line = 0; line < lines; ++line) {
      const int pieces = 1 + int(random() % 12);
      for (int i = 0; i < pieces; ++i) source += kPieces[random() % std::size(kPieces)];
      source += random() % 4 == 0 ? "\r" : "\n";
    }
    if (Compile(source)) {
      ++compiled;
      ASSERT_TRUE(LoadProgramImage(output)) << source;
    } else {
      ASSERT_FALSE(Message().empty()) << source;
    }
  }
  EXPECT_GT(compiled, 0);
}

}  // namespace
}  // namespace vx::test
