// Resources compiled into the executable are found by type and id.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win/resources.h"

namespace vx::win {
namespace {

TEST(ResourcesTest, CommandTableIsEmbeddedAndEndsWithAZeroByte) {
  const ResourceBlob* table = FindResourceBlob("23", 214);
  ASSERT_NE(table, nullptr);
  ASSERT_GT(table->size, 0u);
  EXPECT_EQ(table->data[table->size], 0);
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(table->data)), table->size);
  EXPECT_EQ(FindResourceBlob("23", 215), nullptr);
  EXPECT_EQ(FindResourceBlob("ICON", 214), nullptr);
}

}  // namespace
}  // namespace vx::win
