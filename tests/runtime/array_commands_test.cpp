// Arrays through whole images: dimensioning, element positions in one to five dimensions, range
// errors, bad sizes, freeing, and DATA reads into elements of arrays that may have gone.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "runtime/arrays.h"
#include "runtime/flow.h"
#include "runtime/program_image.h"
#include "tests/support/image_builder.h"
#include "tests/support/run_program.h"

namespace vx {
namespace {

using namespace test;

// Handle of the array owned by a variable operand.
size_t HandleOf(int var) { return size_t(var - operands::kIntVar); }
ValueSlot* BlockOf(int var) { return Runtime().gArrayHandles[HandleOf(var)]; }

// Appends a command whose operands are head, then middle, then tail (the builder takes a fixed list).
void Emit(ImageBuilder& b, int number, std::initializer_list<int> head, const std::vector<int>& middle,
          std::initializer_list<int> tail = {}) {
  b.Raw(number);
  for (auto part : {std::vector<int>(head), middle, std::vector<int>(tail)})
    for (int w : part) b.Raw(w);
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
  const struct {
    int32_t index;
    bool write;
    int32_t error;
  } cases[] = {{10, true, 0},
               {11, true, kErrArrayIndexOutOfRange},
               {-1, true, kErrArrayIndexOutOfRange},
               {10, false, 0},
               {INT_MIN, false, kErrArrayIndexOutOfRange}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << (c.write ? " write" : " read"));
    ImageBuilder b;
    int a = b.IntVar(), index = b.IntConst(c.index);
    b.Cmd(kCmdDimIntArray1, {a, b.IntConst(10)});
    if (c.write)
      b.Cmd(kCmdSetIntElement1, {a, index, b.IntConst(77)});
    else
      b.Cmd(kCmdIntElement1, {IntTemp(0), a, index});
    EXPECT_EQ(RunImage(b).errorCode, c.error);
    EXPECT_EQ(Runtime().gArrayDims[HandleOf(a)][5], 11u);
    EXPECT_EQ(IntAt(IntTemp(0)), 0);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(BlockOf(a)[i].i, c.write && !c.error && i == c.index ? 77 : 0) << i;
  }
}

// Writes and reads back the last element and one inside, of every type and dimension count.
TEST_F(ArrayTest, ElementsRoundTripInOneToFiveDimensions) {
  for (int k = 1; k <= 5; ++k) {
    SCOPED_TRACE(k);
    // Sizes 1, 2, .. k give dimensions of 2, 3, .. k + 1 elements.
    std::vector<int32_t> sizes, inner;
    int64_t count = 1, innerFlat = 0, lastFlat = 0;
    for (int d = 0; d < k; ++d) {
      sizes.push_back(d + 1);
      inner.push_back(d % 2);
      innerFlat += (d % 2) * count;
      lastFlat += (d + 1) * count;
      count *= d + 2;
    }
    ImageBuilder b;
    int ia = b.IntVar(), fa = b.FloatVar(), fb = b.FloatVar(), sa = b.StringVar();
    auto sizeOps = Consts(b, sizes), lastOps = Consts(b, sizes), innerOps = Consts(b, inner);
    int iv = b.IntConst(-123456), fv = b.FloatConst(2.5f), sv = b.StringConst("hello"), big = b.IntConst(16777217);
    Emit(b, kCmdDimIntArray1 + k - 1, {ia}, sizeOps);
    Emit(b, kCmdDimFloatArray1 + k - 1, {fa}, sizeOps);
    Emit(b, kCmdDimFloatArray1 + k - 1, {fb}, sizeOps);
    Emit(b, kCmdDimStringArray1 + k - 1, {sa}, sizeOps);
    Emit(b, kCmdSetIntElement1 + k - 1, {ia}, lastOps, {iv});
    Emit(b, kCmdSetFloatElement1 + k - 1, {fa}, lastOps, {fv});
    Emit(b, kCmdSetFloatElementFromInt1 + k - 1, {fb}, innerOps, {big});
    Emit(b, kCmdSetStringElement1 + k - 1, {sa}, innerOps, {sv});
    Emit(b, kCmdIntElement1 + k - 1, {IntTemp(0), ia}, lastOps);
    Emit(b, kCmdFloatElement1 + k - 1, {FloatTemp(0), fa}, lastOps);
    Emit(b, kCmdFloatElement1 + k - 1, {FloatTemp(1), fb}, innerOps);
    Emit(b, kCmdStringElement1 + k - 1, {StringTemp(0), sa}, innerOps);
    Emit(b, kCmdStringElement1 + k - 1, {StringTemp(1), sa}, lastOps);
    ASSERT_EQ(RunImage(b).errorCode, 0);
    EXPECT_EQ(Runtime().gArrayDims[HandleOf(ia)][5], uint32_t(count));
    EXPECT_EQ(BlockOf(ia)[lastFlat].i, -123456);
    EXPECT_EQ(BlockOf(fb)[innerFlat].f, 16777216.0f);
    EXPECT_EQ(IntAt(IntTemp(0)), -123456);
    EXPECT_EQ(FloatAt(FloatTemp(0)), 2.5f);
    EXPECT_EQ(FloatAt(FloatTemp(1)), 16777216.0f);  // the nearest float
    EXPECT_EQ(TextAt(StringTemp(0)), "hello");
    EXPECT_EQ(TextAt(StringTemp(1)), "");  // never written
    // The variable's own slot holds its block.
    EXPECT_EQ(SlotOfOperand(sa)->p, BlockOf(sa));
    EXPECT_EQ(SlotOfOperand(ia)->p, BlockOf(ia));
  }
}

// Freed arrays ignore writes; reads give 0 or "" and overwrite what the result held before.
TEST_F(ArrayTest, FreedArraysIgnoreWritesAndReadAsEmpty) {
  ImageBuilder b;
  int ia = b.IntVar(), fa = b.FloatVar(), sa = b.StringVar(), oi = b.IntVar(), of = b.FloatVar(), os = b.StringVar();
  int one = b.IntConst(1), seven = b.IntConst(7), f = b.FloatConst(1.5f), text = b.StringConst("x");
  const auto writeAll = [&](int i, int fl, int st) {
    b.Cmd(kCmdSetIntElement1, {i, one, seven})
        .Cmd(kCmdSetFloatElement1, {fl, one, f})
        .Cmd(kCmdSetStringElement1, {st, one, text});
  };
  const auto readAll = [&](int i, int fl, int st) {
    b.Cmd(kCmdIntElement1, {IntTemp(0), i, one}).Cmd(kCmdFloatElement1, {FloatTemp(0), fl, one});
    b.Cmd(kCmdStringElement1, {StringTemp(0), st, one});
  };
  for (int i : {0, 1}) {
    b.Cmd(kCmdDimIntArray1, {i ? ia : oi, seven})
        .Cmd(kCmdDimFloatArray1, {i ? fa : of, seven})
        .Cmd(kCmdDimStringArray1, {i ? sa : os, seven});
    writeAll(i ? ia : oi, i ? fa : of, i ? sa : os);
  }
  readAll(oi, of, os);  // the results now hold values
  b.Cmd(kCmdUndimIntArray, {ia}).Cmd(kCmdUndimFloatArray, {fa}).Cmd(kCmdUndimStringArray, {sa});
  b.Cmd(kCmdUndimIntArray, {ia}).Cmd(kCmdUndimStringArray, {sa});  // freeing twice does nothing more
  writeAll(ia, fa, sa);
  readAll(ia, fa, sa);
  ASSERT_EQ(RunImage(b).errorCode, 0);
  EXPECT_EQ(IntAt(IntTemp(0)), 0);
  EXPECT_EQ(FloatAt(FloatTemp(0)), 0.0f);
  EXPECT_EQ(TextAt(StringTemp(0)), "");
  for (int var : {ia, fa, sa}) EXPECT_EQ(BlockOf(var), nullptr);
  EXPECT_EQ(SlotOfOperand(ia)->p, nullptr);
  EXPECT_EQ(SlotOfOperand(fa)->p, nullptr);
  ASSERT_NE(SlotOfOperand(sa)->s, nullptr);  // a string variable always holds a text
  EXPECT_EQ(TextAt(sa), "");
}

TEST_F(ArrayTest, BadSizesRaiseNoMemoryAndLeaveNoArray) {
  const std::vector<int32_t> cases[] = {
      {INT_MIN},
      {5, -1},
      {1 << 27} /* beyond the element cap */,
      {16383, 8192} /* product beyond the cap */,
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX},
  };
  for (const auto& sizes : cases) {
    for (int dim : {kCmdDimIntArray1, kCmdDimFloatArray1, kCmdDimStringArray1}) {
      SCOPED_TRACE(testing::Message() << sizes[0] << " of " << sizes.size() << " dimensions, command " << dim);
      ImageBuilder b;
      int var = dim == kCmdDimIntArray1 ? b.IntVar() : dim == kCmdDimFloatArray1 ? b.FloatVar() : b.StringVar();
      auto sizeOps = Consts(b, sizes);
      b.Cmd(dim, {var, b.IntConst(4)});  // an old array that the failing command frees first
      Emit(b, dim + int(sizes.size()) - 1, {var}, sizeOps);
      EXPECT_EQ(RunImage(b).errorCode, kErrOutOfMemory);
      EXPECT_EQ(BlockOf(var), nullptr);
      EXPECT_EQ(Runtime().gArrayDims[HandleOf(var)][5], 0u);
      if (dim == kCmdDimStringArray1)
        EXPECT_EQ(TextAt(var), "");
      else
        EXPECT_EQ(SlotOfOperand(var)->p, nullptr);
    }
  }
}

TEST_F(ArrayTest, OperandsOutsideTheArrayGroupAreIgnored) {
  ImageBuilder b;
  int iv = b.IntVar(), fv = b.FloatVar(), sv = b.StringVar(), three = b.IntConst(3), one = b.IntConst(1);
  b.Cmd(kCmdDimIntArray1, {fv, three}).Cmd(kCmdDimFloatArray1, {sv, three}).Cmd(kCmdDimStringArray1, {iv, three});
  b.Cmd(kCmdDimIntArray1, {three, three}).Cmd(kCmdDimIntArray1, {IntTemp(0), three});
  b.Cmd(kCmdSetIntElement1, {three, one, one}).Cmd(kCmdUndimStringArray, {three}).Cmd(kCmdUndimIntArray, {sv});
  b.Cmd(kCmdIntElement1, {IntTemp(1), sv, one});
  ASSERT_EQ(RunImage(b).errorCode, 0);
  for (int var : {iv, fv, sv}) EXPECT_EQ(BlockOf(var), nullptr);
  EXPECT_EQ(IntAt(three), 3);
  EXPECT_EQ(IntAt(IntTemp(1)), 0);
  EXPECT_EQ(TextAt(sv), "");
}

// The DATA read writes an element back through the temporary it was read into, and nothing once
// that array has been freed or re-dimensioned, even where a new block may lie.
TEST_F(ArrayTest, DataReadStoresThroughTheReadElement) {
  enum class Then { kNothing, kUndim, kRedim };
  for (Then then : {Then::kNothing, Then::kUndim, Then::kRedim}) {
    SCOPED_TRACE(int(then));
    ImageBuilder b;
    int a = b.IntVar(), keep = b.IntVar(), three = b.IntConst(3);
    b.DataInt(42);
    b.Cmd(kCmdDimIntArray1, {a, three}).Cmd(kCmdIntElement1, {IntTemp(0), a, three});
    if (then == Then::kUndim) b.Cmd(kCmdUndimIntArray, {a}).Cmd(kCmdDimIntArray1, {keep, three});
    if (then == Then::kRedim) b.Cmd(kCmdDimIntArray1, {a, three});
    b.Cmd(kCmdReadInt, {IntTemp(0)});
    ASSERT_EQ(RunImage(b).errorCode, 0);
    EXPECT_EQ(Dispatcher().gDataReadIndex, 1u);
    EXPECT_EQ(Runtime().gReferenceTable[0], then == Then::kNothing ? &BlockOf(a)[3] : nullptr);
    if (then == Then::kUndim) {
      EXPECT_EQ(BlockOf(a), nullptr);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(BlockOf(keep)[i].i, 0);
    } else {
      EXPECT_EQ(BlockOf(a)[3].i, then == Then::kNothing ? 42 : 0);
    }
  }
}

}  // namespace
}  // namespace vx
