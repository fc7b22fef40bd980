// The program image as written: header, constants, the packed string area, the DATA list with
// its padding, the variable owner tables ending where the code begins, code and line table; and
// the runtime's loader takes it.
#include "common/le_words.h"
#include "runtime/program_image.h"
#include "tests/compiler/compile_support.h"

namespace vx::test {
namespace {

class ImageTest : public CompileTest {
 protected:
  void ReadImage() {
    raw = dir.Read("out.dat");
    ASSERT_EQ(raw.size() % 4, 0u);
    words.resize(raw.size() / 4);
    for (size_t i = 0; i < words.size(); ++i) words[i] = Word(i * 4);
    ASSERT_GE(words.size(), 1024u);
    for (size_t i = 12; i < 1024; ++i) ASSERT_EQ(words[i], 0u) << "header word " << i;
  }
  uint32_t Word(size_t byte) const { return ReadLE32(reinterpret_cast<const uint8_t*>(raw.data()) + byte); }
  std::vector<uint32_t> Words(size_t from, size_t to) const {
    return {words.begin() + long(from), words.begin() + long(to)};
  }
  std::vector<uint32_t> words;
  std::string raw;
};

TEST_F(ImageTest, AreasFollowTheHeaderInOrder) {
  ASSERT_TRUE(Compile(R"(a = 1 : b# = 2.5 : c$ = ""
d$ = "abc"
data 7, 1.5, "abc", "xyzw"
x = f(1)
end
function f(p)
  q$ = "s"
endfunction p
)")) << Message();
  ReadImage();
  // Constants: 1 and 7 is not one (DATA items are no constants); 1, 2.5; "", "abc", "s".
  const uint32_t ints = 1, floats = 1, strings = 3;
  const uint32_t stringWords = (1 + 4 + 2) / 4 + 1;
  const uint32_t typeWords = 4 / 4 + 1, valueWords = 1 + 1 + 2 + 2;
  const uint32_t ownerWords = 3 + 3 + 1 + 3;
  const uint32_t stringsAt = 1024 + ints + floats, dataAt = stringsAt + stringWords;
  const uint32_t code = dataAt + typeWords + valueWords + ownerWords;
  // Variables: a, x and p of f; b#; c$, d$ and q$ of f.
  EXPECT_EQ(Words(0, 12), (std::vector<uint32_t>{1, 1024, 1024 + ints, stringsAt, strings, dataAt, 4, code, 3, 1, 3,
                                                 ownerWords}));
  EXPECT_EQ(Words(1024, 1026), (std::vector<uint32_t>{1, 0x40200000u}));  // 1, 2.5
  EXPECT_EQ(raw.substr(size_t(stringsAt) * 4, stringWords * 4), std::string("\0abc\0s\0\0", 8));
  const size_t data = size_t(dataAt) * 4, values = data + typeWords * 4;
  EXPECT_EQ(raw.substr(data, typeWords * 4), std::string("lfss\0\0\0\0", 8));
  EXPECT_EQ(Word(values), 7u);
  EXPECT_EQ(Word(values + 4), 0x3FC00000u);  // 1.5
  EXPECT_EQ(raw.substr(values + 8, 16), std::string("abc\0\0\0\0\0xyzw\0\0\0\0", 16));
  // Owner tables: a count, then each variable's function, for integers, floats and strings.
  EXPECT_EQ(Words(code - ownerWords, code), (std::vector<uint32_t>{3, 0, 0, 1, 1, 0, 3, 0, 0, 1}));

  const size_t n = (words.size() - code) / 2;
  EXPECT_EQ(words.size(), code + 2 * n);
  EXPECT_EQ(Words(code, code + n), gCompiler.code);
  EXPECT_EQ(Words(code + n, words.size()), gCompiler.lines);
  EXPECT_EQ(words[code + n - 1], 0u);
  EXPECT_EQ(words.back(), 0u);

  ASSERT_TRUE(LoadProgramImage(output));
  EXPECT_EQ(gDataTypeCount, 4u);
  EXPECT_EQ(gStringConstantCount, 3u);
  EXPECT_EQ(gIntVarOwners, (std::vector<uint32_t>{0, 0, 1}));
}

TEST_F(ImageTest, ProgramWithoutDataOrStringsKeepsOneWordForEach) {
  ASSERT_TRUE(Compile("a=1"));
  ReadImage();
  // One integer constant, an empty string area of one word, a DATA list of one zero word, the
  // owner tables of one integer variable.
  EXPECT_EQ(words[5], 1024u + 1 + 1);
  EXPECT_EQ(words[6], 0u);
  EXPECT_EQ(words[words[5]], 0u);
  EXPECT_EQ(words[7], 1024u + 1 + 1 + 1 + 4);
  EXPECT_EQ(words[11], 4u);
  ASSERT_TRUE(LoadProgramImage(output));
}

}  // namespace
}  // namespace vx::test
