// Arrays through whole images: dimensioning, element positions in one to five dimensions, range
// errors, bad sizes, freeing and re-dimensioning, and the reference table that element reads fill.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "runtime/arrays.h"
#include "runtime/program_image.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

using test::FloatAt;
using test::ImageBuilder;
using test::IntAt;
using test::IntTemp;
using test::FloatTemp;
using test::StringTemp;
using test::TextAt;
using test::Word;

// Command numbers; the k-dimensional member is the first plus k - 1.
enum : int {
  kReadDataInt = 33,
  kDimInt = 501, kUndimInt = 506, kDimFloat = 511, kUndimFloat = 516, kDimString = 521, kUndimString = 526,
  kSetInt = 561, kSetFloat = 566, kSetString = 571, kSetFloatFromInt = 576,
  kIntElement = 661, kFloatElement = 666, kStringElement = 671,
};

constexpr int32_t kNoMemory = 101;
constexpr int32_t kOutOfRange = 102;

// Handle of the array owned by a variable operand.
size_t HandleOf(int var) { return size_t(var - 13000); }
ValueSlot* BlockOf(int var) { return gArrayHandles[HandleOf(var)]; }

// Operand lists built from pieces.
std::vector<Word> Ops(std::initializer_list<int> head, const std::vector<int>& middle, std::initializer_list<int> tail = {}) {
  std::vector<Word> out(head.begin(), head.end());
  out.insert(out.end(), middle.begin(), middle.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

// Appends a command with a run-time operand list (the builder takes a fixed list).
void Emit(ImageBuilder& b, int number, const std::vector<Word>& operands) {
  b.Raw(Word(number));
  for (const Word& w : operands) b.Raw(w);
}

std::vector<int> Consts(ImageBuilder& b, const std::vector<int32_t>& values) {
  std::vector<int> out;
  for (int32_t v : values) out.push_back(b.IntConst(v));
  return out;
}

class ArrayTest : public ::testing::Test {
 protected:
  void TearDown() override { FreeProgramImage(); }
};

TEST_F(ArrayTest, SizeTenGivesIndicesZeroToTen) {
  struct Case {
    int32_t index;
    bool write;
    int32_t error;
  };
  const Case cases[] = {{0, true, 0},  {10, true, 0},  {11, true, kOutOfRange},  {-1, true, kOutOfRange},
                        {0, false, 0}, {10, false, 0}, {11, false, kOutOfRange}, {INT_MIN, false, kOutOfRange}};
  for (const auto& c : cases) {
    ImageBuilder b;
    int a = b.IntVar(), ten = b.IntConst(10), index = b.IntConst(c.index), value = b.IntConst(77);
    b.Cmd(kDimInt, {a, ten});
    if (c.write)
      b.Cmd(kSetInt, {a, index, value});
    else
      b.Cmd(kIntElement, {IntTemp(0), a, index});
    auto r = test::RunImage(b);
    EXPECT_EQ(r.errorCode, c.error) << c.index << (c.write ? " write" : " read");
    EXPECT_EQ(gArrayDims[HandleOf(a)][5], 11u);
    if (c.write && c.error == 0) {
      EXPECT_EQ(BlockOf(a)[c.index].i, 77);
    }
    if (!c.write) {
      EXPECT_EQ(IntAt(IntTemp(0)), 0);
    }
    if (c.error) {
      for (int i = 0; i < 11; ++i) EXPECT_EQ(BlockOf(a)[i].i, 0) << "nothing written on error";
    }
  }
}

TEST_F(ArrayTest, FirstIndexVariesFastestAndOnlyTheFlatPositionIsChecked) {
  ImageBuilder b;
  int a = b.IntVar(), two = b.IntConst(2), three = b.IntConst(3), zero = b.IntConst(0), one = b.IntConst(1),
      four = b.IntConst(4), value = b.IntConst(55);
  b.Cmd(kDimInt + 1, {a, two, three});                 // 3 by 4
  b.Cmd(kSetInt + 1, {a, zero, one, value});           // (0, 1)
  b.Cmd(kIntElement + 1, {IntTemp(0), a, three, zero});  // (3, 0): beyond dimension 1, same word
  b.Cmd(kIntElement + 1, {IntTemp(1), a, two, three});   // last element
  b.Cmd(kIntElement + 1, {IntTemp(2), a, zero, four});   // flat 12: outside
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, kOutOfRange);
  EXPECT_EQ(gArrayDims[HandleOf(a)][0], 3u);
  EXPECT_EQ(gArrayDims[HandleOf(a)][1], 4u);
  EXPECT_EQ(gArrayDims[HandleOf(a)][5], 12u);
  EXPECT_EQ(BlockOf(a)[3].i, 55);
  EXPECT_EQ(IntAt(IntTemp(0)), 55);
  EXPECT_EQ(IntAt(IntTemp(1)), 0);
}

// Writes and reads back the last element and one inside, of every type and dimension count.
TEST_F(ArrayTest, ElementsRoundTripInOneToFiveDimensions) {
  for (int k = 1; k <= 5; ++k) {
    // Sizes 1, 2, .. k give dimensions of 2, 3, .. k + 1 elements.
    std::vector<int32_t> sizes, inner;
    int64_t count = 1, innerFlat = 0, lastFlat = 0, stride = 1;
    for (int d = 0; d < k; ++d) {
      sizes.push_back(d + 1);
      inner.push_back(d % 2);
      innerFlat += (d % 2) * stride;
      lastFlat += (d + 1) * stride;
      stride *= d + 2;
      count *= d + 2;
    }
    ImageBuilder b;
    int ia = b.IntVar(), fa = b.FloatVar(), fb = b.FloatVar(), sa = b.StringVar();
    auto sizeOps = Consts(b, sizes), lastOps = Consts(b, sizes), innerOps = Consts(b, inner);
    int iv = b.IntConst(-123456), fv = b.FloatConst(2.5f), sv = b.StringConst("hello"), big = b.IntConst(16777217);
    Emit(b, kDimInt + k - 1, Ops({ia}, sizeOps));
    Emit(b, kDimFloat + k - 1, Ops({fa}, sizeOps));
    Emit(b, kDimFloat + k - 1, Ops({fb}, sizeOps));
    Emit(b, kDimString + k - 1, Ops({sa}, sizeOps));
    Emit(b, kSetInt + k - 1, Ops({ia}, lastOps, {iv}));
    Emit(b, kSetFloat + k - 1, Ops({fa}, lastOps, {fv}));
    Emit(b, kSetFloatFromInt + k - 1, Ops({fb}, innerOps, {big}));
    Emit(b, kSetString + k - 1, Ops({sa}, innerOps, {sv}));
    Emit(b, kIntElement + k - 1, Ops({IntTemp(0), ia}, lastOps));
    Emit(b, kFloatElement + k - 1, Ops({FloatTemp(0), fa}, lastOps));
    Emit(b, kFloatElement + k - 1, Ops({FloatTemp(1), fb}, innerOps));
    Emit(b, kStringElement + k - 1, Ops({StringTemp(0), sa}, innerOps));
    Emit(b, kStringElement + k - 1, Ops({StringTemp(1), sa}, lastOps));
    auto r = test::RunImage(b);
    ASSERT_EQ(r.errorCode, 0) << k;
    EXPECT_EQ(gArrayDims[HandleOf(ia)][5], uint32_t(count)) << k;
    EXPECT_EQ(BlockOf(ia)[lastFlat].i, -123456) << k;
    EXPECT_EQ(BlockOf(fb)[innerFlat].f, 16777216.0f) << k;
    EXPECT_EQ(IntAt(IntTemp(0)), -123456) << k;
    EXPECT_EQ(FloatAt(FloatTemp(0)), 2.5f) << k;
    EXPECT_EQ(FloatAt(FloatTemp(1)), 16777216.0f) << k;  // the nearest float
    EXPECT_EQ(TextAt(StringTemp(0)), "hello") << k;
    EXPECT_EQ(TextAt(StringTemp(1)), "") << k;  // never written
    // The variable's own slot holds its block.
    EXPECT_EQ(SlotOfOperand(sa)->p, BlockOf(sa)) << k;
    EXPECT_EQ(SlotOfOperand(ia)->p, BlockOf(ia)) << k;
  }
}

TEST_F(ArrayTest, RedimensioningClearsEveryElement) {
  ImageBuilder b;
  int ia = b.IntVar(), sa = b.StringVar(), five = b.IntConst(5), three = b.IntConst(3), nine = b.IntConst(9),
      text = b.StringConst("kept?");
  b.Cmd(kDimInt, {ia, five}).Cmd(kSetInt, {ia, three, nine});
  b.Cmd(kDimString, {sa, five}).Cmd(kSetString, {sa, three, text});
  b.Cmd(kDimInt, {ia, five}).Cmd(kDimString, {sa, five});
  b.Cmd(kIntElement, {IntTemp(0), ia, three}).Cmd(kStringElement, {StringTemp(0), sa, three});
  auto r = test::RunImage(b);
  ASSERT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(IntTemp(0)), 0);
  EXPECT_EQ(TextAt(StringTemp(0)), "");
  for (int i = 0; i < 6; ++i) EXPECT_EQ(BlockOf(sa)[i].s, nullptr);
}

// Reads of an array never dimensioned give 0 or "" and overwrite what the result held before.
TEST_F(ArrayTest, UndimensionedArrayIgnoresWritesAndReadsAsEmpty) {
  ImageBuilder b;
  int ia = b.IntVar(), fa = b.FloatVar(), sa = b.StringVar(), other = b.IntVar(), otherText = b.StringVar();
  int one = b.IntConst(1), seven = b.IntConst(7), f = b.FloatConst(1.5f), text = b.StringConst("x");
  b.Cmd(kDimInt, {other, seven}).Cmd(kSetInt, {other, one, seven}).Cmd(kIntElement, {IntTemp(0), other, one});
  b.Cmd(kDimString, {otherText, seven}).Cmd(kSetString, {otherText, one, text});
  b.Cmd(kStringElement, {StringTemp(0), otherText, one});
  b.Cmd(kSetInt, {ia, one, seven}).Cmd(kSetFloat, {fa, one, f}).Cmd(kSetString, {sa, one, text});
  b.Cmd(kIntElement, {IntTemp(0), ia, one}).Cmd(kStringElement, {StringTemp(0), sa, one});
  b.Cmd(kFloatElement, {FloatTemp(0), fa, one});
  auto r = test::RunImage(b);
  ASSERT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(IntTemp(0)), 0);
  EXPECT_EQ(TextAt(StringTemp(0)), "");
  EXPECT_EQ(FloatAt(FloatTemp(0)), 0.0f);
  EXPECT_EQ(BlockOf(ia), nullptr);
  EXPECT_EQ(BlockOf(fa), nullptr);
  EXPECT_EQ(BlockOf(sa), nullptr);
  EXPECT_EQ(TextAt(sa), "");  // the string variable keeps its own text
}

TEST_F(ArrayTest, BadSizesRaiseNoMemoryAndLeaveNoArray) {
  struct Case {
    const char* name;
    std::vector<int32_t> sizes;
  };
  const Case cases[] = {
      {"negative", {-1}},
      {"most negative", {INT_MIN}},
      {"negative second dimension", {5, -1}},
      {"beyond the element cap", {1 << 27}},
      {"largest integer", {INT_MAX}},
      {"product beyond the cap", {16383, 8192}},
      {"product beyond 64 bits", {INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX}},
  };
  const int firstDim[] = {kDimInt, kDimFloat, kDimString};
  for (const auto& c : cases) {
    for (int dim : firstDim) {
      ImageBuilder b;
      int var = dim == kDimInt ? b.IntVar() : dim == kDimFloat ? b.FloatVar() : b.StringVar();
      int four = b.IntConst(4);
      auto sizeOps = Consts(b, c.sizes);
      b.Cmd(dim, {var, four});  // an old array that the failing command frees first
      Emit(b, dim + int(c.sizes.size()) - 1, Ops({var}, sizeOps));
      auto r = test::RunImage(b);
      EXPECT_EQ(r.errorCode, kNoMemory) << c.name << " " << dim;
      EXPECT_EQ(BlockOf(var), nullptr) << c.name << " " << dim;
      EXPECT_EQ(gArrayDims[HandleOf(var)][5], 0u) << c.name << " " << dim;
      if (dim == kDimString) {
        EXPECT_EQ(TextAt(var), "") << c.name;
      } else {
        EXPECT_EQ(SlotOfOperand(var)->p, nullptr) << c.name << " " << dim;
      }
    }
  }
}

TEST_F(ArrayTest, SizeZeroGivesOneElement) {
  ImageBuilder b;
  int a = b.IntVar(), zero = b.IntConst(0), one = b.IntConst(1), v = b.IntConst(3);
  b.Cmd(kDimInt + 4, {a, zero, zero, zero, zero, zero}).Cmd(kSetInt + 4, {a, zero, zero, zero, zero, zero, v});
  b.Cmd(kSetInt + 4, {a, zero, zero, zero, zero, one, v});
  auto r = test::RunImage(b);
  EXPECT_EQ(r.errorCode, kOutOfRange);
  EXPECT_EQ(gArrayDims[HandleOf(a)][5], 1u);
  EXPECT_EQ(BlockOf(a)[0].i, 3);
}

TEST_F(ArrayTest, FreedArraysReadAsEmptyAndReleaseTheirVariables) {
  ImageBuilder b;
  int ia = b.IntVar(), fa = b.FloatVar(), sa = b.StringVar(), two = b.IntConst(2), v = b.IntConst(8),
      f = b.FloatConst(0.5f), text = b.StringConst("gone");
  b.Cmd(kDimInt, {ia, two}).Cmd(kSetInt, {ia, two, v}).Cmd(kUndimInt, {ia});
  b.Cmd(kDimFloat, {fa, two}).Cmd(kSetFloat, {fa, two, f}).Cmd(kUndimFloat, {fa});
  b.Cmd(kDimString, {sa, two}).Cmd(kSetString, {sa, two, text}).Cmd(kUndimString, {sa});
  b.Cmd(kIntElement, {IntTemp(0), ia, two}).Cmd(kFloatElement, {FloatTemp(0), fa, two});
  b.Cmd(kStringElement, {StringTemp(0), sa, two});
  b.Cmd(kUndimInt, {ia}).Cmd(kUndimString, {sa});  // freeing twice does nothing more
  auto r = test::RunImage(b);
  ASSERT_EQ(r.errorCode, 0);
  EXPECT_EQ(IntAt(IntTemp(0)), 0);
  EXPECT_EQ(FloatAt(FloatTemp(0)), 0.0f);
  EXPECT_EQ(TextAt(StringTemp(0)), "");
  for (int var : {ia, fa, sa}) EXPECT_EQ(BlockOf(var), nullptr);
  EXPECT_EQ(SlotOfOperand(ia)->p, nullptr);
  EXPECT_EQ(SlotOfOperand(fa)->p, nullptr);
  ASSERT_NE(SlotOfOperand(sa)->s, nullptr);  // a string variable always holds a text
  EXPECT_EQ(TextAt(sa), "");
}

TEST_F(ArrayTest, OperandsOutsideTheArrayGroupAreIgnored) {
  ImageBuilder b;
  int iv = b.IntVar(), fv = b.FloatVar(), sv = b.StringVar(), three = b.IntConst(3), one = b.IntConst(1);
  b.Cmd(kDimInt, {fv, three}).Cmd(kDimFloat, {sv, three}).Cmd(kDimString, {iv, three});
  b.Cmd(kDimInt, {three, three}).Cmd(kDimInt, {IntTemp(0), three});
  b.Cmd(kSetInt, {three, one, one}).Cmd(kUndimString, {three}).Cmd(kUndimInt, {sv});
  b.Cmd(kIntElement, {IntTemp(1), sv, one});
  auto r = test::RunImage(b);
  ASSERT_EQ(r.errorCode, 0);
  for (int var : {iv, fv, sv}) EXPECT_EQ(BlockOf(var), nullptr);
  EXPECT_EQ(IntAt(three), 3);
  EXPECT_EQ(IntAt(IntTemp(1)), 0);
  EXPECT_EQ(TextAt(sv), "");
}

TEST_F(ArrayTest, ReadsRecordTheirElementUntilTheArrayGoes) {
  enum class Then { kNothing, kUndim, kRedim, kReadOutside, kReadUndimensioned };
  for (Then then : {Then::kNothing, Then::kUndim, Then::kRedim, Then::kReadOutside, Then::kReadUndimensioned}) {
    ImageBuilder b;
    int ia = b.IntVar(), sa = b.StringVar(), none = b.IntVar(), two = b.IntConst(2), four = b.IntConst(4),
        nine = b.IntConst(9);
    b.Cmd(kDimInt, {ia, four}).Cmd(kDimString, {sa, four});
    b.Cmd(kIntElement, {IntTemp(5), ia, four}).Cmd(kIntElement, {IntTemp(5), ia, two});  // the later read counts
    b.Cmd(kStringElement, {StringTemp(7), sa, two});
    switch (then) {
      case Then::kNothing: break;
      case Then::kUndim: b.Cmd(kUndimInt, {ia}).Cmd(kUndimString, {sa}); break;
      case Then::kRedim: b.Cmd(kDimInt, {ia, four}).Cmd(kDimString, {sa, two}); break;
      case Then::kReadOutside:
        b.Cmd(kStringElement, {StringTemp(7), sa, nine}).Cmd(kIntElement, {IntTemp(5), ia, nine});
        break;
      case Then::kReadUndimensioned:
        b.Cmd(kIntElement, {IntTemp(5), none, two}).Cmd(kStringElement, {StringTemp(7), none, two});
        break;
    }
    auto r = test::RunImage(b);
    const int i = int(then);
    EXPECT_EQ(r.errorCode, then == Then::kReadOutside ? kOutOfRange : 0) << i;
    if (then == Then::kNothing) {
      EXPECT_EQ(gReferenceTable[5], &BlockOf(ia)[2]);
      EXPECT_EQ(gReferenceTable[2007], &BlockOf(sa)[2]);
    } else if (then == Then::kReadOutside) {
      // The string read fails first and ends the run.
      EXPECT_EQ(gReferenceTable[2007], nullptr);
      EXPECT_EQ(gReferenceTable[5], &BlockOf(ia)[2]);
    } else {
      EXPECT_EQ(gReferenceTable[5], nullptr) << i;
      if (then != Then::kReadUndimensioned) {
        EXPECT_EQ(gReferenceTable[2007], nullptr) << i;
      }
    }
  }
}

// The DATA read writes an element back through the temporary it was read into, and does nothing
// once that array has been freed.
TEST_F(ArrayTest, DataReadStoresThroughTheReadElement) {
  for (bool freed : {false, true}) {
    ImageBuilder b;
    int a = b.IntVar(), keep = b.IntVar(), three = b.IntConst(3);
    b.DataInt(42);
    b.DataInt(43);
    b.Cmd(kDimInt, {a, three}).Cmd(kIntElement, {IntTemp(0), a, three});
    if (freed) b.Cmd(kUndimInt, {a}).Cmd(kDimInt, {keep, three});
    b.Cmd(kReadDataInt, {IntTemp(0)});
    auto r = test::RunImage(b);
    ASSERT_EQ(r.errorCode, 0) << freed;
    if (freed) {
      EXPECT_EQ(BlockOf(a), nullptr);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(BlockOf(keep)[i].i, 0);
    } else {
      EXPECT_EQ(BlockOf(a)[3].i, 42);
    }
  }
}

}  // namespace
}  // namespace vx
