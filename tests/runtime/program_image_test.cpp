// Loading program images: layout of every area, relocation of operand words, and refusal of
// images that break the format.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <vector>

#include "common/le_words.h"
#include "runtime/program_image.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace vx {
namespace {

using test::ImageBuilder;

// An image written word by word, independent of the test builder.
struct RawImage {
  std::vector<uint32_t> words;
  void Header(std::initializer_list<uint32_t> header) {
    uint32_t i = 0;
    for (uint32_t w : header) Put(i++, w);
  }
  void Put(uint32_t index, uint32_t value) {
    if (words.size() <= index) words.resize(index + 1, 0);
    words[index] = value;
  }
  void PutBytes(uint32_t wordIndex, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      uint32_t w = wordIndex + uint32_t(i / 4);
      Put(w, words.size() > w ? words[w] : 0);
      words[w] |= uint32_t(bytes[i]) << (8 * (i % 4));
    }
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out;
    for (uint32_t w : words) AppendLE32(out, w);
    return out;
  }
  bool Load() const {
    auto b = Bytes();
    return LoadProgramImageFromBytes(b.data(), b.size());
  }
};

std::vector<uint8_t> Text(const char* s, size_t bytes) {
  std::vector<uint8_t> out(bytes, 0);
  std::memcpy(out.data(), s, std::strlen(s));
  return out;
}

// Header of a minimal image: no constants, no strings, DATA at D, owner tables ending at K.
RawImage MinimalImage(uint32_t dataCount, uint32_t D, uint32_t K, uint32_t V, uint32_t codeWords) {
  RawImage img;
  img.Header({1, 16, 16, 16, 0, D, dataCount, K, 0, 0, 0, V});
  img.Put(K + 2 * codeWords - 1, 0);
  return img;
}

void SetWord(std::vector<uint8_t>& b, uint32_t index, uint32_t value) {
  WriteLE32(b.data() + size_t(index) * 4, value);
}
uint32_t GetWord(const std::vector<uint8_t>& b, uint32_t index) { return ReadLE32(b.data() + size_t(index) * 4); }

class ProgramImageTest : public ::testing::Test {
 protected:
  void TearDown() override { FreeProgramImage(); }
};

TEST_F(ProgramImageTest, OperandWordsAreRelocatedByRange) {
  const uint32_t code[] = {405, 25005, 37003, 36000, 10000, 24999, 35000, 0, 0xFFFFFFFFu, 34999, 25000};
  const uint32_t n = sizeof code / 4;
  RawImage img = MinimalImage(0, 16, 20, 3, n);
  for (uint32_t i = 0; i < n; ++i) img.Put(20 + i, code[i]);
  ASSERT_TRUE(img.Load());
  ASSERT_EQ(Runtime().gCodeWordCount, n);
  // Jump targets become code addresses, slot numbers slot addresses, literals their value.
  EXPECT_EQ(Runtime().gCodeBase[2].target, Runtime().gCodeBase + 3);
  EXPECT_EQ(Runtime().gCodeBase[4].slot, Interpreter().gVariableArea);
  EXPECT_EQ(Runtime().gCodeBase[5].slot, Interpreter().gVariableArea + 14999);
  const std::pair<int, int32_t> words[] = {{0, 405}, {1, 5},  {3, 36000}, {6, 35000},
                                           {7, 0},   {8, -1}, {9, 9999},  {10, 0}};
  for (const auto& [index, word] : words) EXPECT_EQ(Runtime().gCodeBase[index].word, word) << index;
}

TEST_F(ProgramImageTest, ConstantsStringsAndDataFillTheirSlots) {
  // Integer constants at 16-17, one float at 18, strings "", "hi" at 19, DATA at 20.
  RawImage img;
  img.Put(16, uint32_t(-5));
  img.Put(17, 70000);
  const uint32_t bits = std::bit_cast<uint32_t>(0.5f);
  img.Put(18, bits);
  img.PutBytes(19, {0, 'h', 'i', 0});
  // DATA: 5 items l, s "abc", f, s "ab", s "" -> type bytes then items from byte 8 (5/4*4+4).
  img.PutBytes(20, {'l', 's', 'f', 's', 's', 0, 0, 0});
  img.Put(22, 42);
  img.PutBytes(23, Text("abc", 8));  // three characters, NUL and a whole zero word
  img.Put(25, bits);
  img.PutBytes(26, Text("ab", 4));  // two characters fit one word
  img.PutBytes(27, Text("", 4));
  const uint32_t K = 28 + 3;
  img.Header({1, 16, 18, 19, 2, 20, 5, K, 0, 0, 0, 3});
  img.Put(K + 1, 0);
  ASSERT_TRUE(img.Load());
  EXPECT_EQ(SlotOfOperand(19000)->i, -5);
  EXPECT_EQ(SlotOfOperand(19001)->i, 70000);
  EXPECT_EQ(SlotOfOperand(21000)->f, 0.5f);
  EXPECT_EQ(SlotOfOperand(25000)->i, 42);
  EXPECT_EQ(SlotOfOperand(25002)->f, 0.5f);
  const std::pair<int, const char*> texts[] = {{23000, ""}, {23001, "hi"}, {25001, "abc"}, {25003, "ab"}, {25004, ""}};
  for (const auto& [operand, text] : texts) {
    ASSERT_NE(SlotOfOperand(operand)->s, nullptr) << operand;
    EXPECT_STREQ(StringText(SlotOfOperand(operand)->s), text) << operand;
  }
  EXPECT_EQ(Runtime().gDataTypeCount, 5u);
}

TEST_F(ProgramImageTest, ImageFileLoadsByNameWithWindowsSeparators) {
  test::TempFolder dir;
  EXPECT_FALSE(LoadProgramImage(dir.path() + "missing.dat"));
  EXPECT_FALSE(LoadProgramImage(dir.Write("PROG.DAT", "")));  // empty file
  ImageBuilder b;
  b.IntConst(9);
  auto bytes = b.Build();
  dir.Write("sub/Game.dat", std::string(bytes.begin(), bytes.end()));
  EXPECT_TRUE(LoadProgramImage(dir.path() + "SUB\\game.DAT"));
  EXPECT_EQ(SlotOfOperand(19000)->i, 9);
}

std::vector<uint8_t> WellFormedImage() {
  ImageBuilder b;
  b.IntConst(1);
  b.FloatConst(2.0f);
  b.StringConst("text");
  b.StringConst("more");
  b.DataInt(1);
  b.DataString("data");
  b.IntVar();
  b.StringVar();
  b.Label("top").Cmd(kCmdGoto, {test::To("top")});
  return b.Build();
}

TEST_F(ProgramImageTest, SoundImageLoadsAndFreesAndBrokenOnesAreRefused) {
  auto good = WellFormedImage();
  ASSERT_TRUE(LoadProgramImageFromBytes(good.data(), good.size()));
  FreeProgramImage();
  EXPECT_EQ(Interpreter().gVariableArea, nullptr);
  EXPECT_EQ(Runtime().gCodeBase, nullptr);
  EXPECT_TRUE(Runtime().gLineTable.empty());
  EXPECT_EQ(Runtime().gDataTypeCount, 0u);
  FreeProgramImage();  // twice is harmless

  // Each mutation breaks one rule of the format.
  using Image = std::vector<uint8_t>;
  const std::pair<const char*, void (*)(Image&)> malformations[] = {
      {"truncated header", [](Image& b) { b.resize(20); }},
      {"code start beyond the file", [](Image& b) { SetWord(b, 7, uint32_t(b.size() / 4 + 10)); }},
      {"float constants before integer ones", [](Image& b) { SetWord(b, 2, GetWord(b, 1) - 1); }},
      {"string area before float constants", [](Image& b) { SetWord(b, 3, GetWord(b, 2) - 1); }},
      {"owner tables larger than the area before the code", [](Image& b) { SetWord(b, 11, GetWord(b, 7)); }},
      {"more strings than the area holds", [](Image& b) { SetWord(b, 4, GetWord(b, 4) + 5); }},
      {"more than 2000 string constants", [](Image& b) { SetWord(b, 4, 2001); }},
      {"more than 14000 DATA items", [](Image& b) { SetWord(b, 6, 14001); }},
      {"DATA items past the owner tables", [](Image& b) { SetWord(b, 6, GetWord(b, 6) + 40); }},
      {"more than 2000 string variables", [](Image& b) { SetWord(b, 10, 2001); }},
      {"owner count beyond its table", [](Image& b) { SetWord(b, GetWord(b, 7) - GetWord(b, 11), 500); }},
      {"jump target outside the code",
       [](Image& b) {
         const uint32_t K = GetWord(b, 7);
         SetWord(b, K + 1, 37000 + uint32_t(b.size() / 4 - K) / 2 + 1);
       }},
  };
  for (const auto& [name, apply] : malformations) {
    auto b = WellFormedImage();
    apply(b);
    EXPECT_FALSE(LoadProgramImageFromBytes(b.data(), b.size())) << name;
    EXPECT_EQ(Interpreter().gVariableArea, nullptr) << name;
    EXPECT_EQ(Runtime().gCodeBase, nullptr) << name;
  }

  RawImage unterminated;
  unterminated.PutBytes(16, {'a', 'b', 'c', 'd'});  // no NUL before the DATA list at word 17
  unterminated.Header({1, 16, 16, 16, 1, 17, 0, 21, 0, 0, 0, 3});
  unterminated.Put(22, 0);
  EXPECT_FALSE(unterminated.Load());
}

TEST_F(ProgramImageTest, OtherVersionLoadsNothingAndTheRunEndsWithSevereException) {
  test::PrepareRuntime();
  ImageBuilder b;
  b.SetVersion(2);
  b.Cmd(kCmdAssignInt, {19000, 19000});
  ASSERT_TRUE(b.Load());
  EXPECT_EQ(Runtime().gCodeBase, nullptr);
  auto r = test::RunLoaded();
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(r.errorCode, kErrSevereException);
  EXPECT_EQ(r.errorText, "System Error : Severe Exception!.");
}

}  // namespace
}  // namespace vx
